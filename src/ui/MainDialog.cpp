#include "ui/MainDialog.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QSocketNotifier>
#include <algorithm>
#include <cstdio>
#include <type_traits>
#include <utility>

#include "base/TextFormat.h"
#include "bridge/Swp08Server.h"
#include "bridge/VideohubServer.h"
#include "control/RouteEntry.h"
#include "control/StatusText.h"
#include "protocol/Pacing.h"
#include "ui/AboutDialog.h"
#include "ui/BridgeListener.h"
#include "ui/ColorLabel.h"
#include "ui/ConfigDialog.h"
#include "ui/DialogUnits.h"
#include "ui/EdidDialog.h"
#include "ui/Fonts.h"
#include "ui/ImageButton.h"
#include "ui/LogList.h"
#include "ui/MatrixView.h"
#include "ui/Messages.h"
#include "ui/QuadDialog.h"
#include "ui/Text.h"
#include "ui/ViewOverlay.h"
#include "ui/WindowSize.h"

namespace corvane {

namespace {

const QColor kWindowBackground(128, 128, 128);
const char kSalvoTip[] = "Salvos; the one the router shows now is marked (live)";

QString ConfigUnreadableText() {
    return QStringLiteral(
               "%1 cannot be read (it is not a readable regular file). Corvane connects nowhere "
               "until it is fixed.")
        .arg(QString::fromLatin1(kConfigPath));
}
const QColor kCaptionText = ColorFromRef(0xF0E9E9);
const QColor kCaptionBack = ColorFromRef(0x644F47);
const QColor kBodyText = ColorFromRef(0x4F4F4F);
const QColor kBodyBack = ColorFromRef(0xF4F4F4);
constexpr unsigned kButtonTint = 0x796B6B;
const QColor kTakeModeText(130, 60, 0);
const QColor kPromptText(110, 110, 110);  // 5:1 on white
const QString kRoutePrompt = QStringLiteral("in.out");

// A notice stays this long; a lost signal is marked on the view this long.
constexpr long long kNoticeTicks = 10 * kTicksPerSecond;
constexpr long long kLostMarkTicks = 10 * kTicksPerSecond;

// Outputs with a route staged for a take, and with one asked for and not yet
// shown by the router.
int StagedCount(const RoutingMap& routing) {
    return int(std::count_if(std::begin(routing.staged) + 1, std::end(routing.staged),
                             [](int input) { return input != kNoRoute; }));
}
int PendingCount(const RoutingMap& routing) {
    return int(std::count_if(std::begin(routing.pending) + 1, std::end(routing.pending),
                             [](int input) { return input != kNoRoute; }));
}

// A flat group box without a caption: a shadow-coloured line with a face-coloured
// one inside, starting half a text line below its top as a group box frame does.
class FlatGroupBox : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QRect frame = rect();
        frame.setTop(fontMetrics().height() / 2 - 1);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawRect(frame.adjusted(0, 0, -1, -1));
        painter.setPen(palette().color(QPalette::Button));
        painter.drawRect(frame.adjusted(1, 1, -2, -2));
    }
};

}  // namespace

MainDialog::MainDialog(QWidget* parent)
    : QDialog(parent), log("."), session(log), connection(session, config) {
    CreateControls();

    setWindowTitle(ToQString(ReadWindowTitle()));
    setWindowIcon(QIcon(QStringLiteral(":/corvane/corvane.png")));

    log.screen = logList;
    log.screenLogEnabled = true;
    configUnreadable = !LoadConfig(config, session.state);

    matrixView = new MatrixView(session.state, config, this);
    matrixView->setGeometry(DluRect(7, 36, 471, 329));

    matrixView->routing = &session.routing;
    viewOverlay = new ViewOverlay(*matrixView);

    // Every control's place at scale 1, which LayOut scales; then the size
    // that fits the screen, or the one the user chose last time.
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        layoutRects.emplace_back(child, child->geometry());
    const QScreen* shownOn = screen();
    resize(OpeningSize(shownOn ? shownOn->availableGeometry().size() : kDesignSize,
                       QSize(config.windowWidth, config.windowHeight)));
    openedSize = size();
    LayOut();

    const QFont buttonFont = TahomaFont(11, true);
    for (ImageButton* button :
         {disconnectButton, connectButton, setEdidButton, setConfigButton, linkClearButton,
          linkButton, allLinkButton, recallButton, saveSalvoButton, takeModeButton, takeButton,
          cancelButton, undoButton, redoButton}) {
        button->SetShade(2, 8, 10, 5, ColorFromRef(kButtonTint));
        button->SetTextFont(buttonFont);
    }

    int index = 0;
    for (ColorLabel* label :
         {connectionCaption, connectionPanel, generatorCaption, generatorPanel, monitoringCaption,
          monitoringPanel, lockCaption, lockPanel, networkCaption, networkPanel}) {
        const bool caption = index++ % 2 == 0;
        label->SetForeColor(caption ? kCaptionText : kBodyText, false);
        label->SetBackColor(caption ? kCaptionBack : kBodyBack, false);
        label->SetBold(true, false);
        label->textOffsetX = 2;
        label->textOffsetY = 5;
        // Set once here: a refresh only changes the panel texts.
        label->SetFontFace(QStringLiteral("Tahoma"), caption ? 12 : 9, false);
    }

    disconnectButton->setEnabled(false);
    connectButton->setEnabled(true);

    refreshSubscription = session.onRefresh.Subscribe([this] { RefreshStatusPanels(); });
    eventSubscription =
        session.onEvent.Subscribe([this](const SessionEvent& event) { OnSessionEvent(event); });
    // The bridges config.ini names, each on its own port.
    const auto serve = [this](auto& bridge, const std::string& where, const char* name) {
        using Bridge = typename std::remove_reference_t<decltype(bridge)>::element_type;
        if (where.empty())
            return;
        bridge = std::make_unique<Bridge>(session, config, name);
        bridge->listener.clientsChanged = [this] { RefreshStatusPanels(); };
        // A client's lock is news to the other bridge's clients too, told
        // once the host is done with this read.
        bridge->server.changed = [this] {
            RefreshStatusPanels();
            QTimer::singleShot(0, this, [this] { SyncBridges(); });
        };
        if (!bridge->listener.Start(where))
            bridge.reset();
    };
    serve(videohub, config.videohubListen, "Videohub");
    if (videohub)
        videohub->server.friendlyName = windowTitle().toLatin1().toStdString();
    serve(swp08, config.swp08Listen, "SW-P-08");
    connection.udpLinkChanged = [this](UdpLink* link) { WatchUdpLink(link); };
    connection.showMessage = [this](const std::string& text) {
        if (messageBox)
            messageBox(ToQString(text));
    };
    messageBox = [this](const QString& text) {
        QMessageBox::warning(this, QCoreApplication::applicationName(), text);
    };
    // Called on the watcher thread: only post, the GUI thread does the work.
    connection.serialLink.notify = [this](SerialEvent event) {
        const QEvent::Type type = event == SerialEvent::Hangup    ? kSerialHangupEvent
                                  : event == SerialEvent::Overrun ? kSerialOverrunEvent
                                                                  : kSerialRxEvent;
        QCoreApplication::postEvent(this, new QEvent(type));
    };

    // No is the default answer: Enter never confirms a question by accident.
    askQuestion = [this](const QString& text) {
        return QMessageBox::question(this, QCoreApplication::applicationName(), text,
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };
    askText = [this](const QString& prompt, const QString& text) -> std::optional<QString> {
        bool ok = false;
        const QString answer = QInputDialog::getText(this, QCoreApplication::applicationName(),
                                                     prompt, QLineEdit::Normal, text, &ok);
        return ok ? std::optional<QString>(answer) : std::nullopt;
    };

    if (configUnreadable) {
        log.LogEvent(true, true, "%s", FromQString(ConfigUnreadableText()).c_str());
        // Once the window is up (tests replace messageBox before that).
        QTimer::singleShot(0, this, [this] { messageBox(ConfigUnreadableText()); });
    }
    LoadSalvoFile();

    RefreshStatusPanels();

    sendTimer.setInterval(kTickMs);
    connect(&sendTimer, &QTimer::timeout, this, [this] {
        const int before = session.connectionStatus;
        session.OnSendTimer();
        connection.OnTick();
        if (session.connectionStatus != before)
            UpdateButtons();
        // Time passes on screen too: the last answer's age, notices and
        // marks that run out. Only what changed is repainted.
        RefreshStatusPanels();
        // Another program's salvo changes show within a second; every salvo
        // action reads the file afresh anyway.
        if (session.tick % kTicksPerSecond == 0)
            ReloadSalvosIfChanged();
    });
    sendTimer.start();

    connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this,
            &MainDialog::ShowShortcuts);
    auto* toggle = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), this);
    connect(toggle, &QShortcut::activated, this, &MainDialog::ToggleScreenLog);
    for (const QKeySequence& keys : {QKeySequence(QKeySequence::Undo)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &MainDialog::Undo);
    for (const QKeySequence& keys :
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &MainDialog::Redo);
    // Typed routes reach the window whichever of its controls has the focus.
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);

    ShowRouteEntry();
    logList->setFocus();
}

MainDialog::~MainDialog() {
    sendTimer.stop();
    // The watcher posts to this window: stop it while the window is whole.
    connection.serialLink.Close();
    session.onRefresh.Unsubscribe(refreshSubscription);
    session.onEvent.Unsubscribe(eventSubscription);
    videohub.reset();
    swp08.reset();
    connection.udpLinkChanged = nullptr;
    connection.showMessage = nullptr;
    log.screen = nullptr;
}

void MainDialog::CreateControls() {
    // A minimise box and a close box; the border resizes the window and its
    // layout scales with it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setMinimumSize(kMinimumSize);
    resize(kDesignSize);
    setFont(TahomaFont(-PointSizeToHeight(8)));  // the dialog font, Tahoma 8 points
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kWindowBackground);
    setPalette(pal);

    logList = new LogList(this);
    logList->setGeometry(DluRect(7, 367, 651, 73));

    auto makeButton = [this](const char* text, QRect where) {
        auto* button = new ImageButton(QString::fromLatin1(text), this);
        button->setGeometry(where);
        return button;
    };
    setConfigButton = makeButton("Set Config", DluRect(355, 11, 62, 18));
    setEdidButton = makeButton("Set EDID", DluRect(417, 11, 62, 18));
    connectButton = makeButton("Connect", DluRect(530, 11, 62, 18));
    linkButton = makeButton("Link", DluRect(217, 11, 62, 18));
    disconnectButton = makeButton("Disconnect", DluRect(592, 11, 62, 18));
    linkClearButton = makeButton("Link Clear", DluRect(73, 11, 62, 18));
    allLinkButton = makeButton("All Link", DluRect(11, 11, 62, 18));
    allLinkButton->SetButtonStyle(ImageButton::kCheckBoxMode, true);
    // Kept but never shown: routing to all outputs and clearing every link
    // are not on the button row (Clear All Links is in the context menu).
    linkButton->hide();
    linkClearButton->hide();
    allLinkButton->hide();

    // The routing tools fill the left of the button row.
    salvoList = new QComboBox(this);
    salvoList->setGeometry(DluRect(11, 13, 64, 14));
    salvoList->setPlaceholderText(QStringLiteral("Salvos"));
    salvoList->setToolTip(QString::fromLatin1(kSalvoTip));
    recallButton = makeButton("Recall", DluRect(77, 11, 32, 18));
    saveSalvoButton = makeButton("Save", DluRect(109, 11, 28, 18));
    takeModeButton = makeButton("Take Mode", DluRect(141, 11, 44, 18));
    takeModeButton->SetButtonStyle(ImageButton::kCheckBoxMode, true);
    takeButton = makeButton("Take", DluRect(185, 11, 38, 18));  // room for "Take (16)"
    cancelButton = makeButton("Cancel", DluRect(223, 11, 32, 18));
    undoButton = makeButton("Undo", DluRect(259, 11, 28, 18));
    redoButton = makeButton("Redo", DluRect(287, 11, 28, 18));
    // A white field, as typed text has; the window font fits eight digits.
    routeEntryLabel = new QLabel(this);
    routeEntryLabel->setGeometry(DluRect(317, 13, 36, 14));
    routeEntryLabel->setAlignment(Qt::AlignCenter);
    routeEntryLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    routeEntryLabel->setAutoFillBackground(true);
    QPalette field = routeEntryLabel->palette();
    field.setColor(QPalette::Window, Qt::white);
    routeEntryLabel->setPalette(field);
    routeEntryLabel->setToolTip(
        QStringLiteral("Keyboard routing: input, a separator (. - > / or space), output, Enter"));

    auto* buttonRow = new FlatGroupBox(this);
    buttonRow->setGeometry(DluRect(7, 2, 651, 31));
    buttonRow->lower();
    // Tab goes along the button row from the left, then to the log below.
    QWidget* const tabOrder[] = {salvoList,       recallButton,  saveSalvoButton, takeModeButton,
                                 takeButton,      cancelButton,  undoButton,      redoButton,
                                 setConfigButton, setEdidButton, connectButton,   disconnectButton,
                                 logList};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    auto makeLabel = [this](const char* text, QRect where, bool caption) {
        auto* label = new ColorLabel(QString::fromLatin1(text), this);
        label->setGeometry(where);
        label->setAlignment(caption ? Qt::AlignLeft | Qt::AlignVCenter
                                    : Qt::AlignLeft | Qt::AlignTop);
        return label;
    };
    connectionCaption = makeLabel("Connection Info", DluRect(484, 37, 174, 18), true);
    connectionPanel = makeLabel("     Static", DluRect(484, 54, 174, 40), false);
    generatorCaption = makeLabel("Video Generator", DluRect(484, 94, 174, 18), true);
    generatorPanel = makeLabel("     Static", DluRect(484, 112, 174, 39), false);
    monitoringCaption = makeLabel("Monitoring Port", DluRect(484, 151, 174, 18), true);
    monitoringPanel = makeLabel("     Static", DluRect(484, 169, 174, 28), false);
    lockCaption = makeLabel("Control Lock Mode", DluRect(484, 198, 174, 18), true);
    lockPanel = makeLabel("     Static", DluRect(484, 215, 174, 59), false);
    networkCaption = makeLabel("RS232 & Ethernet", DluRect(484, 273, 174, 18), true);
    networkPanel = makeLabel("     Static", DluRect(484, 291, 174, 74), false);

    const std::pair<ImageButton*, const char*> tips[] = {
        {setConfigButton,
         "Link settings, channel names, locks, monitoring port, the router's own "
         "network and speed"},
        {setEdidButton, "EDID modes of the inputs, a user EDID upload, the EDID editor"},
        {connectButton, "Open the link chosen in Set Config and read the whole router"},
        {disconnectButton, "Close the link and stop reconnecting; the router keeps its routes"},
        {recallButton, "Send the chosen salvo's routes as one command"},
        {saveSalvoButton, "Keep the router's routes as a salvo"},
        {takeModeButton,
         "Take mode: clicks and typed routes are staged, then sent together by "
         "Take"},
        {takeButton, "Send every staged route as one command"},
        {cancelButton, "Drop the staged routes (Esc)"},
        {undoButton, "Undo the last routing step (Ctrl+Z)"},
        {redoButton, "Redo the step undone last (Ctrl+Shift+Z or Ctrl+Y)"}};
    for (const auto& [button, tip] : tips)
        button->setToolTip(QString::fromLatin1(tip));

    connect(setConfigButton, &QPushButton::clicked, this, &MainDialog::SetConfig);
    connect(setEdidButton, &QPushButton::clicked, this, &MainDialog::SetEdid);
    connect(connectButton, &QPushButton::clicked, this, &MainDialog::Connect);
    connect(disconnectButton, &QPushButton::clicked, this, &MainDialog::Disconnect);
    connect(linkClearButton, &QPushButton::clicked, this, &MainDialog::ClearAllLinks);
    connect(recallButton, &QPushButton::clicked, this, &MainDialog::RecallSalvo);
    connect(saveSalvoButton, &QPushButton::clicked, this, &MainDialog::SaveSalvo);
    connect(takeModeButton, &QPushButton::clicked, this, &MainDialog::ToggleTakeMode);
    connect(takeButton, &QPushButton::clicked, this, &MainDialog::Take);
    connect(cancelButton, &QPushButton::clicked, this, &MainDialog::CancelTake);
    connect(undoButton, &QPushButton::clicked, this, &MainDialog::Undo);
    connect(redoButton, &QPushButton::clicked, this, &MainDialog::Redo);
}

void MainDialog::LayOut() {
    const qreal scale = ScaleFor(size());
    const QSize used = ScaledRect(QRect(QPoint(), kDesignSize), scale).size();
    const QPoint offset((width() - used.width()) / 2, (height() - used.height()) / 2);
    // Standard controls get the scaled dialog font; the owner-drawn ones draw
    // their own fonts at the scale.
    setFont(TahomaFont(std::max(1, qRound(-PointSizeToHeight(8) * scale))));
    if (auto* rows = dynamic_cast<LineDelegate*>(logList->itemDelegate()))
        rows->pitch = std::max(1, qRound(kLinePitch * scale));
    matrixView->scale = scale;
    for (ColorLabel* label : findChildren<ColorLabel*>(Qt::FindDirectChildrenOnly))
        label->scale = scale;
    for (ImageButton* button : findChildren<ImageButton*>(Qt::FindDirectChildrenOnly))
        button->scale = scale;
    for (const auto& [control, place] : layoutRects)
        control->setGeometry(ScaledRect(place, scale).translated(offset));
    update();
    matrixView->update();
}

void MainDialog::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    if (!layoutRects.empty())
        LayOut();
}

void MainDialog::done(int result) {
    // Only a size the user changed is written, and only into a config.ini
    // that could be read.
    if (size() != openedSize && !configUnreadable) {
        config.windowWidth = width();
        config.windowHeight = height();
        if (SaveWindowSize(config))
            openedSize = size();
    }
    QDialog::done(result);
}

void MainDialog::UpdateButtons() {
    const int status = session.connectionStatus;
    // After a failure Connect tries again at once; Disconnect stops trying.
    connectButton->setEnabled(status == kDisconnected || status == kConnectionFailed);
    disconnectButton->setEnabled(status != kDisconnected);
}

void MainDialog::Connect() {
    // Never the factory address for a config.ini that could not be read;
    // once it can be, its settings are taken.
    if (configUnreadable) {
        configUnreadable = !LoadConfig(config, session.state);
        RefreshStatusPanels();
        if (configUnreadable) {
            messageBox(ConfigUnreadableText());
            return;
        }
    }
    connection.Connect();
    UpdateButtons();
}

void MainDialog::Disconnect() {
    connection.Disconnect();
    UpdateButtons();
}

template <class Dialog, class... Args>
void MainDialog::RunDialog(Args&&... args) {
    {
        Dialog dialog(connection, std::forward<Args>(args)..., this);
        dialog.exec();
    }
    // Whatever the dialog did (it may have reconnected or renamed channels),
    // show where things stand.
    RefreshStatusPanels();
    UpdateButtons();
    SyncBridges();
}

void MainDialog::SetConfig() {
    RunDialog<ConfigDialog>();
}

void MainDialog::SetEdid() {
    RunDialog<EdidDialog>();
}

void MainDialog::ClearAllLinks() {
    // One click takes every output off air: ask first.
    if (askQuestion && !askQuestion(QStringLiteral("Remove the input from every output?")))
        return;
    const IntendedMap before = Intended();
    session.ClearAllLinks();
    const int changed = int(ChangesSince(before).size());
    ShowNotice(QStringLiteral("Cleared all links: %1 output%2 off air%3")
                   .arg(changed)
                   .arg(changed == 1 ? "" : "s")
                   .arg(Waiting()),
               kNoticeInfo);
    RefreshStatusPanels();
}

MainDialog::IntendedMap MainDialog::Intended() const {
    IntendedMap map{};
    for (int o = 1; o <= kChannelCount; ++o)
        map[o] = session.routing.Intended(session.state, o);
    return map;
}

std::vector<RouteChange> MainDialog::ChangesSince(const IntendedMap& before) const {
    std::vector<RouteChange> changes;
    const IntendedMap now = Intended();
    for (int o = 1; o <= kChannelCount; ++o) {
        if (now[o] != before[o])
            changes.push_back({o, now[o]});
    }
    return changes;
}

QString MainDialog::Waiting() const {
    // Asked for while the router cannot take it: it goes once it can.
    return session.Live() || !session.routing.HasPending()
               ? QString()
               : QStringLiteral(", sent when the router answers");
}

QString MainDialog::InputName(int input) const {
    if (input < 1 || input > kChannelCount)
        return QStringLiteral("no input");
    const QString name = ToQString(config.inputNames[input]).trimmed();
    return name.isEmpty() ? QStringLiteral("input %1").arg(input, 2, 10, QLatin1Char('0')) : name;
}

void MainDialog::DescribeSteps(const char* verb, const char* link,
                               const std::vector<RouteChange>& changes) {
    QString text;
    if (changes.size() == 1) {
        text = QStringLiteral("%1: output %2 %3 %4")
                   .arg(QLatin1String(verb))
                   .arg(changes[0].output, 2, 10, QLatin1Char('0'))
                   .arg(QLatin1String(link), InputName(changes[0].input));
    } else {
        text = QStringLiteral("%1: %2 outputs").arg(QLatin1String(verb)).arg(changes.size());
    }
    ShowNotice(text + Waiting(), kNoticeInfo);
}

void MainDialog::RecallSalvo() {
    ReloadSalvosIfChanged();
    const Salvo* salvo = salvos.file.Find(FromQString(salvoList->currentData().toString()));
    if (salvo == nullptr)
        return;
    log.LogEvent(true, true, "Recall salvo %s", salvo->name.c_str());
    const IntendedMap before = Intended();
    salvos.Recall(salvo->name);
    const int changed = int(ChangesSince(before).size());
    ShowNotice(QStringLiteral("Recalled %1: %2 output%3 changed%4")
                   .arg(ToQString(salvo->name))
                   .arg(changed)
                   .arg(changed == 1 ? "" : "s")
                   .arg(Waiting()),
               kNoticeInfo);
    RefreshStatusPanels();
}

void MainDialog::SaveSalvo() {
    const std::optional<QString> answer = askText(
        QStringLiteral("Save the router's routes as salvo:"), salvoList->currentData().toString());
    if (!answer)
        return;
    const std::string name = FromQString(answer->trimmed());
    if (!EightBitCanHold(answer->trimmed()) || !ValidSalvoName(name)) {
        messageBox(QStringLiteral("A salvo name has 1 to 63 characters and no \"=\"."));
        return;
    }
    ReloadSalvosIfChanged();
    if (salvos.file.Find(name) &&
        !askQuestion(QStringLiteral("Replace the salvo \"%1\"?").arg(ToQString(name))))
        return;
    if (!SalvoChanged(salvos.Store(name),
                      QStringLiteral("No room for another salvo (at most %1).").arg(kMaxSalvos)))
        return;
    log.LogEvent(true, true, "Save salvo %s", name.c_str());
    salvoList->setCurrentIndex(salvoList->findData(ToQString(name)));
}

void MainDialog::RenameSalvo() {
    const QString from = salvoList->currentData().toString();
    if (from.isEmpty())
        return;
    const std::optional<QString> answer = askText(QStringLiteral("New name of the salvo:"), from);
    if (!answer)
        return;
    const std::string to = FromQString(answer->trimmed());
    if (!SalvoChanged(salvos.Rename(FromQString(from), to),
                      QStringLiteral("\"%1\" cannot be used: a salvo name is unique, has 1 "
                                     "to 63 characters and no \"=\".")
                          .arg(ToQString(to))))
        return;
    salvoList->setCurrentIndex(salvoList->findData(ToQString(to)));
}

void MainDialog::DeleteSalvo() {
    const QString name = salvoList->currentData().toString();
    if (name.isEmpty() || !askQuestion(QStringLiteral("Delete the salvo \"%1\"?").arg(name)))
        return;
    // Deleted elsewhere meanwhile: gone either way, nothing to say.
    SalvoChanged(salvos.Remove(FromQString(name)), QString());
}

bool MainDialog::SalvoChanged(SalvoBook::Outcome outcome, const QString& refusal) {
    if (outcome == SalvoBook::kFailed) {
        log.LogEvent(true, true, "%s %s: nothing changed", salvos.path.c_str(),
                     salvos.problem.c_str());
        messageBox(QStringLiteral("%1 %2: nothing changed.")
                       .arg(ToQString(salvos.path), ToQString(salvos.problem)));
    } else if (outcome == SalvoBook::kDeclined && !refusal.isEmpty()) {
        messageBox(refusal);
    }
    ShowSalvoDamage();
    SyncBridges();
    RefreshStatusPanels();
    return outcome == SalvoBook::kSaved;
}

void MainDialog::LoadSalvoFile() {
    if (!salvos.Load())
        log.LogEvent(true, true, "%s", salvos.DamageReport().c_str());
    ShowSalvoDamage();
}

void MainDialog::ReloadSalvosIfChanged() {
    if (!salvos.ChangedOnDisk())
        return;
    LoadSalvoFile();
    SyncBridges();
    RefreshStatusPanels();
}

void MainDialog::ShowSalvoDamage() {
    // Shown until a save of the window's own replaces the damaged file.
    const std::string report = salvos.DamageReport();
    salvoList->setToolTip(report.empty() ? QString::fromLatin1(kSalvoTip) : ToQString(report));
    salvoList->setPlaceholderText(report.empty() ? QStringLiteral("Salvos")
                                                 : QStringLiteral("Salvos damaged"));
    salvoList->setStyleSheet(report.empty() ? QString()
                                            : QStringLiteral("QComboBox { color: #b00000; }"));
}

void MainDialog::ToggleTakeMode() {
    const RoutingMap& routing = session.routing;
    const int staged = StagedCount(routing);
    if (!takeModeButton->GetCheck() && staged > 0 &&
        !askQuestion(QStringLiteral("Turn take mode off and drop %1 staged route%2?")
                         .arg(staged)
                         .arg(staged == 1 ? "" : "s"))) {
        takeModeButton->SetCheck(true);
        return;
    }
    session.routing.takeMode = takeModeButton->GetCheck();
    if (!session.routing.takeMode)
        session.routing.CancelStaged();
    RefreshStatusPanels();
}

void MainDialog::Take() {
    const IntendedMap before = Intended();
    session.Take();
    const int taken = int(ChangesSince(before).size());
    ShowNotice(
        QStringLiteral("Took %1 route%2%3").arg(taken).arg(taken == 1 ? "" : "s").arg(Waiting()),
        kNoticeInfo);
    RefreshStatusPanels();
}

void MainDialog::CancelTake() {
    session.routing.CancelStaged();
    RefreshStatusPanels();
}

void MainDialog::Undo() {
    const IntendedMap before = Intended();
    if (!session.Undo())
        ShowNotice(QStringLiteral("Nothing to undo"), kNoticeInfo);
    else if (const std::vector<RouteChange> changes = ChangesSince(before); !changes.empty())
        DescribeSteps("Undid", "back to", changes);
    RefreshStatusPanels();
}

void MainDialog::Redo() {
    const IntendedMap before = Intended();
    if (!session.Redo())
        ShowNotice(QStringLiteral("Nothing to redo"), kNoticeInfo);
    else if (const std::vector<RouteChange> changes = ChangesSince(before); !changes.empty())
        DescribeSteps("Redid", "to", changes);
    RefreshStatusPanels();
}

void MainDialog::ToggleProtect(int output) {
    if (output < 1 || output > kChannelCount)
        return;
    if (!ForceOpenClientLock(output))
        return;
    SalvoChanged(salvos.Protect(output, !session.routing.Protected(output)), QString());
}

bool MainDialog::ForceOpenClientLock(int output) {
    if (output < 1 || output > kChannelCount)
        return true;
    const int owner = session.routing.lockOwner[output];
    if (owner < kFirstClient)
        return true;
    QString holder = ToQString(session.routing.ClientName(owner));
    const BridgeClient* client = videohub ? videohub->server.Find(owner) : nullptr;
    if (client == nullptr && swp08)
        client = swp08->server.Find(owner);
    if (client != nullptr && !client->peer.empty())
        holder += QStringLiteral(" (%1)").arg(ToQString(client->peer));
    const QString text =
        QStringLiteral("Output %1 is locked by %2.").arg(output, 2, 10, QChar('0')).arg(holder);
    log.LogEvent(true, true, "%s", FromQString(text).c_str());
    if (!askQuestion || !askQuestion(text + QStringLiteral(" Force it open?"))) {
        ShowNotice(text, kNoticeRefusal);
        return false;
    }
    session.routing.lockOwner[output] = 0;
    log.LogEvent(true, true, "Output %02d forced open", output);
    SyncBridges();
    return true;
}

void MainDialog::UpdateRoutingControls() {
    const RoutingMap& routing = session.routing;
    const bool connected = session.connectionStatus == kConnected;
    undoButton->setEnabled(connected && !routing.undoSteps.empty());
    redoButton->setEnabled(connected && !routing.redoSteps.empty());
    takeButton->setEnabled(routing.HasStaged());
    const int staged = StagedCount(routing);
    const QString take =
        staged > 0 ? QStringLiteral("Take (%1)").arg(staged) : QStringLiteral("Take");
    if (takeButton->text() != take)
        takeButton->setText(take);
    // Take mode on is plain to see: the button's caption turns amber.
    const QColor caption = routing.takeMode ? kTakeModeText : palette().color(QPalette::ButtonText);
    if (takeModeButton->textColour != caption) {
        takeModeButton->textColour = caption;
        takeModeButton->update();
    }
    cancelButton->setEnabled(routing.HasStaged());
    if (takeModeButton->GetCheck() != routing.takeMode)
        takeModeButton->SetCheck(routing.takeMode);

    // The list is rebuilt only when the salvos or the live match changed.
    const Salvo* live = connected ? salvos.file.Matching(session.state.routedInput) : nullptr;
    QStringList names;
    for (const Salvo& salvo : salvos.file.salvos)
        names << ToQString(salvo.name) + (&salvo == live ? QStringLiteral("  (live)") : QString());
    QStringList shown;
    for (int i = 0; i < salvoList->count(); ++i)
        shown << salvoList->itemText(i);
    if (names != shown) {
        const QString current = salvoList->currentData().toString();
        salvoList->clear();
        for (std::size_t i = 0; i < salvos.file.salvos.size(); ++i)
            salvoList->addItem(names[int(i)], ToQString(salvos.file.salvos[i].name));
        salvoList->setCurrentIndex(std::max(0, salvoList->findData(current)));
    }
    recallButton->setEnabled(!salvos.file.salvos.empty());
}

void MainDialog::ShowRouteEntry() {
    // Empty, it shows what to type, in grey.
    QPalette pal = routeEntryLabel->palette();
    pal.setColor(QPalette::WindowText, routeEntry.empty() ? kPromptText : QColor(Qt::black));
    routeEntryLabel->setPalette(pal);
    routeEntryLabel->setText(routeEntry.empty() ? kRoutePrompt : ToQString(routeEntry));
}

bool MainDialog::HandleRouteKey(QKeyEvent* e) {
    if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const int key = e->key();
    if (key == Qt::Key_Escape) {
        if (!routeEntry.empty()) {
            routeEntry.clear();
        } else if (session.routing.HasStaged()) {
            CancelTake();
        } else if (matrixView->selectedInput != 0) {
            matrixView->selectedInput = 0;
            RefreshStatusPanels();
        } else {
            return false;  // Esc closes the window (asking first while connected)
        }
        ShowRouteEntry();
        return true;
    }
    if (routeEntry.empty() && !(key >= Qt::Key_0 && key <= Qt::Key_9))
        return false;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (const std::optional<RouteChange> change = ParseRouteEntry(routeEntry)) {
            if (ForceOpenClientLock(change->output))
                session.SetRoute(change->input, change->output);
            RefreshStatusPanels();
        } else {
            const std::string why =
                Format("Not a route: %s (type the input, a separator, the output, Enter)",
                       routeEntry.c_str());
            log.LogEvent(true, true, "%s", why.c_str());
            ShowNotice(ToQString(why), kNoticeRefusal);
        }
        routeEntry.clear();
    } else if (key == Qt::Key_Backspace) {
        routeEntry.pop_back();
    } else if (e->text().size() == 1 &&
               kRouteEntryKeys.find(e->text()[0].toLatin1()) != std::string_view::npos) {
        // What is typed is never cut: a character that would not fit is not taken.
        const std::string longer = routeEntry + char(e->text()[0].toLatin1());
        if (longer.size() <= kMaxRouteEntry &&
            routeEntryLabel->fontMetrics().horizontalAdvance(ToQString(longer)) <=
                routeEntryLabel->contentsRect().width() - 2)
            routeEntry = longer;
    } else {
        return false;
    }
    ShowRouteEntry();
    return true;
}

bool MainDialog::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress && HandleRouteKey(static_cast<QKeyEvent*>(e)))
        return true;
    return QDialog::eventFilter(watched, e);
}

void MainDialog::OnViewNotify(ViewHitKind kind, int index) {
    switch (kind) {
        case kOutputSlotHeader:
            if (index >= 1 && index <= kSlotCount &&
                session.state.outputCardType[index] == kQuadMultiViewer)
                RunDialog<QuadDialog>(index);
            break;
        case kInputCell:
            if (allLinkButton->GetCheck())
                session.LinkAllOutputs(matrixView->selectedInput);
            break;
        case kOutputCell:
            if (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier) {
                ToggleProtect(index);
            } else if (index >= 1 && index <= kChannelCount && ForceOpenClientLock(index)) {
                session.LinkOutput(matrixView->selectedInput, index);
                RefreshStatusPanels();
            }
            break;
        case kOutputProtect:
            ToggleProtect(index);
            break;
        default:
            break;
    }
}

void MainDialog::SyncBridges() {
    if (videohub) {
        videohub->server.Sync();
        videohub->listener.Flush();
    }
    if (swp08) {
        swp08->server.Sync();
        swp08->listener.Flush();
    }
}

void MainDialog::RefreshStatusPanels() {
    LinkHealth health;
    health.answering = session.answering;
    if (session.lastAnswerTick >= 0)
        health.lastAnswerMs = (session.tick - session.lastAnswerTick) * kTickMs;
    health.retrying = connection.Retrying();
    const StatusPanelTexts texts =
        BuildStatusPanelTexts(config, session.state, session.connectionStatus,
                              videohub ? videohub->listener.ClientCount() : -1, health,
                              swp08 ? swp08->listener.ClientCount() : -1);
    const std::pair<ColorLabel*, const std::string*> bodies[] = {
        {connectionPanel, &texts.connection},
        {generatorPanel, &texts.generator},
        {monitoringPanel, &texts.monitoring},
        {lockPanel, &texts.lock},
        {networkPanel, &texts.network}};
    // setText schedules a repaint only for a text that changed.
    for (const auto& [label, text] : bodies)
        label->setText(ToQString(*text));
    if (matrixView) {
        const RouterState& state = session.state;
        const RoutingMap& routing = session.routing;
        ShownInView shown;
        shown.knownRoutes = state.known.routes;
        shown.selectedInput = matrixView->selectedInput;
        for (int c = 1; c <= kChannelCount; ++c) {
            shown.routedInput[c] = state.routedInput[c];
            shown.outputPlugged[c] = state.outputPlugged[c];
            shown.pending[c] = routing.pending[c];
            shown.staged[c] = routing.staged[c];
            shown.locks[c] = routing.lockOwner[c];
            shown.inputSignal[c] = state.known.inputSignal[c];
            shown.outputPlug[c] = state.known.outputPlug[c];
            shown.edidMode[c] = state.known.edidMode[c];
            shown.inputStatusText[c] = state.inputStatusText[c];
            shown.inputEdidMode[c] = state.inputEdidMode[c];
            shown.inputNames[c] = config.inputNames[c];
            shown.outputNames[c] = config.outputNames[c];
        }
        for (int slot = 1; slot <= kSlotCount; ++slot) {
            shown.inputCardType[slot] = state.inputCardType[slot];
            shown.outputCardType[slot] = state.outputCardType[slot];
            shown.cards[slot] = state.known.cards[slot];
        }
        // An answer that changed nothing the view draws repaints nothing; a
        // change of one channel's values repaints that channel's cell alone.
        const ShownInView& was = shownInView;
        bool whole =
            shown.knownRoutes != was.knownRoutes || shown.selectedInput != was.selectedInput;
        for (int slot = 1; slot <= kSlotCount; ++slot)
            whole = whole || shown.inputCardType[slot] != was.inputCardType[slot] ||
                    shown.outputCardType[slot] != was.outputCardType[slot] ||
                    shown.cards[slot] != was.cards[slot];
        for (int c = 1; c <= kChannelCount; ++c)
            whole = whole || shown.inputNames[c] != was.inputNames[c];  // shown in routes too
        if (whole) {
            matrixView->update();
        } else {
            for (int c = 1; c <= kChannelCount; ++c) {
                if (shown.inputSignal[c] != was.inputSignal[c] ||
                    shown.edidMode[c] != was.edidMode[c] ||
                    shown.inputStatusText[c] != was.inputStatusText[c] ||
                    shown.inputEdidMode[c] != was.inputEdidMode[c])
                    matrixView->UpdateCell(kInputSide, c);
                if (shown.routedInput[c] != was.routedInput[c] ||
                    shown.outputPlugged[c] != was.outputPlugged[c] ||
                    shown.pending[c] != was.pending[c] || shown.staged[c] != was.staged[c] ||
                    shown.locks[c] != was.locks[c] || shown.outputPlug[c] != was.outputPlug[c] ||
                    shown.outputNames[c] != was.outputNames[c])
                    matrixView->UpdateCell(kOutputSide, c);
            }
        }
        shownInView = shown;
        viewOverlay->SetMarks(BuildMarks());
    }
    UpdateRoutingControls();
}

ViewMarks MainDialog::BuildMarks() {
    ViewMarks marks;
    const int status = session.connectionStatus;
    if (status == kDisconnected) {
        marks.caption = QStringLiteral("Not connected");
    } else if (status == kConnecting) {
        marks.caption = QStringLiteral("Connecting");
        marks.captionKind = kNoticeWarning;
    } else if (status == kConnectionFailed) {
        marks.caption = connection.Retrying() ? QStringLiteral("Connection failed, retrying")
                                              : QStringLiteral("Connection failed");
        marks.captionKind = kNoticeRefusal;
    } else if (!session.answering) {
        marks.caption = QStringLiteral("Router not answering");
        marks.captionKind = kNoticeRefusal;
    } else if (!session.PollDone()) {
        marks.caption = QStringLiteral("Reading the router");
        marks.captionKind = kNoticeWarning;
    }
    marks.dim = !session.Live();
    marks.takeMode = session.routing.takeMode;
    if (noticeTick >= 0 && session.tick - noticeTick < kNoticeTicks) {
        marks.notice = noticeRepeats > 0
                           ? QStringLiteral("%1 (+%2 more)").arg(notice).arg(noticeRepeats)
                           : notice;
        marks.noticeKind = noticeKind;
    }
    const RouterState& state = session.state;
    const int selected = matrixView->selectedInput;
    for (int o = 1; o <= kChannelCount; ++o) {
        const int input = state.routedInput[o];
        marks.fed[o] = state.known.routes && selected != 0 && input == selected;
    }
    for (int i = 1; i <= kChannelCount; ++i) {
        const long long lost = session.signalLostTick[i];
        if (lost < 0 || session.tick - lost >= kLostMarkTicks)
            continue;
        marks.lost[kInputSide][i] = true;
        for (int o = 1; o <= kChannelCount; ++o)
            marks.lost[kOutputSide][o] |= state.known.routes && state.routedInput[o] == i;
    }
    return marks;
}

void MainDialog::ShowNotice(const QString& text, int kind) {
    // Several in one tick (one answer) read as the first and a count.
    if (noticeTick == session.tick && kind == noticeKind && !notice.isEmpty()) {
        ++noticeRepeats;
    } else {
        notice = text;
        noticeKind = kind;
        noticeRepeats = 0;
    }
    noticeTick = session.tick;
    viewOverlay->SetMarks(BuildMarks());
}

void MainDialog::OnSessionEvent(const SessionEvent& event) {
    const QString text = ToQString(event.text);
    switch (event.kind) {
        case SessionEvent::Refused:
            ShowNotice(text, kNoticeRefusal);
            break;
        case SessionEvent::RouteChanged:
            ShowNotice(text, kNoticeInfo);
            break;
        case SessionEvent::SignalChanged:
        case SessionEvent::PlugChanged:
            ShowNotice(text, event.value ? kNoticeGood : kNoticeWarning);
            break;
        case SessionEvent::Answering:
            ShowNotice(text, event.value ? kNoticeGood : kNoticeRefusal);
            break;
        default:
            break;
    }
}

void MainDialog::ToggleScreenLog() {
    log.ToggleScreenLog();
    ShowNotice(log.screenLogEnabled ? QStringLiteral("Screen log on")
                                    : QStringLiteral("Screen log off (Ctrl+D turns it on)"),
               kNoticeInfo);
}

void MainDialog::ShowShortcuts() {
    static const char* const kShortcuts[][2] = {
        {"3.5 Enter", "Route input 3 to output 5 (. , - / > or a space between the numbers)"},
        {"0.5 Enter", "Take output 5 off air"},
        {"Backspace", "Take back a typed character"},
        {"Esc",
         "Forget the typed route, else drop the staged routes, else deselect the input, "
         "else close the window (asking while connected)"},
        {"Ctrl+Z", "Undo"},
        {"Ctrl+Shift+Z, Ctrl+Y", "Redo"},
        {"Ctrl+D", "Screen log off and on (the daily log file is written either way)"},
        {"Shift+click, right-click", "On an output: protect it, or release it"},
        {"Tab, Shift+Tab", "Move between the controls; Space presses a button"},
        {"F1", "This list"}};
    QString rows;
    for (const auto& [keys, what] : kShortcuts)
        rows += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                    .arg(QLatin1String(keys), QString::fromLatin1(what).toHtmlEscaped());
    QMessageBox::information(this, QStringLiteral("Keyboard Shortcuts"),
                             QStringLiteral("<table cellspacing=4>%1</table>").arg(rows));
}

void MainDialog::ShowAbout() {
    AboutDialog about(this);
    about.exec();
}

void MainDialog::WatchUdpLink(UdpLink* link) {
    if (udpNotifier) {
        udpNotifier->setEnabled(false);
        udpNotifier->deleteLater();
        udpNotifier = nullptr;
    }
    if (!link || link->Handle() < 0)
        return;
    udpNotifier = new QSocketNotifier(link->Handle(), QSocketNotifier::Read, this);
    QSocketNotifier* notifier = udpNotifier;
    connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
        // One datagram per notification, read outside the notifier's signal
        // because reading may end the link.
        notifier->setEnabled(false);
        QCoreApplication::postEvent(this, new QEvent(kUdpRxEvent));
    });
}

bool MainDialog::event(QEvent* e) {
    switch (int(e->type())) {
        case kUdpRxEvent:
            connection.OnUdpData();
            if (udpNotifier)
                udpNotifier->setEnabled(true);
            UpdateButtons();
            return true;
        case kUdpCloseEvent:
            connection.OnUdpClose();
            UpdateButtons();
            return true;
        case kSerialRxEvent:
            connection.OnSerialData();
            return true;
        case kSerialHangupEvent:
            connection.OnSerialHangup();
            UpdateButtons();
            return true;
        case kSerialOverrunEvent:
            connection.OnSerialOverrun();
            connection.OnSerialData();
            return true;
        case kViewNotifyEvent: {
            const auto* notify = static_cast<ViewNotifyEvent*>(e);
            OnViewNotify(notify->kind, notify->index);
            return true;
        }
        default:
            return QDialog::event(e);
    }
}

void MainDialog::keyPressEvent(QKeyEvent* e) {
    if (HandleRouteKey(e))
        return;
    // Enter ends nothing here: it completes a typed route or presses the
    // focused button, which that button handles itself.
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void MainDialog::reject() {
    // Esc, the close box, Alt+F4 and the window menu all come here.
    if (!MayClose())
        return;
    QDialog::reject();
}

bool MainDialog::MayClose() {
    const int status = session.connectionStatus;
    const int waiting = PendingCount(session.routing);
    if (status != kConnected && status != kConnecting && waiting == 0)
        return true;
    QString question = QStringLiteral("Quit Corvane? The router keeps its routes.");
    if (waiting > 0)
        question += QStringLiteral("\n%1 route%2 not sent yet will be dropped.")
                        .arg(waiting)
                        .arg(waiting == 1 ? "" : "s");
    return !askQuestion || askQuestion(question);
}

void MainDialog::contextMenuEvent(QContextMenuEvent* e) {
    QMenu menu(this);
    // A popup takes the application's menu face, not its parent's.
    menu.setFont(font());
    menu.addAction(QStringLiteral("&About Corvane"), this, &MainDialog::ShowAbout);
    menu.addAction(QStringLiteral("Keyboard Shortcuts\tF1"), this, &MainDialog::ShowShortcuts);
    menu.addSeparator();
    menu.addAction(QStringLiteral("Clear All Links"), this, &MainDialog::ClearAllLinks);
    menu.addSeparator();
    const bool haveSalvo = salvoList->count() > 0;
    menu.addAction(QStringLiteral("Rename Salvo..."), this, &MainDialog::RenameSalvo)
        ->setEnabled(haveSalvo);
    menu.addAction(QStringLiteral("Delete Salvo"), this, &MainDialog::DeleteSalvo)
        ->setEnabled(haveSalvo);
    menu.exec(e->globalPos());
}

}  // namespace corvane
