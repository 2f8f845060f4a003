// The same whole-connection figures as loopback_figures, through the real
// main window (offscreen): Connect to the last start-up answer, an output
// click in the matrix view to the LINK command at the router, idle CPU share
// of the GUI thread with the 50 ms timer running and the router connected,
// and resident memory after the poll.
//
// Last, a flood: answers pushed at the window over loopback as fast as it
// takes them, with the answers per second and the tick rate meanwhile.
//
//   gui_figures [--runs N] [--clicks N] [--idle-seconds S] [--flood N]

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "FigureSupport.h"
#include "RouterSim.h"
#include "protocol/Commands.h"
#include "ui/MainDialog.h"
#include "ui/MatrixView.h"

namespace corvane::bench {
namespace {

// Runs the event loop until done() holds (looked at every millisecond) or the
// limit passes.
bool Spin(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// A bare socket plays the router and pushes "MON=NN!" answers, at most a
// window of them ahead of what the window has parsed.
void Flood(MainDialog& window, int answers, const long& ticks) {
    const int router = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(router, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(router, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(router);
        return;
    }
    const int port = ntohs(address.sin_port);
    window.config.useSerial = false;
    window.config.ipAddress = "127.0.0.1";
    window.config.udpPort = port;
    std::atomic<int> parsed{0};
    const int counting = window.session.onRefresh.Subscribe([&parsed] { ++parsed; });
    window.Connect();
    parsed = 0;  // Connect refreshes too; only answers count

    sockaddr_in peer = address;
    peer.sin_port = htons(static_cast<std::uint16_t>(port + 10));
    std::atomic<bool> stop{false};
    std::thread flooder([&] {
        constexpr int kWindow = 32 * 36;  // 32 datagrams of 36 answers
        int sent = 0;
        while (sent < answers && !stop) {
            if (sent - parsed.load() > kWindow) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            std::string datagram;
            while (sent < answers && datagram.size() + 7 <= 256) {
                char answer[16];
                std::snprintf(answer, sizeof answer, "MON=%02d!", 1 + sent++ % 16);
                datagram += answer;
            }
            sendto(router, datagram.data(), datagram.size(), 0,
                   reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
        }
    });
    const long ticksBefore = ticks;
    QElapsedTimer clock;
    clock.start();
    Spin([&] { return parsed.load() >= answers; }, 120000);
    const double seconds = clock.nsecsElapsed() / 1e9;
    stop = true;
    flooder.join();
    std::printf(
        "flood through the window              %d of %d answers in %.2f s, %.0f/s, "
        "%.1f ticks/s meanwhile\n",
        parsed.load(), answers, seconds, parsed.load() / seconds, (ticks - ticksBefore) / seconds);
    window.session.onRefresh.Unsubscribe(counting);
    window.Disconnect();
    close(router);
}

int Run(int argc, char** argv) {
    const FigureOptions options(argc, argv);
    const int floodAnswers = std::max(0, Argument(argc, argv, "--flood", 5000));

    auto simulator = StartSimulator();
    if (!simulator) {
        std::fprintf(stderr, "no simulator\n");
        return 1;
    }
    std::ofstream("config.ini") << "[SETCOMMCONFIG]\nIpAddress=127.0.0.1\nUDPPort="
                                << simulator->port << "\nCommType=UDP\n";

    MainDialog window;
    window.messageBox = [](const QString&) {};
    long ticks = 0;
    QObject::connect(&window.sendTimer, &QTimer::timeout, [&ticks] { ++ticks; });
    window.show();
    QApplication::processEvents();

    auto pollDone = [&] { return window.session.PollDone() && simulator->CommandCount() > 0; };
    std::vector<double> pollTicks;
    std::vector<double> pollMs;
    for (int run = 0; run < options.runs; ++run) {
        window.Disconnect();
        const std::size_t before = simulator->CommandCount();
        const long ticksBefore = ticks;
        QElapsedTimer clock;
        clock.start();
        window.Connect();
        if (!Spin([&] { return pollDone() && simulator->CommandCount() >= before + 41; }, 30000)) {
            std::fprintf(stderr, "start-up poll did not finish\n");
            return 1;
        }
        pollMs.push_back(clock.nsecsElapsed() / 1e6);
        pollTicks.push_back(static_cast<double>(ticks - ticksBefore));
    }
    PrintSpread("start-up poll (window)", pollTicks, "ticks");
    PrintSpread("start-up poll (window)", pollMs, "ms   ");
    std::printf("ratio start-up poll ticks = %.2f x the floor of %d ticks\n",
                std::accumulate(pollTicks.begin(), pollTicks.end(), 0.0) / pollTicks.size() /
                    kStartupQueryCount,
                kStartupQueryCount);
    const long rssAfterPoll = StatusKilobytes("VmRSS:");

    // Input cell, then output cell, with the mouse, as a user does, with the
    // refresh running; until the LINK command that carries it arrives.
    MatrixView& view = *window.matrixView;
    auto linkSetFrom = [&](std::size_t from) -> std::optional<std::size_t> {
        const auto commands = simulator->Commands();
        for (std::size_t i = from; i < commands.size(); ++i) {
            if (commands[i].rfind("LINK=", 0) == 0 && commands[i] != "LINK=?!")
                return i;
        }
        return std::nullopt;
    };
    std::vector<double> clickMs;
    for (int click = 0; click < options.clicks; ++click) {
        const int input = 1 + click % kChannelCount;
        const int output = 1 + (click * 7) % kChannelCount;
        QTest::mouseClick(&view, Qt::LeftButton, {},
                          ToQRect(view.layout.cellRects[kInputSide][input]).center());
        const std::size_t before = simulator->CommandCount();
        const auto wallStart = std::chrono::system_clock::now();
        QTest::mouseClick(&view, Qt::LeftButton, {},
                          ToQRect(view.layout.cellRects[kOutputSide][output]).center());
        if (!Spin([&] { return linkSetFrom(before).has_value(); }, 5000)) {
            std::fprintf(stderr, "click %d never arrived\n", click);
            return 1;
        }
        clickMs.push_back(std::chrono::duration<double, std::milli>(
                              simulator->Transcript()[*linkSetFrom(before)].time - wallStart)
                              .count());
        Spin([&] { return window.session.sendCountdown <= 0; }, 2000);
        QTest::qWait(7 + (click * 13) % 50);
    }
    PrintSpread("click to wire (window)", clickMs, "ms   ");

    // A change on the router's front panel until the view has painted it.
    std::vector<double> panelMs;
    for (int change = 0; change < options.clicks; ++change) {
        sim::SimRouter router = simulator->Router();
        const int output = FrontPanelChange(router, change);
        const int wanted = router.route[output];
        QElapsedTimer clock;
        clock.start();
        simulator->SetRouter(router);
        if (!Spin([&] { return window.session.state.routedInput[output] == wanted; }, 5000)) {
            std::fprintf(stderr, "front-panel change %d never seen\n", change);
            return 1;
        }
        QApplication::processEvents();  // the repaint it asked for
        panelMs.push_back(clock.nsecsElapsed() / 1e6);
        QTest::qWait(11 + (change * 37) % 300);
    }
    PrintSpread("front panel to view (window)", panelMs, "ms   ");

    const long ticksBefore = ticks;
    const double cpuBefore = ThreadCpuSeconds();
    QElapsedTimer idle;
    idle.start();
    QEventLoop loop;
    QTimer::singleShot(options.idleSeconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double wall = idle.nsecsElapsed() / 1e9;
    const double cpu = ThreadCpuSeconds() - cpuBefore;
    std::printf("idle CPU share over %.1f s (window)   %.4f %% of one core (%ld ticks, %.1f/s)\n",
                wall, 100.0 * cpu / wall, ticks - ticksBefore, (ticks - ticksBefore) / wall);
    std::printf("resident memory after the poll      %ld kB (peak %ld kB; simulator included)\n",
                rssAfterPoll, StatusKilobytes("VmHWM:"));
    window.Disconnect();
    simulator->Stop();
    if (floodAnswers > 0)
        Flood(window, floodAnswers, ticks);
    return 0;
}

}  // namespace
}  // namespace corvane::bench

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", BENCH_PLATFORM);
    // The window reads config.ini and writes its log in the working directory.
    const corvane::bench::ScratchDirectory directory("corvane-gui-figures");
    QApplication app(argc, argv);
    return corvane::bench::Run(argc, argv);
}
