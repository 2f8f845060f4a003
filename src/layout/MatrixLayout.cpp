#include "layout/MatrixLayout.h"

namespace corvane {

MatrixLayout LayoutCells(int width) {
    MatrixLayout layout;
    for (int k = 1; k <= kSlotCount; ++k) {
        const int step = 65 * (k - 1);
        layout.slotHeaderRects[kInputSide][k] = {2, 2 + step, width - 2, 15 + step};
        layout.slotHeaderRects[kOutputSide][k] = {2, 277 + step, width - 2, 290 + step};
    }
    for (int c = 1; c <= kChannelCount; ++c) {
        const int i = c - 1;
        const int left = 25 + 170 * (i % 4);
        const int top = 15 + 65 * (i / 4);
        layout.cellRects[kInputSide][c] = {left, top, left + 167, top + 46};
        layout.cellRects[kOutputSide][c] = {left, top + 275, left + 167, top + 275 + 46};
    }
    return layout;
}

ViewHit HitTest(const MatrixLayout& layout, int x, int y) {
    // Input slot headers take no clicks.
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        if (layout.slotHeaderRects[kOutputSide][slot].Contains(x, y))
            return {kOutputSlotHeader, slot};
    }
    for (int c = 1; c <= kChannelCount; ++c) {
        if (layout.cellRects[kInputSide][c].Contains(x, y))
            return {kInputCell, c};
        if (layout.cellRects[kOutputSide][c].Contains(x, y))
            return {kOutputCell, c};
    }
    return {};
}

}  // namespace corvane
