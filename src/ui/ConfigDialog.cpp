#include "ui/ConfigDialog.h"

#include <algorithm>

#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QToolTip>
#include <vector>

#include "base/EventLog.h"
#include "protocol/Commands.h"
#include "settings/AppConfig.h"
#include "transport/Connection.h"
#include "ui/DialogUnits.h"
#include "ui/Fonts.h"
#include "ui/Text.h"

namespace corvane {

namespace {

constexpr const char* kSaveFailed = "config.ini could not be saved; it keeps its old settings";

constexpr int kBaudRates[] = {9600, 19200, 38400, 57600, 115200};

int BaudRow(int rate) {
    for (int row = 0; row < 5; ++row) {
        if (kBaudRates[row] == rate)
            return row;
    }
    return -1;
}

void FillBaudList(QComboBox* list, int rate) {
    list->clear();
    for (int r : kBaudRates)
        list->addItem(QString::number(r));
    list->setCurrentIndex(BaudRow(rate));
}

// Leading decimal digits; none gives 0.
int LeadingDecimal(const QString& text) {
    long value = 0;
    for (QChar c : text) {
        if (!c.isDigit() || c.unicode() > '9')
            break;
        value = value * 10 + (c.unicode() - '0');
        if (value > 0x7fffffff)
            return 0x7fffffff;
    }
    return static_cast<int>(value);
}

// What a group's controls show, as one text to compare.
QString Shown(const std::vector<QWidget*>& fields) {
    QStringList shown;
    for (QWidget* w : fields) {
        if (auto* e = qobject_cast<QLineEdit*>(w))
            shown << e->text();
        else if (auto* c = qobject_cast<QComboBox*>(w))
            shown << QString::number(c->currentIndex());
        else if (auto* r = qobject_cast<QRadioButton*>(w))
            shown << QString::number(r->isChecked());
    }
    return shown.join(QLatin1Char('\n'));
}

constexpr const char* kNamesGroup = "Channel Name";
constexpr const char* kLinkGroup = "Connect Info";
constexpr const char* kMonitoringGroup = "Monitoring Port";
constexpr const char* kRouterBaudGroup = "RS232 Baudrate";
constexpr const char* kLockGroup = "Control Lock Mode";
constexpr const char* kNetworkGroup = "Router Network Settings";

}  // namespace

QString DottedDecimal(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    QStringList octets;
    for (int i = 0; i < 4; ++i) {
        const int value = i < parts.size() ? LeadingDecimal(parts[i].trimmed()) : 0;
        octets << QString::number(std::min(value, 255));
    }
    return octets.join(QLatin1Char('.'));
}

ConfigDialog::ConfigDialog(Connection& connection, QWidget* parent)
    : SettingDialog(connection, QStringLiteral("Set Config"), 481, 419, parent) {
    const RouterState& state = connection.session.state;
    const AppConfig& config = connection.config;

    auto label = [this](const char* text, int x, int y, int w, int h,
                        Qt::Alignment align = Qt::AlignRight | Qt::AlignVCenter) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setGeometry(DluRect(x, y, w, h));
        l->setAlignment(align);
        return l;
    };
    auto edit = [this](int x, int y, int w, int h, int maxLength) {
        auto* e = new QLineEdit(this);
        e->setGeometry(DluRect(x, y, w, h));
        e->setMaxLength(maxLength);
        return e;
    };
    // Texts kept in config.ini: a character its 8-bit set lacks is refused
    // with a hint rather than saved as "?".
    auto storedTextEdit = [&](int x, int y, int w, int h, int maxLength) {
        QLineEdit* e = edit(x, y, w, h, maxLength);
        e->setValidator(new EightBitValidator(e));
        connect(e, &QLineEdit::inputRejected, e, [e] {
            QToolTip::showText(e->mapToGlobal(QPoint(0, e->height())), kUnstorableHint, e);
        });
        return e;
    };
    // The closed list is one edit line high; the template's height is that
    // of the opened list, which shows as many rows as fit in it.
    auto list = [this](int x, int y, int w, int h) {
        auto* c = new QComboBox(this);
        c->setGeometry(DluRect(x, y, w, 13));
        c->setItemDelegate(new LineDelegate(c));
        c->setMaxVisibleItems(std::max(1, DluY(h - 13) / kLinePitch));
        return c;
    };
    // Shown, never edited here: the tooltip says why.
    auto readOnly = [](QWidget* w, const char* why) {
        w->setEnabled(false);
        w->setToolTip(QString::fromLatin1(why));
    };
    const QRegularExpression ipPattern(
        QStringLiteral("^(25[0-5]|2[0-4]\\d|1\\d\\d|[1-9]?\\d)?(\\.(25[0-5]|2[0-4]\\d|1\\d\\d|[1-9]"
                       "?\\d)?){0,3}$"));
    auto ipEdit = [&](int x, int y, int w, int h) {
        QLineEdit* e = edit(x, y, w, h, 15);
        e->setValidator(new QRegularExpressionValidator(ipPattern, e));
        return e;
    };

    // Channel names. Each row's label sits level with its edits, the column
    // headers over their edits.
    AddGroup("Channel Name", 7, 7, 177, 399);
    const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignTop;
    label("Input", 35, 21, 70, 19, centred);
    label("Output", 105, 21, 70, 19, centred);
    for (int k = 1; k <= 16; ++k) {
        const int y = 40 + 21 * (k - 1);
        label(QStringLiteral("CH%1").arg(k, 2, 10, QLatin1Char('0')).toLatin1().constData(), 15, y,
              18, 18, Qt::AlignCenter);
        inputNameEdits[k - 1] = storedTextEdit(35, y, 70, 18, 32767);
        outputNameEdits[k - 1] = storedTextEdit(105, y, 70, 18, 32767);
        inputNameEdits[k - 1]->setText(ToQString(config.inputNames[k]));
        outputNameEdits[k - 1]->setText(ToQString(config.outputNames[k]));
    }
    saveNamesButton =
        AddButton("Save", 16, 381, 160, 18, "Saves the 32 channel names to config.ini");

    // The program's own link.
    AddGroup("Connect Info", 193, 8, 272, 92);
    rs232Radio = new QRadioButton(QStringLiteral("RS232"), this);
    rs232Radio->setGeometry(DluRect(202, 20, 36, 18));
    rs232Radio->setToolTip(QStringLiteral("Talk to the router over a serial port"));
    ethernetRadio = new QRadioButton(QStringLiteral("Ethernet"), this);
    ethernetRadio->setGeometry(DluRect(202, 50, 48, 10));
    ethernetRadio->setToolTip(QStringLiteral("Talk to the router over UDP"));
    auto* linkType = new QButtonGroup(this);
    linkType->addButton(rs232Radio);
    linkType->addButton(ethernetRadio);
    label("COM Port :", 242, 20, 67, 18);
    comPortEdit = storedTextEdit(311, 20, 38, 18, 15);
    label("Baudrate :", 352, 23, 39, 12);
    pcBaudList = list(393, 23, 50, 237);
    label("IP :", 252, 45, 43, 18);
    ipAddressEdit = ipEdit(297, 45, 78, 18);
    label("Port :", 378, 45, 23, 18);
    udpPortEdit = edit(403, 45, 38, 18, 10);
    readOnly(udpPortEdit, "The router's UDP port is set in config.ini ([SETCOMMCONFIG] UDPPort)");
    saveApplyLinkButton =
        AddButton("Save && Apply", 263, 72, 121, 18,
                  "Saves the link settings to config.ini. A new link type reconnects at once; "
                  "other changes take effect at the next Connect");

    // The router's test generator: shown, not changed.
    AddGroup("Video Generator", 193, 103, 272, 64);
    label("Resolution :", 201, 119, 54, 13);
    resolutionList = list(257, 119, 123, 172);
    constexpr const char* kGeneratorShown =
        "The router's test generator is shown as the router reports it, not changed here";
    readOnly(resolutionList, kGeneratorShown);
    label("Pattern :", 201, 143, 54, 13);
    patternList = list(257, 143, 124, 221);
    patternList->setEditable(true);
    readOnly(patternList, kGeneratorShown);
    generatorApplyButton = AddButton("Apply", 396, 140, 55, 18, kGeneratorShown);
    generatorApplyButton->setEnabled(false);
    generatorApplyButton->setVisible(false);

    AddGroup("Monitoring Port && RS232", 193, 171, 130, 113);
    label("Channel :", 199, 192, 48, 13);
    monitoringList = list(249, 192, 66, 237);
    monitoringApplyButton = AddButton("Apply", 231, 213, 54, 18,
                                      "Sends the channel the router's monitoring port shows");
    label("RS232 Baudrate :", 197, 238, 64, 13);
    routerBaudList = list(263, 238, 52, 237);
    routerBaudApplyButton =
        AddButton("Apply", 232, 260, 54, 18,
                  "Sets the speed of the router's own RS232 port; a serial link at another "
                  "speed then loses the router");

    AddGroup("Control Lock Mode", 328, 171, 138, 113);
    label("Web Control :", 332, 187, 56, 13);
    webLockList = list(390, 187, 66, 36);
    label("Data Control :", 332, 211, 56, 13);
    dataLockList = list(390, 211, 66, 36);
    label("Key Control :", 332, 232, 56, 13);
    keyLockList = list(390, 232, 66, 36);
    for (QComboBox* lock : {webLockList, dataLockList, keyLockList})
        lock->addItems({QStringLiteral("Unlock"), QStringLiteral("Lock")});
    lockApplyButton =
        AddButton("Apply", 370, 257, 54, 18,
                  "Sends all three lock modes (web page, data port, front-panel keys)");

    AddGroup("Router Network Settings", 193, 291, 272, 113);
    label("IP Address :", 199, 308, 60, 18);
    routerIpEdit = ipEdit(261, 308, 98, 18);
    label("Port :", 370, 308, 25, 18);
    // Read-only, but its text still goes out with NETPT; the limit keeps
    // that command within the send buffer.
    routerPortEdit = edit(397, 308, 38, 18, 32);
    readOnly(routerPortEdit,
             "The router's port, as the router reports it; it is sent back unchanged");
    label("Subnet mask :", 199, 334, 60, 18);
    routerSubnetEdit = ipEdit(261, 334, 97, 18);
    label("Gateway :", 199, 356, 60, 18);
    routerGatewayEdit = ipEdit(261, 356, 97, 18);
    label("MAC Address :", 199, 380, 60, 18);
    for (int i = 0; i < 6; ++i) {
        macEdits[i] = edit(261 + 16 * i, 380, 16, 18, 2);
        readOnly(macEdits[i],
                 "The router's MAC address, as the router reports it; it cannot be "
                 "changed");
    }
    networkApplyButton =
        AddButton("Apply", 390, 356, 54, 18,
                  "Sends the router's IP address, port, subnet mask and gateway; at a new address "
                  "the router no longer answers this link");
    CreateStatusLine(QRect(9, 407, 463, 11));

    // Current values; a value the router has not reported shows as nothing.
    const KnownValues& known = state.known;
    auto row = [](bool isKnown, int value, int rows) {
        return isKnown && value >= 0 && value < rows ? value : -1;
    };
    for (int r = 1; r <= kResolutionCount; ++r)
        resolutionList->addItem(QString::fromLatin1(ResolutionNames[r]));
    resolutionList->setCurrentIndex(
        row(known.generatorResolution, state.generatorResolution - 1, kResolutionCount));
    for (int p = 1; p <= kPatternCount; ++p)
        patternList->addItem(QString::fromLatin1(PatternNames[p]));
    patternList->setCurrentIndex(
        row(known.generatorPattern, state.generatorPattern - 1, kPatternCount));
    for (int n = 0; n <= 16; ++n)
        monitoringList->addItem(QStringLiteral("Input %1").arg(n, 2, 10, QLatin1Char('0')));
    monitoringList->setCurrentIndex(row(known.monitoringChannel, state.monitoringChannel, 17));
    webLockList->setCurrentIndex(row(known.webLock, state.webLock == 1 ? 1 : 0, 2));
    dataLockList->setCurrentIndex(row(known.dataLock, state.dataLock == 1 ? 1 : 0, 2));
    keyLockList->setCurrentIndex(row(known.keyLock, state.keyLock == 1 ? 1 : 0, 2));
    rs232Radio->setChecked(config.useSerial);
    ethernetRadio->setChecked(!config.useSerial);
    comPortEdit->setText(ToQString(config.comName));
    udpPortEdit->setText(QString::number(config.udpPort));
    ipAddressEdit->setText(ToQString(config.ipAddress));
    auto reported = [](bool isKnown, const std::string& text) {
        return isKnown ? ToQString(text) : QString();
    };
    routerIpEdit->setText(reported(known.routerIp, state.routerIp));
    routerSubnetEdit->setText(reported(known.routerSubnetMask, state.routerSubnetMask));
    routerGatewayEdit->setText(reported(known.routerGateway, state.routerGateway));
    routerPortEdit->setText(reported(known.routerPort, state.routerPort));
    if (known.routerMac && state.routerMac.size() >= 17) {
        for (int i = 0; i < 6; ++i)
            macEdits[i]->setText(ToQString(state.routerMac.substr(3 * i, 2)));
    }
    FillBaudList(pcBaudList, config.baudRate);
    FillBaudList(routerBaudList, known.routerBaudRate ? state.routerBaudRate : 0);

    // What each button saves or applies, to know what closing would lose.
    auto track = [this](const char* name, std::vector<QWidget*> fields) {
        Track(QString::fromLatin1(name), [fields] { return Shown(fields); });
    };
    std::vector<QWidget*> names;
    for (int k = 0; k < 16; ++k)
        names.insert(names.end(), {inputNameEdits[k], outputNameEdits[k]});
    track(kNamesGroup, names);
    track(kLinkGroup, {rs232Radio, comPortEdit, pcBaudList, ipAddressEdit, udpPortEdit});
    track(kMonitoringGroup, {monitoringList});
    track(kRouterBaudGroup, {routerBaudList});
    track(kLockGroup, {webLockList, dataLockList, keyLockList});
    track(kNetworkGroup, {routerIpEdit, routerSubnetEdit, routerGatewayEdit});

    connect(saveNamesButton, &QPushButton::clicked, this, &ConfigDialog::SaveChannelNames);
    connect(saveApplyLinkButton, &QPushButton::clicked, this, &ConfigDialog::SaveAndApplyLink);
    connect(generatorApplyButton, &QPushButton::clicked, this, &ConfigDialog::ApplyGenerator);
    connect(monitoringApplyButton, &QPushButton::clicked, this, &ConfigDialog::ApplyMonitoring);
    connect(routerBaudApplyButton, &QPushButton::clicked, this, &ConfigDialog::ApplyRouterBaudRate);
    connect(lockApplyButton, &QPushButton::clicked, this, &ConfigDialog::ApplyLockModes);
    connect(networkApplyButton, &QPushButton::clicked, this, &ConfigDialog::ApplyRouterNetwork);
}

void ConfigDialog::SaveChannelNames() {
    AppConfig& config = connection.config;
    for (int k = 1; k <= 16; ++k) {
        config.inputNames[k] = FromQString(inputNameEdits[k - 1]->text());
        config.outputNames[k] = FromQString(outputNameEdits[k - 1]->text());
    }
    if (ReportSave(corvane::SaveChannelNames(config), QStringLiteral("the channel names")))
        MarkSaved(QString::fromLatin1(kNamesGroup));
}

void ConfigDialog::SaveAndApplyLink() {
    AppConfig& config = connection.config;
    const int status = connection.session.connectionStatus;
    const bool serial = rs232Radio->isChecked();
    bool reconnect = false;
    if ((status == kConnecting || status == kConnected) && serial != config.useSerial) {
        // Still under the old link type, so the link that is open gets closed.
        connection.Disconnect();
        reconnect = true;
    }
    config.comName = FromQString(comPortEdit->text());
    if (pcBaudList->currentIndex() >= 0)
        config.baudRate = kBaudRates[pcBaudList->currentIndex()];
    config.ipAddress = FromQString(DottedDecimal(ipAddressEdit->text()));
    config.udpPort = LeadingDecimal(udpPortEdit->text());
    config.useSerial = serial;
    if (ReportSave(corvane::SaveLinkSettings(config), QStringLiteral("the link settings")))
        MarkSaved(QString::fromLatin1(kLinkGroup));
    if (reconnect) {
        connection.Connect();
        Say(statusLine->text() + (serial ? QStringLiteral("; reconnecting over RS232")
                                         : QStringLiteral("; reconnecting over UDP")));
    }
}

bool ConfigDialog::ReportSave(bool saved, const QString& what) {
    // The settings in memory still take effect for this run.
    if (saved) {
        Say(QStringLiteral("Saved %1 to config.ini").arg(what));
        return true;
    }
    connection.session.log.LogEvent(true, true, "%s", kSaveFailed);
    Say(QString::fromLatin1(kSaveFailed));
    showMessage(QString::fromLatin1(kSaveFailed));
    return false;
}

void ConfigDialog::ApplyGenerator() {
    const RouterState& state = connection.session.state;
    if (!Reported(state.known.generatorResolution && state.known.generatorPattern,
                  "its generator settings"))
        return;
    // Number 0 does not exist on the router: a list without a row sends nothing.
    const int resolution = resolutionList->currentIndex() + 1;
    const int pattern = patternList->currentIndex() + 1;
    std::vector<std::string> commands;
    if (resolution >= 1)
        commands.push_back(VideoResolutionCommand(resolution));
    if (pattern >= 1)
        commands.push_back(VideoPatternCommand(pattern));
    if (commands.empty())
        return Say(QStringLiteral("Choose a resolution and a pattern first; nothing sent."));
    Send(commands);
}

void ConfigDialog::ApplyMonitoring() {
    if (!Reported(connection.session.state.known.monitoringChannel, "its monitoring channel"))
        return;
    const int channel = monitoringList->currentIndex();
    if (channel < 0)
        return Say(QStringLiteral("Choose a channel first; nothing sent."));
    if (Send({MonitoringCommand(channel)}))
        MarkSaved(QString::fromLatin1(kMonitoringGroup));
}

void ConfigDialog::ApplyRouterBaudRate() {
    if (!Reported(connection.session.state.known.routerBaudRate, "its RS232 speed"))
        return;
    // Without a row there is no speed to set; RS232=0! would be nonsense.
    const int row = routerBaudList->currentIndex();
    if (row < 0)
        return Say(QStringLiteral("Choose a baud rate first; nothing sent."));
    if (Send({Rs232Command(kBaudRates[row])}))
        MarkSaved(QString::fromLatin1(kRouterBaudGroup));
}

void ConfigDialog::ApplyLockModes() {
    const KnownValues& known = connection.session.state.known;
    if (!Reported(known.webLock && known.dataLock && known.keyLock, "its locks"))
        return;
    // A list shown empty (the router reported while the dialog was open) is
    // no choice: it would go out as "Unlock".
    for (QComboBox* lock : {webLockList, dataLockList, keyLockList}) {
        if (lock->currentIndex() < 0)
            return Say(QStringLiteral("Choose all three lock modes first; nothing sent."));
    }
    const auto commands =
        LockCommands(webLockList->currentIndex() == 1, dataLockList->currentIndex() == 1,
                     keyLockList->currentIndex() == 1);
    if (Send({commands.begin(), commands.end()}))
        MarkSaved(QString::fromLatin1(kLockGroup));
}

void ConfigDialog::ApplyRouterNetwork() {
    const KnownValues& known = connection.session.state.known;
    if (!Reported(
            known.routerIp && known.routerSubnetMask && known.routerGateway && known.routerPort,
            "its network settings"))
        return;
    // A blank address field would read as 0.0.0.0 and cut the router off the
    // network, and the port is sent as shown; the four only go out together.
    for (QLineEdit* field : {routerIpEdit, routerSubnetEdit, routerGatewayEdit, routerPortEdit}) {
        if (field->text().trimmed().isEmpty())
            return Say(QStringLiteral(
                "IP address, port, subnet mask and gateway are all needed; nothing sent."));
    }
    const auto commands = NetworkCommands(FromQString(DottedDecimal(routerIpEdit->text())),
                                          FromQString(routerPortEdit->text()),
                                          FromQString(DottedDecimal(routerSubnetEdit->text())),
                                          FromQString(DottedDecimal(routerGatewayEdit->text())));
    if (Send({commands.begin(), commands.end()}))
        MarkSaved(QString::fromLatin1(kNetworkGroup));
}

}  // namespace corvane
