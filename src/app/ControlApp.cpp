#include "app/ControlApp.h"

#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "protocol/Commands.h"
#include "ui/Fonts.h"
#include "ui/MainDialog.h"

#ifdef _WIN32
#include <winsock2.h>
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

}  // namespace

bool ParseStartOptions(const QStringList& arguments, StartOptions& options) {
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--connect")) {
            options.connect = true;
        } else if (arg == QLatin1String("--screenshot") && i + 1 < arguments.size()) {
            options.screenshotPath = arguments[++i];
        } else {
            std::fprintf(stderr, "corvane: unknown option %s\n", qPrintable(arg));
            std::fprintf(stderr, "usage: corvane [--connect] [--screenshot FILE]\n");
            return false;
        }
    }
    return true;
}

ControlApp::ControlApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Corvane"));
    setApplicationVersion(QStringLiteral("1.0.1.2"));
}

int ControlApp::InitInstance() {
    StartOptions options;
    if (!ParseStartOptions(arguments(), options))
        return 2;
    if (!InitSockets()) {
        QMessageBox::warning(nullptr, applicationName(),
                             QStringLiteral("Windows sockets initialization failed."));
        return 1;
    }
    LoadTahoma();

    auto window = std::make_unique<MainDialog>();
    window->show();
    if (options.connect)
        QTimer::singleShot(0, window.get(), [w = window.get()] { w->Connect(); });
    if (!options.screenshotPath.isEmpty())
        ScheduleScreenshot(*window, options);
    const int result = window->exec();
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
