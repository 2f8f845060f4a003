#include "ui/Fonts.h"

#include <QFile>
#include <QFontDatabase>

namespace corvane {

void LoadTahoma() {
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma"))) return;
    for (const char* path : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
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

}  // namespace corvane
