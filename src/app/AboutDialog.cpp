#include "app/AboutDialog.h"

#include <QLabel>
#include <QPushButton>

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

    auto* version = new QLabel(QStringLiteral("Corvane version 1.12"), this);
    version->setTextFormat(Qt::PlainText);
    version->setGeometry(DluRect(40, 10, 119, 8));
    auto* line = new QLabel(QStringLiteral("Remote control for the 16 x 16 router"), this);
    line->setTextFormat(Qt::PlainText);
    line->setGeometry(DluRect(40, 25, 119, 8));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(DluRect(178, 7, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace corvane
