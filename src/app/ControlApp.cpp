#include "app/ControlApp.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/StartUp.h"
#include "base/Version.h"
#include "protocol/Commands.h"
#include "ui/Fonts.h"
#include "ui/MainDialog.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>
#endif

namespace corvane {

namespace {

bool InitSockets() {
#ifdef _WIN32
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
#else
    return true;
#endif
}

#ifndef _WIN32
// SIGINT and SIGTERM end a demo the normal way, so its scratch folder goes.
// The handler only writes a byte; the event loop reads it.
int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t quitSignal = 0;

void OnQuitSignal(int signal) {
    quitSignal = signal;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
}

void QuitOnSignals(QObject* owner) {
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, owner);
    // exit() ends every running event loop, a message box's included.
    QObject::connect(notifier, &QSocketNotifier::activated, owner,
                     [] { QCoreApplication::exit(128 + quitSignal); });
    struct sigaction quit {};
    quit.sa_handler = OnQuitSignal;
    sigemptyset(&quit.sa_mask);
    sigaction(SIGINT, &quit, nullptr);
    sigaction(SIGTERM, &quit, nullptr);
}
#endif

}  // namespace

bool ParseStartOptions(const QStringList& arguments, StartOptions& options) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Remote control for a modular 16 x 16 video router (RS232 or UDP)."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption connectOption(
        QStringLiteral("connect"), QStringLiteral("Press \"Connect\" once the window is up."));
    const QCommandLineOption demoOption(
        QStringLiteral("demo"),
        QStringLiteral("Start a built-in router simulator on 127.0.0.1 in a scratch folder, "
                       "point the link at it and connect."));
    const QCommandLineOption noChurnOption(
        QStringLiteral("no-churn"),
        QStringLiteral("With --demo: keep the simulated router still (by default a route, "
                       "signal or plug changes every 20 s, as if someone else used it)."));
    const QCommandLineOption screenshotOption(
        QStringLiteral("screenshot"),
        QStringLiteral("Save the window to <file> once the start-up poll is answered (or after "
                       "15 s), then quit."),
        QStringLiteral("file"));
    parser.addOptions({connectOption, demoOption, noChurnOption, screenshotOption});

    const auto usage = [&parser](const QString& problem) {
        std::fprintf(stderr, "corvane: %s\n%s", qPrintable(problem), qPrintable(parser.helpText()));
        return false;
    };
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("unexpected argument ") + parser.positionalArguments().first());
    options.connect = parser.isSet(connectOption);
    options.demo = parser.isSet(demoOption);
    options.churn = !parser.isSet(noChurnOption);
    // Absolute now: the run may change its working directory before it saves.
    if (parser.isSet(screenshotOption))
        options.screenshotPath = QFileInfo(parser.value(screenshotOption)).absoluteFilePath();
    return true;
}

void NameApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("Corvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
}

ControlApp::ControlApp(int& argc, char** argv) : QApplication(argc, argv) {
    NameApplication();
    setDesktopFileName(QStringLiteral("io.github.corvane.Corvane"));
}

int ControlApp::InitInstance(StartOptions options) {
    if (!InitSockets()) {
        QMessageBox::warning(nullptr, applicationName(),
                             QStringLiteral("Windows sockets initialization failed."));
        return 1;
    }
    LoadTahoma();

    bool setConfigFirst = false;
    if (!options.demo) {
        EnterPerUserFolder();
        // Nothing aims at the factory address before the operator has chosen.
        if (options.screenshotPath.isEmpty() && !QFile::exists(QString::fromLatin1(kConfigPath))) {
            switch (AskFirstRun()) {
                case FirstRun::kQuit:
                    return 0;
                case FirstRun::kDemo:
                    options.demo = true;
                    break;
                case FirstRun::kSetConfig:
                    setConfigFirst = true;
                    break;
            }
        }
    }

    // Declared before the window, so the simulator outlives the link to it.
    DemoRouter demo;
    if (options.demo) {
#ifndef _WIN32
        QuitOnSignals(this);  // before the folder exists
#endif
        demo.churnMs = options.churn ? kDemoChurnMs : 0;
        QString error;
        if (!demo.Start(&error)) {
            std::fprintf(stderr, "corvane: %s\n", qPrintable(error));
            return 1;
        }
        options.connect = true;
    }

    auto window = std::make_unique<MainDialog>();
    if (options.demo)
        window->setWindowTitle(window->windowTitle() + QStringLiteral(" (demo)"));
    window->show();
    if (options.connect)
        QTimer::singleShot(0, window.get(), [w = window.get()] { w->Connect(); });
    if (setConfigFirst)
        QTimer::singleShot(0, window.get(), [w = window.get()] { w->SetConfig(); });
    if (!options.screenshotPath.isEmpty())
        ScheduleScreenshot(*window, options);
    const int result = window->exec();
    window.reset();
#ifndef _WIN32
    if (quitSignal != 0)
        return 128 + quitSignal;  // as a shell reports a signal; the folder goes on return
#endif
    if (!options.screenshotPath.isEmpty())
        return result == QDialog::Accepted ? 0 : 1;
    return 0;
}

void ControlApp::ScheduleScreenshot(MainDialog& window, const StartOptions& options) {
    // Waits for the start-up poll to be answered (or the time limit), then
    // saves the window and ends the run.
    auto* poll = new QTimer(&window);
    auto waited = std::make_shared<int>(0);
    const QString path = options.screenshotPath;
    const int limit = options.screenshotTimeoutMs;
    connect(poll, &QTimer::timeout, &window, [&window, poll, waited, path, limit] {
        *waited += poll->interval();
        const bool settled = window.session.connectionStatus == kConnected &&
                             window.session.pollIndex >= unsigned(kStartupQueryCount) &&
                             window.session.commandQueue.empty();
        if (!settled && *waited < limit)
            return;
        poll->stop();
        QTimer::singleShot(500, &window, [&window, path] {
            const bool saved = window.grab().save(path);
            std::fprintf(stderr, "corvane: screenshot %s %s\n", qPrintable(path),
                         saved ? "saved" : "FAILED");
            window.done(saved ? QDialog::Accepted : QDialog::Rejected);
        });
    });
    poll->start(100);
}

}  // namespace corvane
