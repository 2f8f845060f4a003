#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>

namespace corvane {

// Pixel height (negative, as a font request) of a point size on this display.
int PointSizeToHeight(int points);

// A static text drawn with its own font, text colour and background colour.
// Horizontal alignment follows the label's alignment; a vertically centred
// label draws one line, any other wraps at word breaks from the top, one line
// every kLinePitch pixels.
class ColorLabel : public QLabel {
    Q_OBJECT
public:
    explicit ColorLabel(const QString& text = QString(), QWidget* parent = nullptr);

    void SetForeColor(QColor colour, bool redraw = true);
    void SetBackColor(QColor colour, bool redraw = true);
    // Rebuilds the label font from the widget's own font, so a face or size
    // chosen with SetFontFace is lost: call it first.
    void SetBold(bool isBold, bool redraw = true);
    // An empty face keeps the widget font's face; the face is cut to 31 bytes.
    void SetFontFace(const QString& face, int pointSize, bool redraw = true);

    QFont labelFont;
    QColor foreColor;
    QColor backColor;
    bool bold = false;
    bool border = true;  // one-pixel black frame around the label
    int textOffsetX = 0;
    int textOffsetY = 0;
    // The text, its offsets and line pitch are drawn at this scale; the frame
    // stays one screen pixel.
    qreal scale = 1;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void DrawLines(QPainter& painter, const QRect& area, Qt::Alignment horizontal);
    void ApplyFont(QFont font, bool redraw);
    void Redraw(bool redraw);
};

}  // namespace corvane
