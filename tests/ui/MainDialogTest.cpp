#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <string>

#include "RouterSim.h"
#include "app/StartUp.h"
#include "protocol/Commands.h"
#include "settings/IniFile.h"
#include "ui/ColorLabel.h"
#include "ui/ImageButton.h"
#include "ui/LogList.h"
#include "ui/MainDialog.h"
#include "ui/MatrixView.h"
#include "ui/QuadDialog.h"
#include "ui/VideohubListener.h"

using namespace corvane;

namespace {

// The full map with every output unlinked except the given (input, output)
// pairs; the wire format tests pin how it is written.
QString Map(std::initializer_list<std::pair<int, int>> links) {
    int routes[kChannelTableSize] = {};
    for (const auto& [input, output] : links)
        routes[output] = input;
    return QString::fromStdString(BuildLinkCommand(routes));
}

}  // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString previousDir = QDir::currentPath();

private slots:
    // A directory of our own, with a config.ini for this machine only.
    void initTestCase() {
        QVERIFY(QDir::setCurrent(dir.path()));
        QFile ini(QStringLiteral("config.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[SETCOMMCONFIG]\r\nCommType=UDP\r\nIpAddress=127.0.0.1\r\nUDPPort=47000\r\n");
    }
    void cleanupTestCase() { QDir::setCurrent(previousDir); }

    void panels() {
        AppConfig config;
        config.ipAddress = "127.0.0.1";
        config.udpPort = 47000;
        config.comName = "COM7";
        config.baudRate = 9600;
        RouterState s;
        auto texts = [&](int status) {  // as one text, for readable failures
            const StatusPanelTexts t = BuildStatusPanelTexts(config, s, status);
            return QString::fromStdString(t.connection + '|' + t.generator + '|' + t.monitoring +
                                          '|' + t.lock + '|' + t.network);
        };
        const char* words[] = {"Disconnect", "Connecting", "Connection Failed", "Connected"};
        for (int status : {0, 1, 2, 3, 9})
            QCOMPARE(texts(status).section('|', 0, 0),
                     QStringLiteral("   Status : %1\n   Ethernet IP : 127.0.0.1\n   Port : 47000 ")
                         .arg(QLatin1String(words[status == 9 ? 2 : status])));
        s.generatorResolution = 10;  // beyond the tables
        s.generatorPattern = -1;
        QCOMPARE(texts(0).section('|', 1, 2),
                 QString("   Resolution : \n   Pattern : \n    - |   Channel : Input 00"));

        config.useSerial = true;
        s.generatorResolution = 9;
        s.generatorPattern = 14;
        s.webLock = s.keyLock = 1;
        s.dataLock = 2;  // only 1 locks
        s.routerBaudRate = 115200;
        s.routerIp = "127.0.0.1";
        s.routerPort = "3000";
        s.routerGateway = "127.0.0.254";
        s.routerSubnetMask = "255.255.255.0";
        s.routerMac = "00:1C:91:03:5E:2A";
        QCOMPARE(texts(3),
                 QString("   Status : Connected\n   RS232 PORT : COM7\n   Baudrate : 9600 |"
                         "   Resolution : 1920x1080p@60Hz\n   Pattern : \n    - Full Gray|"
                         "   Channel : Input 00|"
                         "   Web Control : Lock\n   Data Control : Unlock\n   Key Control : Lock|"
                         "   RS232  Baudrate : 115200 Bps\n   IP : 127.0.0.1   Port : 3000\n"
                         "   Gateway : 127.0.0.254 \n   Subnet Mask : 255.255.255.0 \n"
                         "   MAC Address : 00:1C:91:03:5E:2A \n \n \n \n \n"));
    }

    // Input clicks toggle the selection and send nothing (a double click
    // counts once, a press released elsewhere is no click); an output click
    // toggles that output in the map last heard from the router; headers of
    // input and non-quad slots do nothing, a quad card's opens its dialog; the
    // context menu is the only way to clear every link.
    void clicksAndMenu() {
        MainDialog dialog;
        dialog.sendTimer.stop();  // keep the queue where the clicks put it
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        MatrixView* view = dialog.matrixView;
        auto& queue = dialog.session.commandQueue;
        auto last = [&] { return QString::fromStdString(queue.back()); };
        const auto& cells = view->layout.cellRects;
        const auto& headers = view->layout.slotHeaderRects;
        auto in = [&](int c) { return ToQRect(cells[kInputSide][c]).center(); };
        auto out = [&](int c) { return ToQRect(cells[kOutputSide][c]).center(); };
        auto click = [&](QPoint at) { QTest::mouseClick(view, Qt::LeftButton, {}, at); };

        click(in(3));
        click(in(3));
        QCOMPARE(view->selectedInput, 0);
        click(in(3));
        QTest::mouseDClick(view, Qt::LeftButton, {}, in(3));
        QTest::mouseRelease(view, Qt::LeftButton, {}, in(3));
        QTest::mousePress(view, Qt::LeftButton, {}, out(2));
        QTest::mouseRelease(view, Qt::LeftButton, {}, out(5));
        QTest::mousePress(view, Qt::LeftButton, {}, in(4));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(300, 270));  // a gap
        QCOMPARE(view->selectedInput, 3);
        QVERIFY(queue.empty());

        // Output clicks route the selected input into the one unsent LINK command.
        click(out(2));
        click(out(5));
        click(ToQRect(headers[kInputSide][1]).center());
        click(ToQRect(headers[kOutputSide][1]).center());
        QCOMPARE(queue.size(), std::size_t(1));
        QCOMPARE(last(), Map({{3, 2}, {3, 5}}));
        // Shift+click and a right-click protect an output; clicks then leave it.
        QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, out(5));
        QVERIFY(dialog.session.routing.Protected(5));
        click(out(5));
        QCOMPARE(last(), Map({{3, 2}, {3, 5}}));
        QContextMenuEvent onCell(QContextMenuEvent::Mouse, out(5), view->mapToGlobal(out(5)));
        QCoreApplication::sendEvent(view, &onCell);
        QVERIFY(!dialog.session.routing.Protected(5));

        dialog.session.state.outputCardType[3] = kQuadMultiViewer;
        int seenSlot = 0;
        QTimer::singleShot(0, [&] {  // if no dialog opens, nothing blocks
            if (auto* quad = qobject_cast<QuadDialog*>(QApplication::activeModalWidget())) {
                seenSlot = quad->slot;
                quad->reject();
            }
        });
        click(ToQRect(headers[kOutputSide][3]).center());
        QCOMPARE(seenSlot, 3);

        // "Clear All Links" asks first.
        QStringList asked;
        bool answer = false;
        QString menuFamily;
        dialog.askQuestion = [&](const QString& text) {
            asked << text;
            return answer;
        };
        auto clearFromMenu = [&] {
            // The menu may show a few events after its loop starts.
            auto* poll = new QTimer(&dialog);
            QObject::connect(poll, &QTimer::timeout, [poll, &menuFamily, tries = 0]() mutable {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                if (menu) {
                    menuFamily = menu->font().family();
                    for (QAction* action : menu->actions()) {
                        if (action->text() == "Clear All Links")
                            action->trigger();
                    }
                    menu->close();
                }
                if (menu || ++tries > 200)
                    poll->deleteLater();
            });
            poll->start(10);
            const QPoint gap = view->rect().center();
            QContextMenuEvent event(QContextMenuEvent::Mouse, gap, view->mapToGlobal(gap));
            QCoreApplication::sendEvent(view, &event);
        };
        clearFromMenu();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(last(), Map({{3, 2}, {3, 5}}));
        answer = true;
        clearFromMenu();
        QCOMPARE(queue.size(), std::size_t(1));
        QCOMPARE(last(), Map({}));
        QCOMPARE(menuFamily, dialog.font().family());  // the window's face
    }

    // Routes typed on the keyboard: input, separator, output, Enter; Esc
    // forgets a half-typed one. In take mode clicks stage until "Take".
    void keyboardAndTake() {
        MainDialog dialog;
        dialog.sendTimer.stop();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto& queue = dialog.session.commandQueue;
        QTest::keyClicks(dialog.logList, "3.");
        QCOMPARE(dialog.routeEntryLabel->text(), QStringLiteral("3."));
        QTest::keyClick(dialog.logList, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QTest::keyClicks(dialog.logList, "12>16");
        QTest::keyClick(dialog.logList, Qt::Key_Return);
        QCOMPARE(QString::fromStdString(queue.back()), Map({{12, 16}}));
        QVERIFY(dialog.routeEntryLabel->text().isEmpty());

        QTest::mouseClick(dialog.takeModeButton, Qt::LeftButton);
        QTest::keyClicks(dialog.logList, "4 1");
        QTest::keyClick(dialog.logList, Qt::Key_Enter);
        QCOMPARE(queue.size(), std::size_t(1));
        QVERIFY(dialog.takeButton->isEnabled());
        QTest::mouseClick(dialog.takeButton, Qt::LeftButton);
        QCOMPARE(QString::fromStdString(queue.back()), Map({{4, 1}, {12, 16}}));
        QTest::keyClicks(dialog.logList, "5.2");
        QTest::keyClick(dialog.logList, Qt::Key_Return);
        QTest::keyClick(dialog.logList, Qt::Key_Escape);  // drops what is staged
        QVERIFY(!dialog.session.routing.HasStaged());
        QVERIFY(dialog.isVisible());
    }

    // Ctrl+D stops and restarts the on-screen log; the daily file gets every line.
    void screenLogToggle() {
        MainDialog dialog;
        dialog.show();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        dialog.log.LogEvent(true, true, "%s", "first");
        QTest::keyClick(dialog.logList, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(dialog.logList->count(), 0);
        dialog.log.LogEvent(true, true, "%s", "second");
        QCOMPARE(dialog.logList->count(), 0);
        QTest::keyClick(dialog.logList, Qt::Key_D, Qt::ControlModifier);
        dialog.log.LogEvent(true, true, "%s", "third");
        QCOMPARE(dialog.logList->count(), 1);

        QFile file(QString::fromStdString(dialog.log.DailyFileName()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("]second"));  // logged while the screen was off

        for (int i = 0; i < 1005; ++i)
            dialog.logList->AppendToLogList("line " + std::to_string(i));
        QCOMPARE(dialog.logList->count(), 1000);
        QCOMPARE(dialog.logList->item(999)->text(), QStringLiteral("line 1004"));
    }

    // The window's own event handling of a vanished device: "Connection
    // Failed" is shown and "Disconnect" stays available.
    void serialHangUp() {
        sim::SimOptions options;
        options.serial = true;
        sim::RouterSim router(options);
        std::string error;
        QVERIFY2(router.Start(&error), error.c_str());
        MainDialog dialog;
        dialog.messageBox = [](const QString&) {};
        dialog.config.useSerial = true;
        dialog.config.comName = router.ptyPath;
        dialog.Connect();
        QTRY_COMPARE_WITH_TIMEOUT(dialog.session.connectionStatus, int(kConnected), 10000);
        router.DropLink();
        QTRY_COMPARE_WITH_TIMEOUT(dialog.session.connectionStatus, int(kConnectionFailed), 10000);
        QVERIFY(dialog.connectionPanel->text().startsWith("   Status : Connection Failed\n"));
        QVERIFY(!dialog.connectButton->isEnabled() && dialog.disconnectButton->isEnabled());
        dialog.Disconnect();
        QVERIFY(dialog.connectButton->isEnabled());
        router.Stop();
    }

    // "Connect" in the demo, which serves on 127.0.0.1 from a scratch folder
    // whose config.ini points at it: the start-up poll fills the model and the
    // panels; a Videohub panel routes through the window, sees its protect and
    // is counted; a read that fails shows; the folder goes at the end.
    void connectToTheDemo() {
        const QString started = QDir::currentPath();
        QString scratch;
        {
            DemoRouter demo;
            QString error;
            QVERIFY2(demo.Start(&error), qPrintable(error));
            scratch = QDir::currentPath();
            QVERIFY(WriteProfileString("VIDEOHUB", "Listen", "127.0.0.1:0", "config.ini"));
            MainDialog dialog;
            dialog.messageBox = [](const QString& text) { QFAIL(qPrintable(text)); };
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QVERIFY(dialog.videohub);
            QVERIFY(dialog.networkPanel->text().contains("   Videohub : 0 clients\n"));
            QTest::mouseClick(dialog.connectButton, Qt::LeftButton);
            RouterSession& session = dialog.session;
            QTRY_VERIFY_WITH_TIMEOUT(
                session.connectionStatus == kConnected &&
                    session.pollIndex >= unsigned(kStartupQueryCount) &&
                    session.commandQueue.empty() && session.state.outputPlugged[1] == 1 &&
                    session.state.inputEdidMode[16].size() > 0 && session.linkAnswers > 0,
                20000);
            QVERIFY(dialog.connectionPanel->text().startsWith("   Status : Connected\n"));
            QVERIFY(dialog.networkPanel->text().contains(
                QString::fromStdString(demo.sim->Router().mac)));

            QTcpSocket panel;  // a Videohub panel
            panel.connectToHost(QHostAddress::LocalHost, quint16(dialog.videohub->Port()));
            QByteArray heard;
            auto hears = [&](const char* part) {
                heard += panel.readAll();
                return heard.contains(part);
            };
            QTRY_VERIFY_WITH_TIMEOUT(hears("END PRELUDE:\n\n"), 10000);
            QVERIFY(dialog.networkPanel->text().contains("   Videohub : 1 client\n"));
            heard.clear();
            panel.write("VIDEO OUTPUT ROUTING:\n1 2\n\n");
            QTRY_VERIFY_WITH_TIMEOUT(hears("ACK\n\nVIDEO OUTPUT ROUTING:\n1 2\n\n"), 10000);
            QCOMPARE(demo.sim->Router().route[2], 3);
            session.SetProtected(5, true);
            dialog.SyncVideohub();
            QTRY_VERIFY_WITH_TIMEOUT(hears("VIDEO OUTPUT LOCKS:\n4 L\n\n"), 10000);
            panel.close();
            QTRY_VERIFY_WITH_TIMEOUT(
                dialog.networkPanel->text().contains("   Videohub : 0 clients\n"), 10000);

            // A datagram over 256 bytes fails the read; then only "Disconnect" is offered.
            dialog.messageBox = [](const QString&) {};
            demo.sim->Inject(std::string(300, '!'));
            QTRY_COMPARE_WITH_TIMEOUT(session.connectionStatus, int(kConnectionFailed), 10000);
            QVERIFY(dialog.connectionPanel->text().startsWith("   Status : Connection Failed\n"));
            QVERIFY(!dialog.connectButton->isEnabled() && dialog.disconnectButton->isEnabled());
            QTest::mouseClick(dialog.disconnectButton, Qt::LeftButton);
            QCOMPARE(session.connectionStatus, int(kDisconnected));
            QVERIFY(dialog.connectButton->isEnabled());
        }
        QCOMPARE(QDir::currentPath(), started);
        QVERIFY(!QFile::exists(scratch));
    }

    // Only a start in the home folder (written any way) with no config.ini
    // moves to the per-user folder, and only under an absolute data home.
    void perUserFolder() {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("home/sub/..")));
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("other")));
        const QString home = root.filePath(QStringLiteral("home")),
                      homeAgain = root.filePath(QStringLiteral("home/sub/..")),
                      other = root.filePath(QStringLiteral("other")),
                      data = root.filePath(QStringLiteral("share"));
        QCOMPARE(PerUserFolder(homeAgain, home, data, false), data + QStringLiteral("/corvane"));
        for (const auto& [cwd, dataHome, configHere] : {std::tuple{homeAgain, data, true},
                                                        {other, data, false},
                                                        {homeAgain, QStringLiteral("share"), false},
                                                        {homeAgain, QString(), false}})
            QVERIFY2(PerUserFolder(cwd, home, dataHome, configHere).isEmpty(), qPrintable(cwd));
    }
};

QTEST_MAIN(MainDialogTest)
#include "MainDialogTest.moc"
