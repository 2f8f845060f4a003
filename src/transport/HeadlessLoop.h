#pragma once

#include <chrono>
#include <functional>

#include "transport/Connection.h"

namespace corvane {

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

private:
    struct Impl;
    Impl* impl_;
};

}  // namespace corvane
