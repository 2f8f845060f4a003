#include <gtest/gtest.h>

#include "ui/MatrixLayout.h"

namespace corvane {
namespace {

// The main window's view is 707 wide: input cells 1..4 start at x 25, 195,
// 365, 535 and are 167 wide, rows start at y 15, 80, 145, 210 and are 46
// high; output rows are 275 lower, under headers at y 277 + 65 * (slot - 1).
struct HitCase {
    const char* where;
    int width, x, y;
    ViewHitKind kind;
    int index;
};
constexpr HitCase kHitCases[] = {
    {"input 1 top-left corner", 707, 25, 15, kInputCell, 1},
    {"input 1 last pixel", 707, 191, 60, kInputCell, 1},
    {"input 1 right edge", 707, 192, 30, kNoHit, 0},
    {"input 1 bottom edge", 707, 100, 61, kNoHit, 0},
    {"input 2 left edge", 707, 195, 15, kInputCell, 2},
    {"input 4 last column", 707, 701, 30, kInputCell, 4},
    {"right of input 4", 707, 702, 30, kNoHit, 0},
    {"input 16", 707, 600, 255, kInputCell, 16},
    {"number margin left of the cells", 707, 24, 30, kNoHit, 0},
    {"input slot header takes no click", 707, 100, 10, kNoHit, 0},
    {"gap between inputs and outputs", 707, 300, 270, kNoHit, 0},
    {"output header 1 top-left", 707, 2, 277, kOutputSlotHeader, 1},
    {"output header 1 last pixel", 707, 704, 289, kOutputSlotHeader, 1},
    {"output header right edge", 707, 705, 280, kNoHit, 0},
    {"output header follows the width", 400, 397, 280, kOutputSlotHeader, 1},
    {"output header past a narrow width", 400, 398, 280, kNoHit, 0},
    {"output header 4", 707, 100, 472, kOutputSlotHeader, 4},
    {"output 1 under its header", 707, 100, 290, kOutputCell, 1},
    {"output 1 last row", 707, 100, 335, kOutputCell, 1},
    {"output 1 bottom edge", 707, 100, 336, kNoHit, 0},
    {"output 6", 707, 200, 360, kOutputCell, 6},
    {"output 16", 707, 701, 530, kOutputCell, 16},
    {"below output 16", 707, 701, 531, kNoHit, 0},
    {"left of the view", 707, -1, 30, kNoHit, 0},
    {"above the view", 707, 100, -1, kNoHit, 0},
    {"right of the view", 707, 800, 300, kNoHit, 0},
};

TEST(MatrixLayout, HitTestTable) {
    for (const HitCase& c : kHitCases) {
        SCOPED_TRACE(c.where);
        const ViewHit hit = HitTest(LayoutCells(c.width), c.x, c.y);
        EXPECT_EQ(hit.kind, c.kind);
        EXPECT_EQ(hit.index, c.index);
    }
}

}  // namespace
}  // namespace corvane
