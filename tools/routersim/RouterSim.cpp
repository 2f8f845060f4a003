#include "RouterSim.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace corvane::sim {

namespace {

constexpr std::size_t kOversize = 300;  // past the 256 bytes the client reads

std::string Escaped(std::string_view bytes) {
    std::string text;
    for (unsigned char c : bytes) {
        if (c == '\\') {
            text += "\\\\";
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            text += hex;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

std::string TimeText(std::chrono::system_clock::time_point when) {
    auto since = when.time_since_epoch();
    std::time_t seconds = std::chrono::duration_cast<std::chrono::seconds>(since).count();
    int millis = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count() % 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
    return text;
}

void SetNonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

}  // namespace

bool ParseFault(const std::string& name, Fault* fault) {
    if (name == "garbage") {
        *fault = Fault::Garbage;
    } else if (name == "oversize") {
        *fault = Fault::Oversize;
    } else if (name == "drop") {
        *fault = Fault::Drop;
    } else if (name == "none") {
        *fault = Fault::None;
    } else {
        return false;
    }
    return true;
}

RouterSim::RouterSim(SimOptions options, SimRouter router)
    : options_(std::move(options)), router_(std::move(router)), random_(options_.seed) {
    router_.silent = router_.silent || options_.silent;
}

RouterSim::~RouterSim() {
    Stop();
}

bool RouterSim::Start(std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error != nullptr) {
            *error = why + (errno != 0 ? std::string(": ") + std::strerror(errno) : "");
        }
        CloseLink();
        return false;
    };
    errno = 0;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return fail("cannot create the wake-up pipe");
    }
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    SetNonBlocking(wakeRead_);
    SetNonBlocking(wakeWrite_);

    if (options_.serial) {
        ioFd_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (ioFd_ >= 0) {
            fcntl(ioFd_, F_SETFD, FD_CLOEXEC);  // a client started from here must not hold it
        }
        char name[128];
        if (ioFd_ < 0 || grantpt(ioFd_) != 0 || unlockpt(ioFd_) != 0 ||
            ptsname_r(ioFd_, name, sizeof name) != 0) {
            return fail("cannot create a pseudo-terminal");
        }
        ptyPath = name;
        slaveFd_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slaveFd_ < 0) {
            return fail("cannot open " + ptyPath);
        }
        // Raw from the start: no echo of the client's commands back to it.
        termios raw{};
        tcgetattr(slaveFd_, &raw);
        cfmakeraw(&raw);
        tcsetattr(slaveFd_, TCSANOW, &raw);
        SetNonBlocking(ioFd_);
    } else {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
        addrinfo* found = nullptr;
        std::string service = std::to_string(options_.udpPort);
        if (getaddrinfo(options_.bindAddress.c_str(), service.c_str(), &hints, &found) != 0 ||
            found == nullptr) {
            errno = 0;
            return fail("not a numeric address: " + options_.bindAddress);
        }
        ioFd_ = socket(found->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        bool bound = ioFd_ >= 0 && bind(ioFd_, found->ai_addr, found->ai_addrlen) == 0;
        freeaddrinfo(found);
        if (!bound) {
            return fail("cannot bind UDP " + options_.bindAddress + " port " + service);
        }
        sockaddr_storage local{};
        socklen_t length = sizeof local;
        getsockname(ioFd_, reinterpret_cast<sockaddr*>(&local), &length);
        port =
            ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                              : reinterpret_cast<sockaddr_in*>(&local)->sin_port);
        SetNonBlocking(ioFd_);
        std::lock_guard lock(mutex_);
        router_.port = std::to_string(port);
    }
    if (options_.panelPort >= 0) {
        // The front panel is for this machine only, whatever --bind says.
        panelFd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        local.sin_port = htons(static_cast<std::uint16_t>(options_.panelPort));
        socklen_t length = sizeof local;
        if (panelFd_ < 0 || bind(panelFd_, reinterpret_cast<sockaddr*>(&local), length) != 0 ||
            getsockname(panelFd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
            return fail("cannot bind the panel to UDP 127.0.0.1 port " +
                        std::to_string(options_.panelPort));
        }
        panelPort = ntohs(local.sin_port);
        SetNonBlocking(panelFd_);
    }
    if (!options_.transcriptPath.empty()) {
        // Start each run with an empty transcript.
        if (std::FILE* file = std::fopen(options_.transcriptPath.c_str(), "w")) {
            std::fclose(file);
        } else {
            return fail("cannot write " + options_.transcriptPath);
        }
    }
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void RouterSim::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        char byte = 0;
        [[maybe_unused]] ssize_t ignored = write(wakeWrite_, &byte, 1);
        thread_.join();
    }
    CloseLink();
    for (int* fd : {&wakeRead_, &wakeWrite_, &panelFd_}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

void RouterSim::CloseLink() {
    for (int* fd : {&ioFd_, &slaveFd_}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

std::string RouterSim::Panel(std::string_view line) {
    std::lock_guard lock(mutex_);
    return PanelLine(router_, line);
}

std::string RouterSim::Churn() {
    std::lock_guard lock(mutex_);
    std::string line = ChurnLine(router_, random_);
    PanelLine(router_, line);
    return line;
}

void RouterSim::SetSilent(bool silent) {
    std::lock_guard lock(mutex_);
    router_.silent = silent;
}

SimRouter RouterSim::Router() const {
    std::lock_guard lock(mutex_);
    return router_;
}

void RouterSim::SetRouter(const SimRouter& router) {
    std::lock_guard lock(mutex_);
    router_ = router;
}

std::vector<TranscriptEntry> RouterSim::Transcript() const {
    std::lock_guard lock(mutex_);
    return transcript_;
}

std::vector<std::string> RouterSim::Commands() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> commands;
    for (const TranscriptEntry& entry : transcript_) {
        commands.push_back(entry.command);
    }
    return commands;
}

std::size_t RouterSim::CommandCount() const {
    std::lock_guard lock(mutex_);
    return transcript_.size();
}

void RouterSim::Inject(const std::string& bytes, int delayMs) {
    {
        std::lock_guard lock(mutex_);
        outbox_.push_back(
            {std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs), bytes, false});
    }
    char byte = 0;
    [[maybe_unused]] ssize_t ignored = write(wakeWrite_, &byte, 1);
}

void RouterSim::DropLink() {
    dropRequested_ = true;
    char byte = 0;
    [[maybe_unused]] ssize_t ignored = write(wakeWrite_, &byte, 1);
}

void RouterSim::Run() {
    using Clock = std::chrono::steady_clock;
    const auto churnPeriod = std::chrono::milliseconds(options_.churnMs);
    auto nextChurn = Clock::now() + churnPeriod;
    while (!stop_) {
        if (dropRequested_.exchange(false)) {
            dropped_ = true;
            if (options_.serial) {
                CloseLink();
            }
        }
        auto now = Clock::now();
        if (options_.churnMs > 0 && now >= nextChurn) {
            const std::string change = Churn();
            if (options_.verbose) {
                std::printf("churn: %s\n", change.c_str());
                std::fflush(stdout);
            }
            nextChurn = now + churnPeriod;
        }
        auto soonest = now + std::chrono::milliseconds(200);
        if (options_.churnMs > 0) {
            soonest = std::min(soonest, nextChurn);
        }
        {
            std::lock_guard lock(mutex_);
            for (const Outgoing& out : outbox_) {
                soonest = std::min(soonest, out.due);
            }
        }
        const int timeout = std::clamp(
            static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(soonest - now).count()) +
                1,
            0, 200);
        pollfd fds[3] = {{wakeRead_, POLLIN, 0}, {ioFd_, POLLIN, 0}, {panelFd_, POLLIN, 0}};
        // A closed link (fd -1) is skipped by poll.
        if (poll(fds, 3, timeout) < 0 && errno != EINTR) {
            break;
        }
        if (fds[0].revents != 0) {
            char drain[64];
            while (read(wakeRead_, drain, sizeof drain) > 0) {
            }
        }
        if (fds[1].revents != 0 && ioFd_ >= 0) {
            Receive();
        }
        if (fds[2].revents != 0) {
            ReceivePanel();
        }
        Flush();
    }
}

void RouterSim::ReceivePanel() {
    char buffer[4096];
    sockaddr_storage from{};
    socklen_t length = sizeof from;
    const ssize_t n =
        recvfrom(panelFd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n <= 0) {
        return;
    }
    // Each line of the datagram gets its answer line, all in one datagram back.
    std::string answers;
    std::string_view lines(buffer, static_cast<std::size_t>(n));
    while (!lines.empty()) {
        const std::size_t end = std::min(lines.find('\n'), lines.size());
        const std::string_view line = lines.substr(0, end);
        lines.remove_prefix(std::min(end + 1, lines.size()));
        const std::string answer = Panel(line);
        if (answer.empty()) {
            continue;
        }
        if (options_.verbose) {
            std::printf("panel line: %.*s -> %s\n", static_cast<int>(line.size()), line.data(),
                        answer.c_str());
            std::fflush(stdout);
        }
        answers += answer + "\n";
    }
    if (!answers.empty()) {
        sendto(panelFd_, answers.data(), answers.size(), 0, reinterpret_cast<sockaddr*>(&from),
               length);
    }
}

void RouterSim::Receive() {
    std::uint8_t buffer[65536];
    if (options_.serial) {
        ssize_t n = read(ioFd_, buffer, sizeof buffer);
        if (n > 0) {
            framer_.Feed(buffer, static_cast<std::size_t>(n),
                         [this](std::string_view command) { OnCommand(command); });
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            // A broken pty stays readable forever: give it up rather than spin.
            dropped_ = true;
            CloseLink();
        }
        return;
    }
    sockaddr_storage from{};
    socklen_t length = sizeof from;
    ssize_t n =
        recvfrom(ioFd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n <= 0) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        auto* raw = reinterpret_cast<std::uint8_t*>(&from);
        peer_.assign(raw, raw + length);
    }
    // One datagram is one or more whole commands; a tail without "!" is dropped.
    CommandFramer datagram;
    datagram.Feed(buffer, static_cast<std::size_t>(n),
                  [this](std::string_view command) { OnCommand(command); });
}

void RouterSim::OnCommand(std::string_view command) {
    auto now = std::chrono::system_clock::now();
    std::lock_guard lock(mutex_);
    transcript_.push_back({now, std::string(command)});
    if (!options_.transcriptPath.empty()) {
        if (std::FILE* file = std::fopen(options_.transcriptPath.c_str(), "a")) {
            std::fprintf(file, "%s %s\n", TimeText(now).c_str(), Escaped(command).c_str());
            std::fclose(file);
        }
    }
    std::vector<std::string> answers = HandleCommand(router_, command);
    if (router_.silent || dropped_) {
        return;
    }
    auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.delayMs);
    for (std::string& answer : answers) {
        if (options_.fault == Fault::Garbage) {
            answer = Garble(transcript_.size() * 31 + answer.size());
        } else if (options_.fault == Fault::Oversize && answer.size() < kOversize) {
            answer.insert(0, kOversize - answer.size(), 'X');
        }
        outbox_.push_back({due, std::move(answer), false});
    }
    if (options_.fault == Fault::Drop && !droppedFirst_ && !outbox_.empty()) {
        droppedFirst_ = true;
        outbox_.back().dropAfter = true;
    }
}

std::string RouterSim::Garble(std::size_t seed) const {
    // Deterministic noise: the same run gives the same bytes.
    std::uint32_t state = static_cast<std::uint32_t>(seed) * 2654435761u + 1;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 24;
    };
    std::string bytes(8 + next() % 40, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(next());
    }
    bytes.back() = '!';
    return bytes;
}

void RouterSim::Flush() {
    std::vector<Outgoing> due;
    {
        std::lock_guard lock(mutex_);
        auto now = std::chrono::steady_clock::now();
        auto split = std::stable_partition(outbox_.begin(), outbox_.end(),
                                           [now](const Outgoing& out) { return out.due <= now; });
        due.assign(std::make_move_iterator(outbox_.begin()), std::make_move_iterator(split));
        outbox_.erase(outbox_.begin(), split);
    }
    for (const Outgoing& out : due) {
        if (dropped_) {
            return;
        }
        Transmit(out.bytes);
        if (out.dropAfter) {
            dropped_ = true;
            if (options_.serial) {
                CloseLink();
            }
        }
    }
}

void RouterSim::Transmit(const std::string& bytes) {
    if (ioFd_ < 0) {
        return;
    }
    if (options_.serial) {
        std::size_t sent = 0;
        // Bounded: a client that stops reading only loses answers.
        for (int attempt = 0; attempt < 50 && sent < bytes.size(); ++attempt) {
            ssize_t n = write(ioFd_, bytes.data() + sent, bytes.size() - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return;
            } else {
                pollfd out{ioFd_, POLLOUT, 0};
                poll(&out, 1, 10);
            }
        }
        return;
    }
    std::vector<std::uint8_t> peer;
    {
        std::lock_guard lock(mutex_);
        peer = peer_;
    }
    if (!peer.empty()) {
        sendto(ioFd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(peer.data()),
               static_cast<socklen_t>(peer.size()));
    }
}

}  // namespace corvane::sim
