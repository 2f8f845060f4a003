#pragma once

#include <QApplication>
#include <QString>

namespace corvane {

class MainDialog;

// Options that make a run scriptable (demo and screenshot).
struct StartOptions {
    bool connect = false;    // press "Connect" once the window is up
    QString screenshotPath;  // save the window there after the start-up poll, then quit
    int screenshotTimeoutMs = 15000;
};

// Returns false (with a message on stderr) for an option it does not know.
bool ParseStartOptions(const QStringList& arguments, StartOptions& options);

// The application: prepares sockets and fonts, then runs the main window
// until it is closed.
class ControlApp : public QApplication {
    Q_OBJECT
public:
    ControlApp(int& argc, char** argv);
    int InitInstance();

private:
    void ScheduleScreenshot(MainDialog& window, const StartOptions& options);
};

}  // namespace corvane
