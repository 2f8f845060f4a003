#include "ui/ConfigDialog.h"

#include <algorithm>

#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QToolTip>

#include "protocol/Commands.h"
#include "settings/AppConfig.h"
#include "settings/EventLog.h"
#include "transport/Connection.h"
#include "ui/DialogKeys.h"
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
    : QDialog(parent), connection(connection) {
    setWindowTitle(QStringLiteral("Set Config"));
    setFont(TahomaFont(11));
    setFixedSize(DluX(481), DluY(419));
    showMessage = [this](const QString& text) {
        QMessageBox::warning(this, QCoreApplication::applicationName(), text);
    };

    const RouterState& state = connection.session.state;
    const AppConfig& config = connection.config;

    auto group = [this](const char* title, int x, int y, int w, int h) {
        auto* box = new QGroupBox(QString::fromLatin1(title), this);
        box->setGeometry(DluRect(x, y, w, h));
        box->lower();
    };
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
    auto button = [this](const char* text, int x, int y, int w, int h) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setGeometry(DluRect(x, y, w, h));
        b->setAutoDefault(false);
        return b;
    };
    const QRegularExpression ipPattern(
        QStringLiteral("^(25[0-5]|2[0-4]\\d|1\\d\\d|[1-9]?\\d)?(\\.(25[0-5]|2[0-4]\\d|1\\d\\d|[1-9]"
                       "?\\d)?){0,3}$"));
    auto ipEdit = [&](int x, int y, int w, int h) {
        QLineEdit* e = edit(x, y, w, h, 15);
        e->setValidator(new QRegularExpressionValidator(ipPattern, e));
        return e;
    };

    // Channel names.
    group("Channel Name", 7, 7, 177, 399);
    // Centred statics centre across and start at the top.
    const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignTop;
    label("Input", 35, 21, 69, 19, centred);
    label("Output", 106, 21, 69, 19, centred);
    for (int k = 1; k <= 16; ++k) {
        const int y = 40 + 21 * (k - 1);
        label(QStringLiteral("CH%1").arg(k, 2, 10, QLatin1Char('0')).toLatin1().constData(), 15, y,
              18, 18, centred);
        inputNameEdits[k - 1] = storedTextEdit(35, y, 70, 18, 32767);
        outputNameEdits[k - 1] = storedTextEdit(105, y, 70, 18, 32767);
        inputNameEdits[k - 1]->setText(ToQString(config.inputNames[k]));
        outputNameEdits[k - 1]->setText(ToQString(config.outputNames[k]));
    }
    saveNamesButton = button("Save", 16, 381, 160, 18);

    // The program's own link.
    group("Connect Info", 193, 8, 272, 92);
    rs232Radio = new QRadioButton(QStringLiteral("RS232"), this);
    rs232Radio->setGeometry(DluRect(202, 20, 36, 18));
    ethernetRadio = new QRadioButton(QStringLiteral("Ethernet"), this);
    ethernetRadio->setGeometry(DluRect(202, 50, 48, 10));
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
    udpPortEdit->setEnabled(false);
    saveApplyLinkButton = button("Save && Apply", 263, 72, 121, 18);

    // The router's test generator: shown, not changed.
    group("Video Generator", 193, 103, 272, 64);
    label("Resolution :", 201, 119, 54, 13);
    resolutionList = list(257, 119, 123, 172);
    resolutionList->setEnabled(false);
    label("Pattern :", 201, 143, 54, 13);
    patternList = list(257, 143, 124, 221);
    patternList->setEditable(true);
    patternList->setEnabled(false);
    generatorApplyButton = button("Apply", 396, 140, 55, 18);
    generatorApplyButton->setEnabled(false);
    generatorApplyButton->setVisible(false);

    group("Monitoring Port && RS232", 193, 171, 130, 113);
    label("Channel :", 199, 192, 48, 13);
    monitoringList = list(249, 192, 66, 237);
    monitoringApplyButton = button("Apply", 231, 213, 54, 18);
    label("RS232 Baudrate :", 197, 238, 64, 13);
    routerBaudList = list(263, 238, 52, 237);
    routerBaudApplyButton = button("Apply", 232, 260, 54, 18);

    group("Control Lock Mode", 328, 171, 138, 113);
    label("Web Control :", 332, 187, 56, 13);
    webLockList = list(390, 187, 66, 36);
    label("Data Control :", 332, 211, 56, 13);
    dataLockList = list(390, 211, 66, 36);
    label("Key Control :", 332, 232, 56, 13);
    keyLockList = list(390, 232, 66, 36);
    for (QComboBox* lock : {webLockList, dataLockList, keyLockList})
        lock->addItems({QStringLiteral("Unlock"), QStringLiteral("Lock")});
    lockApplyButton = button("Apply", 370, 257, 54, 18);

    group("Router Network Settings", 193, 291, 272, 113);
    label("IP Address :", 199, 308, 60, 18);
    routerIpEdit = ipEdit(261, 308, 98, 18);
    label("Port :", 370, 308, 25, 18);
    // Read-only, but its text still goes out with NETPT; the limit keeps
    // that command within the send buffer.
    routerPortEdit = edit(397, 308, 38, 18, 32);
    routerPortEdit->setEnabled(false);
    label("Subnet mask :", 199, 334, 60, 18);
    routerSubnetEdit = ipEdit(261, 334, 97, 18);
    label("Gateway :", 199, 356, 60, 18);
    routerGatewayEdit = ipEdit(261, 356, 97, 18);
    label("MAC Address :", 199, 380, 60, 18);
    for (int i = 0; i < 6; ++i) {
        macEdits[i] = edit(261 + 16 * i, 380, 16, 18, 2);
        macEdits[i]->setEnabled(false);
    }
    networkApplyButton = button("Apply", 390, 356, 54, 18);

    // Current values.
    for (int r = 1; r <= kResolutionCount; ++r)
        resolutionList->addItem(QString::fromLatin1(ResolutionNames[r]));
    resolutionList->setCurrentIndex(state.generatorResolution - 1);
    for (int p = 1; p <= kPatternCount; ++p)
        patternList->addItem(QString::fromLatin1(PatternNames[p]));
    patternList->setCurrentIndex(state.generatorPattern - 1);
    for (int n = 0; n <= 16; ++n)
        monitoringList->addItem(QStringLiteral("Input %1").arg(n, 2, 10, QLatin1Char('0')));
    monitoringList->setCurrentIndex(state.monitoringChannel >= 0 && state.monitoringChannel <= 16
                                        ? state.monitoringChannel
                                        : -1);
    webLockList->setCurrentIndex(state.webLock == 1 ? 1 : 0);
    dataLockList->setCurrentIndex(state.dataLock == 1 ? 1 : 0);
    keyLockList->setCurrentIndex(state.keyLock == 1 ? 1 : 0);
    rs232Radio->setChecked(config.useSerial);
    ethernetRadio->setChecked(!config.useSerial);
    comPortEdit->setText(ToQString(config.comName));
    udpPortEdit->setText(QString::number(config.udpPort));
    ipAddressEdit->setText(ToQString(config.ipAddress));
    routerIpEdit->setText(ToQString(state.routerIp));
    routerSubnetEdit->setText(ToQString(state.routerSubnetMask));
    routerGatewayEdit->setText(ToQString(state.routerGateway));
    routerPortEdit->setText(ToQString(state.routerPort));
    if (state.routerMac.size() >= 17) {
        for (int i = 0; i < 6; ++i)
            macEdits[i]->setText(ToQString(state.routerMac.substr(3 * i, 2)));
    }
    FillBaudList(pcBaudList, config.baudRate);
    FillBaudList(routerBaudList, state.routerBaudRate);

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
    ReportSave(corvane::SaveChannelNames(config));
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
    ReportSave(corvane::SaveLinkSettings(config));
    if (reconnect)
        connection.Connect();
}

void ConfigDialog::Hint(QWidget* at, const char* text) {
    QToolTip::showText(at->mapToGlobal(QPoint(0, at->height())), QString::fromLatin1(text), at);
}

void ConfigDialog::ReportSave(bool saved) {
    // The settings in memory still take effect for this run.
    if (saved)
        return;
    connection.session.log.LogEvent(true, true, "%s", kSaveFailed);
    showMessage(QString::fromLatin1(kSaveFailed));
}

void ConfigDialog::ApplyGenerator() {
    // Number 0 does not exist on the router: a list without a row sends nothing.
    const int resolution = resolutionList->currentIndex() + 1;
    const int pattern = patternList->currentIndex() + 1;
    if (resolution >= 1)
        connection.session.EnqueueCommand(VideoResolutionCommand(resolution));
    if (pattern >= 1)
        connection.session.EnqueueCommand(VideoPatternCommand(pattern));
}

void ConfigDialog::ApplyMonitoring() {
    const int channel = monitoringList->currentIndex();
    if (channel < 0) {
        Hint(monitoringApplyButton, "Choose a channel first: nothing was sent");
        return;
    }
    connection.session.EnqueueCommand(MonitoringCommand(channel));
}

void ConfigDialog::ApplyRouterBaudRate() {
    // Without a row there is no speed to set; RS232=0! would be nonsense.
    const int row = routerBaudList->currentIndex();
    if (row < 0) {
        Hint(routerBaudApplyButton, "Choose a baud rate first: nothing was sent");
        return;
    }
    connection.session.EnqueueCommand(Rs232Command(kBaudRates[row]));
}

void ConfigDialog::ApplyLockModes() {
    for (const std::string& command :
         LockCommands(webLockList->currentIndex() == 1, dataLockList->currentIndex() == 1,
                      keyLockList->currentIndex() == 1))
        connection.session.EnqueueCommand(command);
}

void ConfigDialog::ApplyRouterNetwork() {
    // A blank address field would read as 0.0.0.0 and cut the router off the
    // network; the four settings only go out together.
    for (QLineEdit* address : {routerIpEdit, routerSubnetEdit, routerGatewayEdit}) {
        if (address->text().trimmed().isEmpty()) {
            Hint(networkApplyButton,
                 "Fill in IP address, subnet mask and gateway first: nothing was sent");
            return;
        }
    }
    for (const std::string& command : NetworkCommands(
             FromQString(DottedDecimal(routerIpEdit->text())), FromQString(routerPortEdit->text()),
             FromQString(DottedDecimal(routerSubnetEdit->text())),
             FromQString(DottedDecimal(routerGatewayEdit->text()))))
        connection.session.EnqueueCommand(command);
}

void ConfigDialog::keyPressEvent(QKeyEvent* e) {
    if (!HandleEnterKey(*this, e))
        QDialog::keyPressEvent(e);
}

}  // namespace corvane
