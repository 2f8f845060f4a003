#include "ui/Fonts.h"

#include <QFile>
#include <QFontDatabase>
#include <algorithm>

namespace corvane {

void LoadTahoma() {
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma")))
        return;
    for (const char* path :
         {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
        if (QFile::exists(QString::fromLatin1(path)))
            QFontDatabase::addApplicationFont(QString::fromLatin1(path));
    }
}

QFont TahomaFont(int pixelHeight, bool bold) {
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

QSize LineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(pitch, option.fontMetrics.height()));
    return size;
}

void LineDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!markCurrent)
        option->state &= ~(QStyle::State_HasFocus | QStyle::State_Selected);
}

}  // namespace corvane
