#pragma once

#include <QString>
#include <functional>
#include <string>

#include "edid/Edid.h"
#include "ui/SettingDialog.h"

class QComboBox;
class QLabel;
class QProcess;
class QPushButton;
class QRadioButton;

namespace corvane {

class InputGrid;

// The chosen user EDID file; one for the whole process, so it outlives the
// dialog that chose it.
extern QString userEdidPath;
// The external editor this process started; kept so that a second press does
// not start another while it runs. Never deleted: the editor outlives us.
extern QProcess* edidEditor;

// The editor to start: CORVANE_EDID_EDITOR (a command line) when set; on
// Windows otherwise the editor's own install path. Empty: none.
QString EdidEditorCommand();

// "Setup EDID ": EDID mode per input, the user EDID upload and the external
// editor.
class EdidDialog : public SettingDialog {
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
    // The chosen file decoded, with what the cards of the marked inputs (all
    // inputs when none is marked) would make of it.
    void ShowEdidDetails();
    QString EdidDetailsText(Edid edid) const;

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
    QPushButton* detailsButton = nullptr;
    QPushButton* modeApplyButton = nullptr;

private:
    void ShowModeSelection(const char* word, bool outputCopy);
    // "Details" needs a chosen file; its tooltip says so.
    void ShowDetailsAvailable();
};

}  // namespace corvane
