#include "ui/InputGrid.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "ui/Fonts.h"

namespace corvane {

namespace {

const QColor kBackground(133, 133, 139);
const QColor kNumberBox(102, 153, 255);
const QColor kNumberText(234, 234, 234);

// A raised push-button face: light outer top-left, dark outer bottom-right,
// shadow inside it. Dark is the palette's button shadow, Shadow the darker one.
void DrawRaisedFace(QPainter& p, const QRect& r, const QPalette& pal) {
    const QColor light = pal.color(QPalette::Light);
    const QColor shadow = pal.color(QPalette::Dark);
    const QColor dark = pal.color(QPalette::Shadow);
    p.setPen(light);
    p.drawLine(r.left(), r.top(), r.right() - 1, r.top());
    p.drawLine(r.left(), r.top(), r.left(), r.bottom() - 1);
    p.setPen(dark);
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
    p.setPen(shadow);
    p.drawLine(r.left() + 1, r.bottom() - 1, r.right() - 1, r.bottom() - 1);
    p.drawLine(r.right() - 1, r.top() + 1, r.right() - 1, r.bottom() - 1);
}

// A thin sunken frame: highlight top-left, shadow bottom-right.
void DrawThinFrame(QPainter& p, const QRect& r, const QPalette& pal) {
    p.setPen(pal.color(QPalette::Light));
    p.drawLine(r.left(), r.top(), r.right() - 1, r.top());
    p.drawLine(r.left(), r.top(), r.left(), r.bottom() - 1);
    p.setPen(pal.color(QPalette::Dark));
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
}

}  // namespace

QImage InputGrid::IndicatorStrip() {
    QImage strip(9, 60, QImage::Format_RGB32);
    const QColor border(192, 192, 192);
    for (int half = 0; half < 2; ++half) {
        const int top = half * 30;
        const QColor fill = half == 0 ? QColor(128, 128, 128) : QColor(0, 255, 0);
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 9; ++x) {
                const bool edge = x == 0 || x == 8 || y == 0 || y == 29;
                strip.setPixelColor(x, top + y, edge ? border : fill);
            }
        }
        // The glint: a short stroke and a dot below it.
        for (int x = 2; x <= 5; ++x)
            strip.setPixelColor(x, top + 2, Qt::white);
        strip.setPixelColor(2, top + 4, Qt::white);
    }
    return strip;
}

InputGrid::InputGrid(QWidget* parent) : QWidget(parent), indicator(IndicatorStrip()) {
    // Every pixel is painted from the back buffer, so nothing needs erasing.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    LayoutGrid();
}

int InputGrid::HitTest(const QPoint& point) const {
    for (int i = 0; i < 16; ++i) {
        if (cellRects[i].contains(point))
            return i;
    }
    return -1;
}

void InputGrid::LayoutGrid() {
    const int cw = width() / 4 - 15;
    const int ch = height() / 4 - 15;
    for (int i = 0; i < 16; ++i) {
        const int left = 15 + (i % 4) * (cw + 10);
        const int top = 15 + (i / 4) * (ch + 10);
        // Right and bottom are exclusive.
        cellRects[i] = QRect(left, top, cw, ch);
    }
    update();
}

void InputGrid::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutGrid();
}

void InputGrid::paintEvent(QPaintEvent*) {
    // At the screen's pixel ratio, painted in the widget's own coordinates.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (backBuffer.size() != pixels || backBuffer.devicePixelRatio() != ratio) {
        backBuffer = QImage(pixels, QImage::Format_RGB32);
        backBuffer.setDevicePixelRatio(ratio);
    }
    {
        QPainter back(&backBuffer);
        back.fillRect(rect(), kBackground);
        back.setFont(TahomaFont(13, true));
        for (int i = 0; i < 16; ++i)
            DrawGridCell(back, i);
        if (hasFocus() && focusCell >= 0 && focusCell < 16) {
            // In the gap around the cell, dark on the grey background.
            back.setPen(QPen(Qt::black, 2));
            back.setBrush(Qt::NoBrush);
            back.drawRect(cellRects[focusCell].adjusted(-3, -3, 3, 3));
        }
    }
    QPainter screen(this);
    screen.drawImage(0, 0, backBuffer);
}

void InputGrid::DrawGridCell(QPainter& p, int i) {
    QRect r = cellRects[i];
    if (r.width() <= 0 || r.height() <= 0)
        return;
    const QPalette& pal = palette();
    p.fillRect(r, pal.color(QPalette::Button));
    const bool down = i == hotCell || selection[i] != 0;
    if (down) {
        r.translate(1, 1);
        DrawThinFrame(p, r, pal);
    } else {
        DrawRaisedFace(p, r, pal);
    }
    const QRect r2 = r.adjusted(2, 2, -2, -2);
    p.fillRect(r2, kNumberBox);
    p.setPen(kNumberText);
    p.drawText(r2, Qt::AlignCenter, QStringLiteral("%1").arg(i + 1, 2, 10, QLatin1Char('0')));
    p.drawImage(QPoint(r.left() + 1, r.top()), indicator, QRect(0, down ? 30 : 0, 9, 30));
}

void InputGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    const int i = HitTest(event->position().toPoint());
    pressedCell = hotCell = i;
    update();
}

void InputGrid::mouseMoveEvent(QMouseEvent* event) {
    if (pressedCell != -1) {
        hotCell = HitTest(event->position().toPoint()) == pressedCell ? pressedCell : -1;
    }
    update();
}

void InputGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    const int cell = HitTest(event->position().toPoint());
    if (cell != -1 && cell == pressedCell) {
        Toggle(cell);
        focusCell = cell;
    }
    pressedCell = hotCell = -1;
    update();
}

void InputGrid::Toggle(int cell) {
    if (cell < 0 || cell >= 16)
        return;
    selection[cell] = selection[cell] ? 0 : 1;
    if (singleSelect == 1) {
        for (int i = 0; i < 16; ++i) {
            if (i != cell)
                selection[i] = 0;
        }
    }
}

void InputGrid::keyPressEvent(QKeyEvent* event) {
    const int row = focusCell / 4, column = focusCell % 4;
    switch (event->key()) {
        case Qt::Key_Left:
            focusCell = row * 4 + std::max(column - 1, 0);
            break;
        case Qt::Key_Right:
            focusCell = row * 4 + std::min(column + 1, 3);
            break;
        case Qt::Key_Up:
            focusCell = std::max(row - 1, 0) * 4 + column;
            break;
        case Qt::Key_Down:
            focusCell = std::min(row + 1, 3) * 4 + column;
            break;
        case Qt::Key_Space:
            if (!event->isAutoRepeat())
                Toggle(focusCell);
            break;
        default:
            return QWidget::keyPressEvent(event);
    }
    update();
}

// Qt delivers the second press of a double click as a press followed by this
// event; dropping the pending press makes a double click toggle only once.
void InputGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    pressedCell = hotCell = -1;
    update();
    event->accept();
}

}  // namespace corvane
