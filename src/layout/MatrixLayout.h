#pragma once

#include "protocol/RouterState.h"

namespace corvane {

enum MatrixSide : int { kInputSide = 0, kOutputSide = 1 };

// A rectangle given by its edges, the right and bottom ones exclusive.
struct CellRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

// Where every header and cell sits for a view of the given width. Index 0 of
// each table is not used.
struct MatrixLayout {
    CellRect slotHeaderRects[2][kSlotTableSize];
    CellRect cellRects[2][kChannelTableSize];
};
MatrixLayout LayoutCells(int width);

// What a point of the view hits, and so what a click there tells the window
// (a right-click on an output cell is kOutputProtect). The numbers travel in
// the view's notify event.
enum ViewHitKind : int {
    kNoHit = -1,
    kOutputSlotHeader = 0,
    kInputCell = 1,
    kOutputCell = 2,
    kOutputProtect = 3,
};

// index is the slot or channel, 0 with kNoHit.
struct ViewHit {
    ViewHitKind kind = kNoHit;
    int index = 0;
    bool operator==(const ViewHit&) const = default;
};
ViewHit HitTest(const MatrixLayout& layout, int x, int y);

}  // namespace corvane
