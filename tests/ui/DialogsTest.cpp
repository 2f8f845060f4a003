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

// What the main window owns, with a screen log to read back.
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
    QStringList Messages(int from = 0) const {  // without time stamps
        QStringList messages;
        for (const std::string& line : screen.lines) {
            const QString text = QString::fromStdString(line);
            messages << text.mid(text.indexOf(']') + 1);
        }
        return messages.mid(from);
    }
};

QStringList FileLines(const QString& path) {
    QFile file(path);
    QStringList lines;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.trimmed().isEmpty())
                lines << QString::fromLatin1(line.trimmed());
        }
    }
    return lines;
}

QString WriteEdidFile(int size) {
    QFile file(QStringLiteral("user.bin"));
    file.open(QIODevice::WriteOnly);
    for (int i = 0; i < size; ++i)
        file.putChar(char(i));  // byte 33 is "!"
    return QFileInfo(file).absoluteFilePath();
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Rig> rig;
    QUdpSocket router;  // the router's end of the UDP link
    QString startDir = QDir::currentPath();

    void OpenUdp() {
        rig->connection.Connect();
        QCOMPARE(rig->session.connectionStatus, int(kConnecting));
    }

private slots:
    // Each test: its own directory and a config.ini that points at this machine.
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(dir->path()));
        bool bound = false;  // the link's local port is the router's + 10
        for (int attempt = 0; attempt < 20 && !bound; ++attempt) {
            router.close();
            QUdpSocket probe;
            bound = router.bind(QHostAddress::LocalHost, 0) && router.localPort() < 65000 &&
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
        userEdidPath.clear();
    }
    void cleanup() {
        if (edidEditor && edidEditor->state() != QProcess::NotRunning) {
            edidEditor->kill();  // a failed check must not leave it behind
            edidEditor->waitForFinished(5000);
        }
        rig.reset();
        router.close();
        QDir::setCurrent(startDir);
        dir.reset();
    }

    void configShowsModel() {
        RouterState& s = rig->session.state;
        s.generatorResolution = 9;
        s.generatorPattern = 3;
        s.monitoringChannel = 0;
        s.webLock = s.keyLock = 1;
        s.routerMac = "00-1A 2b:3c:4d:5e";
        rig->config.inputNames[1] = "Camera";
        ConfigDialog d(rig->connection);
        QCOMPARE(d.resolutionList->currentIndex(), 8);
        QCOMPARE(d.patternList->currentIndex(), 2);
        QVERIFY(d.generatorApplyButton->isHidden() && !d.resolutionList->isEnabled());
        QCOMPARE(d.monitoringList->currentText(), QStringLiteral("Input 00"));
        QCOMPARE(d.webLockList->currentText() + d.dataLockList->currentText() +
                     d.keyLockList->currentText(),
                 QStringLiteral("LockUnlockLock"));
        QVERIFY(d.ethernetRadio->isChecked() && !d.rs232Radio->isChecked());
        QCOMPARE(d.udpPortEdit->text(), QString::number(router.localPort()));
        QVERIFY(!d.udpPortEdit->isEnabled());
        QCOMPARE(d.ipAddressEdit->text(), QStringLiteral("127.0.0.1"));
        QCOMPARE(d.pcBaudList->currentText(), QStringLiteral("38400"));
        QCOMPARE(d.routerBaudList->currentIndex(), -1);  // not reported yet
        QCOMPARE(d.inputNameEdits[0]->text(), QStringLiteral("Camera"));
        QCOMPARE(d.outputNameEdits[15]->text(), QStringLiteral("OutputChannel16"));
        QStringList mac;
        for (QLineEdit* e : d.macEdits)
            mac << e->text();
        QCOMPARE(mac, (QStringList{"00", "1A", "2b", "3c", "4d", "5e"}));

        s.routerMac = "00:1a:2b:3c:4d:5";  // 16 characters
        ConfigDialog shortMac(rig->connection);
        for (QLineEdit* e : shortMac.macEdits)
            QVERIFY(e->text().isEmpty());
    }

    void configCommands_data() {
        QTest::addColumn<ConfigAction>("action");
        QTest::addColumn<QStringList>("expected");
        auto row = [](const char* name, ConfigAction action, QStringList expected) {
            QTest::newRow(name) << action << expected;
        };
        row("monitoring 0", [](ConfigDialog& d) { d.monitoringApplyButton->click(); }, {"MON=00!"});
        row("monitoring, no row",
            [](ConfigDialog& d) {
                d.monitoringList->setCurrentIndex(-1);
                d.monitoringApplyButton->click();
            },
            {});
        row("locks, data only",
            [](ConfigDialog& d) {
                d.dataLockList->setCurrentIndex(1);
                d.lockApplyButton->click();
            },
            {"LOCK=WUL!", "LOCK=DL!", "LOCK=KUL!"});
        row("router baud",
            [](ConfigDialog& d) {
                d.routerBaudList->setCurrentIndex(4);
                d.routerBaudApplyButton->click();
            },
            {"RS232=115200!"});
        row("router baud, no row", [](ConfigDialog& d) { d.routerBaudApplyButton->click(); }, {});
        row("network, four in order",
            [](ConfigDialog& d) {
                d.routerIpEdit->setText("192.168.1.20");
                d.routerSubnetEdit->setText("255.0");  // completed as the control does
                d.routerGatewayEdit->setText("192.168.1.1");
                d.routerPortEdit->setText("3000");
                d.networkApplyButton->click();
            },
            {"NETIP=192.168.1.20!", "NETPT=3000!", "NETSN=255.0.0.0!", "NETGW=192.168.1.1!"});
        row("network, blank gateway",
            [](ConfigDialog& d) {
                d.routerIpEdit->setText("10.0.0.7");
                d.routerSubnetEdit->setText("255.0.0.0");
                d.networkApplyButton->click();
            },
            {});
        row("generator",
            [](ConfigDialog& d) {
                d.resolutionList->setCurrentIndex(8);
                d.patternList->setCurrentIndex(13);
                d.ApplyGenerator();
            },
            {"VIDRES=9!", "VIDIMG=14!"});
        row("generator, no rows",
            [](ConfigDialog& d) {
                d.resolutionList->setCurrentIndex(-1);
                d.patternList->setCurrentIndex(-1);
                d.ApplyGenerator();
            },
            {});
    }
    void configCommands() {
        QFETCH(ConfigAction, action);
        ConfigDialog d(rig->connection);
        for (QLineEdit* e : {d.routerIpEdit, d.routerPortEdit}) {
            e->setText(QString(300, '9'));  // no command may outgrow the send buffer
            QVERIFY(e->text().size() <= 32);
            e->clear();
        }
        action(d);
        QTEST(rig->Queue(), "expected");
    }

    // Enter presses the focused button; elsewhere it ends the dialog and
    // applies nothing.
    void configEnter_data() {
        QTest::addColumn<bool>("onButton");
        QTest::newRow("on lock Apply") << true;
        QTest::newRow("in a name edit") << false;
    }
    void configEnter() {
        QFETCH(bool, onButton);
        ConfigDialog d(rig->connection);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QWidget* target = onButton ? static_cast<QWidget*>(d.lockApplyButton) : d.inputNameEdits[0];
        target->setFocus();
        d.inputNameEdits[0]->setText(QStringLiteral("typed"));
        QTest::keyClick(target, Qt::Key_Return);
        QCOMPARE(rig->Queue().size(), onButton ? 3 : 0);
        QCOMPARE(d.isVisible(), onButton);
        QCOMPARE(rig->config.inputNames[1], std::string("InputChannel01"));
    }

    void saveChannelNames() {
        ConfigDialog d(rig->connection);
        for (int i = 0; i < 16; ++i) {
            d.inputNameEdits[i]->setText(QStringLiteral("in %1").arg(i + 1));
            d.outputNameEdits[i]->clear();
        }
        d.saveNamesButton->click();
        QCOMPARE(rig->config.inputNames[16], std::string("in 16"));
        QCOMPARE(rig->config.outputNames[3], std::string());
        const QStringList lines = FileLines(QStringLiteral("config.ini"));
        const int at = lines.indexOf(QStringLiteral("[CHANNELNAME]"));
        QVERIFY(at >= 0);
        QCOMPARE(lines.mid(at + 1, 3),
                 (QStringList{"InputChannel01=in 1", "OutputChannel01=", "InputChannel02=in 2"}));
        QVERIFY(rig->Queue().isEmpty());
    }

    void saveLinkSettingsKeyOrder() {
        QVERIFY(QFile::remove(QStringLiteral("config.ini")));
        rig->config.baudRate = 4800;  // no row: kept as it is
        ConfigDialog d(rig->connection);
        d.rs232Radio->setChecked(true);
        d.comPortEdit->setText(QStringLiteral("COM7"));
        d.saveApplyLinkButton->click();
        QCOMPARE(
            FileLines(QStringLiteral("config.ini")),
            (QStringList{"[SETCOMMCONFIG]", "COMName=COM7", "Baudrate=4800", "IpAddress=127.0.0.1",
                         QStringLiteral("UDPPort=%1").arg(router.localPort()), "CommType=RS232"}));
        QVERIFY(rig->config.useSerial);
        QCOMPARE(rig->session.connectionStatus, int(kDisconnected));
    }

    // start: a status, or 13 for a serial link standing open.
    void reconnect_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("chooseSerial");
        QTest::addColumn<QString>("disconnected");  // the log line, "" for none
        QTest::addColumn<int>("status");
        QTest::newRow("rs232 open -> ethernet") << 13 << false << "RS232 Disconnect " << 1;
        QTest::newRow("udp open -> rs232") << 3 << true << "UDP Disconnect " << 2;
        QTest::newRow("udp open, same type") << 3 << false << "" << 1;
        QTest::newRow("disconnected -> rs232") << 0 << true << "" << 0;
        QTest::newRow("failed -> rs232") << 2 << true << "" << 2;
    }
    void reconnect() {
        QFETCH(int, start);
        QFETCH(bool, chooseSerial);
        QFETCH(QString, disconnected);
        rig->connection.showMessage = [](const std::string&) {};
        if (start == 3) {
            OpenUdp();
        } else if (start == 13) {
            rig->config.useSerial = true;  // closing a port that is not open is harmless
            rig->session.connectionStatus = kConnected;
        } else {
            rig->session.connectionStatus = start;
        }
        const UdpLink* before = rig->connection.udpLink.get();
        rig->session.commandQueue.push_back("VID=?!");
        ConfigDialog d(rig->connection);
        (chooseSerial ? d.rs232Radio : d.ethernetRadio)->setChecked(true);
        const int from = rig->Messages().size();
        d.saveApplyLinkButton->click();

        QCOMPARE(rig->config.useSerial, chooseSerial);
        QTEST(rig->session.connectionStatus, "status");
        const QStringList logged = rig->Messages(from);
        if (disconnected.isEmpty()) {
            QVERIFY2(!logged.join('|').contains("Disconnect"), qPrintable(logged.join('|')));
            QCOMPARE(rig->session.commandQueue.size(), size_t(1));
            QCOMPARE(rig->connection.udpLink.get(), before);
        } else {
            // Disconnect saw the old type and closed the link really open.
            QCOMPARE(logged.value(0), disconnected);
            QVERIFY(rig->session.commandQueue.empty());
            QCOMPARE(rig->connection.udpLink != nullptr, !chooseSerial);
        }
    }

    void edidModes_data() {
        QTest::addColumn<QStringList>("reported");  // inputs 1, 2, ...
        QTest::addColumn<EdidAction>("action");
        QTest::addColumn<QList<int>>("marked");
        QTest::addColumn<bool>("outputCopy");
        const EdidAction none = [](EdidDialog&) {};
        QTest::newRow("nothing reported") << QStringList{} << none << QList<int>{} << false;
        QTest::newRow("opens in default, exact words")
            << QStringList{"AUTO", "DEF", "DEF.", "def.", "", "", "DEF."} << none
            << QList<int>{3, 7} << false;
        QTest::newRow("auto detect")
            << QStringList{"AUTO", "DEF.", "AUTO"}
            << EdidAction([](EdidDialog& d) { d.autoRadio->click(); }) << QList<int>{1, 3} << false;
        QTest::newRow("output copy")
            << QStringList{"OUT.", "", "OUT."}
            << EdidAction([](EdidDialog& d) { d.outputCopyRadio->click(); }) << QList<int>{1, 3}
            << true;
        QTest::newRow("checked radio reloads")
            << QStringList{"DEF.", "AUTO"} << EdidAction([](EdidDialog& d) {
                   d.grid->selection[0] = 0;
                   d.grid->selection[1] = 1;
                   d.defaultRadio->click();
               })
            << QList<int>{1} << false;
    }
    void edidModes() {
        QFETCH(QStringList, reported);
        QFETCH(EdidAction, action);
        QFETCH(bool, outputCopy);
        for (int n = 0; n < reported.size(); ++n)
            rig->session.state.inputEdidMode[n + 1] = reported[n].toStdString();
        EdidDialog d(rig->connection);
        d.show();
        action(d);
        QList<int> marked;
        for (int i = 0; i < 16; ++i) {
            if (d.grid->selection[i])
                marked << i + 1;
        }
        QTEST(marked, "marked");
        QCOMPARE(d.grid->singleSelect, outputCopy ? 1 : 0);
        QCOMPARE(d.outputList->isVisible(), outputCopy);
        QCOMPARE(d.outputLabel->isVisible(), outputCopy);
    }

    void edidApply_data() {
        QTest::addColumn<EdidAction>("action");
        QTest::addColumn<QList<int>>("inputs");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("default") << EdidAction([](EdidDialog&) {}) << QList<int>{1, 2, 10}
                                 << QStringList{"EDID=DE1,2,10!"};
        QTest::newRow("copy output 16") << EdidAction([](EdidDialog& d) {
            d.outputCopyRadio->click();
            d.outputList->setCurrentIndex(15);
        }) << QList<int>{1} << QStringList{"EDID=OUT16_1!"};
        QTest::newRow("copy, no output") << EdidAction([](EdidDialog& d) {
            d.outputCopyRadio->click();
            d.outputList->setCurrentIndex(-1);
        }) << QList<int>{5} << QStringList{};
        QTest::newRow("no input marked") << EdidAction([](EdidDialog& d) { d.userRadio->click(); })
                                         << QList<int>{} << QStringList{};
        QTest::newRow("no radio checked is auto") << EdidAction([](EdidDialog& d) {
            d.defaultRadio->group()->setExclusive(false);
            d.defaultRadio->setChecked(false);
        }) << QList<int>{16} << QStringList{"EDID=AUTO16!"};
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
    }

    // Connecting counts as open; the path outlives the dialog that chose it.
    void edidUploadOnTheWire() {
        OpenUdp();
        userEdidPath = WriteEdidFile(256);
        rig->session.commandQueue.push_back("LINK=?!");
        const int from = rig->Messages().size();
        EdidDialog(rig->connection).uploadButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(router.hasPendingDatagrams(), 5000);
        QByteArray datagram(int(router.pendingDatagramSize()), '\0');
        router.readDatagram(datagram.data(), datagram.size());
        QFile file(userEdidPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(datagram, "EDIT=" + file.readAll() + "!");
        QCOMPARE(rig->Queue(), QStringList{"LINK=?!"});  // the queue is bypassed

        QString hex;
        for (int i = 0; i < 256; ++i)
            hex += QStringLiteral("%1").arg(i, 2, 16, QLatin1Char('0'));
        QStringList expected{"-->Data[EDIT="};
        for (int i = 0; i < 4; ++i)
            expected << "-->     " + hex.mid(128 * i, 128);
        expected << "-->     !]";
        QCOMPARE(rig->Messages(from), expected);
        QVERIFY(FileLines(dir->filePath("20261206.log")).last().endsWith("-->     !]"));
    }

    void edidUploadRefused_data() {
        QTest::addColumn<int>("size");  // -1: no such file
        QTest::addColumn<bool>("open");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("255 bytes") << 255 << true << QStringList{"File Format Error!"};
        QTest::newRow("257 bytes") << 257 << true << QStringList{"File Format Error!"};
        QTest::newRow("missing file") << -1 << true << QStringList{"File Open Fail!"};
        QTest::newRow("not connected") << 256 << false << QStringList{};
    }
    void edidUploadRefused() {
        QFETCH(int, size);
        QFETCH(bool, open);
        if (open)
            OpenUdp();
        userEdidPath = size < 0 ? dir->filePath("missing.bin") : WriteEdidFile(size);
        EdidDialog d(rig->connection);
        QStringList shown;
        d.showMessage = [&](const QString& text) { shown << text; };
        const int from = rig->Messages().size();
        d.uploadButton->click();
        QTEST(shown, "shown");
        QVERIFY(rig->Messages(from).isEmpty());
        QTest::qWait(50);
        QVERIFY(!router.hasPendingDatagrams());
    }

    void edidEditorStartsOnce() {
        qputenv("CORVANE_EDID_EDITOR", "sleep 30");
        EdidDialog d(rig->connection);
        d.editorButton->click();
        QVERIFY(edidEditor && edidEditor->waitForStarted(5000));
        const qint64 pid = edidEditor->processId();
        d.editorButton->click();
        EdidDialog(rig->connection).editorButton->click();
        QCOMPARE(edidEditor->processId(), pid);
        edidEditor->kill();
        QVERIFY(edidEditor->waitForFinished(5000));

        qputenv("CORVANE_EDID_EDITOR", "/nonexistent/corvane-edid-editor");
        d.editorButton->click();  // fails quietly
        edidEditor->waitForFinished(5000);
        QCOMPARE(edidEditor->state(), QProcess::NotRunning);
        qunsetenv("CORVANE_EDID_EDITOR");
    }

    // Opening shows the reported layout and resolution; both Applys pressed.
    void quad_data() {
        QTest::addColumn<int>("slot");
        QTest::addColumn<int>("layout");
        QTest::addColumn<int>("resolution");
        QTest::addColumn<int>("click");  // layout button clicked, 0 none
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("not reported") << 1 << 0 << 0 << 0 << QStringList{"QUADLAY=1_1!"};
        QTest::newRow("layout 6") << 2 << 6 << 9 << 0
                                  << QStringList{"QUADRES=2_9!", "QUADLAY=2_6!"};
        QTest::newRow("layout 7") << 3 << 7 << 1 << 0
                                  << QStringList{"QUADRES=3_1!", "QUADLAY=3_7!"};
        QTest::newRow("click input 3") << 4 << 6 << 0 << 3 << QStringList{"QUADLAY=4_3!"};
    }
    void quad() {
        QFETCH(int, slot);
        QFETCH(int, layout);
        QFETCH(int, resolution);
        QFETCH(int, click);
        rig->session.state.quadLayout[slot] = layout;
        rig->session.state.quadResolution[slot] = resolution;
        QuadDialog d(rig->connection, slot);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QCOMPARE(d.titleLabel->text(), QStringLiteral("Slot %1 Quad Multiviewer Card").arg(slot));
        QCOMPARE(d.resolutionList->currentIndex(), resolution - 1);
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(d.layoutButtons[i]->GetCheck(), i + 1 == layout);
            QCOMPARE(d.layoutButtons[i]->icon.size(), QSize(72, 72));
        }
        if (click) {
            QTest::mouseClick(d.layoutButtons[click - 1], Qt::LeftButton);
            QCoreApplication::sendPostedEvents();
            for (int i = 0; i < 7; ++i)
                QCOMPARE(d.layoutButtons[i]->GetCheck(), i + 1 == click);
        }
        d.resolutionApplyButton->click();
        d.layoutApplyButton->click();
        QTEST(rig->Queue(), "expected");
    }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
