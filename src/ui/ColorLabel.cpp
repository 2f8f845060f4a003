#include "ui/ColorLabel.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <cmath>

namespace corvane {

int PointSizeToHeight(int points) {
    int dpi = 96;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        dpi = int(std::lround(screen->logicalDotsPerInchY()));
    if (dpi <= 0)
        dpi = 96;
    // MulDiv rounds to the nearest integer.
    const long long scaled = static_cast<long long>(points) * dpi;
    const long long half = scaled >= 0 ? 36 : -36;
    return -int((scaled + half) / 72);
}

ColorLabel::ColorLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    labelFont = font();
    foreColor = palette().color(QPalette::ButtonText);
    backColor = palette().color(QPalette::Button);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ColorLabel::Redraw(bool redraw) {
    if (redraw)
        repaint();
}

void ColorLabel::SetForeColor(QColor colour, bool redraw) {
    foreColor = colour;
    Redraw(redraw);
}

void ColorLabel::SetBackColor(QColor colour, bool redraw) {
    backColor = colour;
    Redraw(redraw);
}

void ColorLabel::SetBold(bool isBold, bool redraw) {
    bold = isBold;
    ApplyFont(font(), redraw);
}

void ColorLabel::SetFontFace(const QString& face, int pointSize, bool redraw) {
    QFont chosen = font();
    if (!face.isEmpty()) {
        chosen = QFont(QString::fromLatin1(face.toLatin1().left(31)));
        chosen.setStyleHint(QFont::SansSerif);
    }
    // A zero height asks for the face's default size.
    const int height = PointSizeToHeight(pointSize);
    if (height != 0)
        chosen.setPixelSize(height < 0 ? -height : height);
    ApplyFont(chosen, redraw);
}

void ColorLabel::ApplyFont(QFont chosen, bool redraw) {
    chosen.setWeight(bold ? QFont::Bold : QFont::Normal);
    labelFont = chosen;
    Redraw(redraw);
}

void ColorLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QRect area = rect();
    painter.fillRect(area, backColor);
    if (border) {
        painter.setPen(Qt::black);
        painter.drawRect(area.adjusted(0, 0, -1, -1));
        area.adjust(1, 1, -1, -1);
    }
    area.setLeft(area.left() + textOffsetX);
    area.setTop(area.top() + textOffsetY);

    int flags = 0;
    const Qt::Alignment align = alignment();
    if (align & Qt::AlignHCenter)
        flags |= Qt::AlignHCenter;
    else if (align & Qt::AlignRight)
        flags |= Qt::AlignRight;
    else
        flags |= Qt::AlignLeft;
    if (align & Qt::AlignVCenter)
        flags |= Qt::AlignVCenter | Qt::TextSingleLine;
    else
        flags |= Qt::AlignTop | Qt::TextWordWrap;

    painter.setFont(labelFont);
    painter.setPen(foreColor);
    painter.drawText(area, flags, text());
}

}  // namespace corvane
