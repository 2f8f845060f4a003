#pragma once

#include <QRect>

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

}  // namespace corvane
