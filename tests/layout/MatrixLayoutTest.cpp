#include <gtest/gtest.h>

#include "layout/MatrixLayout.h"

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
    {"input 16", 707, 600, 255, kInputCell, 16},
    {"input slot header takes no click", 707, 100, 10, kNoHit, 0},
    {"gap between inputs and outputs", 707, 300, 270, kNoHit, 0},
    {"output header 1 top-left", 707, 2, 277, kOutputSlotHeader, 1},
    {"output header follows the width", 400, 397, 280, kOutputSlotHeader, 1},
    {"output header past a narrow width", 400, 398, 280, kNoHit, 0},
    {"output header 4", 707, 100, 472, kOutputSlotHeader, 4},
    {"output 1 under its header", 707, 100, 290, kOutputCell, 1},
    {"output 1 bottom edge", 707, 100, 336, kNoHit, 0},
    {"output 16", 707, 701, 530, kOutputCell, 16},
};

TEST(MatrixLayout, EveryPointHitsTheCellOrHeaderItLiesIn) {
    for (const HitCase& c : kHitCases)
        EXPECT_EQ(HitTest(LayoutCells(c.width), c.x, c.y), (ViewHit{c.kind, c.index})) << c.where;
}

}  // namespace
}  // namespace corvane
