#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "RouterSim.h"
#include "app/StartUp.h"
#include "protocol/Commands.h"
#include "settings/AppConfig.h"
#include "ui/MainDialog.h"

using namespace corvane;

class StartUpTest : public QObject {
    Q_OBJECT

private slots:
    // Only a start in the home folder with no config.ini moves to the
    // per-user folder; a folder with its own config.ini runs where it is.
    void perUserFolder_data() {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("configHere");
        QTest::addColumn<QString>("dataHome");
        QTest::addColumn<bool>("moves");
        QTest::newRow("desktop start") << "home" << false << "data" << true;
        QTest::newRow("home with config.ini") << "home" << true << "data" << false;
        QTest::newRow("another folder") << "other" << false << "data" << false;
        QTest::newRow("relative data home") << "home" << false << "rel" << false;
        QTest::newRow("no data home") << "home" << false << "" << false;
    }
    void perUserFolder() {
        QFETCH(QString, where);
        QFETCH(bool, configHere);
        QFETCH(QString, dataHome);
        QFETCH(bool, moves);
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("home/sub/..")));
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("other")));
        const QString home = root.filePath(QStringLiteral("home"));
        // The same folder written another way still counts as home.
        const QString cwd =
            where == "home" ? root.filePath(QStringLiteral("home/sub/..")) : root.filePath(where);
        const QString data = dataHome == "data"  ? root.filePath(QStringLiteral("share"))
                             : dataHome == "rel" ? QStringLiteral("share")
                                                 : QString();
        const QString folder = PerUserFolder(cwd, home, data, configHere);
        QCOMPARE(folder, moves ? root.filePath(QStringLiteral("share/corvane")) : QString());
    }

    // The demo serves on 127.0.0.1 from a scratch folder whose config.ini
    // points at it; the window connects and polls; everything goes at the end.
    void demoConnects() {
        const QString started = QDir::currentPath();
        QString scratch;
        {
            DemoRouter demo;
            QString error;
            QVERIFY2(demo.Start(&error), qPrintable(error));
            scratch = QDir::currentPath();
            QCOMPARE(scratch, QDir(demo.folder.path()).canonicalPath());
            AppConfig config;
            RouterState state;
            LoadConfig(config, state);
            QCOMPARE(config.ipAddress, std::string("127.0.0.1"));
            QCOMPARE(config.udpPort, demo.sim->port);
            QVERIFY(!config.useSerial);

            MainDialog window;
            window.Connect();
            QTRY_VERIFY_WITH_TIMEOUT(window.session.pollIndex >= unsigned(kStartupQueryCount) &&
                                         window.session.commandQueue.empty(),
                                     20000);
            QCOMPARE(window.session.connectionStatus, int(kConnected));
            QVERIFY(demo.sim->CommandCount() >= std::size_t(kStartupQueryCount));
        }
        QCOMPARE(QDir::currentPath(), started);
        QVERIFY(!QFile::exists(scratch));
    }
};

QTEST_MAIN(StartUpTest)
#include "StartUpTest.moc"
