// routersim: a software 16 x 16 router for trying the program and the client
// without hardware. Loopback only unless --bind says otherwise.

#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "RouterSim.h"

namespace {

const char kUsage[] =
    "usage: routersim [--udp PORT | --serial] [options]\n"
    "  --udp PORT        answer UDP datagrams on PORT (default 3000; 0 = any free port)\n"
    "  --bind ADDRESS    address to listen on (default 127.0.0.1)\n"
    "  --serial          use a pseudo-terminal; its device is printed as \"serial: PATH\"\n"
    "  --cards LIST      IN1,IN2,IN3,IN4/OUT1,OUT2,OUT3,OUT4 card codes in hex (00 = empty)\n"
    "  --transcript FILE write every command received, with its time, to FILE\n"
    "  --delay MS        wait MS milliseconds before each answer\n"
    "  --silent          never answer\n"
    "  --fault KIND      garbage | oversize | drop\n"
    "  --duration S      exit after S seconds (0 = until SIGTERM or SIGINT)\n";

bool ParseInt(const char* text, int low, int high, int* out) {
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) {
        return false;
    }
    *out = static_cast<int>(value);
    return true;
}

int Usage(const std::string& problem) {
    std::fprintf(stderr, "routersim: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace corvane::sim;
    SimOptions options;
    options.udpPort = 3000;
    SimRouter router = DefaultRouter();
    int duration = 0;
    bool udpGiven = false;

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
        } else {
            return Usage("unknown argument: " + arg);
        }
    }
    if (options.serial && udpGiven) {
        return Usage("choose either --udp or --serial");
    }

    // Signals are taken synchronously below; the serving thread inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

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
    std::fflush(stdout);

    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += duration;
    for (;;) {
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
        int signal = sigtimedwait(&stopSignals, nullptr, &wait);
        if (signal == SIGTERM || signal == SIGINT) {
            break;
        }
    }
    sim.Stop();
    std::printf("routersim: %zu commands received\n", sim.CommandCount());
    return 0;
}
