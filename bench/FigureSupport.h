#pragma once

// Helpers shared by the figure programs: wall-clock milliseconds, command-line
// numbers, CPU time and memory of this process, the printed spread of a
// series, the simulated router on loopback and a scratch working directory.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numeric>
#include <string>
#include <system_error>
#include <vector>

#include "RouterSim.h"
#include "protocol/RouterState.h"
#include "transport/UdpLink.h"

namespace corvane::bench {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

inline double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The number after name on the command line, or fallback.
inline int Argument(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::atoi(argv[i + 1]);
    }
    return fallback;
}

// What both figure programs take on the command line, with their defaults.
struct FigureOptions {
    FigureOptions(int argc, char** argv)
        : runs(std::max(1, Argument(argc, argv, "--runs", 5))),
          clicks(std::max(1, Argument(argc, argv, "--clicks", 20))),
          idleSeconds(std::max(1, Argument(argc, argv, "--idle-seconds", 10))) {}
    int runs;
    int clicks;
    int idleSeconds;
};

// User and system time of the calling thread only: the simulator's thread
// is not the program's.
inline double ThreadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A kilobyte line of /proc/self/status such as "VmRSS:"; -1 if missing.
inline long StatusKilobytes(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(in, line)) {
        if (line.compare(0, length, field) == 0)
            return std::atol(line.c_str() + length + 1);
    }
    return -1;
}

// The change number `change` a front panel makes: another input on one
// output (never none, which a bridge shows as its park source), the outputs
// in turn. Returns the output; the router holds the change.
inline int FrontPanelChange(sim::SimRouter& router, int change) {
    const int output = 1 + change % kChannelCount;
    const int was = std::max(router.route[output], 1);
    router.route[output] = (was + change % (kChannelCount - 1)) % kChannelCount + 1;
    return output;
}

inline void PrintSpread(const char* what, std::vector<double> values, const char* unit) {
    std::sort(values.begin(), values.end());
    const double mean = std::accumulate(values.begin(), values.end(), 0.0) / values.size();
    const std::size_t p95 = std::min(values.size() - 1, values.size() * 95 / 100);
    std::printf("%-34s mean %8.2f %s  min %8.2f  median %8.2f  p95 %8.2f  max %8.2f  (n=%zu)\n",
                what, mean, unit, values.front(), values[values.size() / 2], values[p95],
                values.back(), values.size());
}

// The simulator on 127.0.0.1, on a port whose +10 neighbour (where the
// program listens for answers) is free as well.
inline std::unique_ptr<sim::RouterSim> StartSimulator(int delayMs = 0) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        sim::SimOptions options;
        options.bindAddress = "127.0.0.1";
        options.delayMs = delayMs;
        auto simulator = std::make_unique<sim::RouterSim>(options);
        std::string error;
        if (!simulator->Start(&error)) {
            std::fprintf(stderr, "simulator: %s\n", error.c_str());
            return nullptr;
        }
        UdpLink probe;
        if (simulator->port + 10 <= 65535 && probe.Create(simulator->port + 10) == LinkResult::kOk)
            return simulator;
    }
    return nullptr;
}

// A fresh directory under the temporary one, made the working directory for
// the lifetime of this object and removed with everything in it afterwards.
struct ScratchDirectory {
    explicit ScratchDirectory(const char* name)
        : path(std::filesystem::temp_directory_path() / name) {
        std::filesystem::create_directories(path);
        std::filesystem::current_path(path);
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
        std::filesystem::remove_all(path, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path path;
};

}  // namespace corvane::bench
