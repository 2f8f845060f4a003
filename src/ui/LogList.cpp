#include "ui/LogList.h"

#include <QPainter>

#include "ui/Fonts.h"
#include "ui/Text.h"

namespace corvane {

LogList::LogList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::NoSelection);
    // A plain list box: the vertical bar appears once the lines overflow, and
    // long lines are cut at the right edge rather than scrolled or elided.
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideNone);
    setUniformItemSizes(true);
    // Rows at the layout's line pitch; the list only shows lines, so no row
    // is marked as current.
    setItemDelegate(new LineDelegate(this, false));
}

void LogList::AppendToLogList(const std::string& line) {
    addItem(ToQString(line));
    if (count() > int(ScreenLog::kMaxLines))
        delete takeItem(0);
    scrollToBottom();
}

void LogList::ClearLogList() {
    clear();
}

void LogList::paintEvent(QPaintEvent* e) {
    QListWidget::paintEvent(e);
    if (!hasFocus())
        return;
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawRect(QRectF(viewport()->rect()).adjusted(1, 1, -1, -1));
}

void LogList::focusInEvent(QFocusEvent* e) {
    QListWidget::focusInEvent(e);
    viewport()->update();
}

void LogList::focusOutEvent(QFocusEvent* e) {
    QListWidget::focusOutEvent(e);
    viewport()->update();
}

}  // namespace corvane
