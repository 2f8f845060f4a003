// The main window and the dialogs, on the offscreen platform.
#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QToolTip>
#include <QUdpSocket>
#include <QtTest>
#include <csignal>
#include <cstring>
#include <memory>
#include <string>

#include "../support/SessionSupport.h"
#include "RouterSim.h"
#include "app/ControlApp.h"
#include "app/StartUp.h"
#include "base/EventLog.h"
#include "base/TextFormat.h"
#include "bridge/Swp08Frame.h"
#include "bridge/Swp08Server.h"
#include "bridge/VideohubServer.h"
#include "edid/EdidFile.h"
#include "protocol/Commands.h"
#include "protocol/Pacing.h"
#include "protocol/ResponseParser.h"
#include "settings/IniFile.h"
#include "transport/Connection.h"
#include "ui/BridgeListener.h"
#include "ui/ColorLabel.h"
#include "ui/ConfigDialog.h"
#include "ui/EdidDetailsDialog.h"
#include "ui/EdidDialog.h"
#include "ui/Fonts.h"
#include "ui/ImageButton.h"
#include "ui/InputGrid.h"
#include "ui/LogList.h"
#include "ui/MainDialog.h"
#include "ui/MatrixView.h"
#include "ui/QuadDialog.h"
#include "ui/ViewOverlay.h"
#include "ui/WindowSize.h"

using namespace corvane;

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

    QStringList Sent() {  // what was queued since the last call
        QStringList queued;
        for (const std::string& c : session.commandQueue)
            queued << QString::fromStdString(c);
        session.commandQueue.clear();
        return queued;
    }
    QStringList Messages() {  // without time stamps; read once
        QStringList messages = QString::fromStdString(LogText(screen)).split('\n');
        messages.removeLast();  // after the last line's newline
        screen.lines.clear();
        return messages;
    }
};

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

QStringList FileLines(const QString& path) {
    return QString::fromLatin1(FileBytes(path)).remove('\r').split('\n', Qt::SkipEmptyParts);
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

QList<int> Marked(const InputGrid& grid) {  // 1-based inputs
    QList<int> marked;
    for (int i = 0; i < 16; ++i)
        if (grid.selection[i])
            marked << i + 1;
    return marked;
}

// The router has answered every query: every flag true.
void KnowAll(KnownValues& k) {
    std::memset(static_cast<void*>(&k), true, sizeof k);
}

// The Applys that build commands from the router's values, in the order of
// Dialogs::Applies(): what each waits for, as its status line names it, and
// what it sends once that is reported.
struct Dialogs {
    explicit Dialogs(Connection& c) : config(c), edid(c), quad(c, 2) {}
    ConfigDialog config;
    EdidDialog edid;
    QuadDialog quad;
    std::vector<QPushButton*> Applies() {
        return {config.lockApplyButton,       config.monitoringApplyButton,
                config.routerBaudApplyButton, config.networkApplyButton,
                edid.modeApplyButton,         quad.resolutionApplyButton,
                quad.layoutApplyButton};
    }
};
const struct {
    const char* what;
    void (*forget)(KnownValues&);
    QStringList sent;
} kApplies[] = {
    {"its locks",
     [](KnownValues& k) { k.dataLock = false; },
     {"LOCK=WL!", "LOCK=DUL!", "LOCK=KL!"}},
    {"its monitoring channel", [](KnownValues& k) { k.monitoringChannel = false; }, {"MON=05!"}},
    {"its RS232 speed", [](KnownValues& k) { k.routerBaudRate = false; }, {"RS232=115200!"}},
    {"its network settings",
     [](KnownValues& k) { k.routerPort = false; },
     {"NETIP=127.0.0.20!", "NETPT=3000!", "NETSN=255.255.255.0!", "NETGW=127.0.0.1!"}},
    {"its inputs' EDID modes", [](KnownValues& k) { k.edidMode[5] = false; }, {"EDID=DE3,5!"}},
    {"the card's resolution",
     [](KnownValues& k) { k.quadResolution[2] = false; },
     {"QUADRES=2_9!"}},
    {"the card's layout", [](KnownValues& k) { k.quadLayout[2] = false; }, {"QUADLAY=2_6!"}},
};

// The full map with every output unlinked except the given (input, output)
// pairs; the wire format tests pin how it is written.
QString Map(std::initializer_list<std::pair<int, int>> links) {
    int routes[kChannelTableSize] = {};
    for (const auto& [input, output] : links)
        routes[output] = input;
    return QString::fromStdString(BuildLinkCommand(routes));
}

const int kNoRoutes[kChannelTableSize] = {};

// A link that takes every byte.
struct NullLink : Link {
    void Close() override {}
    bool IsOpen() const override { return true; }
    int Write(const void*, std::size_t length) override { return int(length); }
};

// Counts the window's paints, and what the view was asked to paint.
struct PaintCounter : QObject {
    int paints = 0;
    QObject* view = nullptr;
    QRegion viewRegion;
    bool eventFilter(QObject* watched, QEvent* e) override {
        paints += e->type() == QEvent::Paint;
        if (watched == view && e->type() == QEvent::Paint)
            viewRegion += static_cast<QPaintEvent*>(e)->region();
        return false;
    }
};

// Acts on the next menu or message box of type W once it shows (both run
// loops of their own); gives up after 2 s.
template <class W>
void WhenShown(QObject* owner, std::function<void(W*)> act) {
    auto* poll = new QTimer(owner);
    QObject::connect(poll, &QTimer::timeout, [poll, act, tries = 0]() mutable {
        QWidget* shown = QApplication::activePopupWidget();
        auto* w = qobject_cast<W*>(shown ? shown : QApplication::activeModalWidget());
        if (w)
            act(w);
        if (w || ++tries > 200)
            poll->deleteLater();
    });
    poll->start(10);
}

// Answers the next message box with Enter (its default) or a click on a
// button, noting its text.
void Answer(QObject* owner, QStringList& seen, int button = QMessageBox::NoButton) {
    WhenShown<QMessageBox>(owner, [&seen, button](QMessageBox* box) {
        seen << box->text();
        if (button == QMessageBox::NoButton)
            QTest::keyClick(box, Qt::Key_Return);
        else
            box->button(QMessageBox::StandardButton(button))->click();
    });
}

}  // namespace

// Reading order: a group's controls before those of a group to its right
// or below it; within a group, row by row from the top, each from the left.
bool ReadsBefore(const QRect& a, const QRect& b) {
    const bool sameRow = a.top() < b.bottom() && b.top() < a.bottom();
    return sameRow ? a.left() < b.left() : a.top() < b.top();
}
QRect InDialog(const QWidget* w) {
    return QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size());
}
QRect GroupOf(const QWidget* w) {
    for (const QGroupBox* box : w->window()->findChildren<QGroupBox*>()) {
        if (box->geometry().contains(InDialog(w).center()))
            return box->geometry();
    }
    return InDialog(w);
}
bool TabsBefore(const QWidget* a, const QWidget* b) {
    const QRect ga = GroupOf(a), gb = GroupOf(b);
    return ga != gb ? ReadsBefore(ga, gb) : ReadsBefore(InDialog(a), InDialog(b));
}

class WindowsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Rig> rig;
    QUdpSocket router;  // the router's end of the UDP link
    QString startDir = QDir::currentPath();

    QStringList Sent() { return rig->Sent(); }
    // The window shown on a router that answered the start-up poll with
    // `map`; the queue stays where the window's actions put it.
    static void ShowLive(MainDialog& dialog, const int (&map)[kChannelTableSize] = kNoRoutes,
                         ByteSink* link = nullptr) {
        dialog.sendTimer.stop();
        ConnectPolled(dialog.session, link, map);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    }
    static QString Notice(const MainDialog& dialog) { return dialog.viewOverlay->marks.notice; }

    // Tooltips, focus marks and the Tab cycle of one dialog, in reading order.
    void CheckTipsFocusAndTabs(QDialog* d) {
        d->show();
        d->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(d));
        QList<QWidget*> controls;
        QList<QButtonGroup*> radioGroups;
        for (QWidget* w : d->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (qobject_cast<QAbstractButton*>(w) ||
                (!w->isEnabled() && !qobject_cast<QLabel*>(w) && !qobject_cast<QGroupBox*>(w)))
                QVERIFY2(w->isHidden() || !w->toolTip().isEmpty(),
                         qPrintable(w->metaObject()->className()));
            // Tab stops at one button of a radio group; the arrows move on.
            auto* radio = qobject_cast<QRadioButton*>(w);
            if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled() &&
                !(radio && radioGroups.contains(radio->group()))) {
                controls << w;
                if (radio)
                    radioGroups << radio->group();
            }
        }
        // Round the whole cycle by Tab, which also tells the style to show
        // the focus: every control once, out of reading order only where it wraps.
        QVERIFY(controls.size() >= 3);
        controls.last()->setFocus();
        QTest::keyClick(controls.last(), Qt::Key_Tab);
        QList<QWidget*> cycle;
        while (cycle.size() < 100 && !cycle.contains(QApplication::focusWidget())) {
            QWidget* w = QApplication::focusWidget();
            cycle << w;
            const QImage focused = w->grab().toImage();
            QTest::keyClick(w, Qt::Key_Tab);
            QVERIFY2(w->grab().toImage() != focused, w->metaObject()->className());
        }
        QCOMPARE(cycle.size(), controls.size());
        int wraps = 0;
        for (int i = 0; i < cycle.size(); ++i)
            wraps += !TabsBefore(cycle[i], cycle[(i + 1) % cycle.size()]);
        QCOMPARE(wraps, 1);
    }

private slots:
    void initTestCase() { LoadTahoma(); }  // texts measure as in the program
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
        WriteFile("config.ini",
                  "[SETCOMMCONFIG]\r\nCOMName=/nonexist/tty9\r\nBaudrate=38400\r\n"
                  "IpAddress=127.0.0.1\r\nCommType=UDP\r\nUDPPort=" +
                      QByteArray::number(router.localPort()) + "\r\n");
        rig = std::make_unique<Rig>(dir->path());
        userEdidPath.clear();
    }
    void cleanup() {
        rig.reset();
        router.close();
        QDir::setCurrent(startDir);
        dir.reset();
    }

    // The router's values as reported, nothing for one not reported; the
    // program's own as configured. Apply says what it queued, or why none.
    void configShowsModelAndApplies() {
        RouterState& s = rig->session.state;
        s.generatorResolution = 9;
        s.generatorPattern = 3;
        s.webLock = s.keyLock = 1;
        s.routerIp = "127.0.0.20";
        s.routerMac = "00-1A 2b:3c:4d:5e";
        rig->config.inputNames[1] = "Cam\xe9ra";  // 8-bit, as config.ini holds it
        auto shown = [](ConfigDialog& d) {
            QStringList shown{QString::number(d.resolutionList->currentIndex()),
                              QString::number(d.patternList->currentIndex()),
                              QString::number(d.routerBaudList->currentIndex()),  // reported as 0
                              d.rs232Radio->isChecked() ? "RS232" : "UDP", d.routerIpEdit->text()};
            for (QComboBox* list :
                 {d.monitoringList, d.webLockList, d.dataLockList, d.keyLockList, d.pcBaudList})
                shown << list->currentText();
            for (QLineEdit* e : d.macEdits)
                shown << e->text();
            return shown.join(' ');
        };
        QCOMPARE(shown(*std::make_unique<ConfigDialog>(rig->connection)),
                 "-1 -1 -1 UDP      38400      ");
        KnowAll(s.known);
        ConfigDialog d(rig->connection);
        QCOMPARE(shown(d),
                 "8 2 -1 UDP 127.0.0.20 Input 00 Lock Unlock Lock 38400 00 1A 2b 3c 4d 5e");
        QCOMPARE(d.inputNameEdits[0]->text(), QString::fromUtf8("Cam\u00e9ra"));

        for (QLineEdit* e : {d.routerIpEdit, d.routerPortEdit}) {
            e->setText(QString(300, '9'));  // no command may outgrow the send buffer
            QVERIFY(e->text().size() <= 32);
            e->clear();
        }
        d.monitoringApplyButton->click();
        QCOMPARE(Sent(), QStringList{"MON=00!"});
        QCOMPARE(d.statusLine->text(), "Not connected: MON=00! goes out after Connect");
        // A refused Apply says why.
        d.monitoringList->setCurrentIndex(-1);
        d.routerBaudList->setCurrentIndex(-1);
        for (const auto& [button, says] :
             {std::pair{d.monitoringApplyButton, "Choose a channel first"},
              {d.networkApplyButton, "all needed; nothing sent."},
              {d.routerBaudApplyButton, "Choose a baud rate first"}}) {
            button->click();
            QVERIFY2(d.statusLine->text().contains(says), says);
        }
        QCOMPARE(Sent(), QStringList{});

        d.inputNameEdits[15]->setText(QStringLiteral("in 16"));
        d.saveNamesButton->click();
        const QStringList saved = FileLines(QStringLiteral("config.ini"));
        QVERIFY(saved.contains("InputChannel16=in 16"));
        QVERIFY(saved.contains(QString::fromLatin1("InputChannel01=Cam\xe9ra")));
        // A save that fails says so, in a box and in the log.
        QStringList boxes;
        d.showMessage = [&](const QString& text) { boxes << text; };
        rig->Messages();
        QVERIFY(QFile::remove(QStringLiteral("config.ini")) && QDir().mkdir("config.ini"));
        d.saveNamesButton->click();
        d.saveApplyLinkButton->click();
        QCOMPARE(boxes.size(), 2);
        QVERIFY(boxes[0].startsWith("config.ini could not be saved"));
        QCOMPARE(rig->Messages(), QStringList{boxes[0]});  // the repeat is folded

        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        // A character config.ini cannot hold is refused, with a hint.
        d.inputNameEdits[1]->clear();
        for (char16_t typed : {u'\u00e9', u'\u20ac'}) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(QChar(typed)));
            QApplication::sendEvent(d.inputNameEdits[1], &key);
        }
        QCOMPARE(d.inputNameEdits[1]->text(), QString::fromUtf8("\u00e9"));
        QCOMPARE(QToolTip::text(), kUnstorableHint);
        // Enter presses the focused button.
        d.lockApplyButton->setFocus();
        QTest::keyClick(d.lockApplyButton, Qt::Key_Return);
        QCOMPARE(Sent().size(), 3);
    }

    // A command built on a value the router has not reported would send a
    // placeholder: Apply says so and sends nothing. Reported, the same Apply
    // sends and says what it sent.
    void applyWaitsForTheRouter_data() {
        QTest::addColumn<int>("apply");
        for (int i = 0; i < int(std::size(kApplies)); ++i)
            QTest::newRow(kApplies[i].what) << i;
    }
    void applyWaitsForTheRouter() {
        QFETCH(int, apply);
        const auto& c = kApplies[apply];
        RouterState& s = rig->session.state;
        // The subnet mask is completed as the control does.
        for (const char* answer :
             {"LOCK=WL,DUL,KL!", "MON=05!", "RS232=115200!", "QUAD=2_9_6!", "NETIP=127.0.0.20!",
              "NETPT=3000!", "NETSN=255.255.255!", "NETGW=127.0.0.1!", "EDID=03DEF.05DEF.!"})
            ApplyResponse(s, answer);
        rig->session.connectionStatus = kConnected;
        for (bool reported : {false, true}) {
            KnowAll(s.known);
            if (!reported)
                c.forget(s.known);
            Dialogs d(rig->connection);
            QPushButton* button = d.Applies()[apply];
            button->click();
            const QLabel* status = static_cast<SettingDialog*>(button->parentWidget())->statusLine;
            QCOMPARE(Sent(), reported ? c.sent : QStringList{});
            QCOMPARE(status->text(),
                     reported ? "Sent " + c.sent.join(' ')
                              : QStringLiteral("The router has not reported %1 yet; nothing sent.")
                                    .arg(c.what));
            QVERIFY(status->fontMetrics().horizontalAdvance(status->text()) <= status->width());
        }
    }

    // Every dialog: each button and each disabled control has a tooltip;
    // each control looks different while it has the focus; Tab visits every
    // control once. Enter in a field keeps the dialog open and what was
    // typed; Esc (or the close box) with edits neither saved nor applied asks
    // first; once saved or applied, it just closes.
    void dialogKeys() {
        KnowAll(rig->session.state.known);
        userEdidPath = QStringLiteral("monitor.bin");  // "Details" is on
        Dialogs all(rig->connection);
        all.edid.outputCopyRadio->click();  // shows the output list too
        EdidBytes broken{};
        broken[127] = 1;  // a wrong checksum: "Fix checksums" is on
        EdidDetailsDialog details("monitor.bin", broken, "");
        for (QDialog* d :
             std::initializer_list<QDialog*>{&all.config, &all.edid, &all.quad, &details})
            CheckTipsFocusAndTabs(d);

        ConfigDialog& config = all.config;
        QuadDialog& quad = all.quad;
        const std::tuple<SettingDialog*, QWidget*, Qt::Key, const char*, QPushButton*> cases[] = {
            {&config, config.inputNameEdits[0], Qt::Key_X, "Channel Name", config.saveNamesButton},
            {&config, config.webLockList, Qt::Key_Down, "Control Lock Mode",
             config.lockApplyButton},
            {&quad, quad.layoutButtons[4], Qt::Key_Space, "Layout", quad.layoutApplyButton}};
        for (const auto& [d, field, edit, group, save] : cases) {
            int asked = 0;
            d->askQuestion = [&, group = group](const QString& text) {
                asked += text.contains(group) ? 1 : 100;
                return false;
            };
            d->show();
            d->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(d));
            field->setFocus();
            QTest::keyClick(field, edit);
            QTest::keyClick(field, Qt::Key_Return);
            QCOMPARE(d->Unsaved(), QStringList{group});
            QTest::keyClick(field, Qt::Key_Escape);
            QVERIFY(d->isVisible());
            save->click();
            QTest::keyClick(field, Qt::Key_Escape);
            QVERIFY(!d->isVisible());
            QCOMPARE(asked, 1);
        }
    }

    // Saving the link settings writes config.ini afresh and reopens the link
    // only when its type changed while it was open. start: a status (3: a UDP
    // link really opened).
    void reconnect_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("chooseSerial");
        QTest::addColumn<QString>("disconnected");  // the log line, "" for none
        QTest::addColumn<int>("status");
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
        if (start == 3)
            rig->connection.Connect();  // a UDP socket always opens
        else
            rig->session.connectionStatus = start;
        const UdpLink* before = rig->connection.udpLink.get();
        QVERIFY(QFile::remove(QStringLiteral("config.ini")));
        rig->config.baudRate = 4800;  // no row in the list: kept as it is
        ConfigDialog d(rig->connection);
        (chooseSerial ? d.rs232Radio : d.ethernetRadio)->setChecked(true);
        d.comPortEdit->setText(QStringLiteral("/nonexist/COM7"));
        rig->Messages();  // drop what came before
        d.saveApplyLinkButton->click();

        QCOMPARE(FileLines(QStringLiteral("config.ini")),
                 (QStringList{"[SETCOMMCONFIG]", "COMName=/nonexist/COM7", "Baudrate=4800",
                              "IpAddress=127.0.0.1",
                              QStringLiteral("UDPPort=%1").arg(router.localPort()),
                              chooseSerial ? "CommType=RS232" : "CommType=UDP"}));
        QTEST(rig->session.connectionStatus, "status");
        const QStringList logged = rig->Messages();
        if (disconnected.isEmpty()) {
            QVERIFY2(!logged.join('|').contains("Disconnect"), qPrintable(logged.join('|')));
            QCOMPARE(rig->connection.udpLink.get(), before);
        } else {
            // Disconnect saw the old type and closed the link really open.
            QCOMPARE(logged.value(0), disconnected);
            QCOMPARE(rig->connection.udpLink != nullptr, !chooseSerial);
        }
    }

    // A click toggles its cell, in single mode clearing the others; a double
    // click counts once; the gap or a release elsewhere is no click. By
    // keyboard the arrows move (not past the edges) and Space toggles.
    void gridClicks() {
        InputGrid grid;
        grid.resize(355, 184);  // its size in the EDID dialog
        auto at = [&](int cell) { return grid.cellRects[cell - 1].center(); };
        auto click = [&](int cell) { QTest::mouseClick(&grid, Qt::LeftButton, {}, at(cell)); };
        grid.selection[0] = grid.selection[15] = 1;
        for (int cell : {3, 7, 3, 6})
            click(cell);
        QTest::mousePress(&grid, Qt::LeftButton, {}, at(6));  // may come before the double click
        QTest::mouseDClick(&grid, Qt::LeftButton, {}, at(6));
        QTest::mouseRelease(&grid, Qt::LeftButton, {}, at(6));
        QTest::mouseClick(&grid, Qt::LeftButton, {},
                          at(1) + QPoint(grid.cellRects[0].width() / 2 + 5, 0));
        QTest::mousePress(&grid, Qt::LeftButton, {}, at(9));
        QTest::mouseRelease(&grid, Qt::LeftButton, {}, at(10));
        QCOMPARE(Marked(grid), (QList<int>{1, 6, 7, 16}));

        grid.singleSelect = 1;
        for (int cell : {5, 5})
            click(cell);
        QCOMPARE(Marked(grid), QList<int>{});
        grid.selection[2] = grid.selection[8] = 1;
        click(3);  // unmarking clears the rest too
        QCOMPARE(Marked(grid), QList<int>{});

        grid.singleSelect = 0;  // from cell 3, where the last click was
        for (Qt::Key key : {Qt::Key_Up, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Down,
                            Qt::Key_Space, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Left,
                            Qt::Key_Left, Qt::Key_Left, Qt::Key_Left, Qt::Key_Space})
            QTest::keyClick(&grid, key);
        QCOMPARE(Marked(grid), (QList<int>{8, 13}));
    }

    // Each mode marks the inputs reported in exactly that mode; Apply sends
    // what is marked. "EDID EDIT" needs an editor: without one it is off and
    // says how to set one; one that does not start says so.
    void edidModes() {
        KnowAll(rig->session.state.known);
        qunsetenv("CORVANE_EDID_EDITOR");
        const char* reported[] = {"OUT.", "AUTO", "DEF.", "def.", "DEF", "", "DEF.", "AUTO"};
        for (int n = 0; n < 8; ++n)
            rig->session.state.inputEdidMode[n + 1] = reported[n];
        EdidDialog d(rig->connection);
        d.show();
        QCOMPARE(Marked(*d.grid), (QList<int>{3, 7}));
        d.autoRadio->click();
        QCOMPARE(Marked(*d.grid), (QList<int>{2, 8}));
        d.outputCopyRadio->click();
        QCOMPARE(Marked(*d.grid), QList<int>{1});
        QCOMPARE(d.grid->singleSelect, 1);  // one input copies an output
        QVERIFY(d.outputList->isVisible());
        d.outputList->setCurrentIndex(15);
        d.modeApplyButton->click();
        QCOMPARE(Sent(), QStringList{"EDID=OUT16_1!"});
        d.grid->selection[0] = 0;  // no input marked
        d.modeApplyButton->click();
        QCOMPARE(Sent(), QStringList{});
        QVERIFY(d.statusLine->text().startsWith("Mark at least one input"));

        QVERIFY(!d.editorButton->isEnabled());
        QVERIFY(d.editorButton->toolTip().contains("CORVANE_EDID_EDITOR"));
        qputenv("CORVANE_EDID_EDITOR", "/nonexist/edid-editor");
        EdidDialog withEditor(rig->connection);
        withEditor.editorButton->click();
        qunsetenv("CORVANE_EDID_EDITOR");
        QTRY_VERIFY(
            withEditor.statusLine->text().startsWith("The EDID editor could not be started"));
    }

    // Not connected: nothing. A missing, short or broken file keeps off the
    // router and says why; the details view saves a fixed copy beside a
    // broken one. Connecting counts as open: the fixed copy (a "!" in its
    // serial number) leaves whole past the queue.
    void edidUpload() {
        EdidBytes raw{};
        ReadEdidFile(CORVANE_EDID_SAMPLES "/04-AOC-AOC2281.bin", raw);
        raw[12] = '!';
        raw = FixChecksums(raw);
        raw[200] ^= 0x10;
        const QByteArray bytes(reinterpret_cast<const char*>(raw.data()), int(raw.size()));
        WriteFile(QStringLiteral("broken.bin"), bytes);
        WriteFile(QStringLiteral("short.bin"), bytes.left(255));
        auto choose = [](const QString& name) {
            userEdidPath = QDir::current().absoluteFilePath(name);
        };
        choose(QStringLiteral("broken.bin"));
        EdidDialog d(rig->connection);
        QStringList shown;
        d.showMessage = [&](const QString& text) { shown << text; };
        d.uploadButton->click();
        QVERIFY(shown.isEmpty() && rig->Messages().isEmpty());
        QCOMPARE(d.statusLine->text(), "Not connected; nothing sent.");
        rig->connection.Connect();  // a UDP socket always opens
        rig->Messages();            // drop what came before
        for (const auto& [name, message] :
             {std::pair{"missing.bin", "File Open Fail!"},
              {"short.bin", "File Format Error!"},
              {"broken.bin", "EDID not uploaded:\nwrong checksum in block 1 (byte 0x49)"}}) {
            choose(QString::fromLatin1(name));
            d.uploadButton->click();
            QCOMPARE(shown, QStringList{QString::fromLatin1(message)});
            QCOMPARE(rig->Messages(), QStringList{});  // nothing written, nothing logged
            shown.clear();
        }

        EdidDetailsDialog details(userEdidPath, raw, QString());
        QString suggested;
        details.askSavePath = [&](const QString& path) { return suggested = path; };
        details.showMessage = [](const QString&) {};
        details.fixButton->click();
        QCOMPARE(suggested, dir->filePath("broken-fixed.bin"));
        QCOMPARE(FileBytes(userEdidPath), bytes);  // the user's file as it was
        userEdidPath = suggested;
        rig->session.commandQueue.push_back("LINK=?!");
        EdidDialog again(rig->connection);  // the path outlives its dialog
        again.uploadButton->click();
        QCOMPARE(again.statusLine->text(), "Sent EDIT= with the 256 bytes of broken-fixed.bin");
        // The frame and its log lines are the application layer's (tests/control).
        QTRY_VERIFY_WITH_TIMEOUT(router.hasPendingDatagrams(), 5000);
        QByteArray datagram(int(router.pendingDatagramSize()), '\0');
        router.readDatagram(datagram.data(), datagram.size());
        QCOMPARE(datagram, "EDIT=" + FileBytes(suggested) + "!");
    }

    // A clicked layout button is the only one checked (a second click keeps
    // it). Nothing chosen, nothing sent (shown and sent as reported: above).
    void quad() {
        KnowAll(rig->session.state.known);
        rig->session.state.quadLayout[4] = 6;
        QuadDialog d(rig->connection, 4);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        d.resolutionApplyButton->click();
        QTest::mouseClick(d.layoutButtons[2], Qt::LeftButton);
        QTest::mouseClick(d.layoutButtons[2], Qt::LeftButton);
        QCoreApplication::sendPostedEvents();  // the others are unchecked by posted events
        QVERIFY(!d.layoutButtons[5]->GetCheck());
        d.layoutApplyButton->click();
        QCOMPARE(Sent(), QStringList{"QUADLAY=4_3!"});
    }

    // Input clicks toggle the selection and send nothing (a double click
    // counts once, a press released elsewhere is no click); an output click
    // toggles that output in the map last heard from the router; headers of
    // input and non-quad slots do nothing, a quad card's opens its dialog; the
    // context menu is the only way to clear every link. A refusal shows over
    // the view, the screen log off too. Then the keyboard.
    void mouseKeysAndMenu() {
        MainDialog dialog;
        ShowLive(dialog);
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
        dialog.ToggleScreenLog();
        click(out(5));
        QCOMPARE(last(), Map({{3, 2}, {3, 5}}));
        QCOMPARE(Notice(dialog), "Output 05 is protected, route not changed");
        QCOMPARE(dialog.viewOverlay->marks.noticeKind, int(kNoticeRefusal));
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

        // "Clear All Links" asks first, and Enter answers No.
        QStringList asked;
        QString menuFamily;
        auto clearFromMenu = [&](int button) {
            WhenShown<QMenu>(&dialog, [&](QMenu* menu) {
                menuFamily = menu->font().family();
                Answer(&dialog, asked, button);
                for (QAction* action : menu->actions()) {
                    if (action->text() == "Clear All Links")
                        action->trigger();
                }
                menu->close();
            });
            const QPoint gap = view->rect().center();
            QContextMenuEvent event(QContextMenuEvent::Mouse, gap, view->mapToGlobal(gap));
            QCoreApplication::sendEvent(view, &event);
        };
        clearFromMenu(QMessageBox::NoButton);
        QCOMPARE(last(), Map({{3, 2}, {3, 5}}));
        clearFromMenu(QMessageBox::Yes);
        QCOMPARE(queue.size(), std::size_t(1));
        QCOMPARE(last(), Map({}));
        QCOMPARE(Notice(dialog), "Cleared all links: 2 outputs off air");
        QCOMPARE(menuFamily, dialog.font().family());  // the window's face

        // Routes typed on the keyboard: input, separator, output, Enter; Esc
        // forgets a half-typed one, what is not a route is said. In take mode
        // routes stage until "Take".
        auto type = [&](const char* keys, Qt::Key end = Qt::Key_Return) {
            QTest::keyClicks(dialog.logList, keys);
            QTest::keyClick(dialog.logList, end);
        };
        type("3.", Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        type("17.5");
        QCOMPARE(Notice(dialog),
                 "Not a route: 17.5 (type the input, a separator, the output, Enter)");
        QTest::keyClicks(dialog.logList, "12>16");
        QCOMPARE(dialog.routeEntryLabel->text(), QStringLiteral("12>16"));
        QTest::keyClick(dialog.logList, Qt::Key_Return);
        QCOMPARE(last(), Map({{12, 16}}));

        QTest::mouseClick(dialog.takeModeButton, Qt::LeftButton);
        QVERIFY(dialog.viewOverlay->marks.takeMode);
        for (const char* route : {"4 1", "6.3"})
            type(route, Qt::Key_Enter);
        QCOMPARE(queue.size(), std::size_t(1));
        QCOMPARE(dialog.takeButton->text(), QStringLiteral("Take (2)"));
        QTest::mouseClick(dialog.takeButton, Qt::LeftButton);
        QCOMPARE(last(), Map({{4, 1}, {6, 3}, {12, 16}}));
        QCOMPARE(Notice(dialog), "Took 2 routes");
        type("5.2");
        asked.clear();  // take mode off with a route staged asks; Enter keeps both
        Answer(&dialog, asked);
        QTest::mouseClick(dialog.takeModeButton, Qt::LeftButton);
        QCOMPARE(asked, QStringList{"Turn take mode off and drop 1 staged route?"});
        QVERIFY(dialog.session.routing.takeMode && dialog.takeModeButton->GetCheck());
        // Esc drops what is staged and asks nothing (a question would block the test).
        dialog.askQuestion = [&](const QString& text) {
            asked << text;
            return false;
        };
        QTest::keyClick(dialog.logList, Qt::Key_Escape);
        QVERIFY(!dialog.session.routing.HasStaged());
        QCOMPARE(asked.size(), 1);
    }

    // No single key ends the show: Esc forgets a typed entry, then what is
    // staged, then the selected input, and only then closes the window;
    // closing while a router is connected asks once, No by default. Enter
    // closes nothing.
    void closing() {
        const int enter = QMessageBox::NoButton, yes = QMessageBox::Yes, esc = Qt::Key_Escape;
        // key 0: the close box
        for (const auto& [selected, connected, key, answer, asked, open] :
             {std::tuple{3, true, esc, yes, 0, true},
              {0, true, int(Qt::Key_Return), yes, 0, true},
              {0, true, esc, enter, 1, true},
              {0, true, 0, yes, 1, false},
              {0, false, esc, yes, 0, false}}) {
            MainDialog dialog;
            dialog.sendTimer.stop();
            dialog.matrixView->selectedInput = selected;
            if (connected)
                ShowLive(dialog);
            dialog.show();
            QStringList questions;
            Answer(&dialog, questions, answer);
            if (key)
                QTest::keyClick(dialog.logList, Qt::Key(key));
            else
                dialog.close();
            QCOMPARE(
                questions,
                QStringList(asked, QStringLiteral("Quit Corvane? The router keeps its routes.")));
            QCOMPARE(dialog.isVisible(), open);
            QCOMPARE(dialog.matrixView->selectedInput, 0);
        }
    }

    // What the window did shows in the status line over the view (refusals,
    // take and clear: where they are done); several in one answer read as
    // one and a count. The router's routes: Camera 2 on 5, input 6 on 7, 8 on 8.
    void notices() {
        using D = MainDialog;
        const std::tuple<const char*, std::function<void(D&)>, const char*, int> rows[] = {
            {"undo",
             [](D& d) {
                 d.session.SetRoute(3, 5);
                 d.session.OnSendTimer();
                 d.session.ParseResponse(Map({{3, 5}, {6, 7}, {8, 8}}).toLatin1());
                 d.Undo();
             },
             "Undid: output 05 back to Camera 2", kNoticeInfo},
            {"recall",
             [](D& d) {
                 int map[kChannelTableSize] = {0, 1, 1, 1, 1, 1, 1, 6, 1};
                 d.salvos.file.Store("Show A", map);
                 d.UpdateRoutingControls();
                 d.RecallSalvo();
             },
             "Recalled Show A: 7 outputs changed", kNoticeInfo},
            {"routes changed elsewhere",
             [](D& d) {
                 d.session.ParseResponse(Map({{4, 1}, {4, 2}, {6, 7}, {8, 8}}).toLatin1());
             },
             "Output 01 changed on the router: input 04 (+2 more)", kNoticeInfo},
            {"a signal lost, marked for a while",
             [](D& d) {
                 d.session.ParseResponse("IN=_06_1920x1080p@60Hz!");
                 d.session.ParseResponse("IN=_06_Signal OFF!");
                 const ViewMarks& marks = d.viewOverlay->marks;
                 QVERIFY(marks.lost[kInputSide][6] && marks.lost[kOutputSide][7]);
                 d.session.tick += 10 * kTicksPerSecond;
                 d.RefreshStatusPanels();
                 QVERIFY(!marks.lost[kInputSide][6] && !marks.lost[kOutputSide][7]);
                 d.session.tick -= 10 * kTicksPerSecond;
                 d.RefreshStatusPanels();
             },
             "Input 06 signal lost", kNoticeWarning},
            {"an input selected: the outputs it feeds",
             [](D& d) {
                 d.matrixView->selectedInput = 2;
                 d.RefreshStatusPanels();
                 for (int o = 1; o <= 16; ++o)
                     QCOMPARE(d.viewOverlay->marks.fed[o], o == 5);
             },
             "", kNoticeInfo},
            {"a silent router",
             [](D& d) {
                 for (int tick = 0; tick < 4 * kTicksPerSecond; ++tick)
                     d.session.OnSendTimer();
                 QCOMPARE(d.viewOverlay->marks.caption, QStringLiteral("Router not answering"));
                 QVERIFY(d.viewOverlay->marks.dim);
                 d.RefreshStatusPanels();
                 QVERIFY(d.connectionPanel->text().endsWith("\n   Router not answering for 4 s"));
             },
             "Router not answering", kNoticeRefusal},
        };
        for (const auto& [what, act, notice, kind] : rows) {
            MainDialog dialog;
            dialog.config.inputNames[2] = "Camera 2";
            NullLink link;
            const int map[kChannelTableSize] = {0, 0, 0, 0, 0, 2, 0, 6, 8};
            ShowLive(dialog, map, &link);
            QVERIFY(!dialog.viewOverlay->marks.dim);
            act(dialog);
            QVERIFY2(Notice(dialog) == notice, qPrintable(what + (": " + Notice(dialog))));
            QCOMPARE(dialog.viewOverlay->marks.noticeKind, kind);
        }
    }

    // An answer that changes nothing repaints nothing; one that changes a
    // cell repaints that cell.
    void repaintsOnlyChanges() {
        MainDialog dialog;
        NullLink link;
        const int map[kChannelTableSize] = {0, 3};  // output 1 fed by input 3
        ShowLive(dialog, map, &link);
        dialog.session.ParseResponse("MON=00!");  // known from now on
        dialog.log.screenLogEnabled = false;      // the log list shows every answer
        PaintCounter counter;
        for (QWidget* w : dialog.findChildren<QWidget*>())
            w->installEventFilter(&counter);
        counter.view = dialog.matrixView;
        // An answer, and the one cell it changes (0: none).
        const std::tuple<const char*, int, int> answers[] = {{"LINK=03^01!", 0, 0},
                                                             {"MON=00!", 0, 0},
                                                             {"IN=_02_720p!", kInputSide, 2},
                                                             {"LINK=05^01!", kOutputSide, 1}};
        for (const auto& [answer, side, channel] : answers) {
            dialog.repaint();  // anything still due is painted now
            counter.paints = 0;
            counter.viewRegion = QRegion();
            for (int tick = 0; tick < 10; ++tick) {
                dialog.session.ParseResponse(answer);
                dialog.RefreshStatusPanels();  // as the window's timer does
            }
            if (channel)
                QTRY_VERIFY(!counter.viewRegion.isEmpty());
            QTest::qWait(50);  // updates reach the screen a few milliseconds later
            QVERIFY2((counter.paints > 0) == (channel > 0), answer);
            // The cell, and under the status line (a notice) nothing else.
            QRect band = dialog.viewOverlay->StatusBand();
            band.moveTo(
                dialog.matrixView->mapFromGlobal(dialog.viewOverlay->mapToGlobal(band.topLeft())));
            if (channel)
                QVERIFY2(dialog.matrixView->CellArea(side, channel)
                             .contains((counter.viewRegion - band).boundingRect()),
                         answer);
        }
    }

    // A cell's tooltip gives its values in words and what its lamp and
    // colours mean (hovering shows it: the fit test).
    void tooltips() {
        RouterState s;
        AppConfig config;
        RoutingMap routing;
        config.inputNames[3] = "Camera 3";
        s.inputStatusText[1] = "1920x1080p@60Hz";
        s.known.inputSignal[1] = s.known.edidMode[1] = s.known.routes = true;
        s.inputEdidMode[1] = "USER";
        s.routedInput[2] = 3;
        routing.pending[2] = 0;
        routing.staged[4] = 3;
        for (const auto& [hit, says] :
             {std::pair{ViewHit{kInputCell, 1},
                        "Signal: 1920x1080p@60Hz\nEDID: USER (a user EDID)"},
              {{kInputCell, 2}, "Signal: not read yet"},
              {{kOutputCell, 2}, "On air: input 03 Camera 3\nAsked for: no input"},
              {{kOutputCell, 4}, "Staged: input 03 Camera 3"}})
            QVERIFY2(ViewToolTip(s, config, &routing, hit).contains(says), says);
    }

    // The window fits a small screen as a whole, or opens at the size the
    // user left it; on a screen it fits, nothing moves. Whatever the scale, a
    // pixel drawn as part of a cell is a click on that cell, and one drawn as
    // the background is no click; every text stays readable.
    void fitsTheScreen_data() {
        QTest::addColumn<QSize>("available");
        QTest::addColumn<QSize>("remembered");
        QTest::addColumn<QSize>("opens");  // empty: scaled down to fit
        QTest::newRow("1920 x 1080") << QSize(1920, 1080) << QSize() << kDesignSize;
        QTest::newRow("1366 x 768, a panel") << QSize(1366, 728) << QSize() << QSize();
        QTest::newRow("2560 x 1440 at 2") << QSize(1280, 690) << QSize() << QSize();
        QTest::newRow("remembered") << QSize(1920, 1080) << QSize(1300, 800) << QSize(1300, 800);
        QTest::newRow("remembered, too large")
            << QSize(1366, 728) << QSize(1300, 800) << QSize(1300, 680);
        QTest::newRow("tiny screen") << QSize(400, 300) << QSize() << kMinimumSize;
    }
    void fitsTheScreen() {
        QFETCH(QSize, available);
        QFETCH(QSize, remembered);
        QFETCH(QSize, opens);
        const QSize size = OpeningSize(available, remembered);
        if (opens.isEmpty())
            QVERIFY(ScaleFor(size) < 1 &&
                    size.width() <= available.width() - kFrameAllowance.width() &&
                    size.height() <= available.height() - kFrameAllowance.height());
        else
            QCOMPARE(size, opens);

        const std::string wxh = Format("%dx%d", remembered.width(), remembered.height());
        QVERIFY(remembered.isEmpty() || WriteProfileString("WINDOW", "Size", wxh, "config.ini"));
        auto dialog = std::make_unique<MainDialog>();
        if (available == QSize(1920, 1080))  // the test's screen: the window sizes itself
            QCOMPARE(dialog->size(), size);
        dialog->resize(size);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        MatrixView* view = dialog->matrixView;
        for (const auto& [control, place] : dialog->layoutRects)
            QVERIFY(dialog->rect().contains(control->geometry()));
        QCOMPARE(dialog->connectButton->normalImage.size(), dialog->connectButton->size());

        view->PaintBuffer();
        const QImage drawn = view->backBuffer;
        const QRgb background = qRgb(71, 79, 100), strip = qRgb(102, 153, 255),
                   info = qRgb(236, 240, 223), nameBar = qRgb(217, 217, 217);
        int cellPixels = 0, wrong = 0;
        for (int y = 0; y < drawn.height(); ++y) {
            for (int x = 0; x < drawn.width(); ++x) {
                const QRgb colour = drawn.pixel(x, y);
                const QPoint at = view->ToLayout(QPointF(x, y));
                const ViewHitKind kind = HitTest(view->layout, at.x(), at.y()).kind;
                const bool cell = colour == strip || colour == info || colour == nameBar;
                wrong += (colour == background && kind != kNoHit) ||
                         (cell && kind != kInputCell && kind != kOutputCell);
                cellPixels += cell;
            }
        }
        QCOMPARE(wrong, 0);
        QVERIFY(cellPixels > drawn.width() * drawn.height() / 3);
        // And the clicks themselves, through the window.
        dialog->sendTimer.stop();
        ConnectPolled(dialog->session, nullptr, kNoRoutes);
        const auto centre = [&](int side, int c) {
            return view->ToWidget(ToQRect(view->layout.cellRects[side][c])).center();
        };
        QTest::mouseClick(view, Qt::LeftButton, {}, centre(kInputSide, 3));
        QTest::mouseClick(view, Qt::LeftButton, {}, centre(kOutputSide, 16));
        QCOMPARE(dialog->session.commandQueue, CommandQueue{Map({{3, 16}}).toStdString()});
        const QPoint at = centre(kOutputSide, 4);
        QHelpEvent hover(QEvent::ToolTip, at, view->mapToGlobal(at));
        QCoreApplication::sendEvent(view, &hover);
        QVERIFY(QToolTip::text().startsWith("Output 04 OutputChannel04\n"));

        // Each button has a tooltip, focus shows on every control and Tab
        // reaches each once (as in the dialogs); captions, the typed route
        // and the panel lines fit their boxes; F1 lists the shortcuts.
        dialog->session.answering = false;  // the longest Connection Info
        dialog->session.lastAnswerTick = 0;
        dialog->session.tick = 120 * kTicksPerSecond;
        dialog->RefreshStatusPanels();
        CheckTipsFocusAndTabs(dialog.get());

        dialog->takeButton->setText(QStringLiteral("Take (16)"));
        for (const ImageButton* b : dialog->findChildren<ImageButton*>())
            QVERIFY2(
                b->isHidden() || QFontMetricsF(b->font()).horizontalAdvance(b->text()) <=
                                     (b->width() + 1) / b->scale - 4,  // edges are whole pixels
                qPrintable(b->text()));
        QTest::keyClicks(dialog->logList, "16 > 1688888");
        const QLabel* entry = dialog->routeEntryLabel;
        QVERIFY(entry->text().startsWith("16 > 16"));
        QVERIFY(entry->fontMetrics().horizontalAdvance(entry->text()) <=
                entry->contentsRect().width());
        for (const ColorLabel* panel : dialog->findChildren<ColorLabel*>()) {
            QStringList lines = panel->text().split('\n');
            while (lines.size() > 1 && lines.last().trimmed().isEmpty())
                lines.removeLast();
            // In the label's own units, as it draws them.
            const qreal height = panel->height() / panel->scale,
                        width = panel->width() / panel->scale;
            QVERIFY2(panel->textOffsetY + 1 + lines.size() * kLinePitch <= height ||
                         panel->alignment() & Qt::AlignVCenter,
                     qPrintable(panel->text()));
            for (const QString& line : lines)
                QVERIFY2(QFontMetricsF(panel->labelFont).horizontalAdvance(line) <=
                             width - panel->textOffsetX - 2,
                         qPrintable(line));
        }

        QStringList shown;
        Answer(dialog.get(), shown);
        QTest::keyClick(dialog->logList, Qt::Key_F1);
        QVERIFY(shown.value(0).contains("<b>Ctrl+D</b>") && shown.value(0).contains("<b>F1</b>"));

        // A size the user chose is saved on closing, beside what config.ini
        // held, and the next window opens at it.
        const QSize chosen = size + QSize(40, 10);
        dialog->resize(chosen);
        dialog->done(QDialog::Accepted);
        dialog.reset();
        const QStringList lines = FileLines(QStringLiteral("config.ini"));
        QVERIFY(lines.contains(QStringLiteral("CommType=UDP")));
        QCOMPARE(
            lines.filter(QStringLiteral("Size=")),
            QStringList(QStringLiteral("Size=%1x%2").arg(chosen.width()).arg(chosen.height())));
        MainDialog again;
        QCOMPARE(again.size(), OpeningSize(QSize(1920, 1080), chosen));
        // Never a config.ini of its own: one would skip the first-run question.
        QVERIFY(!SaveWindowSize(again.config, "absent.ini") && !QFile::exists("absent.ini"));
    }

    // salvos.ini shared with other programs: a damaged file keeps what reads
    // well and is marked until a save; a change on disk is seen; a protect
    // toggle keeps what others saved and deleted. An output a Videohub client
    // locked is named as such and forced open only when the operator says so.
    void salvoFileAndClientLocks() {
        const std::string good = "=01,02,03,04,05,06,07,08,09,10,11,12,13,14,15,16\n";
        WriteFile("salvos.ini", QByteArray::fromStdString("[PROTECT]\nOutputs=5\n[SALVO]\nA" +
                                                          good + "broken\n"));
        MainDialog dialog;
        QStringList asked, shown;
        bool answer = false;
        dialog.askQuestion = [&](const QString& text) {
            asked << text;
            return answer;
        };
        dialog.messageBox = [&](const QString& text) { shown << text; };
        QVERIFY(dialog.session.routing.Protected(5) && dialog.salvoList->count() == 1);
        QVERIFY(dialog.salvoList->toolTip().contains("damaged (line 5 not understood)"));
        QVERIFY(dialog.logList->item(0)->text().contains("kept as ./salvos.ini.bad"));

        // The window's own save mends the file and clears the mark.
        dialog.ToggleProtect(7);
        QVERIFY(!dialog.salvoList->toolTip().contains("damaged") && shown.isEmpty());
        // Another program's change is seen at the next tick, protect included.
        WriteFile("salvos.ini",
                  QByteArray::fromStdString("[PROTECT]\nOutputs=7\n[SALVO]\nB" + good));
        QTRY_COMPARE(dialog.salvoList->itemData(0).toString(), QStringLiteral("B"));
        QVERIFY(!dialog.session.routing.Protected(5) && dialog.session.routing.Protected(7));
        // What the window's saves keep of others' is the salvo book's (tests/control).

        ConnectPolled(dialog.session, nullptr, kNoRoutes);  // routes go out as asked
        RoutingMap& routing = dialog.session.routing;
        routing.lockOwner[3] = routing.lockOwner[4] = routing.AddClient("Videohub");
        dialog.ToggleProtect(3);
        dialog.OnViewNotify(kOutputCell, 4);
        QCOMPARE(asked, (QStringList{"Output 03 is locked by Videohub client 2. Force it open?",
                                     "Output 04 is locked by Videohub client 2. Force it open?"}));
        QCOMPARE(Notice(dialog), "Output 03 is locked by Videohub client 2. (+1 more)");
        QVERIFY(routing.lockOwner[3] == kFirstClient && dialog.session.commandQueue.empty());
        answer = true;
        dialog.matrixView->selectedInput = 9;
        dialog.ToggleProtect(3);
        dialog.OnViewNotify(kOutputCell, 4);
        QVERIFY(routing.Protected(3) && routing.lockOwner[4] == 0);
        QCOMPARE(QString::fromStdString(dialog.session.commandQueue.back()), Map({{9, 4}}));
    }

    // A config.ini that cannot be read: said at once, and nothing connects
    // until it can be read.
    void unreadableConfigConnectsNowhere() {
        QVERIFY(QFile::remove("config.ini") && QDir().mkdir("config.ini"));
        QStringList shown;
        MainDialog dialog;
        dialog.messageBox = [&](const QString& text) { shown << text; };
        QTRY_COMPARE(shown.size(), 1);
        dialog.Connect();
        QCOMPARE(dialog.session.connectionStatus, int(kDisconnected));
        QCOMPARE(shown.size(), 2);
        QVERIFY(shown[1].startsWith("./config.ini cannot be read") &&
                dialog.connectButton->isEnabled());
        QVERIFY(QDir().rmdir("config.ini"));
        WriteFile("config.ini", "[SETCOMMCONFIG]\nIpAddress=127.0.0.1\nUDPPort=" +
                                    QByteArray::number(router.localPort()));
        dialog.Connect();
        QCOMPARE(dialog.session.connectionStatus, int(kConnecting));
        QCOMPARE(dialog.config.ipAddress, std::string("127.0.0.1"));
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
    // Failed" is shown, "Disconnect" stops the retries and "Connect" tries at once.
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
        QVERIFY(dialog.connectButton->isEnabled() && dialog.disconnectButton->isEnabled());
        dialog.Disconnect();
        router.Stop();
    }

    // "Connect" in the demo, which serves on 127.0.0.1 from a scratch folder
    // whose config.ini points at it: the start-up poll fills the model and the
    // panels; a route the router's front panel made a tenth of a second
    // before the operator's click is kept on the router and shown; a
    // Videohub panel routes through the window and is counted; a client's
    // lock is named when the operator would force it; the folder goes at the
    // end.
    void connectToTheDemo() {
        const QString started = QDir::currentPath();
        QString scratch;
        {
            DemoRouter demo;
            QString error;
            QVERIFY2(demo.Start(&error), qPrintable(error));
            scratch = QDir::currentPath();
            QVERIFY(WriteProfileString("VIDEOHUB", "Listen", "127.0.0.1:0", "config.ini") &&
                    WriteProfileString("SWP08", "Listen", "127.0.0.1:0", "config.ini"));
            MainDialog dialog;
            dialog.messageBox = [](const QString& text) { QFAIL(qPrintable(text)); };
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QTest::mouseClick(dialog.connectButton, Qt::LeftButton);
            RouterSession& session = dialog.session;
            QTRY_VERIFY_WITH_TIMEOUT(session.PollDone() && session.state.outputPlugged[1] == 1,
                                     20000);
            QVERIFY(dialog.connectionPanel->text().startsWith("   Status : Connected\n"));
            QVERIFY(dialog.networkPanel->text().contains(
                QString::fromStdString(demo.sim->Router().mac)));

            sim::SimRouter front = demo.sim->Router();
            front.route[2] = 5;
            demo.sim->SetRouter(front);
            QTest::qWait(100);
            const auto& cells = dialog.matrixView->layout.cellRects;
            for (const QRect cell : {ToQRect(cells[kInputSide][9]), ToQRect(cells[kOutputSide][7])})
                QTest::mouseClick(dialog.matrixView, Qt::LeftButton, {}, cell.center());
            QTRY_COMPARE_WITH_TIMEOUT(demo.sim->Router().route[7], 9, 10000);
            QCOMPARE(demo.sim->Router().route[2], 5);
            QTRY_COMPARE_WITH_TIMEOUT(session.state.routedInput[2], 5, 10000);

            QTcpSocket panel;  // a Videohub panel
            panel.connectToHost(QHostAddress::LocalHost, quint16(dialog.videohub->listener.Port()));
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
            // A Videohub lock and an SW-P-08 protect are named with the
            // client's address and stay when the operator says no.
            panel.write("VIDEO OUTPUT LOCKS:\n5 O\n\n");
            QTcpSocket controller;
            controller.connectToHost(QHostAddress::LocalHost,
                                     quint16(dialog.swp08->listener.Port()));
            const std::string protect = Swp08Frame(std::string{swp08::kProtectConnect, 0, 0, 6, 3});
            QVERIFY(controller.waitForConnected(10000));
            controller.write(protect.data(), qint64(protect.size()));
            QStringList asked;
            dialog.askQuestion = [&](const QString& text) {
                asked << text;
                return false;
            };
            for (const auto& [output, client] : {std::pair{6, "Videohub"}, {7, "SW-P-08"}}) {
                QTRY_VERIFY_WITH_TIMEOUT(session.routing.lockOwner[output] >= kFirstClient, 10000);
                dialog.ToggleProtect(output);
                QVERIFY2(asked.last().contains(QRegularExpression(
                             QStringLiteral(
                                 R"(^Output %1 is locked by %2 client \d+ \(127\.0\.0\.1:\d+\))")
                                 .arg(output, 2, 10, QChar('0'))
                                 .arg(client))),
                         qPrintable(asked.join('|')));
            }
            QVERIFY(dialog.networkPanel->text().contains("   SW-P-08 : 1 client\n"));
            panel.close();
            QTRY_VERIFY_WITH_TIMEOUT(
                dialog.networkPanel->text().contains("   Videohub : 0 clients\n"), 10000);
        }
        QCOMPARE(QDir::currentPath(), started);
        QVERIFY(!QFile::exists(scratch));
    }

    // corvane --demo ended by SIGTERM or SIGINT removes its scratch folder.
    void demoEndedBySignal_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void demoEndedBySignal() {
        QFETCH(int, signal);
        QTemporaryDir temp;
        QProcess demo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", temp.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        demo.setProcessEnvironment(env);
        demo.start(CORVANE_PATH, {"--demo"});
        QVERIFY(demo.waitForStarted());
        const QDir folders(temp.path(), "Corvane-*");
        auto scratch = [&] { return folders.entryList(QDir::Dirs).size(); };
        QTRY_VERIFY_WITH_TIMEOUT(
            scratch() == 1 &&
                QFile::exists(folders.filePath(folders.entryList(QDir::Dirs)[0] + "/config.ini")),
            10000);
        kill(pid_t(demo.processId()), signal);
        QVERIFY(demo.waitForFinished(10000));
        QCOMPARE(demo.exitCode(), 128 + signal);
        QCOMPARE(scratch(), 0);
    }

    // The demo's router changes by itself unless "--no-churn" says otherwise.
    void demoChurn() {
        StartOptions options;
        QVERIFY(ParseStartOptions({"corvane", "--demo"}, options) && options.churn);
        QVERIFY(ParseStartOptions({"corvane", "--demo", "--no-churn"}, options) && !options.churn);
        DemoRouter demo;
        demo.churnMs = 10;
        QString error;
        QVERIFY2(demo.Start(&error), qPrintable(error));
        auto panel = [](sim::SimRouter router) { return sim::PanelLine(router, "show"); };
        QTRY_VERIFY_WITH_TIMEOUT(panel(demo.sim->Router()) != panel(sim::DefaultRouter()), 10000);
    }

    // Only a start in the home folder (written any way) with no config.ini
    // moves to the per-user folder, and only under an absolute data home.
    // Started with no config.ini: nothing aims at the factory address until
    // the operator chose; Enter sets the link up, Esc quits.
    void firstRun() {
        for (const auto& [key, chosen] : {std::pair{int(Qt::Key_Return), FirstRun::kSetConfig},
                                          {int(Qt::Key_Escape), FirstRun::kQuit},
                                          {0, FirstRun::kDemo}}) {  // 0: click "Demo"
            QObject owner;
            QString text;
            WhenShown<QMessageBox>(&owner, [&](QMessageBox* box) {
                text = box->text();
                if (key)
                    QTest::keyClick(box, Qt::Key(key));
                for (QAbstractButton* b : box->buttons())
                    if (!key && b->text() == QStringLiteral("Demo"))
                        b->click();
            });
            QCOMPARE(AskFirstRun(), chosen);
            QVERIFY(text.contains(QStringLiteral("factory address (192.168.0.200")));
        }
    }

    void perUserFolder() {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath("home/sub/..") && QDir(root.path()).mkpath("other"));
        const QString home = root.filePath("home"), homeAgain = root.filePath("home/sub/.."),
                      other = root.filePath("other"), data = root.filePath("share");
        QCOMPARE(PerUserFolder(homeAgain, home, data, false), data + "/corvane");
        for (const auto& [cwd, dataHome, configHere] : {std::tuple{homeAgain, data, true},
                                                        {other, data, false},
                                                        {homeAgain, QStringLiteral("share"), false},
                                                        {homeAgain, QString(), false}})
            QVERIFY2(PerUserFolder(cwd, home, dataHome, configHere).isEmpty(), qPrintable(cwd));
    }
};

QTEST_MAIN(WindowsTest)
#include "WindowsTest.moc"
