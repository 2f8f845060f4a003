#include "ui/EdidDetailsDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "edid/EdidFile.h"

namespace corvane {

std::string NativePath(const QString& path) {
#ifdef Q_OS_WIN
    return path.toUtf8().toStdString();
#else
    return QFile::encodeName(path).toStdString();
#endif
}

EdidDetailsDialog::EdidDetailsDialog(const QString& path, const EdidBytes& bytes,
                                     const QString& summary, QWidget* parent)
    : QDialog(parent), path(path), bytes(bytes) {
    setWindowTitle(QStringLiteral("EDID Details"));
    resize(640, 520);
    askSavePath = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(
            this, QStringLiteral("Save corrected EDID"), suggested,
            QStringLiteral("EDID BIN Files (*.bin);;All Files (*.*)"));
    };
    showMessage = [this](const QString& message) {
        QMessageBox::information(this, QCoreApplication::applicationName(), message);
    };

    text = new QPlainTextEdit(this);
    text->setReadOnly(true);
    // A text cursor shows where the focus is, and the keyboard can select and copy.
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setPlainText(summary);
    fixButton = new QPushButton(QStringLiteral("Fix checksums"), this);
    closeButton = new QPushButton(QStringLiteral("Close"), this);
    const Edid edid = DecodeEdid(bytes);
    const bool broken = !edid.checksumOk[0] || (edid.blocksRead == 2 && !edid.checksumOk[1]);
    fixButton->setEnabled(broken);
    fixButton->setToolTip(broken ? QStringLiteral("Saves a copy with correct checksums under a new "
                                                  "name; the chosen file stays as it is")
                                 : QStringLiteral("Both checksums are correct: nothing to fix"));
    closeButton->setToolTip(QStringLiteral("Back to \"Setup EDID \""));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(fixButton);
    buttons->addStretch();
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(buttons);

    connect(fixButton, &QPushButton::clicked, this, &EdidDetailsDialog::FixChecksums);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

void EdidDetailsDialog::FixChecksums() {
    const QFileInfo source(path);
    const QString suggested = source.dir().filePath(source.completeBaseName() + "-fixed.bin");
    const QString target = askSavePath(suggested);
    if (target.isEmpty())
        return;
    // A copy, never the file the user chose: that one stays as evidence.
    const QFileInfo chosen(target);
    if (chosen.exists() && source.exists() &&
        chosen.canonicalFilePath() == source.canonicalFilePath()) {
        showMessage(QStringLiteral("Choose another name: the original file is kept as it is."));
        return;
    }
    if (!WriteEdidFile(NativePath(target), corvane::FixChecksums(bytes))) {
        showMessage(QStringLiteral("Could not write ") + target);
        return;
    }
    showMessage(QStringLiteral("Saved the corrected EDID as ") + target);
}

}  // namespace corvane
