#pragma once

#include <QRect>
#include <QSize>

namespace corvane {

// Window layouts are given in dialog units of an 8-point Tahoma dialog, whose
// base units are 6 x 13 pixels: 4 horizontal units are 6 px, 8 vertical ones 13 px.
inline constexpr int DluX(int units) {
    return (units * 6 + 2) / 4;
}
inline constexpr int DluY(int units) {
    return (units * 13 + 4) / 8;
}
inline QRect DluRect(int x, int y, int width, int height) {
    return QRect(DluX(x), DluY(y), DluX(width), DluY(height));
}

// A layout rectangle at a uniform scale. Each edge is scaled and rounded on
// its own, so rectangles that touch at scale 1 still touch.
inline QRect ScaledRect(const QRect& r, qreal scale) {
    const auto at = [scale](int v) { return int(v * scale + 0.5); };
    return QRect(QPoint(at(r.left()), at(r.top())),
                 QPoint(at(r.right() + 1) - 1, at(r.bottom() + 1) - 1));
}

}  // namespace corvane
