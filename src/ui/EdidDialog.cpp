#include "ui/EdidDialog.h"

#include <algorithm>

#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSysInfo>
#include <cstring>

#include "base/EventLog.h"
#include "base/TextFormat.h"
#include "control/EdidUpload.h"
#include "edid/EdidFile.h"
#include "edid/EdidReport.h"
#include "protocol/Commands.h"
#include "transport/Connection.h"
#include "ui/DialogUnits.h"
#include "ui/EdidDetailsDialog.h"
#include "ui/Fonts.h"
#include "ui/InputGrid.h"

namespace corvane {

QString userEdidPath;
QProcess* edidEditor = nullptr;

QString EdidEditorCommand() {
    const QString command = qEnvironmentVariable("CORVANE_EDID_EDITOR").trimmed();
    if (!command.isEmpty())
        return command;
#ifdef Q_OS_WIN
    // A 32-bit build on 64-bit Windows finds the editor under "(x86)".
    const bool wow64 = QSysInfo::buildCpuArchitecture() == QLatin1String("i386") &&
                       QSysInfo::currentCpuArchitecture() == QLatin1String("x86_64");
    return wow64 ? QStringLiteral("\"C:\\Program Files (x86)\\Silicon Image\\EDID.exe\"")
                 : QStringLiteral("\"C:\\Program Files\\Silicon Image\\EDID.exe\"");
#else
    return QString();
#endif
}

EdidDialog::EdidDialog(Connection& connection, QWidget* parent)
    : SettingDialog(connection, QStringLiteral("Setup EDID "), 370, 296, parent) {
    auto radio = [this](const char* text, int x, int y, int w, int h, const char* tip) {
        auto* r = new QRadioButton(QString::fromLatin1(text), this);
        r->setGeometry(DluRect(x, y, w, h));
        r->setToolTip(QString::fromLatin1(tip));
        return r;
    };

    AddGroup("EDID User Mode", 12, 9, 347, 76);
    pathLabel = new QLabel(this);
    pathLabel->setGeometry(DluRect(17, 26, 302, 18));
    pathLabel->setFrameStyle(QFrame::Box | QFrame::Plain);
    pathLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A path is shown as it is, never taken for markup.
    pathLabel->setTextFormat(Qt::PlainText);
    openButton = AddButton("Open", 320, 26, 35, 18,
                           "Chooses a user EDID file: 256 bytes, raw or as hex text");
    // Created left to right, so Tab follows the row.
    const bool haveEditor = !EdidEditorCommand().isEmpty();
    editorButton =
        AddButton("EDID EDIT", 18, 60, 79, 20,
                  haveEditor ? "Starts the EDID editor (CORVANE_EDID_EDITOR)"
                             : "No EDID editor is set: start Corvane with the environment "
                               "variable CORVANE_EDID_EDITOR set to the editor's command "
                               "line (see the README)");
    editorButton->setEnabled(haveEditor);
    // In the free space between the editor and the upload; the template's
    // controls keep their places.
    detailsButton = AddButton("Details", 142, 57, 79, 20, "");
    uploadButton = AddButton("Apply", 266, 57, 79, 20,
                             "Uploads the chosen file to the router as its user EDID; then choose "
                             "\"User's Edit\", mark the inputs and press the Apply below");
    ShowDetailsAvailable();

    AddGroup("Mode", 12, 101, 95, 152);
    defaultRadio =
        radio("Default", 30, 126, 42, 15, "The marked inputs show the router's default EDID");
    autoRadio = radio("Auto Detect", 30, 155, 66, 15,
                      "The router chooses the marked inputs' EDID by itself");
    outputCopyRadio = radio("Output Copy", 30, 184, 66, 15,
                            "The marked input copies the EDID of the chosen output's display");
    userRadio = radio("User's Edit", 30, 213, 61, 15,
                      "The marked inputs show the user EDID uploaded above");
    auto* modes = new QButtonGroup(this);
    for (QRadioButton* r : {defaultRadio, autoRadio, outputCopyRadio, userRadio})
        modes->addButton(r);

    AddGroup("Input Channel", 112, 101, 248, 152);
    outputLabel = new QLabel(QStringLiteral("Output Channel"), this);
    outputLabel->setGeometry(DluRect(206, 115, 66, 11));
    outputLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    outputList = new QComboBox(this);
    outputList->setGeometry(DluRect(286, 114, 69, 13));
    // A drop-down list, so the output shown is the one copied; opened, it
    // shows as many rows as fit in the template's 63 units.
    outputList->setItemDelegate(new LineDelegate(outputList));
    outputList->setMaxVisibleItems(std::max(1, DluY(63 - 13) / kLinePitch));
    grid = new InputGrid(this);
    grid->setGeometry(DluRect(117, 132, 237, 113));
    grid->setToolTip(
        QStringLiteral("Click an input, or move with the arrow keys and press Space, "
                       "to mark it"));
    modeApplyButton =
        AddButton("Apply", 273, 262, 79, 20, "Sets the chosen mode on the marked inputs");
    CreateStatusLine(QRect(14, 284, 343, 11));

    for (int n = 1; n <= 16; ++n)
        outputList->addItem(QStringLiteral("Output %1").arg(n, 2, 10, QLatin1Char('0')));
    outputList->setCurrentIndex(0);

    connect(modeApplyButton, &QPushButton::clicked, this, &EdidDialog::ApplyEdidMode);
    // clicked also fires on the radio that is already checked: that reloads
    // the marks from the router's modes.
    connect(defaultRadio, &QRadioButton::clicked, this, &EdidDialog::ChooseModeDefault);
    connect(autoRadio, &QRadioButton::clicked, this, &EdidDialog::ChooseModeAuto);
    connect(userRadio, &QRadioButton::clicked, this, &EdidDialog::ChooseModeUser);
    connect(outputCopyRadio, &QRadioButton::clicked, this, &EdidDialog::ChooseModeOutputCopy);
    connect(openButton, &QPushButton::clicked, this, &EdidDialog::OpenEdidFile);
    connect(editorButton, &QPushButton::clicked, this, &EdidDialog::StartEdidEditor);
    connect(uploadButton, &QPushButton::clicked, this, &EdidDialog::UploadUserEdid);
    connect(detailsButton, &QPushButton::clicked, this, &EdidDialog::ShowEdidDetails);

    defaultRadio->setChecked(true);
    ChooseModeDefault();
}

void EdidDialog::ShowModeSelection(const char* word, bool outputCopy) {
    outputLabel->setVisible(outputCopy);
    outputList->setVisible(outputCopy);
    const RouterState& state = connection.session.state;
    for (int n = 1; n <= 16; ++n)
        grid->selection[n - 1] = state.known.edidMode[n] && state.inputEdidMode[n] == word ? 1 : 0;
    grid->singleSelect = outputCopy ? 1 : 0;
    grid->update();
}

void EdidDialog::ChooseModeDefault() {
    ShowModeSelection("DEF.", false);
}
void EdidDialog::ChooseModeAuto() {
    ShowModeSelection("AUTO", false);
}
void EdidDialog::ChooseModeUser() {
    ShowModeSelection("USER", false);
}
void EdidDialog::ChooseModeOutputCopy() {
    ShowModeSelection("OUT.", true);
}

void EdidDialog::ApplyEdidMode() {
    // Every input's mode: the marks start from them.
    const KnownValues& known = connection.session.state.known;
    if (!Reported(std::all_of(known.edidMode + 1, known.edidMode + kChannelTableSize,
                              [](bool k) { return k; }),
                  "its inputs' EDID modes"))
        return;
    EdidMode mode = EdidMode::Auto;
    if (outputCopyRadio->isChecked())
        mode = EdidMode::CopyOutput;
    else if (defaultRadio->isChecked())
        mode = EdidMode::Default;
    else if (userRadio->isChecked())
        mode = EdidMode::User;
    const int copyOutput = outputList->currentIndex() + 1;
    // Output 00 does not exist: without a chosen output nothing is copied.
    if (mode == EdidMode::CopyOutput && copyOutput < 1)
        return Say(QStringLiteral("Choose the output to copy first; nothing sent."));
    bool chosen[kChannelTableSize] = {};
    for (int n = 1; n <= 16; ++n)
        chosen[n] = grid->selection[n - 1] == 1;
    if (const std::optional<std::string> command = EdidModeCommand(mode, copyOutput, chosen))
        Send({*command});
    else
        Say(QStringLiteral("Mark at least one input first; nothing sent."));
}

void EdidDialog::ShowDetailsAvailable() {
    const bool chosen = !userEdidPath.isEmpty();
    detailsButton->setEnabled(chosen);
    detailsButton->setToolTip(
        chosen ? QStringLiteral("Shows what the chosen file holds, with warnings for the cards of "
                                "the marked inputs")
               : QStringLiteral("Open an EDID file first"));
}

void EdidDialog::OpenEdidFile() {
    const QString path = QFileDialog::getOpenFileName(
        this, QString(), QString(), QStringLiteral("EDID BIN Files (*.bin);;All Files (*.*)"));
    if (path.isEmpty())
        return;
    userEdidPath = path;
    pathLabel->setText(path);
    ShowDetailsAvailable();
}

QString EdidDialog::EdidDetailsText(Edid edid) const {
    const RouterState& state = connection.session.state;
    bool anyMarked = false;
    for (int n = 1; n <= kChannelCount; ++n)
        anyMarked |= grid->selection[n - 1] == 1;
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        bool concerned = !anyMarked;
        for (int n = 1; n <= kChannelCount; ++n)
            concerned |= SlotOfChannel(n) == slot && grid->selection[n - 1] == 1;
        if (!concerned)
            continue;
        for (const std::string& warning : CardWarnings(edid, state.inputCardType[slot]))
            edid.warnings.push_back(Format("inputs %d-%d: ", slot * 4 - 3, slot * 4) + warning);
    }
    return QString::fromLatin1(EdidSummaryText(edid));
}

void EdidDialog::ShowEdidDetails() {
    if (userEdidPath.isEmpty())
        return;
    const EdidFileCheck check = CheckEdidFile(NativePath(userEdidPath));
    switch (check.status) {
        case EdidFileStatus::OpenFailed:
            showMessage(QStringLiteral("File Open Fail!"));
            return;
        case EdidFileStatus::FormatError:
            showMessage(QStringLiteral("File Format Error!"));
            return;
        case EdidFileStatus::Ok:
            break;
    }
    EdidDetailsDialog details(userEdidPath, check.bytes, EdidDetailsText(check.edid), this);
    details.exec();
}

void EdidDialog::StartEdidEditor() {
    if (edidEditor != nullptr && edidEditor->state() != QProcess::NotRunning)
        return;
    const QStringList command = QProcess::splitCommand(EdidEditorCommand());
    if (command.isEmpty())
        return;
    if (edidEditor == nullptr) {
        edidEditor = new QProcess;
        edidEditor->setProcessChannelMode(QProcess::ForwardedChannels);
    }
    // The process outlives this dialog: only this dialog's run hears of a failure.
    disconnect(edidEditor, nullptr, this, nullptr);
    connect(edidEditor, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            Say(QStringLiteral("The EDID editor could not be started: ") +
                edidEditor->errorString());
    });
    edidEditor->start(command.first(), command.mid(1));
}

void EdidDialog::UploadUserEdid() {
    std::string refusal;
    switch (UploadEdidFile(connection.session, NativePath(userEdidPath), &refusal)) {
        case EdidUpload::OpenFailed:
            Say(QStringLiteral("File Open Fail! Nothing sent."));
            showMessage(QStringLiteral("File Open Fail!"));
            break;
        case EdidUpload::FormatError:
            Say(QStringLiteral("File Format Error! Nothing sent."));
            showMessage(QStringLiteral("File Format Error!"));
            break;
        case EdidUpload::Invalid:
            Say(QStringLiteral("The EDID has errors; nothing sent."));
            showMessage(QStringLiteral("EDID not uploaded:\n") + QString::fromLatin1(refusal));
            break;
        case EdidUpload::NotConnected:
            Say(QStringLiteral("Not connected; nothing sent."));
            break;
        case EdidUpload::NoFile:
            Say(QStringLiteral("Open an EDID file first; nothing sent."));
            break;
        case EdidUpload::NotSent:
            Say(QStringLiteral("The link did not take the whole EDID (see the log)."));
            break;
        case EdidUpload::Sent:
            Say(QStringLiteral("Sent EDIT= with the 256 bytes of ") +
                QFileInfo(userEdidPath).fileName());
            break;
    }
}

}  // namespace corvane
