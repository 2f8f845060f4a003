#include "app/StartUp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <cstdio>
#include <random>

#include "settings/AppConfig.h"

#ifdef CORVANE_DEMO
#include "RouterSim.h"
#include "transport/UdpLink.h"
#endif

namespace corvane {

QString PerUserFolder(const QString& workingDir, const QString& homeDir, const QString& dataHome,
                      bool configHere) {
    if (configHere || dataHome.isEmpty() || !QDir::isAbsolutePath(dataHome))
        return QString();
    // canonicalFilePath is empty for a path that does not exist.
    const QString here = QFileInfo(workingDir).canonicalFilePath();
    if (here.isEmpty() || here != QFileInfo(homeDir).canonicalFilePath())
        return QString();
    return QDir::cleanPath(dataHome + QStringLiteral("/corvane"));
}

FirstRun AskFirstRun() {
    const AppConfig factory;
    QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(),
                    QStringLiteral("There is no config.ini here yet, so Corvane would connect to "
                                   "the router's factory address (%1 over UDP, port %2).\n\n"
                                   "Set the link first, or try Corvane on its built-in simulated "
                                   "router?")
                        .arg(QString::fromStdString(factory.ipAddress))
                        .arg(factory.udpPort));
    QPushButton* setConfig = box.addButton(QStringLiteral("Set Config…"), QMessageBox::AcceptRole);
#ifdef CORVANE_DEMO
    QPushButton* demo = box.addButton(QStringLiteral("Demo"), QMessageBox::ActionRole);
#else
    QPushButton* demo = nullptr;
#endif
    QPushButton* quit = box.addButton(QStringLiteral("Quit"), QMessageBox::RejectRole);
    box.setDefaultButton(setConfig);
    box.setEscapeButton(quit);
    box.exec();
    if (box.clickedButton() == setConfig)
        return FirstRun::kSetConfig;
    return demo && box.clickedButton() == demo ? FirstRun::kDemo : FirstRun::kQuit;
}

void EnterPerUserFolder() {
    const QString folder =
        PerUserFolder(QDir::currentPath(), QDir::homePath(),
                      QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
                      QFile::exists(QString::fromLatin1(kConfigPath)));
    if (folder.isEmpty())
        return;
    if (!QDir().mkpath(folder) || !QDir::setCurrent(folder))
        std::fprintf(stderr, "corvane: cannot use %s, staying in %s\n", qPrintable(folder),
                     qPrintable(QDir::currentPath()));
}

DemoRouter::DemoRouter() = default;

DemoRouter::~DemoRouter() {
#ifdef CORVANE_DEMO
    if (sim)
        sim->Stop();
#endif
    // Leave the scratch folder before it is removed.
    if (!previousDir.isEmpty())
        QDir::setCurrent(previousDir);
}

bool DemoRouter::Start(QString* error) {
#ifdef CORVANE_DEMO
    if (!folder.isValid()) {
        *error = QStringLiteral("cannot make a scratch folder: ") + folder.errorString();
        return false;
    }
    sim::SimOptions options;
    options.bindAddress = "127.0.0.1";
    options.udpPort = 0;  // any free port
    options.churnMs = churnMs;
    options.seed = std::random_device()();
    // The program listens on the router's port + 10: a port whose neighbour is
    // taken would fail the demo's Connect, so such a port is given back.
    for (int attempt = 0; attempt < 20; ++attempt) {
        sim = std::make_unique<sim::RouterSim>(options);
        std::string why;
        if (!sim->Start(&why)) {
            *error = QStringLiteral("the router simulator did not start: ") +
                     QString::fromLocal8Bit(why.c_str());
            sim.reset();
            return false;
        }
        UdpLink probe;
        if (sim->port + 10 <= 65535 && probe.Create(sim->port + 10) == LinkResult::kOk)
            break;
        sim->Stop();
        sim.reset();
    }
    if (!sim) {
        *error = QStringLiteral("no free pair of UDP ports for the router simulator");
        return false;
    }
    AppConfig link;
    link.useSerial = false;
    link.ipAddress = "127.0.0.1";
    link.udpPort = sim->port;
    const std::string ini =
        QDir(folder.path()).filePath(QStringLiteral("config.ini")).toStdString();
    SaveLinkSettings(link, ini);
    previousDir = QDir::currentPath();
    if (!QFile::exists(QString::fromStdString(ini)) || !QDir::setCurrent(folder.path())) {
        *error = QStringLiteral("cannot prepare ") + folder.path();
        return false;
    }
    return true;
#else
    *error = QStringLiteral("this build has no router simulator");
    return false;
#endif
}

}  // namespace corvane
