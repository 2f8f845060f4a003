#pragma once

#include <QSize>

#include "ui/DialogUnits.h"

namespace corvane {

// The main window's client area at scale 1; its layout keeps this shape at
// any size.
inline constexpr QSize kDesignSize(DluX(666), DluY(447));
// The window is never made smaller than this.
inline constexpr QSize kMinimumSize(kDesignSize.width() / 2, kDesignSize.height() / 2);
// What a window manager's title bar and borders take around the client area.
inline constexpr QSize kFrameAllowance(16, 48);

// The scale at which the layout fits a client area of that size: the smaller
// of the two ratios, so the layout keeps its shape.
qreal ScaleFor(QSize client);

// The client size the window opens with on a screen's available area: the
// remembered one (empty: none), else the layout at scale 1, in either case
// made smaller when it and its frame do not fit (never smaller than
// kMinimumSize).
QSize OpeningSize(QSize available, QSize remembered);

}  // namespace corvane
