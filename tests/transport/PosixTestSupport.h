#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "transport/SerialLink.h"

namespace corvane::testing {

using namespace std::chrono_literals;
// Generous bound for anything that should happen "soon"; only a broken link takes it.
inline constexpr auto kPatience = 10s;

template <typename Predicate>
bool WaitUntil(Predicate predicate, std::chrono::milliseconds limit = kPatience) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// Serial watcher threads of this process, by name, from /proc; -1 where
// there is no /proc.
inline int WatcherCount() {
    DIR* dir = opendir("/proc/self/task");
    if (!dir)
        return -1;
    int count = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string name;
        std::getline(comm, name);
        count += name == "serial-watch";
    }
    closedir(dir);
    return count;
}

// A pseudo-terminal; the test holds the master and the link opens the slave.
class Pty {
public:
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        slavePath = ptsname(master);
    }
    ~Pty() { CloseMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    void CloseMaster() {
        if (master >= 0)
            close(master);
        master = -1;
    }

    // Writes everything, waiting for room; false if the slave stops taking bytes.
    bool Send(const std::string& bytes) {
        std::size_t done = 0;
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (done < bytes.size()) {
            const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            pollfd p{master, POLLOUT, 0};
            poll(&p, 1, 20);
        }
        return true;
    }

    // Reads until `length` bytes have come or the patience runs out.
    std::string Receive(std::size_t length) {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (got.size() < length && std::chrono::steady_clock::now() < deadline) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            char buffer[512];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    int master = -1;
    std::string slavePath;
};

// Collects what the watcher reports, from its thread.
class EventRecorder {
public:
    void Install(SerialLink& link) {
        link.notify = [this](SerialEvent event) {
            std::lock_guard<std::mutex> lock(mutex_);
            events_.push_back(event);
        };
    }
    int Count(SerialEvent kind) const {
        std::lock_guard<std::mutex> lock(mutex_);
        int n = 0;
        for (SerialEvent e : events_)
            n += e == kind;
        return n;
    }
    bool WaitFor(SerialEvent kind, int atLeast = 1) {
        return WaitUntil([&] { return Count(kind) >= atLeast; });
    }

private:
    mutable std::mutex mutex_;
    std::vector<SerialEvent> events_;
};

inline std::string Drain(ReceiveRing& ring) {
    std::string out;
    std::uint8_t b;
    while (ring.Get(b))
        out.push_back(static_cast<char>(b));
    return out;
}

// A temporary working directory, removed with everything in it.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/corvane-transport-XXXXXX";
        if (mkdtemp(pattern))
            path = pattern;
    }
    ~TempDir() {
        if (path.empty())
            return;
        if (DIR* dir = opendir(path.c_str())) {
            while (dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..")
                    unlink((path + "/" + name).c_str());
            }
            closedir(dir);
        }
        rmdir(path.c_str());
    }
    std::string path;
};

}  // namespace corvane::testing
