#include "ui/LogList.h"

namespace corvane {

LogList::LogList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::NoSelection);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setUniformItemSizes(true);
}

void LogList::AppendToLogList(const std::string& line) {
    addItem(QString::fromLatin1(line.data(), qsizetype(line.size())));
    if (count() > int(ScreenLog::kMaxLines))
        delete takeItem(0);
    scrollToBottom();
}

void LogList::ClearLogList() {
    clear();
}

}  // namespace corvane
