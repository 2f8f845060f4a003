#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QLabel;
class QProcess;
class QPushButton;
class QRadioButton;

namespace corvane {

class Connection;
class InputGrid;

// The chosen user EDID file; one for the whole process, so it outlives the
// dialog that chose it.
extern QString userEdidPath;

// "Setup EDID ": EDID mode per input, the user EDID upload and the external
// editor.
class EdidDialog : public QDialog {
    Q_OBJECT
public:
    explicit EdidDialog(Connection& connection, QWidget* parent = nullptr);

    void ChooseModeDefault();
    void ChooseModeAuto();
    void ChooseModeUser();
    void ChooseModeOutputCopy();
    void ApplyEdidMode();
    void OpenEdidFile();
    void StartEdidEditor();
    void UploadUserEdid();

    Connection& connection;
    InputGrid* grid = nullptr;
    QLabel* pathLabel = nullptr;
    QComboBox* outputList = nullptr;
    QLabel* outputLabel = nullptr;
    QRadioButton* defaultRadio = nullptr;
    QRadioButton* autoRadio = nullptr;
    QRadioButton* outputCopyRadio = nullptr;
    QRadioButton* userRadio = nullptr;
    QPushButton* openButton = nullptr;
    QPushButton* editorButton = nullptr;
    QPushButton* uploadButton = nullptr;
    QPushButton* modeApplyButton = nullptr;

private:
    void ShowModeSelection(const char* word, bool outputCopy);
};

}  // namespace corvane
