#include "ui/MainDialog.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QShortcut>
#include <QSocketNotifier>
#include <cstdio>
#include <utility>

#include "app/AboutDialog.h"
#include "protocol/TextFormat.h"
#include "ui/ColorLabel.h"
#include "ui/ConfigDialog.h"
#include "ui/DialogKeys.h"
#include "ui/DialogUnits.h"
#include "ui/EdidDialog.h"
#include "ui/Fonts.h"
#include "ui/ImageButton.h"
#include "ui/LogList.h"
#include "ui/MatrixView.h"
#include "ui/Messages.h"
#include "ui/QuadDialog.h"
#include "ui/VideohubListener.h"

namespace corvane {

namespace {

QString Latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

// A name from a display table, or "" for a value the table does not hold.
template <std::size_t N>
const char* TableName(const char (&table)[N][32], int index) {
    return index >= 0 && index < int(N) ? table[index] : "";
}

const QColor kWindowBackground(128, 128, 128);
const QColor kCaptionText = ColorFromRef(0xF0E9E9);
const QColor kCaptionBack = ColorFromRef(0x644F47);
const QColor kBodyText = ColorFromRef(0x4F4F4F);
const QColor kBodyBack = ColorFromRef(0xF4F4F4);
constexpr unsigned kButtonTint = 0x796B6B;

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

StatusPanelTexts BuildStatusPanelTexts(const AppConfig& config, const RouterState& state,
                                       int connectionStatus, int videohubClients) {
    StatusPanelTexts texts;
    const char* status = connectionStatus == kDisconnected ? "Disconnect"
                         : connectionStatus == kConnecting ? "Connecting"
                         : connectionStatus == kConnected  ? "Connected"
                                                           : "Connection Failed";
    if (config.useSerial)
        texts.connection = Format("   Status : %s\n   RS232 PORT : %s\n   Baudrate : %d ", status,
                                  config.comName.c_str(), config.baudRate);
    else
        texts.connection = Format("   Status : %s\n   Ethernet IP : %s\n   Port : %d ", status,
                                  config.ipAddress.c_str(), config.udpPort);

    texts.generator = Format("   Resolution : %s\n   Pattern : \n    - %s",
                             TableName(ResolutionNames, state.generatorResolution),
                             TableName(PatternNames, state.generatorPattern));
    texts.monitoring = Format("   Channel : Input %02d", state.monitoringChannel);

    auto lock = [](int flag) { return flag == 1 ? "Lock" : "Unlock"; };
    texts.lock = Format("   Web Control : %s\n   Data Control : %s\n   Key Control : %s",
                        lock(state.webLock), lock(state.dataLock), lock(state.keyLock));

    const std::string baud = Format("RS232  Baudrate : %d Bps", state.routerBaudRate);
    const std::string address =
        Format("IP : %s   Port : %s", state.routerIp.c_str(), state.routerPort.c_str());
    const std::string gateway = Format("Gateway : %s ", state.routerGateway.c_str());
    const std::string mask = Format("Subnet Mask : %s ", state.routerSubnetMask.c_str());
    const std::string mac = Format("MAC Address : %s ", state.routerMac.c_str());
    // The first of the empty lines holds the Videohub client count when serving.
    const std::string videohub =
        videohubClients < 0
            ? " "
            : Format("   Videohub : %d client%s", videohubClients, videohubClients == 1 ? "" : "s");
    texts.network =
        Format("   %s\n   %s\n   %s\n   %s\n   %s\n%s\n \n \n \n", baud.c_str(), address.c_str(),
               gateway.c_str(), mask.c_str(), mac.c_str(), videohub.c_str());
    return texts;
}

MainDialog::MainDialog(QWidget* parent)
    : QDialog(parent), log("."), session(log), connection(session, config) {
    CreateControls();

    setWindowTitle(Latin1(ReadWindowTitle()));
    setWindowIcon(QIcon(QStringLiteral(":/corvane/corvane.png")));

    log.screen = logList;
    log.screenLogEnabled = true;
    LoadConfig(config, session.state);

    matrixView = new MatrixView(session.state, config, this);
    matrixView->setGeometry(DluRect(7, 36, 471, 329));

    const QFont buttonFont = TahomaFont(11, true);
    for (ImageButton* button : {disconnectButton, connectButton, setEdidButton, setConfigButton,
                                linkClearButton, linkButton, allLinkButton}) {
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

    session.refresh = [this] {
        RefreshStatusPanels();
        if (videohub)
            videohub->Sync();
    };
    if (!config.videohubListen.empty()) {
        videohub = std::make_unique<VideohubListener>(session, config);
        videohub->server.friendlyName = windowTitle().toLatin1().toStdString();
        videohub->changed = [this] { RefreshStatusPanels(); };
        if (!videohub->Start(config.videohubListen))
            videohub.reset();
    }
    connection.udpLinkChanged = [this](UdpLink* link) { WatchUdpLink(link); };
    connection.showMessage = [this](const std::string& text) {
        if (messageBox)
            messageBox(Latin1(text));
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

    RefreshStatusPanels();

    sendTimer.setInterval(50);
    connect(&sendTimer, &QTimer::timeout, this, [this] { session.OnSendTimer(); });
    sendTimer.start();

    auto* toggle = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), this);
    connect(toggle, &QShortcut::activated, this, &MainDialog::ToggleScreenLog);

    logList->setFocus();
}

MainDialog::~MainDialog() {
    sendTimer.stop();
    // The watcher posts to this window: stop it while the window is whole.
    connection.serialLink.Close();
    session.refresh = nullptr;
    videohub.reset();
    connection.udpLinkChanged = nullptr;
    connection.showMessage = nullptr;
    log.screen = nullptr;
}

void MainDialog::CreateControls() {
    // Fixed size: a minimise box and a close box, nothing to maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(DluX(666), DluY(447));
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

    auto* buttonRow = new FlatGroupBox(this);
    buttonRow->setGeometry(DluRect(7, 2, 651, 31));
    buttonRow->lower();

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

    connect(setConfigButton, &QPushButton::clicked, this, &MainDialog::SetConfig);
    connect(setEdidButton, &QPushButton::clicked, this, &MainDialog::SetEdid);
    connect(connectButton, &QPushButton::clicked, this, &MainDialog::Connect);
    connect(disconnectButton, &QPushButton::clicked, this, &MainDialog::Disconnect);
    connect(linkClearButton, &QPushButton::clicked, this, &MainDialog::ClearAllLinks);
}

void MainDialog::UpdateButtons() {
    const bool open = session.connectionStatus != kDisconnected;
    connectButton->setEnabled(!open);
    disconnectButton->setEnabled(open);
}

void MainDialog::Connect() {
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
    SyncVideohub();
}

void MainDialog::SetConfig() {
    RunDialog<ConfigDialog>();
}

void MainDialog::SetEdid() {
    RunDialog<EdidDialog>();
}

void MainDialog::ClearAllLinks() {
    session.ClearAllLinks();
}

void MainDialog::OnViewNotify(int kind, int index) {
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
            if (index >= 1 && index <= kChannelCount)
                session.LinkOutput(matrixView->selectedInput, index);
            break;
        default:
            break;
    }
}

void MainDialog::SyncVideohub() {
    if (videohub)
        videohub->Sync();
}

void MainDialog::RefreshStatusPanels() {
    const StatusPanelTexts texts = BuildStatusPanelTexts(
        config, session.state, session.connectionStatus, videohub ? videohub->ClientCount() : -1);
    const std::pair<ColorLabel*, const std::string*> bodies[] = {
        {connectionPanel, &texts.connection},
        {generatorPanel, &texts.generator},
        {monitoringPanel, &texts.monitoring},
        {lockPanel, &texts.lock},
        {networkPanel, &texts.network}};
    // setText schedules a repaint only for a text that changed.
    for (const auto& [label, text] : bodies)
        label->setText(Latin1(*text));
    if (matrixView)
        matrixView->update();
}

void MainDialog::ToggleScreenLog() {
    log.ToggleScreenLog();
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
    if (!HandleEnterKey(*this, e))
        QDialog::keyPressEvent(e);
}

void MainDialog::contextMenuEvent(QContextMenuEvent* e) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("&About Corvane"), this, &MainDialog::ShowAbout);
    menu.addSeparator();
    menu.addAction(QStringLiteral("Clear All Links"), this, &MainDialog::ClearAllLinks);
    menu.exec(e->globalPos());
}

}  // namespace corvane
