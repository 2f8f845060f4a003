#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <string>

#include "RouterSim.h"
#include "ui/ColorLabel.h"
#include "ui/MainDialog.h"
#include "ui/VideohubListener.h"

using namespace corvane;

namespace {

// A Videohub panel on loopback, read without blocking the window's events.
struct Panel {
    explicit Panel(int port) : fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<unsigned short>(port));
        ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    }
    ~Panel() { Close(); }
    void Close() {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
    bool Has(const char* part) {
        char buffer[65536];
        const ssize_t n = fd >= 0 ? recv(fd, buffer, sizeof buffer, 0) : -1;
        if (n > 0)
            text.append(buffer, static_cast<std::size_t>(n));
        return text.find(part) != std::string::npos;
    }
    void Send(const std::string& bytes) const { send(fd, bytes.data(), bytes.size(), 0); }
    int fd;
    std::string text;
};

}  // namespace

class VideohubWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString previousDir = QDir::currentPath();

private slots:
    void initTestCase() {
        QVERIFY(QDir::setCurrent(dir.path()));
        QFile ini(QStringLiteral("config.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(
            "[SETCOMMCONFIG]\r\nCommType=UDP\r\nIpAddress=127.0.0.1\r\nUDPPort=47000\r\n"
            "[VIDEOHUB]\r\nListen=127.0.0.1:0\r\n");
    }
    void cleanupTestCase() { QDir::setCurrent(previousDir); }

    // A panel routes through the window, sees its protect and is counted.
    void servesWhileTheWindowRuns() {
        sim::RouterSim router(sim::SimOptions{});
        std::string error;
        QVERIFY2(router.Start(&error), error.c_str());
        MainDialog dialog;
        dialog.messageBox = [](const QString& text) { QFAIL(qPrintable(text)); };
        QVERIFY(dialog.videohub);
        QVERIFY(dialog.networkPanel->text().contains("   Videohub : 0 clients\n"));
        dialog.config.udpPort = router.port;
        dialog.Connect();

        Panel panel(dialog.videohub->Port());
        QTRY_VERIFY_WITH_TIMEOUT(panel.Has("END PRELUDE:\n\n"), 10000);
        QVERIFY(dialog.networkPanel->text().contains("   Videohub : 1 client\n"));
        QTRY_VERIFY_WITH_TIMEOUT(dialog.session.linkAnswers > 0, 10000);

        panel.text.clear();
        panel.Send("VIDEO OUTPUT ROUTING:\n1 2\n\n");
        QTRY_VERIFY_WITH_TIMEOUT(panel.Has("ACK\n\nVIDEO OUTPUT ROUTING:\n1 2\n\n"), 10000);
        QCOMPARE(router.Router().route[2], 3);

        dialog.session.SetProtected(5, true);
        dialog.SyncVideohub();
        QTRY_VERIFY_WITH_TIMEOUT(panel.Has("VIDEO OUTPUT LOCKS:\n4 L\n\n"), 10000);

        panel.Close();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.networkPanel->text().contains("   Videohub : 0 clients\n"),
                                 10000);
        dialog.Disconnect();
        router.Stop();
    }
};

QTEST_MAIN(VideohubWindowTest)
#include "VideohubWindowTest.moc"
