#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>
#include <functional>
#include <memory>

#include "protocol/RouterSession.h"
#include "settings/AppConfig.h"
#include "settings/EventLog.h"
#include "transport/Connection.h"
#include "ui/ConfigDialog.h"
#include "ui/EdidDialog.h"
#include "ui/ImageButton.h"
#include "ui/InputGrid.h"
#include "ui/QuadDialog.h"

using namespace corvane;

using ConfigAction = std::function<void(ConfigDialog&)>;
using EdidAction = std::function<void(EdidDialog&)>;
Q_DECLARE_METATYPE(ConfigAction)
Q_DECLARE_METATYPE(EdidAction)

namespace {

// Everything the main window would own, in a temporary working directory
// whose config.ini points at this machine only.
struct Rig {
    explicit Rig(const QString& dir)
        : log(dir.toStdString(), [] { return LocalTime{2026, 12, 6, 12, 0, 0}; }),
          session(log),
          connection(session, config) {
        log.screen = &screen;
        log.screenLogEnabled = true;
        LoadConfig(config, session.state);
    }
    ScreenLog screen;
    EventLog log;
    RouterSession session;
    AppConfig config;
    Connection connection;

    QStringList Queue() const {
        QStringList queued;
        for (const std::string& c : session.commandQueue)
            queued << QString::fromStdString(c);
        return queued;
    }
    // Log lines without their time stamps.
    QStringList Messages() const {
        QStringList messages;
        for (const std::string& line : screen.lines) {
            const QString text = QString::fromStdString(line);
            messages << text.mid(text.indexOf(']') + 1);
        }
        return messages;
    }
};

QStringList FileLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            lines << QString::fromLatin1(trimmed);
    }
    return lines;
}

QByteArray EdidBytes(int size) {
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(char(i & 0xFF));  // 0x21 "!" at 33
    return bytes;
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Rig> rig;
    QUdpSocket router;  // the router's end of the UDP link
    QString previousDir;

    // Opens the UDP link to the test's own socket: status Connecting.
    void OpenUdp() {
        rig->config.useSerial = false;
        rig->connection.Connect();
        QCOMPARE(rig->session.connectionStatus, int(kConnecting));
        QVERIFY(rig->session.activeLink != nullptr);
    }

private slots:
    void initTestCase() { previousDir = QDir::currentPath(); }

    void init() {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        QVERIFY(QDir::setCurrent(dir->path()));
        // The link's local port is the router's + 10: find a pair that is free.
        bool bound = false;
        for (int attempt = 0; attempt < 20 && !bound; ++attempt) {
            router.close();
            if (!router.bind(QHostAddress::LocalHost, 0))
                continue;
            QUdpSocket probe;
            bound = router.localPort() < 65000 &&
                    probe.bind(QHostAddress::LocalHost, router.localPort() + 10);
        }
        QVERIFY(bound);
        QFile ini(QStringLiteral("config.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[SETCOMMCONFIG]\r\nCOMName=/nonexist/tty9\r\nBaudrate=38400\r\n"
                                 "IpAddress=127.0.0.1\r\nUDPPort=%1\r\nCommType=UDP\r\n")
                      .arg(router.localPort())
                      .toLatin1());
        ini.close();
        rig = std::make_unique<Rig>(dir->path());
        QCOMPARE(QString::fromStdString(rig->config.ipAddress), QStringLiteral("127.0.0.1"));
        userEdidPath.clear();
    }

    void cleanup() {
        rig.reset();
        router.close();
        QDir::setCurrent(previousDir);
        dir.reset();
    }

    // ---- Set Config ----

    void configShowsModel() {
        RouterState& s = rig->session.state;
        s.generatorResolution = 9;
        s.generatorPattern = 3;
        s.monitoringChannel = 0;
        s.webLock = 1;
        s.keyLock = 1;
        s.routerIp = "10.1.2.3";
        s.routerPort = "5000";
        s.routerBaudRate = 0;
        rig->config.inputNames[1] = "Camera";
        rig->config.outputNames[16] = "Wall";
        ConfigDialog d(rig->connection);
        QCOMPARE(d.windowTitle(), QStringLiteral("Set Config"));
        QCOMPARE(d.resolutionList->currentIndex(), 8);
        QCOMPARE(d.patternList->currentIndex(), 2);
        QVERIFY(!d.resolutionList->isEnabled() && !d.patternList->isEnabled());
        QVERIFY(d.generatorApplyButton->isHidden());
        QCOMPARE(d.monitoringList->currentText(), QStringLiteral("Input 00"));
        QCOMPARE(d.monitoringList->count(), 17);
        QCOMPARE(d.webLockList->currentText(), QStringLiteral("Lock"));
        QCOMPARE(d.dataLockList->currentText(), QStringLiteral("Unlock"));
        QCOMPARE(d.keyLockList->currentText(), QStringLiteral("Lock"));
        QVERIFY(d.ethernetRadio->isChecked() && !d.rs232Radio->isChecked());
        QCOMPARE(d.udpPortEdit->text(), QString::number(router.localPort()));
        QVERIFY(!d.udpPortEdit->isEnabled());
        QCOMPARE(d.ipAddressEdit->text(), QStringLiteral("127.0.0.1"));
        QCOMPARE(d.comPortEdit->text(), QStringLiteral("/nonexist/tty9"));
        QCOMPARE(d.pcBaudList->currentText(), QStringLiteral("38400"));
        QCOMPARE(d.routerBaudList->currentIndex(), -1);  // not reported yet
        QCOMPARE(d.routerIpEdit->text(), QStringLiteral("10.1.2.3"));
        QCOMPARE(d.routerPortEdit->text(), QStringLiteral("5000"));
        QCOMPARE(d.inputNameEdits[0]->text(), QStringLiteral("Camera"));
        QCOMPARE(d.outputNameEdits[15]->text(), QStringLiteral("Wall"));
        QCOMPARE(d.inputNameEdits[1]->text(), QStringLiteral("InputChannel02"));
    }

    void configSerialAndBaud_data() {
        QTest::addColumn<bool>("useSerial");
        QTest::addColumn<int>("baudRate");
        QTest::addColumn<int>("routerBaudRate");
        QTest::addColumn<int>("pcRow");
        QTest::addColumn<int>("routerRow");
        QTest::newRow("serial at 9600") << true << 9600 << 115200 << 0 << 4;
        QTest::newRow("odd rates have no row") << true << 4800 << 14400 << -1 << -1;
    }
    void configSerialAndBaud() {
        QFETCH(bool, useSerial);
        QFETCH(int, baudRate);
        QFETCH(int, routerBaudRate);
        rig->config.useSerial = useSerial;
        rig->config.baudRate = baudRate;
        rig->session.state.routerBaudRate = routerBaudRate;
        ConfigDialog d(rig->connection);
        QCOMPARE(d.rs232Radio->isChecked(), useSerial);
        QCOMPARE(d.ethernetRadio->isChecked(), !useSerial);
        QTEST(d.pcBaudList->currentIndex(), "pcRow");
        QTEST(d.routerBaudList->currentIndex(), "routerRow");
    }

    void configMac_data() {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QStringList>("octets");
        QTest::newRow("colons") << "00:1a:2b:3c:4d:5e"
                                << QStringList{"00", "1a", "2b", "3c", "4d", "5e"};
        QTest::newRow("any separator")
            << "00-1A 2B.3C_4D#5E" << QStringList{"00", "1A", "2B", "3C", "4D", "5E"};
        QTest::newRow("trailing text ignored")
            << "11:22:33:44:55:66:77" << QStringList{"11", "22", "33", "44", "55", "66"};
        QTest::newRow("16 chars: empty")
            << "00:1a:2b:3c:4d:5" << QStringList{"", "", "", "", "", ""};
        QTest::newRow("not reported") << "" << QStringList{"", "", "", "", "", ""};
    }
    void configMac() {
        QFETCH(QString, mac);
        QFETCH(QStringList, octets);
        rig->session.state.routerMac = mac.toStdString();
        ConfigDialog d(rig->connection);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(d.macEdits[i]->text(), octets[i]);
            QVERIFY(!d.macEdits[i]->isEnabled());
        }
    }

    void configCommands_data() {
        QTest::addColumn<ConfigAction>("action");
        QTest::addColumn<QStringList>("expected");
        auto row = [](const char* name, ConfigAction action, QStringList expected) {
            QTest::newRow(name) << action << expected;
        };
        row("monitoring 0",
            [](ConfigDialog& d) {
                d.monitoringList->setCurrentIndex(0), d.monitoringApplyButton->click();
            },
            {"MON=00!"});
        row("monitoring 16",
            [](ConfigDialog& d) {
                d.monitoringList->setCurrentIndex(16), d.monitoringApplyButton->click();
            },
            {"MON=16!"});
        row("monitoring without row",
            [](ConfigDialog& d) {
                d.monitoringList->setCurrentIndex(-1), d.monitoringApplyButton->click();
            },
            {});
        row("locks, data only",
            [](ConfigDialog& d) {
                d.webLockList->setCurrentIndex(0), d.dataLockList->setCurrentIndex(1),
                    d.keyLockList->setCurrentIndex(0);
                d.lockApplyButton->click();
            },
            {"LOCK=WUL!", "LOCK=DL!", "LOCK=KUL!"});
        row("locks, all locked",
            [](ConfigDialog& d) {
                for (QComboBox* l : {d.webLockList, d.dataLockList, d.keyLockList})
                    l->setCurrentIndex(1);
                d.lockApplyButton->click();
            },
            {"LOCK=WL!", "LOCK=DL!", "LOCK=KL!"});
        row("locks twice",
            [](ConfigDialog& d) { d.lockApplyButton->click(), d.lockApplyButton->click(); },
            {"LOCK=WUL!", "LOCK=DUL!", "LOCK=KUL!", "LOCK=WUL!", "LOCK=DUL!", "LOCK=KUL!"});
        row("router baud 115200",
            [](ConfigDialog& d) {
                d.routerBaudList->setCurrentIndex(4), d.routerBaudApplyButton->click();
            },
            {"RS232=115200!"});
        row("router baud without row", [](ConfigDialog& d) { d.routerBaudApplyButton->click(); },
            {});
        row("network, four in order",
            [](ConfigDialog& d) {
                d.routerIpEdit->setText("192.168.1.20");
                d.routerSubnetEdit->setText("255.255.255.0");
                d.routerGatewayEdit->setText("192.168.1.1");
                d.routerPortEdit->setText("3000");
                d.networkApplyButton->click();
            },
            {"NETIP=192.168.1.20!", "NETPT=3000!", "NETSN=255.255.255.0!", "NETGW=192.168.1.1!"});
        row("network, partial address completed",
            [](ConfigDialog& d) {
                d.routerIpEdit->setText("10.0..7");
                d.routerSubnetEdit->setText("255.0");
                d.routerGatewayEdit->setText("10.0.0.1");
                d.networkApplyButton->click();
            },
            {"NETIP=10.0.0.7!", "NETPT=!", "NETSN=255.0.0.0!", "NETGW=10.0.0.1!"});
        row("network, blank gateway sends nothing",
            [](ConfigDialog& d) {
                d.routerIpEdit->setText("10.0.0.7");
                d.routerSubnetEdit->setText("255.0.0.0");
                d.networkApplyButton->click();
            },
            {});
        row("generator, bound though hidden",
            [](ConfigDialog& d) {
                d.resolutionList->setCurrentIndex(8), d.patternList->setCurrentIndex(13);
                d.ApplyGenerator();
            },
            {"VIDRES=9!", "VIDIMG=14!"});
        row("generator without rows",
            [](ConfigDialog& d) {
                d.resolutionList->setCurrentIndex(-1), d.patternList->setCurrentIndex(-1);
                d.ApplyGenerator();
            },
            {});
    }
    void configCommands() {
        QFETCH(ConfigAction, action);
        QFETCH(QStringList, expected);
        ConfigDialog d(rig->connection);
        action(d);
        QCOMPARE(rig->Queue(), expected);
        // Router-side settings only ever leave as commands.
        QCOMPARE(rig->session.state.monitoringChannel, 0);
        QCOMPARE(rig->session.state.routerIp, std::string());
    }

    // The texts that go into commands cannot make one longer than 255.
    void configCommandTextsAreLimited() {
        ConfigDialog d(rig->connection);
        for (QLineEdit* e :
             {d.routerIpEdit, d.routerSubnetEdit, d.routerGatewayEdit, d.routerPortEdit}) {
            e->setText(QString(400, QLatin1Char('9')));
            QVERIFY(e->text().size() <= 32);
        }
        d.routerIpEdit->setText("1.1.1.1");
        d.routerSubnetEdit->setText("1.1.1.1");
        d.routerGatewayEdit->setText("1.1.1.1");
        d.networkApplyButton->click();
        QCOMPARE(rig->Queue().size(), 4);
    }

    void saveChannelNames() {
        ConfigDialog d(rig->connection);
        for (int i = 0; i < 16; ++i) {
            d.inputNameEdits[i]->setText(QStringLiteral("in %1").arg(i + 1));
            d.outputNameEdits[i]->clear();
        }
        d.inputNameEdits[4]->setText(QStringLiteral("A very long camera name"));
        d.saveNamesButton->click();
        QCOMPARE(rig->config.inputNames[5], std::string("A very long camera name"));
        QCOMPARE(rig->config.inputNames[16], std::string("in 16"));
        QCOMPARE(rig->config.outputNames[3], std::string());
        const QStringList lines = FileLines(QStringLiteral("config.ini"));
        const int at = lines.indexOf(QStringLiteral("[CHANNELNAME]"));
        QVERIFY(at >= 0);
        QCOMPARE(lines.mid(at + 1, 4), (QStringList{"InputChannel01=in 1", "OutputChannel01=",
                                                    "InputChannel02=in 2", "OutputChannel02="}));
        QVERIFY(lines.contains(QStringLiteral("InputChannel05=A very long camera name")));
        QVERIFY(rig->Queue().isEmpty());
    }

    // A fresh config.ini gets the five link keys in their fixed order.
    void saveLinkSettingsKeyOrder() {
        QVERIFY(QFile::remove(QStringLiteral("config.ini")));
        ConfigDialog d(rig->connection);
        d.rs232Radio->setChecked(true);
        d.comPortEdit->setText(QStringLiteral("COM7"));
        d.pcBaudList->setCurrentIndex(1);
        d.ipAddressEdit->setText(QStringLiteral("127.0.0.1"));
        d.saveApplyLinkButton->click();
        QCOMPARE(
            FileLines(QStringLiteral("config.ini")),
            (QStringList{"[SETCOMMCONFIG]", "COMName=COM7", "Baudrate=19200", "IpAddress=127.0.0.1",
                         QStringLiteral("UDPPort=%1").arg(router.localPort()), "CommType=RS232"}));
        QVERIFY(rig->config.useSerial);
        QCOMPARE(rig->config.baudRate, 19200);
        QCOMPARE(rig->session.connectionStatus, int(kDisconnected));
    }

    void saveLinkBaudWithoutRowKeepsRate() {
        rig->config.baudRate = 4800;
        ConfigDialog d(rig->connection);
        QCOMPARE(d.pcBaudList->currentIndex(), -1);
        d.saveApplyLinkButton->click();
        QCOMPARE(rig->config.baudRate, 4800);
        QVERIFY(FileLines(QStringLiteral("config.ini")).contains(QStringLiteral("Baudrate=4800")));
    }

    void reconnect_data() {
        QTest::addColumn<int>("start");  // status; 3 = open over UDP, 13 = "open" over RS232
        QTest::addColumn<bool>("chooseSerial");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("disconnectLine");
        QTest::addColumn<int>("status");
        QTest::newRow("rs232 open -> ethernet reconnects") << 13 << false << "127.0.0.1"
                                                           << "RS232 Disconnect " << 1;
        QTest::newRow("udp open -> rs232 reconnects") << 3 << true << "127.0.0.1"
                                                      << "UDP Disconnect " << 2;
        QTest::newRow("udp open, same type") << 3 << false << "127.0.0.1"
                                             << "" << 1;
        QTest::newRow("udp open, address only") << 3 << false << "127.0.0.2"
                                                << "" << 1;
        QTest::newRow("disconnected -> rs232 only stores") << 0 << true << "127.0.0.1"
                                                           << "" << 0;
        QTest::newRow("failed -> rs232 only stores") << 2 << true << "127.0.0.1"
                                                     << "" << 2;
    }
    void reconnect() {
        QFETCH(int, start);
        QFETCH(bool, chooseSerial);
        QFETCH(QString, ip);
        QFETCH(QString, disconnectLine);
        QFETCH(int, status);
        QString shown;
        rig->connection.showMessage = [&](const std::string& m) {
            shown = QString::fromStdString(m);
        };
        UdpLink* before = nullptr;
        if (start == 3) {
            OpenUdp();
            before = rig->connection.udpLink.get();
        } else if (start == 13) {
            // Stands for an open port: closing a port that is not open is harmless.
            rig->config.useSerial = true;
            rig->session.connectionStatus = kConnected;
        } else {
            rig->session.connectionStatus = start;
        }
        rig->session.commandQueue.push_back("VID=?!");
        ConfigDialog d(rig->connection);
        (chooseSerial ? d.rs232Radio : d.ethernetRadio)->setChecked(true);
        d.ipAddressEdit->setText(ip);
        const int linesBefore = rig->Messages().size();
        d.saveApplyLinkButton->click();

        const QStringList logged = rig->Messages().mid(linesBefore);
        QCOMPARE(rig->config.useSerial, chooseSerial);
        QCOMPARE(rig->session.connectionStatus, status);
        QCOMPARE(rig->config.ipAddress, ip.toStdString());
        if (disconnectLine.isEmpty()) {
            QVERIFY2(!logged.join('|').contains("Disconnect"), qPrintable(logged.join('|')));
            QCOMPARE(rig->session.commandQueue.size(), size_t(1));
            if (before)
                QCOMPARE(rig->connection.udpLink.get(), before);
        } else {
            // Disconnect saw the old type and closed the link that was open.
            QCOMPARE(logged.value(0), disconnectLine);
            QVERIFY(rig->session.commandQueue.empty());
            QCOMPARE(rig->session.pollIndex, 0u);
            QCOMPARE(rig->connection.udpLink != nullptr, !chooseSerial);
        }
        if (status == kConnecting && chooseSerial == false)
            QVERIFY(rig->session.activeLink == rig->connection.udpLink.get());
    }

    // ---- Setup EDID ----

    void edidModes_data() {
        QTest::addColumn<QStringList>("reported");  // words for inputs 1..
        QTest::addColumn<EdidAction>("action");
        QTest::addColumn<QList<int>>("marked");
        QTest::addColumn<int>("singleSelect");
        QTest::addColumn<bool>("outputListShown");
        const EdidAction none = [](EdidDialog&) {};
        QTest::newRow("nothing reported") << QStringList{} << none << QList<int>{} << 0 << false;
        QTest::newRow("opens in default")
            << QStringList{"AUTO", "AUTO", "DEF.", "USER", "", "", "DEF."} << none
            << QList<int>{3, 7} << 0 << false;
        QTest::newRow("auto detect") << QStringList{"AUTO", "DEF.", "AUTO"}
                                     << EdidAction([](EdidDialog& d) { d.autoRadio->click(); })
                                     << QList<int>{1, 3} << 0 << false;
        QTest::newRow("word must match exactly")
            << QStringList{"DEF", "DEF. ", "def.", "DEF."} << none << QList<int>{4} << 0 << false;
        QTest::newRow("output copy is single select")
            << QStringList{"OUT.", "", "OUT."}
            << EdidAction([](EdidDialog& d) { d.outputCopyRadio->click(); }) << QList<int>{1, 3}
            << 1 << true;
        QTest::newRow("back from output copy hides the list")
            << QStringList{"USER"}
            << EdidAction([](EdidDialog& d) { d.outputCopyRadio->click(), d.userRadio->click(); })
            << QList<int>{1} << 0 << false;
        QTest::newRow("checked radio reloads the marks")
            << QStringList{"DEF.", "AUTO"} << EdidAction([](EdidDialog& d) {
                   d.grid->selection[1] = 1, d.grid->selection[0] = 0;
                   d.defaultRadio->click();
               })
            << QList<int>{1} << 0 << false;
    }
    void edidModes() {
        QFETCH(QStringList, reported);
        QFETCH(EdidAction, action);
        QFETCH(QList<int>, marked);
        for (int n = 0; n < reported.size(); ++n)
            rig->session.state.inputEdidMode[n + 1] = reported[n].toStdString();
        EdidDialog d(rig->connection);
        d.show();
        QCOMPARE(d.windowTitle(), QStringLiteral("Setup EDID "));
        action(d);
        QList<int> got;
        for (int i = 0; i < 16; ++i) {
            if (d.grid->selection[i])
                got << i + 1;
        }
        QCOMPARE(got, marked);
        QTEST(d.grid->singleSelect, "singleSelect");
        QTEST(d.outputList->isVisible(), "outputListShown");
        QCOMPARE(d.outputLabel->isVisible(), d.outputList->isVisible());
        QCOMPARE(d.outputList->count(), 16);
        QCOMPARE(d.outputList->itemText(15), QStringLiteral("Output 16"));
    }

    void edidApply_data() {
        QTest::addColumn<EdidAction>("action");
        QTest::addColumn<QList<int>>("inputs");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("default") << EdidAction([](EdidDialog& d) { d.defaultRadio->click(); })
                                 << QList<int>{1, 2, 10} << QStringList{"EDID=DE1,2,10!"};
        QTest::newRow("auto") << EdidAction([](EdidDialog& d) { d.autoRadio->click(); })
                              << QList<int>{16} << QStringList{"EDID=AUTO16!"};
        QTest::newRow("user") << EdidAction([](EdidDialog& d) { d.userRadio->click(); })
                              << QList<int>{4, 5} << QStringList{"EDID=USER4,5!"};
        QTest::newRow("copy output 16") << EdidAction([](EdidDialog& d) {
            d.outputCopyRadio->click(), d.outputList->setCurrentIndex(15);
        }) << QList<int>{1} << QStringList{"EDID=OUT16_1!"};
        QTest::newRow("copy output 3") << EdidAction([](EdidDialog& d) {
            d.outputCopyRadio->click(), d.outputList->setCurrentIndex(2);
        }) << QList<int>{5} << QStringList{"EDID=OUT03_5!"};
        QTest::newRow("copy without output") << EdidAction([](EdidDialog& d) {
            d.outputCopyRadio->click(), d.outputList->setCurrentIndex(-1);
        }) << QList<int>{5} << QStringList{};
        QTest::newRow("no input marked") << EdidAction([](EdidDialog& d) { d.autoRadio->click(); })
                                         << QList<int>{} << QStringList{};
        QTest::newRow("no radio checked is auto") << EdidAction([](EdidDialog& d) {
            d.defaultRadio->group()->setExclusive(false);
            d.defaultRadio->setChecked(false);
        }) << QList<int>{2} << QStringList{"EDID=AUTO2!"};
    }
    void edidApply() {
        QFETCH(EdidAction, action);
        QFETCH(QList<int>, inputs);
        EdidDialog d(rig->connection);
        action(d);
        for (int n : inputs)
            d.grid->selection[n - 1] = 1;
        d.modeApplyButton->click();
        QTEST(rig->Queue(), "expected");
        // The answer sets the modes, not the command.
        QCOMPARE(rig->session.state.inputEdidMode[1], std::string());
    }

    void edidUploadOnTheWire() {
        OpenUdp();
        const QByteArray edid = EdidBytes(256);
        QFile file(QStringLiteral("user.bin"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(edid);
        file.close();
        userEdidPath = QFileInfo(file).absoluteFilePath();
        rig->session.commandQueue.push_back("LINK=?!");
        const int linesBefore = rig->Messages().size();
        {
            // The path outlives the dialog that chose it.
            EdidDialog d(rig->connection);
            QVERIFY(d.pathLabel->text().isEmpty());
            d.uploadButton->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(router.hasPendingDatagrams(), 5000);
        QByteArray datagram(int(router.pendingDatagramSize()), '\0');
        router.readDatagram(datagram.data(), datagram.size());
        QCOMPARE(datagram.size(), 262);
        QCOMPARE(datagram, QByteArray("EDIT=") + edid + QByteArray("!"));
        // Straight to the link: the queue is neither used nor touched.
        QCOMPARE(rig->Queue(), QStringList{"LINK=?!"});

        QString hex;
        for (int i = 0; i < 256; ++i)
            hex += QStringLiteral("%1").arg(i, 2, 16, QLatin1Char('0'));
        const QStringList logged = rig->Messages().mid(linesBefore);
        QCOMPARE(logged.size(), 6);
        QCOMPARE(logged[0], QStringLiteral("-->Data[EDIT="));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(logged[i + 1], "-->     " + hex.mid(128 * i, 128));
        QCOMPARE(logged[5], QStringLiteral("-->     !]"));
        // Also in the daily file.
        const QStringList fileLines = FileLines(dir->filePath(QStringLiteral("20261206.log")));
        QVERIFY(fileLines.size() >= 6);
        QVERIFY(fileLines.last().endsWith(QStringLiteral("-->     !]")));
    }

    void edidUploadRefused_data() {
        QTest::addColumn<int>("size");  // -1: no such file, -2: no path
        QTest::addColumn<bool>("open");
        QTest::addColumn<QString>("message");
        QTest::newRow("255 bytes") << 255 << true << "File Format Error!";
        QTest::newRow("257 bytes") << 257 << true << "File Format Error!";
        QTest::newRow("empty file") << 0 << true << "File Format Error!";
        QTest::newRow("missing file") << -1 << true << "File Open Fail!";
        QTest::newRow("no file chosen") << -2 << true << "";
        QTest::newRow("not connected") << 256 << false << "";
        QTest::newRow("not connected, bad file") << 255 << false << "";
    }
    void edidUploadRefused() {
        QFETCH(int, size);
        QFETCH(bool, open);
        QFETCH(QString, message);
        if (open)
            OpenUdp();
        if (size >= 0) {
            QFile file(QStringLiteral("user.bin"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(EdidBytes(size));
            file.close();
            userEdidPath = QFileInfo(file).absoluteFilePath();
        } else if (size == -1) {
            userEdidPath = dir->filePath(QStringLiteral("missing.bin"));
        }
        EdidDialog d(rig->connection);
        QStringList shown;
        d.showMessage = [&](const QString& text) { shown << text; };
        const int linesBefore = rig->Messages().size();
        d.uploadButton->click();
        QCOMPARE(shown, message.isEmpty() ? QStringList{} : QStringList{message});
        QVERIFY(rig->Messages().mid(linesBefore).isEmpty());
        QTest::qWait(50);
        QVERIFY(!router.hasPendingDatagrams());
    }

    void edidEditorStartsOnce() {
        qputenv("CORVANE_EDID_EDITOR", "sleep 30");
        EdidDialog d(rig->connection);
        d.editorButton->click();
        QVERIFY(edidEditor != nullptr);
        QVERIFY(edidEditor->waitForStarted(5000));
        const qint64 pid = edidEditor->processId();
        QVERIFY(pid > 0);
        d.editorButton->click();
        EdidDialog again(rig->connection);
        again.editorButton->click();
        QCOMPARE(edidEditor->processId(), pid);
        QCOMPARE(edidEditor->state(), QProcess::Running);
        edidEditor->kill();
        QVERIFY(edidEditor->waitForFinished(5000));

        // Once it has ended, the next press starts it again.
        qputenv("CORVANE_EDID_EDITOR", "sleep 30");
        d.editorButton->click();
        QVERIFY(edidEditor->waitForStarted(5000));
        QVERIFY(edidEditor->processId() != pid);
        edidEditor->kill();
        QVERIFY(edidEditor->waitForFinished(5000));
        qunsetenv("CORVANE_EDID_EDITOR");
    }

    void edidEditorMissingOrUnset_data() {
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("unset") << QByteArray();
        QTest::newRow("blank") << QByteArray("   ");
        QTest::newRow("missing program") << QByteArray("/nonexistent/corvane-edid-editor --x");
    }
    void edidEditorMissingOrUnset() {
        QFETCH(QByteArray, command);
        if (command.isNull())
            qunsetenv("CORVANE_EDID_EDITOR");
        else
            qputenv("CORVANE_EDID_EDITOR", command);
        EdidDialog d(rig->connection);
        d.editorButton->click();
        if (edidEditor) {
            edidEditor->waitForFinished(5000);
            QCOMPARE(edidEditor->state(), QProcess::NotRunning);
        }
        qunsetenv("CORVANE_EDID_EDITOR");
    }

    // ---- Setup Quad Multiviewer Card ----

    void quadOpens_data() {
        QTest::addColumn<int>("slot");
        QTest::addColumn<int>("layout");
        QTest::addColumn<int>("resolution");
        QTest::newRow("not reported") << 1 << 0 << 0;
        QTest::newRow("layout 6") << 2 << 6 << 9;
        QTest::newRow("layout 7") << 3 << 7 << 1;
        QTest::newRow("layout 1") << 4 << 1 << 5;
    }
    void quadOpens() {
        QFETCH(int, slot);
        QFETCH(int, layout);
        QFETCH(int, resolution);
        rig->session.state.quadLayout[slot] = layout;
        rig->session.state.quadResolution[slot] = resolution;
        QuadDialog d(rig->connection, slot);
        d.show();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(d.windowTitle(), QStringLiteral("Setup Quad Multiviewer Card"));
        QCOMPARE(d.titleLabel->text(), QStringLiteral("Slot %1 Quad Multiviewer Card").arg(slot));
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(d.layoutButtons[i]->GetCheck(), i + 1 == layout);
            QCOMPARE(d.layoutButtons[i]->mode, int(ImageButton::kRadioMode));
            QVERIFY2(!d.layoutButtons[i]->icon.isNull(), "layout icon resource");
            QCOMPARE(d.layoutButtons[i]->icon.size(), QSize(72, 72));
        }
        QCOMPARE(d.resolutionList->currentIndex(), resolution - 1);
        QCOMPARE(d.resolutionList->count(), 9);
    }

    void quadApply_data() {
        QTest::addColumn<int>("slot");
        QTest::addColumn<int>("layout");      // reported
        QTest::addColumn<int>("click");       // layout button to click, 0 none
        QTest::addColumn<int>("resolution");  // row to select, -2 leave as is
        QTest::addColumn<bool>("applyResolution");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("click input 3, slot 4")
            << 4 << 6 << 3 << -2 << false << QStringList{"QUADLAY=4_3!"};
        QTest::newRow("divide 4, slot 2")
            << 2 << 0 << 5 << -2 << false << QStringList{"QUADLAY=2_5!"};
        QTest::newRow("reported layout kept")
            << 1 << 7 << 0 << -2 << false << QStringList{"QUADLAY=1_7!"};
        QTest::newRow("none checked sends 1")
            << 3 << 0 << 0 << -2 << false << QStringList{"QUADLAY=3_1!"};
        QTest::newRow("resolution 9, slot 3")
            << 3 << 2 << 0 << 8 << true << QStringList{"QUADRES=3_9!", "QUADLAY=3_2!"};
        QTest::newRow("no resolution") << 3 << 2 << 0 << -1 << true << QStringList{"QUADLAY=3_2!"};
    }
    void quadApply() {
        QFETCH(int, slot);
        QFETCH(int, layout);
        QFETCH(int, click);
        QFETCH(int, resolution);
        QFETCH(bool, applyResolution);
        rig->session.state.quadLayout[slot] = layout;
        QuadDialog d(rig->connection, slot);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        if (click) {
            QTest::mouseClick(d.layoutButtons[click - 1], Qt::LeftButton);
            QCoreApplication::sendPostedEvents();
            for (int i = 0; i < 7; ++i)
                QCOMPARE(d.layoutButtons[i]->GetCheck(), i + 1 == click);
        }
        if (resolution != -2)
            d.resolutionList->setCurrentIndex(resolution);
        if (applyResolution)
            d.resolutionApplyButton->click();
        d.layoutApplyButton->click();
        QTEST(rig->Queue(), "expected");
        QCOMPARE(rig->session.state.quadLayout[slot], layout);
    }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
