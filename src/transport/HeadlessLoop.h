#pragma once

#include <poll.h>

#include <chrono>
#include <functional>
#include <vector>

#include "protocol/Pacing.h"
#include "transport/Connection.h"

namespace corvane {

// The loop's 50 ms timer: due once per period, and after a stall it carries
// on from then rather than firing the missed ticks in a burst.
struct TickTimer {
    static constexpr std::chrono::milliseconds kPeriod{kTickMs};
    std::chrono::steady_clock::time_point next;
    explicit TickTimer(std::chrono::steady_clock::time_point start) : next(start + kPeriod) {}
    // True when a tick is due at now (and moves on to the next).
    bool Due(std::chrono::steady_clock::time_point now);
};

// Drives a Connection without a GUI: the 50 ms tick, UDP readability and the
// serial watcher's wake-ups, all on the calling thread. Used by the
// command-line client, the tests and the benchmarks.
class HeadlessLoop {
public:
    // Takes over connection.serialLink.notify; create the loop before the
    // serial port is opened.
    explicit HeadlessLoop(Connection& connection);
    ~HeadlessLoop();

    // Runs until done() is true (checked after every event) or the timeout
    // passes. True when done() became true. The 50 ms tick keeps its phase
    // from one call to the next.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

    Connection& connection;
    long ticks = 0;  // OnSendTimer calls so far

    // More descriptors to wait on (the Videohub sockets): added before every
    // wait, handed back with what poll saw once the link has been served.
    std::function<void(std::vector<pollfd>&)> addWatches;
    std::function<void(const std::vector<pollfd>&)> watchesReady;

private:
    struct Impl;
    Impl* impl_;
};

}  // namespace corvane
