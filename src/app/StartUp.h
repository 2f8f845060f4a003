#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace corvane {

namespace sim {
class RouterSim;
}

// Where a run keeps its files when it should not use the working directory:
// started with no config.ini in the home folder (as from a desktop menu), it
// uses dataHome/corvane. Empty: stay in the working directory.
QString PerUserFolder(const QString& workingDir, const QString& homeDir, const QString& dataHome,
                      bool configHere);

// Moves the working directory to the per-user folder when PerUserFolder says
// so, creating it on first use. Every relative path of the program follows.
void EnterPerUserFolder();

// Started with no config.ini, the link would aim at the router's factory
// address. The operator chooses first: "Set Config…" (the default, Enter),
// "Demo", or "Quit" (Esc). Nothing is sent whichever it is.
enum class FirstRun { kSetConfig, kDemo, kQuit };
FirstRun AskFirstRun();

// The demo's churn: one change every 20 s, gentle enough to follow.
inline constexpr int kDemoChurnMs = 20000;

// The built-in router simulator for --demo: serves on a free 127.0.0.1 port
// from its own thread, with a scratch working directory whose config.ini
// points at it. Stopped and removed on destruction.
class DemoRouter {
public:
    DemoRouter();
    ~DemoRouter();
    DemoRouter(const DemoRouter&) = delete;
    DemoRouter& operator=(const DemoRouter&) = delete;

    // False with a reason when the simulator or the folder cannot be set up.
    bool Start(QString* error);

    QTemporaryDir folder;
    QString previousDir;
    std::unique_ptr<sim::RouterSim> sim;
    // A random route, signal or plug change this often, so that the demo
    // shows a router that others use too; 0 = never. Set before Start.
    int churnMs = 0;
};

}  // namespace corvane
