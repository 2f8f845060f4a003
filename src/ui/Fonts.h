#pragma once

#include <QFont>
#include <QStyledItemDelegate>

namespace corvane {

// Registers a Tahoma for the process when the system has none: a
// metric-compatible face when one is installed (Debian's fonts-wine), so that
// texts still fit their cells. Call once after the application is created.
void LoadTahoma();

// "Tahoma" at the given pixel height, falling back to the nearest sans face.
QFont TahomaFont(int pixelHeight, bool bold = false);

// Lines of multi-line text and list rows sit this many pixels apart: the
// height of the 8-point Tahoma the window layout is measured in. The stand-in
// face's own metrics are about one pixel size, which lets the descenders of a
// line touch the capitals of the next.
inline constexpr int kLinePitch = 13;

// Rows of kLinePitch for a list or a drop-down list. A list that only shows
// lines (the log) can leave its current row unmarked.
class LineDelegate : public QStyledItemDelegate {
public:
    explicit LineDelegate(QObject* parent = nullptr, bool markCurrent = true)
        : QStyledItemDelegate(parent), markCurrent(markCurrent) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    bool markCurrent;
    int pitch = kLinePitch;  // smaller or larger with a scaled window

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace corvane
