#pragma once

#include <QFont>

namespace corvane {

// Registers a Tahoma for the process when the system has none: a
// metric-compatible face when one is installed (Debian's fonts-wine), so that
// texts still fit their cells. Call once after the application is created.
void LoadTahoma();

// "Tahoma" at the given pixel height, falling back to the nearest sans face.
QFont TahomaFont(int pixelHeight, bool bold = false);

}  // namespace corvane
