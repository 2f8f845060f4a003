#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>
#include <string>

#include "RouterSim.h"
#include "protocol/Commands.h"
#include "ui/ColorLabel.h"
#include "ui/ImageButton.h"
#include "ui/LogList.h"
#include "ui/MainDialog.h"
#include "ui/MatrixView.h"
#include "ui/Messages.h"
#include "ui/QuadDialog.h"

using namespace corvane;

using Setup = std::function<void(AppConfig&, RouterState&, int& status)>;
Q_DECLARE_METATYPE(Setup)

namespace {

void WriteFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

// config.ini for this machine only; the port is where a test's simulator listens.
QByteArray LoopbackConfig(int port) {
    return QByteArray(
               "[CHANNELNAME]\r\nInputChannel03=Camera 3\r\nOutputChannel02=Screen 2\r\n"
               "[SETCOMMCONFIG]\r\nCommType=UDP\r\nIpAddress=127.0.0.1\r\nUDPPort=") +
           QByteArray::number(port) +
           "\r\nCOMName=COM7\r\nBaudrate=9600\r\n"
           "[VIDEOGENERATOR]\r\nResolution=9\r\nPattern=4\r\n[MONITORINGPORT]\r\nChannel=7\r\n";
}

QString FullMap(const std::string& pairs) {
    return QString::fromStdString("LINK=" + pairs + "!");
}

// Every output unlinked except those given as "II^OO" pairs.
std::string Map(std::initializer_list<std::pair<int, int>> links) {
    std::string text;
    for (int o = 1; o <= 16; ++o) {
        int input = 0;
        for (const auto& [i, out] : links)
            if (out == o)
                input = i;
        char pair[8];
        std::snprintf(pair, sizeof pair, "%02d^%02d", input, o);
        text += (o > 1 ? "," : "") + std::string(pair);
    }
    return text;
}

void Click(MatrixView* view, int side, int channel) {
    QTest::mouseClick(view, Qt::LeftButton, {}, view->layout.cellRects[side][channel].center());
}

}  // namespace

class MainDialogTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startUp();
    void panels_data();
    void panels();
    void clicksQueueLinks();
    void quadHeaderOpensDialog();
    void screenLogToggle();
    void contextMenu();
    void closingKeys_data();
    void closingKeys();
    void linkFailures_data();
    void linkFailures();
    void connectAgainstSimulator_data();
    void connectAgainstSimulator();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString previousDir;
};

void MainDialogTest::init() {
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir->path()));
    WriteFile(QStringLiteral("config.ini"), LoopbackConfig(47000));
}

void MainDialogTest::cleanup() {
    QDir::setCurrent(previousDir);
    dir.reset();
}

void MainDialogTest::startUp() {
    MainDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Tessaly   Lintor Ver 1.12"));
    QCOMPARE(dialog.config.inputNames[3], std::string("Camera 3"));  // config.ini was read
    QVERIFY(dialog.log.screenLogEnabled);
    QVERIFY(dialog.connectButton->isEnabled());
    QVERIFY(!dialog.disconnectButton->isEnabled());
    QVERIFY(dialog.sendTimer.isActive());
    QCOMPARE(dialog.sendTimer.interval(), 50);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (ImageButton* hidden : {dialog.linkButton, dialog.linkClearButton, dialog.allLinkButton})
        QVERIFY(!hidden->isVisible());
    QCOMPARE(dialog.networkCaption->text(), QStringLiteral("RS232 & Ethernet"));
    // Values read from config.ini before anything was connected.
    QCOMPARE(
        dialog.generatorPanel->text(),
        QStringLiteral(
            "   Resolution : 1920x1080p@60Hz\n   Pattern : \n    - Horizontal Color Bar Stop"));
    QCOMPARE(dialog.monitoringPanel->text(), QStringLiteral("   Channel : Input 07"));
    QCOMPARE(dialog.connectionPanel->labelFont.pixelSize(), -PointSizeToHeight(9));
    QVERIFY(dialog.connectionPanel->labelFont.bold());
    QCOMPARE(dialog.connectionCaption->labelFont.pixelSize(), -PointSizeToHeight(12));
}

void MainDialogTest::panels_data() {
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<int>("panel");  // 0 connection, 1 generator, 2 monitoring, 3 lock, 4 network
    QTest::addColumn<QString>("text");
    const char* words[] = {"Disconnect", "Connecting", "Connection Failed", "Connected",
                           "Connection Failed"};
    for (int status : {0, 1, 2, 3, 9}) {
        const QString word = QLatin1String(words[std::min(status, 4)]);
        QTest::addRow("udp, status %d", status)
            << Setup([status](AppConfig&, RouterState&, int& st) { st = status; }) << 0
            << QStringLiteral("   Status : %1\n   Ethernet IP : 127.0.0.1\n   Port : 47000 ")
                   .arg(word);
        QTest::addRow("serial, status %d", status)
            << Setup([status](AppConfig& c, RouterState&, int& st) {
                   c.useSerial = true;
                   st = status;
               })
            << 0
            << QStringLiteral("   Status : %1\n   RS232 PORT : COM7\n   Baudrate : 9600 ")
                   .arg(word);
    }
    QTest::newRow("generator not recognised") << Setup([](AppConfig&, RouterState& s, int&) {
        s.generatorResolution = s.generatorPattern = 0;
    }) << 1 << "   Resolution : \n   Pattern : \n    - ";
    QTest::newRow("generator, last entries") << Setup([](AppConfig&, RouterState& s, int&) {
        s.generatorResolution = 9;
        s.generatorPattern = 14;
    }) << 1 << "   Resolution : 1920x1080p@60Hz\n   Pattern : \n    - Full Gray";
    QTest::newRow("generator beyond the tables") << Setup([](AppConfig&, RouterState& s, int&) {
        s.generatorResolution = 10;
        s.generatorPattern = -1;
    }) << 1 << "   Resolution : \n   Pattern : \n    - ";
    QTest::newRow("monitoring 0") << Setup([](AppConfig&, RouterState& s, int&) {
        s.monitoringChannel = 0;
    }) << 2 << "   Channel : Input 00";
    QTest::newRow("all locked") << Setup([](AppConfig&, RouterState& s, int&) {
        s.webLock = s.dataLock = s.keyLock = 1;
    }) << 3 << "   Web Control : Lock\n   Data Control : Lock\n   Key Control : Lock";
    QTest::newRow("only 1 locks") << Setup([](AppConfig&, RouterState& s, int&) {
        s.dataLock = 2;
        s.keyLock = 1;
    }) << 3 << "   Web Control : Unlock\n   Data Control : Unlock\n   Key Control : Lock";
    QTest::newRow("network not reported")
        << Setup([](AppConfig&, RouterState&, int&) {}) << 4
        << "   RS232  Baudrate : 0 Bps\n   IP :    Port : \n   Gateway :  \n"
           "   Subnet Mask :  \n   MAC Address :  \n \n \n \n \n";
    QTest::newRow("network reported")
        << Setup([](AppConfig&, RouterState& s, int&) {
               s.routerBaudRate = 115200;
               s.routerIp = "127.0.0.1";
               s.routerPort = "3000";
               s.routerGateway = "127.0.0.254";
               s.routerSubnetMask = "255.0.0.0";
               s.routerMac = "00:1C:91:03:5E:2A";
           })
        << 4
        << "   RS232  Baudrate : 115200 Bps\n   IP : 127.0.0.1   Port : 3000\n"
           "   Gateway : 127.0.0.254 \n   Subnet Mask : 255.0.0.0 \n"
           "   MAC Address : 00:1C:91:03:5E:2A \n \n \n \n \n";
}

// Each body is rebuilt from the settings and the model at every refresh.
void MainDialogTest::panels() {
    QFETCH(Setup, setup);
    QFETCH(int, panel);
    QFETCH(QString, text);
    MainDialog dialog;
    int status = kDisconnected;
    setup(dialog.config, dialog.session.state, status);
    dialog.session.connectionStatus = status;
    dialog.RefreshStatusPanels();
    const ColorLabel* bodies[] = {dialog.connectionPanel, dialog.generatorPanel,
                                  dialog.monitoringPanel, dialog.lockPanel, dialog.networkPanel};
    QCOMPARE(bodies[panel]->text(), text);
    dialog.session.connectionStatus = kDisconnected;  // nothing to close
}

void MainDialogTest::clicksQueueLinks() {
    MainDialog dialog;
    dialog.sendTimer.stop();  // keep the queue where the clicks put it
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    MatrixView* view = dialog.matrixView;
    auto& queue = dialog.session.commandQueue;
    auto last = [&] { return QString::fromStdString(queue.back()); };

    Click(view, kInputSide, 3);
    QVERIFY(queue.empty());  // selecting an input sends nothing
    Click(view, kOutputSide, 2);
    QCOMPARE(last(), FullMap(Map({{3, 2}})));
    // The model still says unlinked: the same click routes again.
    Click(view, kOutputSide, 2);
    QCOMPARE(last(), FullMap(Map({{3, 2}})));
    // Once the router has answered, the next click on output 2 unlinks it.
    dialog.session.state.routedInput[2] = 3;
    dialog.session.state.routedInput[7] = 11;
    Click(view, kOutputSide, 2);
    QCOMPARE(last(), FullMap(Map({{11, 7}})));
    Click(view, kOutputSide, 5);
    QCOMPARE(last(), FullMap(Map({{3, 2}, {3, 5}, {11, 7}})));
    QCOMPARE(queue.size(), std::size_t(4));

    // Headers of input slots and of non-quad output slots do nothing.
    QTest::mouseClick(view, Qt::LeftButton, {},
                      view->layout.slotHeaderRects[kInputSide][1].center());
    QTest::mouseClick(view, Qt::LeftButton, {},
                      view->layout.slotHeaderRects[kOutputSide][1].center());
    QCOMPARE(queue.size(), std::size_t(4));

    // With "All Link" checked an input click routes it everywhere; clicking
    // the selected input deselects it and so unlinks every output.
    dialog.allLinkButton->SetCheck(true);
    Click(view, kInputSide, 4);
    std::string all;
    for (int o = 1; o <= 16; ++o)
        all += (o > 1 ? "," : "") + QString::asprintf("04^%02d", o).toStdString();
    QCOMPARE(last(), FullMap(all));
    Click(view, kInputSide, 4);
    QCOMPARE(view->selectedInput, 0);
    QCOMPARE(last(), FullMap(Map({})));
}

void MainDialogTest::quadHeaderOpensDialog() {
    MainDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.session.state.outputCardType[3] = kQuadMultiViewer;
    int seenSlot = 0;
    QTimer::singleShot(0, [&] {
        if (auto* quad = qobject_cast<QuadDialog*>(QApplication::activeModalWidget())) {
            seenSlot = quad->slot;
            quad->reject();
        }
    });
    // Kept from the failure case: if no dialog opens, nothing blocks.
    dialog.connectionPanel->setText(QStringLiteral("stale"));
    QTest::mouseClick(dialog.matrixView, Qt::LeftButton, {},
                      dialog.matrixView->layout.slotHeaderRects[kOutputSide][3].center());
    QCOMPARE(seenSlot, 3);
    QVERIFY(dialog.connectionPanel->text().startsWith(QStringLiteral("   Status : Disconnect")));
}

void MainDialogTest::screenLogToggle() {
    MainDialog dialog;
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.log.LogEvent(true, true, "%s", "first");
    QCOMPARE(dialog.logList->count(), 1);

    QTest::keyClick(dialog.logList, Qt::Key_D, Qt::ControlModifier);
    QVERIFY(!dialog.log.screenLogEnabled);
    QCOMPARE(dialog.logList->count(), 0);
    dialog.log.LogEvent(true, true, "%s", "second");
    QCOMPARE(dialog.logList->count(), 0);

    QTest::keyClick(dialog.logList, Qt::Key_D, Qt::ControlModifier);
    QVERIFY(dialog.log.screenLogEnabled);
    dialog.log.LogEvent(true, true, "%s", "third");
    QCOMPARE(dialog.logList->count(), 1);
    QVERIFY(dialog.logList->item(0)->text().endsWith(QStringLiteral("]third")));

    // The daily file got every line, switched off or not.
    QFile file(QString::fromStdString(dialog.log.DailyFileName()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    for (const char* word : {"]first", "]second", "]third"})
        QVERIFY2(content.contains(word), word);

    // The list keeps the newest 1000 lines.
    for (int i = 0; i < 1005; ++i)
        dialog.logList->AppendToLogList("line " + std::to_string(i));
    QCOMPARE(dialog.logList->count(), 1000);
    QCOMPARE(dialog.logList->item(999)->text(), QStringLiteral("line 1004"));
}

// The context menu holds the about box and the only way to clear every link.
void MainDialogTest::contextMenu() {
    MainDialog dialog;
    dialog.sendTimer.stop();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QStringList seen;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* action : menu->actions())
            if (!action->isSeparator())
                seen << action->text();
        menu->actions().last()->trigger();
        menu->close();
    });
    // Right-clicking the matrix view reaches the window's menu too.
    const QPoint at = dialog.matrixView->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, dialog.matrixView->mapToGlobal(at));
    QCoreApplication::sendEvent(dialog.matrixView, &event);
    QCOMPARE(seen,
             QStringList({QStringLiteral("&About Corvane"), QStringLiteral("Clear All Links")}));
    QCOMPARE(dialog.session.commandQueue.size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(dialog.session.commandQueue.back()), FullMap(Map({})));

    QStringList aboutTexts;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box)
            return;
        aboutTexts << box->windowTitle();
        for (QLabel* label : box->findChildren<QLabel*>())
            aboutTexts << label->text();
        box->close();
    });
    dialog.ShowAbout();
    QVERIFY(aboutTexts.contains(QStringLiteral("About Corvane")));
    QVERIFY(aboutTexts.contains(QStringLiteral("Corvane version 1.12")));
}

void MainDialogTest::closingKeys_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("onButton");
    QTest::addColumn<bool>("closes");
    QTest::newRow("Esc") << int(Qt::Key_Escape) << false << true;
    QTest::newRow("Enter on the log") << int(Qt::Key_Return) << false << true;
    QTest::newRow("Enter on Disconnect presses it") << int(Qt::Key_Return) << true << false;
}

void MainDialogTest::closingKeys() {
    QFETCH(int, key);
    QFETCH(bool, onButton);
    QFETCH(bool, closes);
    MainDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.connection.Connect();  // nothing listens on the port: stays Connecting
    dialog.UpdateButtons();
    QWidget* target = onButton ? static_cast<QWidget*>(dialog.disconnectButton) : dialog.logList;
    target->setFocus();
    QTest::keyClick(target, Qt::Key(key));
    QCOMPARE(dialog.isVisible(), !closes);
    if (onButton)
        QCOMPARE(dialog.session.connectionStatus, int(kDisconnected));
    dialog.Disconnect();
}

void MainDialogTest::linkFailures_data() {
    QTest::addColumn<bool>("serial");
    QTest::newRow("datagram over 256 bytes") << false;
    QTest::newRow("pty hung up") << true;
}

// A failed read or a vanished device shows "Connection Failed"; the user's
// next step is "Disconnect", which stays available.
void MainDialogTest::linkFailures() {
    QFETCH(bool, serial);
    sim::SimOptions options;
    options.serial = serial;
    options.fault = serial ? sim::Fault::None : sim::Fault::Oversize;
    sim::RouterSim router(options);
    std::string error;
    QVERIFY2(router.Start(&error), error.c_str());
    MainDialog dialog;
    dialog.messageBox = [](const QString&) {};
    dialog.config.useSerial = serial;
    dialog.config.comName = router.ptyPath;
    dialog.config.udpPort = router.port;
    dialog.Connect();
    if (serial) {
        QTRY_COMPARE_WITH_TIMEOUT(dialog.session.connectionStatus, int(kConnected), 10000);
        router.DropLink();
    }
    QTRY_COMPARE_WITH_TIMEOUT(dialog.session.connectionStatus, int(kConnectionFailed), 10000);
    QVERIFY(dialog.connectionPanel->text().startsWith(
        QStringLiteral("   Status : Connection Failed\n")));
    QVERIFY(!dialog.connectButton->isEnabled());
    QVERIFY(dialog.disconnectButton->isEnabled());
    dialog.Disconnect();
    QVERIFY(dialog.connectButton->isEnabled());
    router.Stop();
}

void MainDialogTest::connectAgainstSimulator_data() {
    QTest::addColumn<bool>("serial");
    QTest::newRow("udp") << false;
    QTest::newRow("serial over a pty") << true;
}

// Two clicks on "Connect" and on the view against the simulated router: the
// start-up poll fills the model, the panels and the view show it, a route
// goes out and comes back, "Disconnect" forgets the per-connection tables.
void MainDialogTest::connectAgainstSimulator() {
    QFETCH(bool, serial);
    sim::SimOptions options;
    options.bindAddress = "127.0.0.1";
    options.serial = serial;
    MainDialog dialog;
    dialog.messageBox = [](const QString& text) { QFAIL(qPrintable(text)); };
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    // Over UDP the program binds the router's port + 10, which another
    // process may hold: then try another port.
    std::unique_ptr<sim::RouterSim> router;
    for (int attempt = 0; attempt < 5; ++attempt) {
        router = std::make_unique<sim::RouterSim>(options);
        std::string error;
        QVERIFY2(router->Start(&error), error.c_str());
        if (!serial && router->port > 65000)
            continue;
        // Set as the configuration dialog would.
        dialog.config.useSerial = serial;
        dialog.config.comName = router->ptyPath;
        dialog.config.baudRate = 115200;
        dialog.config.udpPort = router->port;
        QTest::mouseClick(dialog.connectButton, Qt::LeftButton);
        QVERIFY(!dialog.connectButton->isEnabled());
        QVERIFY(dialog.disconnectButton->isEnabled());
        if (dialog.session.connectionStatus != kConnectionFailed)
            break;
        QTest::mouseClick(dialog.disconnectButton, Qt::LeftButton);
    }
    RouterSession& session = dialog.session;
    QTRY_VERIFY_WITH_TIMEOUT(
        session.connectionStatus == kConnected &&
            session.pollIndex >= unsigned(kStartupQueryCount) && session.commandQueue.empty() &&
            session.state.outputPlugged[1] == 1 && session.state.inputEdidMode[16].size() > 0,
        20000);

    const sim::SimRouter expected = router->Router();
    for (int c = 1; c <= 16; ++c)
        QCOMPARE(session.state.routedInput[c], expected.route[c]);
    QCOMPARE(session.state.outputCardType[3], int(kQuadMultiViewer));
    const QString link =
        serial ? QStringLiteral("RS232 PORT : %1\n   Baudrate : 115200 ")
                     .arg(QString::fromStdString(router->ptyPath))
               : QStringLiteral("Ethernet IP : 127.0.0.1\n   Port : %1 ").arg(router->port);
    QCOMPARE(dialog.connectionPanel->text(), QStringLiteral("   Status : Connected\n   ") + link);
    QVERIFY(dialog.networkPanel->text().contains(QString::fromStdString(expected.mac)));

    // Shown in the view: the lamps of plugged output 1 and unplugged output 4.
    dialog.matrixView->PaintBuffer();
    auto lamp = [&](int output) {
        const QRect cell = dialog.matrixView->layout.cellRects[kOutputSide][output];
        return dialog.matrixView->backBuffer.pixel(cell.left() + 13, cell.top() + 7);
    };
    QCOMPARE(lamp(1), qRgb(0, 255, 0));
    QCOMPARE(lamp(4), qRgb(128, 128, 128));

    // Route input 3 to output 2 by two clicks; the model follows the answer.
    Click(dialog.matrixView, kInputSide, 3);
    Click(dialog.matrixView, kOutputSide, 2);
    QTRY_COMPARE_WITH_TIMEOUT(session.state.routedInput[2], 3, 10000);
    QCOMPARE(router->Router().route[2], 3);

    QTest::mouseClick(dialog.disconnectButton, Qt::LeftButton);
    QCOMPARE(session.connectionStatus, int(kDisconnected));
    QVERIFY(dialog.connectButton->isEnabled());
    QVERIFY(!dialog.disconnectButton->isEnabled());
    QCOMPARE(session.state.routedInput[2], 0);
    QVERIFY(dialog.connectionPanel->text().startsWith(QStringLiteral("   Status : Disconnect")));
    router->Stop();
}

QTEST_MAIN(MainDialogTest)
#include "MainDialogTest.moc"
