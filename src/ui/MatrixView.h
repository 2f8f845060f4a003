#pragma once

#include <QHash>
#include <QImage>
#include <QRect>
#include <QRegion>
#include <QTextLayout>
#include <QWidget>
#include <memory>

#include "layout/MatrixLayout.h"
#include "protocol/RouterState.h"
#include "protocol/RoutingMap.h"
#include "settings/AppConfig.h"

namespace corvane {

// The view paints in Qt's rectangles.
inline QRect ToQRect(const CellRect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// Lamp rules: an input is lit by any signal text but "Signal OFF"; an output by
// a plugged display, and always on fiber and quad multiviewer cards. Until the
// router has said, the lamp is unknown. The values are the lamps' places in
// the strip.
enum Lamp : int { kLampOff = 0, kLampOn = 1, kLampUnknown = 2 };
Lamp InputLamp(const RouterState& state, int input);
Lamp OutputLamp(const RouterState& state, int output);

// The 72 x 9 lamp strip: "off" image in columns 0-23, "on" image in 24-47,
// "unknown" (an empty outline) in 48-71.
QImage MakeIndicatorStrip();

// What a tooltip over a header or cell says: its values in words and what
// its lamp and colours mean.
QString ViewToolTip(const RouterState& state, const AppConfig& config, const RoutingMap* routing,
                    ViewHit hit);
// Texts laid out once and drawn again as QPainter::drawText(rect, flags, text)
// draws one line: aligned in rect, clipped to it when it does not fit. Laying
// a text out costs more than drawing it, and a view draws the same few texts
// on every repaint.
struct TextLayoutCache {
    void Draw(QPainter& painter, const QRect& rect, int flags, const QString& text);
    // The text cut to width with "…" at its end, in the painter's font.
    QString Fit(const QPainter& painter, const QString& text, int width);
    QHash<QString, std::shared_ptr<QTextLayout>> layouts;  // by text and font
    QHash<QString, QString> fitted;                        // by text, font and width
};

// The slot and crosspoint view. It keeps no router data: every paint reads the
// model and the channel names. Clicks go to the parent as ViewNotifyEvent.
class MatrixView : public QWidget {
    Q_OBJECT
public:
    MatrixView(const RouterState& state, const AppConfig& config, QWidget* parent = nullptr);

    // Draws the view into backBuffer: all of it, or only what lies in dirty
    // (widget coordinates), the rest of the buffer being still true.
    void PaintBuffer(const QRegion& dirty = QRegion());
    // What a channel cell (kInputSide or kOutputSide, 1..16) may cover,
    // pressed or not, in widget coordinates.
    QRect CellArea(int side, int channel) const;
    // The view draws its layout at a uniform scale: layout and widget
    // coordinates, both ways. A widget pixel belongs to the layout point
    // under its centre, as the painting fills it.
    QRect ToWidget(const QRect& r) const;
    QPoint ToLayout(QPointF at) const;
    // The widget's own rectangle in layout coordinates.
    QRect LayoutRect() const;
    // Repaints that cell alone, for a change that touches nothing else.
    void UpdateCell(int side, int channel) { update(CellArea(side, channel)); }

    const RouterState& state;
    const AppConfig& config;
    QImage backBuffer;
    QImage indicatorStrip;
    MatrixLayout layout;
    ViewHit pressed;
    int selectedInput = 0;  // 1..16, 0 = none
    qreal scale = 1;        // set by the window before it resizes the view
    // Routes asked for and not yet confirmed, staged routes and locks; none
    // are drawn without it.
    const RoutingMap* routing = nullptr;

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    // On an output cell it toggles protect; elsewhere the window's menu opens.
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    TextLayoutCache texts;

    // Edges are a layout pixel wide, and never less than a screen pixel.
    qreal EdgeWidth() const { return scale < 1 ? 1 / scale : 1; }

    void DrawSlotHeader(QPainter& painter, int side, int slot);
    void DrawChannelCell(QPainter& painter, int side, int channel);
    void DrawRoute(QPainter& painter, const QRect& infoArea, int output);
    void Notify(ViewHitKind kind, int index);
};

}  // namespace corvane
