#include "ui/ViewOverlay.h"

#include <QEvent>
#include <QPainter>

#include "ui/Fonts.h"
#include "ui/MatrixView.h"

namespace corvane {

namespace {

const QColor kVeil(71, 79, 100, 120);  // the view's background, see-through
const QColor kFedFrame(255, 214, 90);
const QColor kLostFrame(235, 50, 50);
const QColor kTakeFrame(230, 150, 20);

struct ChipColours {
    QColor back, text;
};
// Every pair reads at 4.5:1 or better.
ChipColours ColoursOf(int kind) {
    switch (kind) {
        case kNoticeGood:
            return {QColor(46, 125, 50), Qt::white};
        case kNoticeWarning:
            return {QColor(240, 180, 40), Qt::black};
        case kNoticeRefusal:
            return {QColor(190, 40, 40), Qt::white};
        default:
            return {QColor(226, 230, 238), QColor(16, 34, 80)};
    }
}

// A frame of the given width drawn inside r.
void Frame(QPainter& painter, const QRect& r, const QColor& colour, int width) {
    painter.fillRect(QRect(r.left(), r.top(), r.width(), width), colour);
    painter.fillRect(QRect(r.left(), r.bottom() - width + 1, r.width(), width), colour);
    painter.fillRect(QRect(r.left(), r.top(), width, r.height()), colour);
    painter.fillRect(QRect(r.right() - width + 1, r.top(), width, r.height()), colour);
}

}  // namespace

ViewOverlay::ViewOverlay(MatrixView& matrixView) : QWidget(&matrixView), view(matrixView) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(view.rect());
    view.installEventFilter(this);
}

bool ViewOverlay::eventFilter(QObject* watched, QEvent* e) {
    if (watched == &view && e->type() == QEvent::Resize)
        setGeometry(view.rect());
    return QWidget::eventFilter(watched, e);
}

void ViewOverlay::SetMarks(const ViewMarks& shown) {
    if (shown == marks)
        return;
    // A new notice or caption repaints the status line only (and the view
    // under it, which shows through).
    ViewMarks lines = marks;
    lines.caption = shown.caption;
    lines.captionKind = shown.captionKind;
    lines.notice = shown.notice;
    lines.noticeKind = shown.noticeKind;
    const bool onlyLines = lines == shown;
    marks = shown;
    if (onlyLines)
        update(view.ToWidget(StatusBand()));
    else
        update();
}

QRect ViewOverlay::StatusBand() const {
    // Between the last row of inputs and the first output slot header.
    const CellRect& header = view.layout.slotHeaderRects[kOutputSide][1];
    const int top = view.layout.cellRects[kInputSide][kChannelCount].bottom + 2;
    return QRect(QPoint(header.left, top), QPoint(header.right - 1, header.top - 2));
}

void ViewOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (marks.dim)
        painter.fillRect(rect(), kVeil);
    if (marks.takeMode)
        Frame(painter, rect(), kTakeFrame, 2);
    // The cells' frames and the status line at the view's scale.
    painter.scale(view.scale, view.scale);
    for (int c = 1; c <= kChannelCount; ++c) {
        const QRect out = ToQRect(view.layout.cellRects[kOutputSide][c]);
        if (marks.fed[c])
            Frame(painter, out.adjusted(-1, -1, 2, 2), kFedFrame, 2);
        for (int side : {kInputSide, kOutputSide}) {
            if (marks.lost[side][c])
                Frame(painter, ToQRect(view.layout.cellRects[side][c]).adjusted(-2, -2, 3, 3),
                      kLostFrame, 2);
        }
    }

    // The status line: what the view is (not live, take mode), then the
    // latest notice, each on a chip of its kind.
    const QRect band = StatusBand();
    painter.setFont(TahomaFont(11, true));
    const QFontMetrics metrics = painter.fontMetrics();
    int x = band.left() + 2;
    auto chip = [&](const QString& text, ChipColours colours) {
        const int room = band.right() - x - 8;
        if (text.isEmpty() || room < 16)
            return;
        const QString shown = metrics.elidedText(text, Qt::ElideRight, room);
        const QRect area(x, band.top(), metrics.horizontalAdvance(shown) + 12, band.height());
        painter.fillRect(area, colours.back);
        painter.setPen(colours.text);
        painter.drawText(area, Qt::AlignCenter | Qt::TextSingleLine, shown);
        x = area.right() + 6;
    };
    chip(marks.caption, ColoursOf(marks.captionKind));
    if (marks.takeMode)
        chip(QStringLiteral("TAKE MODE"), {kTakeFrame, Qt::black});
    chip(marks.notice, ColoursOf(marks.noticeKind));
}

}  // namespace corvane
