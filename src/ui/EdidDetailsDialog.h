#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

#include "edid/Edid.h"

class QPlainTextEdit;
class QPushButton;

namespace corvane {

// A path as the core's file functions take it.
std::string NativePath(const QString& path);

// What the chosen EDID file holds, read-only, with "Fix checksums" that saves
// a corrected copy under a new name; the user's file is never changed.
class EdidDetailsDialog : public QDialog {
    Q_OBJECT
public:
    EdidDetailsDialog(const QString& path, const EdidBytes& bytes, const QString& summary,
                      QWidget* parent = nullptr);

    void FixChecksums();

    QString path;
    EdidBytes bytes;
    QPlainTextEdit* text = nullptr;
    QPushButton* fixButton = nullptr;
    QPushButton* closeButton = nullptr;
    // The Save As question and the messages; dialogs unless replaced.
    std::function<QString(const QString& suggested)> askSavePath;
    std::function<void(const QString&)> showMessage;
};

}  // namespace corvane
