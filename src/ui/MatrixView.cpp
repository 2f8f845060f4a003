#include "ui/MatrixView.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTextLayout>
#include <QToolTip>
#include <cmath>
#include <memory>

#include "ui/Fonts.h"
#include "ui/Messages.h"
#include "ui/Text.h"

namespace corvane {

namespace {

const QColor kViewBackground(71, 79, 100);
const QColor kHeaderFill(173, 149, 103);
const QColor kHeaderText(254, 254, 254);
const QColor kNumberStrip(102, 153, 255);
const QColor kNameBar(217, 217, 217);
const QColor kSelectedNameBar(16, 34, 80);
const QColor kInfoArea(236, 240, 223);
const QColor kInfoText(64, 64, 64);
const QColor kNoLinkText(200, 64, 64);
const QColor kNumberText(234, 234, 234);
// Reads at 4.5:1 on the info area, and apart from the plain routes.
const QColor kPendingText(70, 90, 140);
const QColor kStagedFrame(230, 150, 20);
const QColor kLockMark(150, 30, 30);

constexpr int kLampWidth = 24;
constexpr int kLampHeight = 9;
// Kept free at the right of a locked output's name for the lock mark.
constexpr int kLockRoom = 15;

// A rectangle given by its edges, the right and bottom ones exclusive.
QRect Edges(int left, int top, int right, int bottom) {
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

// Top and left edge in one colour, bottom and right in the other. line: the
// edges' width, at least one screen pixel at the painter's scale, so that no
// edge is lost when the view is drawn smaller.
void Draw3dRect(QPainter& painter, const QRect& r, QColor topLeft, QColor bottomRight,
                qreal line = 1) {
    // Whole pixels take the painter's quick path.
    const auto fill = [&](const QRectF& edge, const QColor& colour) {
        if (line == 1)
            painter.fillRect(edge.toRect(), colour);
        else
            painter.fillRect(edge, colour);
    };
    const qreal right = r.right() + 1 - line, bottom = r.bottom() + 1 - line;
    fill(QRectF(r.left(), r.top(), r.width() - 1, line), topLeft);
    fill(QRectF(r.left(), r.top(), line, r.height() - 1), topLeft);
    fill(QRectF(right, r.top(), line, r.height()), bottomRight);
    fill(QRectF(r.left(), bottom, r.width(), line), bottomRight);
}

constexpr int kSingleLine = Qt::AlignVCenter | Qt::TextSingleLine;

// A text in a face, as a cache key.
QString TextKey(const QString& text, const QFont& font) {
    QString key = text;
    key += QChar(u'\n');
    key += QChar(char16_t(font.pixelSize() & 0x7FFF));
    key += QChar(char16_t(font.weight() * 2 + font.italic()));
    return key;
}

}  // namespace

QString TextLayoutCache::Fit(const QPainter& painter, const QString& text, int width) {
    // Cutting a text lays it out; the view cuts the same few on every repaint.
    QString key = TextKey(text, painter.font());
    key += QChar(char16_t(width & 0x7FFF));
    auto found = fitted.find(key);
    if (found == fitted.end()) {
        if (fitted.size() >= 1024)
            fitted.clear();
        found = fitted.insert(key, painter.fontMetrics().elidedText(text, Qt::ElideRight, width));
    }
    return *found;
}

void TextLayoutCache::Draw(QPainter& painter, const QRect& rect, int flags, const QString& text) {
    const QFont& font = painter.font();
    const QString key = TextKey(text, font);
    auto found = layouts.find(key);
    if (found == layouts.end() || (*found)->font() != font) {
        if (layouts.size() >= 1024)
            layouts.clear();  // names come and go; the view needs a few hundred
        auto layout = std::make_shared<QTextLayout>(text, font);
        QTextOption option;
        option.setWrapMode(QTextOption::ManualWrap);
        layout->setTextOption(option);
        layout->setCacheEnabled(true);
        layout->beginLayout();
        QTextLine line = layout->createLine();
        if (line.isValid()) {
            line.setLineWidth(rect.width());
            line.setPosition(QPointF(0, 0));
        }
        layout->endLayout();
        found = layouts.insert(key, layout);
    }
    const QTextLayout& layout = **found;
    if (layout.lineCount() == 0)
        return;
    const QTextLine line = layout.lineAt(0);
    // As drawText does: the text's box decides whether it is clipped, its
    // advance (which may differ from the box's width) where the glyphs go.
    const auto left = [&](qreal width) -> qreal {
        if (flags & Qt::AlignHCenter)
            return (rect.width() - width) / 2;
        return flags & Qt::AlignRight ? rect.width() - width : 0;
    };
    const qreal y = flags & Qt::AlignVCenter ? (rect.height() - line.height()) / 2 : 0;
    const QRectF box(rect.x() + left(line.naturalTextWidth()), rect.y() + y,
                     line.naturalTextWidth(), line.height());
    const bool clip = !QRectF(rect).contains(box);
    if (clip) {
        painter.save();
        painter.setClipRect(rect, Qt::IntersectClip);
    }
    line.draw(&painter, QPointF(rect.x() + left(line.horizontalAdvance()), rect.y() + y));
    if (clip)
        painter.restore();
}

Lamp InputLamp(const RouterState& state, int input) {
    if (input < 1 || input > kChannelCount || !state.known.inputSignal[input])
        return kLampUnknown;
    return state.HasSignal(input) ? kLampOn : kLampOff;
}

Lamp OutputLamp(const RouterState& state, int output) {
    if (output < 1 || output > kChannelCount)
        return kLampUnknown;
    const int slot = SlotOfChannel(output);
    if (state.known.outputPlug[output] && state.outputPlugged[output] == 1)
        return kLampOn;
    if (state.known.cards[slot]) {
        switch (state.outputCardType[slot]) {
            case kFiber1Input:
            case kFiber1Output:
            case kFiber2Input:
            case kFiber2Output:
            case kQuadMultiViewer:
                return kLampOn;
            default:
                break;
        }
    }
    return state.known.outputPlug[output] ? kLampOff : kLampUnknown;
}

QImage MakeIndicatorStrip() {
    QImage strip(3 * kLampWidth, kLampHeight, QImage::Format_RGB32);
    for (int lamp = 0; lamp < 3; ++lamp) {
        const int x0 = lamp * kLampWidth;
        // Unknown: the outline on the number strip's blue, no glint.
        const QRgb interior = lamp == kLampOff  ? qRgb(128, 128, 128)
                              : lamp == kLampOn ? qRgb(0, 255, 0)
                                                : kNumberStrip.rgb();
        for (int y = 0; y < kLampHeight; ++y) {
            for (int x = 0; x < kLampWidth; ++x) {
                const bool edge = x == 0 || y == 0 || x == kLampWidth - 1 || y == kLampHeight - 1;
                const bool glint =
                    lamp != kLampUnknown && ((y == 2 && x >= 2 && x <= 5) || (y == 4 && x == 2));
                strip.setPixel(x0 + x, y,
                               edge    ? qRgb(192, 192, 192)
                               : glint ? qRgb(255, 255, 255)
                                       : interior);
            }
        }
    }
    return strip;
}

MatrixView::MatrixView(const RouterState& routerState, const AppConfig& appConfig, QWidget* parent)
    : QWidget(parent), state(routerState), config(appConfig) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    indicatorStrip = MakeIndicatorStrip();
    layout = LayoutCells(LayoutRect().width());
}

void MatrixView::resizeEvent(QResizeEvent*) {
    layout = LayoutCells(LayoutRect().width());
    backBuffer = QImage();
    update();
}

QRect MatrixView::CellArea(int side, int channel) const {
    // A pressed cell is drawn one pixel right and down.
    return ToWidget(ToQRect(layout.cellRects[side][channel]).adjusted(0, 0, 1, 1));
}

QRect MatrixView::ToWidget(const QRect& r) const {
    if (scale == 1)
        return r;
    // Each edge rounds to the nearest pixel: one more covers it.
    return QRectF(r.x() * scale, r.y() * scale, r.width() * scale, r.height() * scale)
        .toAlignedRect()
        .adjusted(-1, -1, 1, 1);
}

QPoint MatrixView::ToLayout(QPointF at) const {
    if (scale == 1)
        return at.toPoint();
    return QPoint(int(std::floor((at.x() + 0.5) / scale)), int(std::floor((at.y() + 0.5) / scale)));
}

QRect MatrixView::LayoutRect() const {
    return QRect(0, 0, qRound(width() / scale), qRound(height() / scale));
}

void MatrixView::PaintBuffer(const QRegion& dirty) {
    // At the screen's pixel ratio, so the view is as sharp as the rest of the
    // window; the painter works in the widget's own coordinates.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    bool whole = dirty.isEmpty() || QRegion(rect()).subtracted(dirty).isEmpty();
    if (backBuffer.size() != pixels || backBuffer.devicePixelRatio() != ratio) {
        // The size may change before a resize event arrives (hidden view).
        backBuffer = QImage(pixels, QImage::Format_RGB32);
        backBuffer.setDevicePixelRatio(ratio);
        layout = LayoutCells(LayoutRect().width());
        whole = true;
    }
    if (backBuffer.isNull())
        return;
    QPainter painter(&backBuffer);
    // A part is drawn again only where it meets dirty, and only there: every
    // part stays within its area, so the rest of the buffer is left as it was.
    if (!whole)
        painter.setClipRegion(dirty);
    const auto meets = [&](const QRect& area) { return whole || dirty.intersects(ToWidget(area)); };
    painter.fillRect(rect(), kViewBackground);
    Draw3dRect(painter, rect(), Qt::black, Qt::black);
    // The rest in layout coordinates; text is laid out at the scaled size, so
    // it stays sharp.
    painter.scale(scale, scale);
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        for (int side : {kInputSide, kOutputSide}) {
            // A pressed header is drawn two pixels right and down.
            if (meets(ToQRect(layout.slotHeaderRects[side][slot]).adjusted(0, 0, 2, 2)))
                DrawSlotHeader(painter, side, slot);
        }
    }
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        for (int side : {kInputSide, kOutputSide}) {
            if (meets(ToQRect(layout.cellRects[side][channel]).adjusted(0, 0, 1, 1)))
                DrawChannelCell(painter, side, channel);
        }
    }
}

void MatrixView::paintEvent(QPaintEvent* e) {
    // Everything goes to the back buffer first and reaches the screen in one
    // copy, so the view never flickers. The painter is clipped to the event's
    // region, so a cell updated alone costs that cell.
    PaintBuffer(e->region());
    QPainter painter(this);
    painter.drawImage(0, 0, backBuffer);
}

void MatrixView::DrawSlotHeader(QPainter& painter, int side, int slot) {
    const QPalette& pal = palette();
    const QColor light = pal.color(QPalette::Light), shadow = pal.color(QPalette::Dark);
    QRect r = ToQRect(layout.slotHeaderRects[side][slot]);
    const bool down = side == kOutputSide && pressed == ViewHit{kOutputSlotHeader, slot};
    if (down)
        r.translate(2, 2);
    const QRect frame = r;
    r.adjust(1, 1, -1, -1);
    painter.fillRect(r, kHeaderFill);
    // The edges after the fill: in a view drawn smaller the fill would cover them.
    Draw3dRect(painter, frame, down ? shadow : light, down ? light : shadow, EdgeWidth());
    const int card = side == kInputSide ? state.inputCardType[slot] : state.outputCardType[slot];
    const QString text =
        QString::asprintf(side == kInputSide ? "  IN SLOT %0d   %s" : "  OUT SLOT %0d   %s", slot,
                          state.known.cards[slot] ? CardTypeName(card) : "?");
    painter.setFont(TahomaFont(10, true));
    painter.setPen(kHeaderText);
    texts.Draw(painter, r, Qt::AlignLeft | kSingleLine, text);
}

void MatrixView::DrawChannelCell(QPainter& painter, int side, int channel) {
    const QPalette& pal = palette();
    const QColor light = pal.color(QPalette::Light), shadow = pal.color(QPalette::Dark);
    const bool selected = side == kInputSide && channel == selectedInput;
    const bool down = side == kInputSide ? selected || pressed == ViewHit{kInputCell, channel}
                                         : pressed == ViewHit{kOutputCell, channel};
    QRect r = ToQRect(layout.cellRects[side][channel]);
    if (down)
        r.translate(1, 1);
    const QRect frame = r;
    r.adjust(1, 1, -1, -1);
    const int L = r.left(), T = r.top(), R = r.right() + 1, B = r.bottom() + 1;

    painter.fillRect(r, Qt::white);
    painter.fillRect(Edges(L, T, L + 24, B), kNumberStrip);
    const QRect nameBar = Edges(L + 25, T, R, T + 26);
    const QRect infoArea = Edges(L + 25, T + 26, R, B);
    painter.fillRect(nameBar, selected ? kSelectedNameBar : kNameBar);
    painter.fillRect(infoArea, kInfoArea);
    // The edges after the fills: in a view drawn smaller they would cover them.
    Draw3dRect(painter, frame, down ? shadow : light, down ? light : shadow, EdgeWidth());

    const std::string& name =
        side == kInputSide ? config.inputNames[channel] : config.outputNames[channel];
    painter.setFont(TahomaFont(12, true));
    painter.setPen(selected ? kNameBar : kSelectedNameBar);
    // A long name ends in "…" and keeps clear of the lock mark.
    const bool locked = side == kOutputSide && routing && routing->lockOwner[channel] != 0;
    const QRect nameArea = nameBar.adjusted(0, 0, locked ? -kLockRoom : 0, 0);
    texts.Draw(painter, nameArea, Qt::AlignHCenter | kSingleLine,
               texts.Fit(painter, QStringLiteral(" ") + ToQString(name), nameArea.width() - 4));

    const Lamp lamp = side == kInputSide ? InputLamp(state, channel) : OutputLamp(state, channel);
    painter.drawImage(QPoint(L, T), indicatorStrip,
                      QRect(lamp * kLampWidth, 0, kLampWidth, kLampHeight));

    painter.setFont(TahomaFont(16, true));
    painter.setPen(kNumberText);
    texts.Draw(painter, Edges(L, T + 9, L + 24, B), Qt::AlignHCenter | kSingleLine,
               QString::asprintf("%02d", channel));

    painter.setFont(TahomaFont(10, false));
    painter.setPen(kInfoText);
    if (side == kInputSide) {
        // Not read yet: no EDID mode, and "?" for the signal.
        const QString mode =
            state.known.edidMode[channel] ? ToQString(state.inputEdidMode[channel]) : QString();
        const QString signal = state.known.inputSignal[channel]
                                   ? ToQString(state.inputStatusText[channel])
                                   : QStringLiteral("?");
        texts.Draw(painter, infoArea, Qt::AlignLeft | kSingleLine, QStringLiteral(" ") + mode);
        texts.Draw(painter, infoArea, Qt::AlignHCenter | kSingleLine,
                   texts.Fit(painter, QStringLiteral("      ") + signal, infoArea.width()));
    } else {
        DrawRoute(painter, infoArea, channel);
        if (locked) {
            // A padlock at the right of the name bar.
            const int x = nameBar.right() - 11, y = nameBar.top() + 4;
            painter.save();
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(kLockMark, 1.5));
            painter.drawArc(QRectF(x + 1.5, y, 6, 8), 0, 180 * 16);
            painter.fillRect(QRectF(x, y + 4, 9, 7), kLockMark);
            painter.restore();
        }
    }
}

void MatrixView::DrawRoute(QPainter& painter, const QRect& infoArea, int output) {
    // Asked for and not yet confirmed, else the router's; a route staged for
    // a take shows beside what is on air.
    int shown = state.routedInput[output];
    bool pending = false;
    if (routing && routing->pending[output] != kNoRoute) {
        shown = routing->pending[output];
        pending = true;
    }
    const int staged = routing ? routing->staged[output] : kNoRoute;
    QRect area = infoArea;
    if (staged != kNoRoute) {
        painter.setPen(QPen(kStagedFrame, 2));
        painter.drawRect(infoArea.adjusted(1, 1, -1, -1));
        area.setWidth(infoArea.width() / 2);
        QFont italic = painter.font();
        italic.setItalic(true);
        painter.save();
        painter.setFont(italic);
        painter.setPen(kInfoText);
        const QRect right = infoArea.adjusted(area.width(), 0, -3, 0);
        const bool stagedLink = staged >= 1 && staged <= kChannelCount;
        texts.Draw(
            painter, right, Qt::AlignLeft | kSingleLine,
            texts.Fit(painter,
                      QStringLiteral("\u00bb ") + (stagedLink ? ToQString(config.inputNames[staged])
                                                              : QStringLiteral("No Link")),
                      right.width()));
        painter.restore();
    }
    if (pending) {
        QFont italic = painter.font();
        italic.setItalic(true);
        painter.setFont(italic);
    }
    const bool linked = shown >= 1 && shown <= kChannelCount;
    // A map not read yet is unknown, not "No Link".
    const bool unknown = !pending && !state.known.routes;
    painter.setPen(pending ? kPendingText : linked || unknown ? kInfoText : kNoLinkText);
    const QString text = unknown  ? QStringLiteral("?")
                         : linked ? ToQString(config.inputNames[shown])
                                  : QStringLiteral("No Link");
    texts.Draw(painter, area, Qt::AlignHCenter | kSingleLine,
               texts.Fit(painter, QStringLiteral(" ") + text, area.width()));
}

void MatrixView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(e);
        return;
    }
    const QPoint at = ToLayout(e->position());
    const ViewHit hit = HitTest(layout, at.x(), at.y());
    if (hit.kind != kNoHit)
        pressed = hit;
    update();
}

void MatrixView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(e);
        return;
    }
    const QPoint at = ToLayout(e->position());
    const ViewHit hit = HitTest(layout, at.x(), at.y());
    const ViewHit wasPressed = pressed;
    pressed = ViewHit();
    update();
    if (hit.kind == kNoHit || hit != wasPressed)
        return;
    if (hit.kind == kInputCell)
        selectedInput = selectedInput == hit.index ? 0 : hit.index;
    Notify(hit.kind, hit.index);
}

void MatrixView::mouseDoubleClickEvent(QMouseEvent* e) {
    // The second click of a double click is not a click.
    e->accept();
}

void MatrixView::contextMenuEvent(QContextMenuEvent* e) {
    const QPoint at = ToLayout(e->pos());
    const ViewHit hit = HitTest(layout, at.x(), at.y());
    if (hit.kind != kOutputCell) {
        e->ignore();
        return;
    }
    Notify(kOutputProtect, hit.index);
}

bool MatrixView::event(QEvent* e) {
    if (e->type() != QEvent::ToolTip)
        return QWidget::event(e);
    const auto* help = static_cast<QHelpEvent*>(e);
    const QPoint at = ToLayout(help->pos());
    const ViewHit hit = HitTest(layout, at.x(), at.y());
    const QString tip = ViewToolTip(state, config, routing, hit);
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), tip, this);
    return true;
}

namespace {

QString Name(const std::string& name) {
    return ToQString(name).trimmed();
}

QString Number(int channel) {
    return QStringLiteral("%1").arg(channel, 2, 10, QLatin1Char('0'));
}

// An input by its number and name; 0 is none.
QString InputCalled(const AppConfig& config, int input) {
    if (input < 1 || input > kChannelCount)
        return QStringLiteral("no input (\"No Link\", in red)");
    return QStringLiteral("input %1 %2").arg(Number(input), Name(config.inputNames[input]));
}

QString EdidModeWords(const std::string& mode) {
    if (mode.starts_with("DEF"))
        return QStringLiteral("the router's default");
    if (mode.starts_with("AUTO"))
        return QStringLiteral("auto detect");
    if (mode.starts_with("USER"))
        return QStringLiteral("a user EDID");
    if (mode.starts_with("OUT"))
        return QStringLiteral("copied from an output");
    return ToQString(mode);
}

}  // namespace

QString ViewToolTip(const RouterState& state, const AppConfig& config, const RoutingMap* routing,
                    ViewHit hit) {
    const int c = hit.index;
    QStringList lines;
    switch (hit.kind) {
        case kOutputSlotHeader:
            if (state.known.cards[c] && state.outputCardType[c] == kQuadMultiViewer)
                return QStringLiteral("Click to set the quad multiviewer's resolution and layout");
            return QString();
        case kInputCell: {
            lines << QStringLiteral("Input %1 %2").arg(Number(c), Name(config.inputNames[c]));
            const Lamp lamp = InputLamp(state, c);
            lines << (lamp == kLampUnknown ? QStringLiteral("Signal: not read yet")
                      : lamp == kLampOn
                          ? QStringLiteral("Signal: %1").arg(ToQString(state.inputStatusText[c]))
                          : QStringLiteral("Signal: none"));
            if (state.known.edidMode[c])
                lines << QStringLiteral("EDID: %1 (%2)")
                             .arg(ToQString(state.inputEdidMode[c]),
                                  EdidModeWords(state.inputEdidMode[c]));
            lines << QStringLiteral("Lamp: green a signal, grey none, an empty frame not read yet")
                  << QStringLiteral("Click to select it (again to deselect), then click outputs");
            break;
        }
        case kOutputCell: {
            lines << QStringLiteral("Output %1 %2").arg(Number(c), Name(config.outputNames[c]));
            lines << (state.known.routes ? QStringLiteral("On air: %1")
                                               .arg(InputCalled(config, state.routedInput[c]))
                                         : QStringLiteral("On air: not read yet"));
            if (routing && routing->pending[c] != kNoRoute)
                lines << QStringLiteral("Asked for: %1, not yet shown by the router (italic)")
                             .arg(InputCalled(config, routing->pending[c]));
            if (routing && routing->staged[c] != kNoRoute)
                lines << QStringLiteral("Staged: %1, sent by Take (framed)")
                             .arg(InputCalled(config, routing->staged[c]));
            if (routing && routing->lockOwner[c] == kOperator)
                lines << QStringLiteral("Protected: clicks, takes and salvos leave it");
            else if (routing && routing->lockOwner[c] != 0)
                lines << QStringLiteral("Locked by a Videohub client");
            lines << QStringLiteral(
                         "Lamp: green a display plugged (always on fiber and quad cards), grey "
                         "none, an empty frame not read yet")
                  << QStringLiteral(
                         "Click to route the selected input here (again to remove it); "
                         "Shift+click or right-click to protect");
            break;
        }
        default:
            return QString();
    }
    return lines.join(QLatin1Char('\n'));
}

void MatrixView::Notify(ViewHitKind kind, int index) {
    if (QObject* target = parent()) {
        ViewNotifyEvent event(kind, index);
        QCoreApplication::sendEvent(target, &event);
    }
}

}  // namespace corvane
