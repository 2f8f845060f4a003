#include "ui/MatrixView.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTextLayout>
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
const QColor kPendingText(120, 120, 120);
const QColor kStagedFrame(230, 150, 20);
const QColor kLockMark(150, 30, 30);

constexpr int kLampWidth = 24;
constexpr int kLampHeight = 9;

// A rectangle given by its edges, the right and bottom ones exclusive.
QRect Edges(int left, int top, int right, int bottom) {
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

// Top and left edge in one colour, bottom and right in the other.
void Draw3dRect(QPainter& painter, const QRect& r, QColor topLeft, QColor bottomRight) {
    painter.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), topLeft);
    painter.fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), topLeft);
    painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
    painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
}

constexpr int kSingleLine = Qt::AlignVCenter | Qt::TextSingleLine;

}  // namespace

void TextLayoutCache::Draw(QPainter& painter, const QRect& rect, int flags, const QString& text) {
    const QFont& font = painter.font();
    QString key = text;
    key += QChar(u'\n');
    key += QChar(char16_t(font.pixelSize() & 0x7FFF));
    key += QChar(char16_t(font.weight() * 2 + font.italic()));
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

bool InputIndicatorOn(const RouterState& state, int input) {
    return state.HasSignal(input);
}

bool OutputIndicatorOn(const RouterState& state, int output) {
    if (output < 1 || output > kChannelCount)
        return false;
    if (state.outputPlugged[output] == 1)
        return true;
    switch (state.outputCardType[SlotOfChannel(output)]) {
        case kFiber1Input:
        case kFiber1Output:
        case kFiber2Input:
        case kFiber2Output:
        case kQuadMultiViewer:
            return true;
        default:
            return false;
    }
}

QImage MakeIndicatorStrip() {
    QImage strip(2 * kLampWidth, kLampHeight, QImage::Format_RGB32);
    for (int lamp = 0; lamp < 2; ++lamp) {
        const int x0 = lamp * kLampWidth;
        const QRgb interior = lamp == 0 ? qRgb(128, 128, 128) : qRgb(0, 255, 0);
        for (int y = 0; y < kLampHeight; ++y) {
            for (int x = 0; x < kLampWidth; ++x) {
                const bool edge = x == 0 || y == 0 || x == kLampWidth - 1 || y == kLampHeight - 1;
                const bool glint = (y == 2 && x >= 2 && x <= 5) || (y == 4 && x == 2);
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
    layout = LayoutCells(width());
}

void MatrixView::resizeEvent(QResizeEvent*) {
    layout = LayoutCells(width());
    backBuffer = QImage();
    update();
}

QRect MatrixView::CellArea(int side, int channel) const {
    // A pressed cell is drawn one pixel right and down.
    return ToQRect(layout.cellRects[side][channel]).adjusted(0, 0, 1, 1);
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
        layout = LayoutCells(width());
        whole = true;
    }
    if (backBuffer.isNull())
        return;
    QPainter painter(&backBuffer);
    // A part is drawn again only where it meets dirty, and only there: every
    // part stays within its area, so the rest of the buffer is left as it was.
    if (!whole)
        painter.setClipRegion(dirty);
    const auto meets = [&](const QRect& area) { return whole || dirty.intersects(area); };
    painter.fillRect(rect(), kViewBackground);
    Draw3dRect(painter, rect(), Qt::black, Qt::black);
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        for (int side : {kInputSide, kOutputSide}) {
            // A pressed header is drawn two pixels right and down.
            if (meets(ToQRect(layout.slotHeaderRects[side][slot]).adjusted(0, 0, 2, 2)))
                DrawSlotHeader(painter, side, slot);
        }
    }
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        for (int side : {kInputSide, kOutputSide}) {
            if (meets(CellArea(side, channel)))
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
    if (side == kOutputSide && pressed == ViewHit{kOutputSlotHeader, slot}) {
        r.translate(2, 2);
        Draw3dRect(painter, r, shadow, light);
    } else {
        Draw3dRect(painter, r, light, shadow);
    }
    r.adjust(1, 1, -1, -1);
    painter.fillRect(r, kHeaderFill);
    const int card = side == kInputSide ? state.inputCardType[slot] : state.outputCardType[slot];
    const QString text =
        QString::asprintf(side == kInputSide ? "  IN SLOT %0d   %s" : "  OUT SLOT %0d   %s", slot,
                          CardTypeName(card));
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
    if (down) {
        r.translate(1, 1);
        Draw3dRect(painter, r, shadow, light);
    } else {
        Draw3dRect(painter, r, light, shadow);
    }
    r.adjust(1, 1, -1, -1);
    const int L = r.left(), T = r.top(), R = r.right() + 1, B = r.bottom() + 1;

    painter.fillRect(r, Qt::white);
    painter.fillRect(Edges(L, T, L + 24, B), kNumberStrip);
    const QRect nameBar = Edges(L + 25, T, R, T + 26);
    const QRect infoArea = Edges(L + 25, T + 26, R, B);
    painter.fillRect(nameBar, selected ? kSelectedNameBar : kNameBar);
    painter.fillRect(infoArea, kInfoArea);

    const std::string& name =
        side == kInputSide ? config.inputNames[channel] : config.outputNames[channel];
    painter.setFont(TahomaFont(12, true));
    painter.setPen(selected ? kNameBar : kSelectedNameBar);
    texts.Draw(painter, nameBar, Qt::AlignHCenter | kSingleLine,
               QStringLiteral(" ") + ToQString(name));

    const bool on =
        side == kInputSide ? InputIndicatorOn(state, channel) : OutputIndicatorOn(state, channel);
    painter.drawImage(QPoint(L, T), indicatorStrip,
                      QRect(on ? kLampWidth : 0, 0, kLampWidth, kLampHeight));

    painter.setFont(TahomaFont(16, true));
    painter.setPen(kNumberText);
    texts.Draw(painter, Edges(L, T + 9, L + 24, B), Qt::AlignHCenter | kSingleLine,
               QString::asprintf("%02d", channel));

    painter.setFont(TahomaFont(10, false));
    painter.setPen(kInfoText);
    if (side == kInputSide) {
        texts.Draw(painter, infoArea, Qt::AlignLeft | kSingleLine,
                   QStringLiteral(" ") + ToQString(state.inputEdidMode[channel]));
        texts.Draw(painter, infoArea, Qt::AlignHCenter | kSingleLine,
                   QStringLiteral("      ") + ToQString(state.inputStatusText[channel]));
    } else {
        DrawRoute(painter, infoArea, channel);
        if (routing && routing->lockOwner[channel] != 0) {
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
    // Staged for a take, else asked for and not yet confirmed, else the router's.
    int shown = state.routedInput[output];
    bool staged = false, pending = false;
    if (routing && routing->staged[output] != kNoRoute) {
        shown = routing->staged[output];
        staged = true;
    } else if (routing && routing->pending[output] != kNoRoute) {
        shown = routing->pending[output];
        pending = true;
    }
    if (staged) {
        painter.setPen(QPen(kStagedFrame, 2));
        painter.drawRect(infoArea.adjusted(1, 1, -1, -1));
    }
    if (staged || pending) {
        QFont italic = painter.font();
        italic.setItalic(true);
        painter.setFont(italic);
    }
    const bool linked = shown >= 1 && shown <= kChannelCount;
    painter.setPen(pending ? kPendingText : linked ? kInfoText : kNoLinkText);
    const QString text = linked ? ToQString(config.inputNames[shown]) : QStringLiteral("No Link");
    texts.Draw(painter, infoArea, Qt::AlignHCenter | kSingleLine,
               (staged ? QStringLiteral("Take: ") : QStringLiteral(" ")) + text);
}

void MatrixView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(e);
        return;
    }
    const QPoint at = e->position().toPoint();
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
    const QPoint at = e->position().toPoint();
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
    const ViewHit hit = HitTest(layout, e->pos().x(), e->pos().y());
    if (hit.kind != kOutputCell) {
        e->ignore();
        return;
    }
    Notify(kOutputProtect, hit.index);
}

void MatrixView::Notify(ViewHitKind kind, int index) {
    if (QObject* target = parent()) {
        ViewNotifyEvent event(kind, index);
        QCoreApplication::sendEvent(target, &event);
    }
}

}  // namespace corvane
