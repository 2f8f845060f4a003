#include "transport/HeadlessLoop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>

#include "protocol/Pacing.h"

namespace corvane {

namespace {

// Shared with the watcher's notify, which may outlive the loop: the pipe closes
// only when the last holder lets go.
struct Wakeup {
    int readFd = -1;
    int writeFd = -1;
    std::atomic<unsigned> events{0};

    Wakeup() {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        for (int fd : fds) {
            fcntl(fd, F_SETFD, FD_CLOEXEC);
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
        readFd = fds[0];
        writeFd = fds[1];
    }
    ~Wakeup() {
        if (readFd >= 0)
            close(readFd);
        if (writeFd >= 0)
            close(writeFd);
    }
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    static unsigned Bit(SerialEvent event) { return 1u << static_cast<unsigned>(event); }

    void Post(SerialEvent event) {
        events.fetch_or(Bit(event), std::memory_order_release);
        const char byte = 1;
        // A full pipe is readable already; the event bit is what counts.
        [[maybe_unused]] ssize_t n = write(writeFd, &byte, 1);
    }
    unsigned Take() {
        char sink[64];
        while (read(readFd, sink, sizeof sink) > 0) {
        }
        return events.exchange(0, std::memory_order_acquire);
    }
};

}  // namespace

bool TickTimer::Due(std::chrono::steady_clock::time_point now) {
    if (now < next)
        return false;
    next += kPeriod;
    if (next <= now)
        next = now + kPeriod;
    return true;
}

struct HeadlessLoop::Impl {
    std::shared_ptr<Wakeup> wakeup = std::make_shared<Wakeup>();
    TickTimer timer{std::chrono::steady_clock::now()};
};

HeadlessLoop::HeadlessLoop(Connection& connection) : connection(connection), impl_(new Impl) {
    std::shared_ptr<Wakeup> wakeup = impl_->wakeup;
    connection.serialLink.notify = [wakeup](SerialEvent event) { wakeup->Post(event); };
}

HeadlessLoop::~HeadlessLoop() {
    delete impl_;
}

bool HeadlessLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    auto finished = [&] { return done && done(); };
    const Clock::time_point deadline = Clock::now() + timeout;
    Wakeup& wakeup = *impl_->wakeup;
    RouterSession& session = connection.session;

    while (!finished()) {
        Clock::time_point now = Clock::now();
        if (now >= deadline)
            return false;

        if (impl_->timer.Due(now)) {
            session.OnSendTimer();
            connection.OnTick();
            ++ticks;
            continue;
        }

        const Clock::time_point until = std::min(impl_->timer.next, deadline);
        const auto waitUs =
            std::chrono::duration_cast<std::chrono::microseconds>(until - now).count();
        const int waitMs = static_cast<int>((waitUs + 999) / 1000);

        std::vector<pollfd> fds = {{wakeup.readFd, POLLIN, 0}, {-1, POLLIN, 0}};
        const UdpLink* polled = connection.udpLink.get();
        if (polled)
            fds[1].fd = polled->Handle();
        if (addWatches)
            addWatches(fds);
        const int ready = poll(fds.data(), static_cast<nfds_t>(fds.size()), waitMs);
        if (ready < 0 && errno != EINTR)
            return finished();
        if (ready <= 0)
            continue;

        if (fds[0].revents != 0) {
            const unsigned events = wakeup.Take();
            if (events & Wakeup::Bit(SerialEvent::Received))
                connection.OnSerialData();
            if (events & Wakeup::Bit(SerialEvent::Overrun))
                connection.OnSerialOverrun();
            if (events & Wakeup::Bit(SerialEvent::Hangup))
                connection.OnSerialHangup();
            if (finished())
                return true;
        }
        // The socket may have been replaced or closed by what ran above.
        if (fds[1].revents != 0 && polled && connection.udpLink.get() == polled &&
            polled->Handle() == fds[1].fd)
            connection.OnUdpData();
        if (watchesReady && fds.size() > 2)
            watchesReady(std::vector<pollfd>(fds.begin() + 2, fds.end()));
    }
    return true;
}

}  // namespace corvane
