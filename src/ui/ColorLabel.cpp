#include "ui/ColorLabel.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "ui/Fonts.h"

namespace corvane {

int PointSizeToHeight(int points) {
    int dpi = 96;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        dpi = int(std::lround(screen->logicalDotsPerInchY()));
    if (dpi <= 0)
        dpi = 96;
    // Rounded to the nearest pixel, halves away from zero.
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
    painter.fillRect(rect(), backColor);
    if (border) {
        painter.setPen(Qt::black);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    painter.scale(scale, scale);
    QRect area(0, 0, qRound(width() / scale), qRound(height() / scale));
    if (border)
        area.adjust(1, 1, -1, -1);
    area.setLeft(area.left() + textOffsetX);
    area.setTop(area.top() + textOffsetY);

    Qt::Alignment horizontal = Qt::AlignLeft;
    const Qt::Alignment align = alignment();
    if (align & Qt::AlignHCenter)
        horizontal = Qt::AlignHCenter;
    else if (align & Qt::AlignRight)
        horizontal = Qt::AlignRight;

    painter.setFont(labelFont);
    painter.setPen(foreColor);
    if (align & Qt::AlignVCenter) {
        painter.drawText(area, int(horizontal | Qt::AlignVCenter | Qt::TextSingleLine), text());
        return;
    }
    DrawLines(painter, area, horizontal);
}

void ColorLabel::DrawLines(QPainter& painter, const QRect& area, Qt::Alignment horizontal) {
    // Wrapped at word breaks, one line every kLinePitch pixels (more only for
    // a face taller than the layout's).
    const QFontMetrics metrics(labelFont);
    const int pitch = std::max(kLinePitch, metrics.height());
    QString lines = text();
    lines.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(lines, labelFont, painter.device());
    QTextOption option(horizontal);
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    for (int y = 0; y < area.height(); y += pitch) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(area.width());
        line.setPosition(QPointF(0, y));
    }
    layout.endLayout();
    painter.save();
    painter.setClipRect(area);
    layout.draw(&painter, area.topLeft());
    painter.restore();
}

}  // namespace corvane
