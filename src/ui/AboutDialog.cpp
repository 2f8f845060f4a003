#include "ui/AboutDialog.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "base/Version.h"
#include "ui/DialogUnits.h"
#include "ui/Fonts.h"

namespace corvane {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Corvane"));
    setFixedSize(DluX(235), DluY(55));
    QFont font = TahomaFont(12);
    // Gulim under its Korean family name first, as font lists often give it.
    font.setFamilies({QString::fromUtf8("\xea\xb5\xb4\xeb\xa6\xbc"), QStringLiteral("Gulim"),
                      QStringLiteral("Tahoma")});
    setFont(font);

    // Both lines reach to the OK button, and are as tall as the face needs:
    // the template's 8 units cut off a Gulim or Tahoma line's descenders.
    const char* lines[] = {"Corvane version " CORVANE_VERSION, "Control for the 16 x 16 router"};
    int top = 10;
    for (const char* text : lines) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setTextFormat(Qt::PlainText);
        const QRect cell = DluRect(40, top, 134, 8);
        label->setGeometry(
            cell.adjusted(0, 0, 0, std::max(0, label->sizeHint().height() - cell.height())));
        top += 15;
    }

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(DluRect(178, 7, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace corvane
