#pragma once

#include <QApplication>
#include <QString>

namespace corvane {

class MainDialog;

// Options that make a run scriptable (demo and screenshot).
struct StartOptions {
    bool connect = false;    // press "Connect" once the window is up
    bool demo = false;       // run against the built-in simulator, in a scratch folder
    bool churn = true;       // the demo's router changes now and then by itself
    QString screenshotPath;  // save the window there after the start-up poll, then quit
    int screenshotTimeoutMs = 15000;
};

// Returns false (with a message on stderr) for an option it does not know.
// --help and --version print their text and end the process.
bool ParseStartOptions(const QStringList& arguments, StartOptions& options);
// The program's name and version for Qt (--version, the about box).
void NameApplication();

// The application: prepares sockets, fonts and the working directory, then
// runs the main window until it is closed.
class ControlApp : public QApplication {
    Q_OBJECT
public:
    ControlApp(int& argc, char** argv);
    int InitInstance(StartOptions options);

private:
    void ScheduleScreenshot(MainDialog& window, const StartOptions& options);
};

}  // namespace corvane
