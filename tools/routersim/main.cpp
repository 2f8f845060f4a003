// routersim: a software 16 x 16 router for trying the program and the client
// without hardware. Loopback only unless --bind says otherwise.

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "RouterSim.h"
#include "base/TextFormat.h"

namespace {

const char kUsage[] =
    "usage: routersim [--udp PORT | --serial] [options]\n"
    "  --udp PORT        answer UDP datagrams on PORT (default 3000; 0 = any free port)\n"
    "  --bind ADDRESS    address to listen on (default 127.0.0.1)\n"
    "  --serial          use a pseudo-terminal; its device is printed as \"serial: PATH\"\n"
    "  --cards LIST      IN1,IN2,IN3,IN4/OUT1,OUT2,OUT3,OUT4 card codes in hex (00 = empty)\n"
    "  --transcript FILE write every command received, with its time, to FILE\n"
    "  --delay MS        wait MS milliseconds before each answer\n"
    "  --silent          answer nothing (until the panel says \"silent 0\")\n"
    "  --fault KIND      garbage | oversize | drop\n"
    "  --duration S      exit after S seconds (0 = until SIGTERM or SIGINT)\n"
    "  --panel PORT      also take front-panel lines on UDP 127.0.0.1:PORT, answered there\n"
    "                    (0 = any free port, printed as \"panel: PORT\")\n"
    "  --churn S         change a random route, signal or plug every S seconds\n"
    "  --seed N          start --churn from seed N, to repeat a run (default: the clock)\n"
    "  --verbose         print each change and each UDP panel line\n"
    "front panel, on standard input (answers on standard output) and on --panel:\n"
    "  route OUT IN      feed output OUT from input IN (0 = none), as the router's keys do\n"
    "  signal IN off     input IN loses its signal; \"signal IN 1920x1080p@60Hz\" brings one\n"
    "  plug OUT 0|1      the display on output OUT unplugged or plugged\n"
    "  silent 1|0        stop or resume answering; the socket stays open\n"
    "  show | help       the routes, signals and plugs in one line | the commands\n"
    "  each line is answered \"ok\", with what was asked, or with \"error: \" and why.\n"
    "  The router answers only what it is asked: a client sees a change when it asks again.\n";

bool ParseSeconds(const char* text, int* milliseconds) {
    char* end = nullptr;
    errno = 0;
    double value = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !(value >= 0.01 && value <= 86400)) {
        return false;
    }
    *milliseconds = static_cast<int>(value * 1000 + 0.5);
    return true;
}

volatile sig_atomic_t stopRequested = 0;

void OnStopSignal(int) {
    stopRequested = 1;
}

// A terminal is read only while this process is in its foreground, so that
// "routersim &" in a shell is never stopped for reading it.
bool MayReadStdin() {
    return !isatty(STDIN_FILENO) || tcgetpgrp(STDIN_FILENO) == getpgrp();
}

// Answers every whole line read so far on standard output; false at the end
// of the input (or a read error), after the last line.
bool ReadPanelLines(corvane::sim::RouterSim& sim, std::string& pending) {
    constexpr std::size_t kMaxLine = 4096;
    char buffer[4096];
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return true;
    }
    if (n > 0) {
        pending.append(buffer, static_cast<std::size_t>(n));
    } else {
        pending += '\n';  // the last line may lack its line end
    }
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
        const std::string answer = sim.Panel(std::string_view(pending).substr(0, end));
        pending.erase(0, end + 1);
        if (!answer.empty()) {
            std::printf("%s\n", answer.c_str());
        }
    }
    if (pending.size() > kMaxLine) {
        pending.clear();
        std::printf("error: line longer than %zu bytes\n", kMaxLine);
    }
    std::fflush(stdout);
    return n > 0;
}

int Usage(const std::string& problem) {
    std::fprintf(stderr, "routersim: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace corvane::sim;
    using corvane::ParseInt;
    SimOptions options;
    options.udpPort = 3000;
    SimRouter router = DefaultRouter();
    int duration = 0;
    bool udpGiven = false;
    bool seedGiven = false;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto needs = [&](const char* what) {
            if (value == nullptr) {
                std::exit(Usage(arg + " needs " + what));
            }
            ++i;
            return value;
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--udp") {
            udpGiven = true;
            if (!ParseInt(needs("a port"), 0, 65535, &options.udpPort)) {
                return Usage("bad port: " + std::string(value));
            }
        } else if (arg == "--bind") {
            options.bindAddress = needs("an address");
        } else if (arg == "--serial") {
            options.serial = true;
        } else if (arg == "--cards") {
            std::string error;
            if (!ApplyCardList(router, needs("a card list"), &error)) {
                return Usage(error);
            }
        } else if (arg == "--transcript") {
            options.transcriptPath = needs("a file name");
        } else if (arg == "--delay") {
            if (!ParseInt(needs("milliseconds"), 0, 60000, &options.delayMs)) {
                return Usage("bad delay: " + std::string(value));
            }
        } else if (arg == "--silent") {
            options.silent = true;
        } else if (arg == "--fault") {
            if (!ParseFault(needs("a kind"), &options.fault)) {
                return Usage("unknown fault: " + std::string(value));
            }
        } else if (arg == "--duration") {
            if (!ParseInt(needs("seconds"), 0, 86400 * 365, &duration)) {
                return Usage("bad duration: " + std::string(value));
            }
        } else if (arg == "--panel") {
            if (!ParseInt(needs("a port"), 0, 65535, &options.panelPort)) {
                return Usage("bad panel port: " + std::string(value));
            }
        } else if (arg == "--churn") {
            if (!ParseSeconds(needs("seconds"), &options.churnMs)) {
                return Usage("bad churn period (0.01 to 86400 seconds): " + std::string(value));
            }
        } else if (arg == "--seed") {
            int seed = 0;
            if (!ParseInt(needs("a number"), 0, 2147483647, &seed, 10)) {
                return Usage("bad seed: " + std::string(value));
            }
            options.seed = static_cast<unsigned>(seed);
            seedGiven = true;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else {
            return Usage("unknown argument: " + arg);
        }
    }
    if (options.serial && udpGiven) {
        return Usage("choose either --udp or --serial");
    }

    if (!seedGiven) {
        options.seed = static_cast<unsigned>(std::time(nullptr) ^ getpid()) & 0x7FFFFFFF;
    }

    // SIGTERM and SIGINT end the run: blocked everywhere but in the wait
    // below, so the serving thread (which inherits the mask) never takes them.
    struct sigaction stop {};
    stop.sa_handler = OnStopSignal;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    signal(SIGTTIN, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigset_t waitMask;
    pthread_sigmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);

    RouterSim sim(options, router);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "routersim: %s\n", error.c_str());
        return 1;
    }
    if (options.serial) {
        std::printf("serial: %s\n", sim.ptyPath.c_str());
    } else {
        bool v6 = options.bindAddress.find(':') != std::string::npos;
        std::printf(v6 ? "udp: [%s]:%d\n" : "udp: %s:%d\n", options.bindAddress.c_str(), sim.port);
    }
    if (options.panelPort >= 0) {
        std::printf("panel: %d\n", sim.panelPort);
    }
    if (options.verbose && options.churnMs > 0) {
        std::printf("churn: every %d ms, seed %u\n", options.churnMs, options.seed);
    }
    std::fflush(stdout);

    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += duration;
    bool stdinOpen = true;
    std::string pending;
    while (!stopRequested) {
        timespec wait{1, 0};
        if (duration > 0) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            long left =
                (deadline.tv_sec - now.tv_sec) * 1000 + (deadline.tv_nsec - now.tv_nsec) / 1000000;
            if (left <= 0) {
                break;
            }
            if (left < 1000) {
                wait = {0, left * 1000000};
            }
        }
        pollfd input{stdinOpen && MayReadStdin() ? STDIN_FILENO : -1, POLLIN, 0};
        if (ppoll(&input, 1, &wait, &waitMask) > 0 && input.revents != 0) {
            stdinOpen = ReadPanelLines(sim, pending);
        }
    }
    sim.Stop();
    std::printf("routersim: %zu commands received\n", sim.CommandCount());
    return 0;
}
