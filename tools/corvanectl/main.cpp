// corvanectl: the router connection of the program without its window, for
// scripts and quick checks. Same core, same pacing, same daily log.

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "Serve.h"
#include "StatusReport.h"
#include "protocol/Commands.h"
#include "protocol/RouterSession.h"
#include "settings/AppConfig.h"
#include "settings/EventLog.h"
#include "transport/Connection.h"
#include "transport/HeadlessLoop.h"

namespace corvane {
namespace {

enum ExitCode {
    kExitOk = 0,
    kExitBadArguments = 2,
    kExitConnectFailed = 3,
    kExitTimeout = 4,
};

const char kUsage[] =
    "usage: corvanectl [--udp HOST:PORT | --serial DEVICE[:BAUD]] [--no-log] [--timeout S]\n"
    "                  [--verbose] COMMAND\n"
    "commands:\n"
    "  status [--json]  read the router's whole state and print it\n"
    "  route IN OUT     link input IN to output OUT (unlinks when IN already feeds OUT)\n"
    "  clear            remove every link\n"
    "  send 'RAW!'      send one command and print the answers\n"
    "  serve [--listen ADDR:PORT]\n"
    "                   serve Videohub clients (default 127.0.0.1:9990) until SIGINT\n"
    "                   or SIGTERM, reconnecting to the router when the link fails\n"
    "Without --udp or --serial the link settings come from ./config.ini.\n"
    "The daily log is written to the current directory unless --no-log.\n"
    "exit codes: 0 done, 2 bad arguments, 3 connection failed, 4 timed out\n";

struct Options {
    std::optional<std::string> udp;
    std::optional<std::string> serial;
    bool noLog = false;
    bool verbose = false;
    bool json = false;
    int timeoutSeconds = 10;
    std::string command;
    int input = 0;
    int output = 0;
    std::string raw;
    std::string listen = "127.0.0.1:9990";
};

struct BadArguments {
    std::string problem;
};

bool ParseInt(const std::string& text, int low, int high, int* out) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    int value = std::atoi(text.c_str());
    if (value < low || value > high) {
        return false;
    }
    *out = value;
    return true;
}

Options ParseArguments(int argc, char** argv) {
    Options options;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                throw BadArguments{arg + " needs a value"};
            }
            return argv[++i];
        };
        if (!words.empty()) {
            words.push_back(arg);  // the command's own arguments
        } else if (arg == "--udp") {
            options.udp = value();
        } else if (arg == "--serial") {
            options.serial = value();
        } else if (arg == "--no-log") {
            options.noLog = true;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--timeout") {
            std::string text = value();
            if (!ParseInt(text, 1, 3600, &options.timeoutSeconds)) {
                throw BadArguments{"bad timeout: " + text + " (1 to 3600 seconds)"};
            }
        } else if (arg.starts_with("-")) {
            throw BadArguments{"unknown option: " + arg};
        } else {
            words.push_back(arg);
        }
    }
    if (options.udp && options.serial) {
        throw BadArguments{"choose either --udp or --serial"};
    }
    if (words.empty()) {
        throw BadArguments{"no command given"};
    }
    options.command = words[0];
    const std::size_t extra = words.size() - 1;
    if (options.command == "status") {
        options.json = extra == 1 && words[1] == "--json";
        if (extra > 1 || (extra == 1 && !options.json)) {
            throw BadArguments{"usage: status [--json]"};
        }
    } else if (options.command == "route") {
        if (extra != 2 || !ParseInt(words[1], 1, kChannelCount, &options.input) ||
            !ParseInt(words[2], 1, kChannelCount, &options.output)) {
            throw BadArguments{"usage: route IN OUT, both 1 to 16"};
        }
    } else if (options.command == "clear") {
        if (extra != 0) {
            throw BadArguments{"clear takes no arguments"};
        }
    } else if (options.command == "send") {
        if (extra != 1) {
            throw BadArguments{"usage: send 'KEY=VALUE!'"};
        }
        options.raw = words[1];
        if (options.raw.empty() || options.raw.back() != '!' ||
            options.raw.find('!') != options.raw.size() - 1 ||
            options.raw.size() > kMaxCommandLength) {
            throw BadArguments{"a command ends with its only \"!\" and has at most 255 characters"};
        }
    } else if (options.command == "serve") {
        if (extra == 2 && words[1] == "--listen") {
            options.listen = words[2];
        } else if (extra != 0) {
            throw BadArguments{"usage: serve [--listen ADDR:PORT]"};
        }
    } else {
        throw BadArguments{"unknown command: " + options.command};
    }
    return options;
}

// Splits "HOST:PORT" (or "[v6]:PORT") and "DEVICE[:BAUD]" into the settings.
void ApplyLinkOptions(const Options& options, AppConfig& config) {
    if (options.udp) {
        const std::string& text = *options.udp;
        std::size_t colon = text.rfind(':');
        std::string host = colon == std::string::npos ? "" : text.substr(0, colon);
        if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
            host = host.substr(1, host.size() - 2);
        }
        int port = 0;
        // The local port is the router's port + 10, so it must stay below 65526.
        if (host.empty() || colon == std::string::npos ||
            !ParseInt(text.substr(colon + 1), 1, 65525, &port)) {
            throw BadArguments{"--udp wants HOST:PORT with a port of 1 to 65525, got " + text};
        }
        config.useSerial = false;
        config.ipAddress = host;
        config.udpPort = port;
    }
    if (options.serial) {
        std::string device = *options.serial;
        std::size_t colon = device.rfind(':');
        int baud = config.baudRate;
        if (colon != std::string::npos) {
            if (!ParseInt(device.substr(colon + 1), 1, 4000000, &baud)) {
                throw BadArguments{"--serial wants DEVICE[:BAUD], got " + device};
            }
            device.resize(colon);
        }
        if (device.empty()) {
            throw BadArguments{"--serial wants a device"};
        }
        config.useSerial = true;
        config.comName = device;
        config.baudRate = baud;
    }
}

// Follows the event log: every sent command and every answer passes through it.
class Exchange : public LogSink {
public:
    explicit Exchange(bool verbose) : verbose_(verbose) {}

    void AppendToLogList(const std::string& line) override {
        if (verbose_) {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
        std::size_t close = line.find(']');
        std::string message = close == std::string::npos ? line : line.substr(close + 1);
        if (message.starts_with("-->Data[")) {
            ++sent;
            answered = false;
            answers.clear();
        } else if (message.starts_with("<--Recv[") && message.size() > 9) {
            answered = true;
            answers.push_back(message.substr(8, message.size() - 9));
            lastAnswer = std::chrono::steady_clock::now();
        }
    }
    void ClearLogList() override {}

    int sent = 0;
    bool answered = false;             // an answer came after the last command sent
    std::vector<std::string> answers;  // the answers since then
    std::chrono::steady_clock::time_point lastAnswer;

private:
    bool verbose_;
};

bool FileExists(const char* path) {
    struct stat info {};
    return stat(path, &info) == 0;
}

std::string LinkText(const AppConfig& config) {
    if (config.useSerial) {
        return config.comName + " at " + std::to_string(config.baudRate);
    }
    return config.ipAddress + ":" + std::to_string(config.udpPort);
}

int Run(const Options& options) {
    AppConfig config;
    EventLog log(".");
    RouterSession session(log);
    if (!FileExists(kConfigPath) && !options.udp && !options.serial) {
        // Without settings the link would be the router's factory address;
        // a script must say where to go.
        throw BadArguments{"no ./config.ini here; pass --udp HOST:PORT or --serial DEVICE"};
    }
    // Channel names and start-up values as the program has them; a missing
    // file gives the defaults.
    LoadConfig(config, session.state, kConfigPath);
    ApplyLinkOptions(options, config);
    if (options.command == "serve") {
        return Serve(config, options.listen, options.noLog, options.verbose);
    }

    Exchange exchange(options.verbose);
    log.fileLogEnabled = !options.noLog;
    log.screen = &exchange;
    log.screenLogEnabled = true;

    Connection connection(session, config);
    connection.showMessage = [](const std::string& text) {
        std::fprintf(stderr, "corvanectl: %s\n", text.c_str());
    };
    HeadlessLoop loop(connection);

    const bool needsModel = options.command == "status" || options.command == "route";
    // Queued before Connect, so it is the first command on the wire.
    if (options.command == "clear") {
        session.ClearAllLinks();
    } else if (options.command == "send") {
        session.EnqueueCommand(options.raw);
    }

    connection.Connect();
    if (session.connectionStatus == kConnectionFailed) {
        std::fprintf(stderr, "corvanectl: cannot open %s\n", LinkText(config).c_str());
        connection.Disconnect();
        return kExitConnectFailed;
    }
    if (!needsModel) {
        // A single command needs no picture of the router: skip the start-up poll.
        session.pollIndex = kStartupQueryCount;
    }

    using namespace std::chrono;
    const steady_clock::time_point deadline = steady_clock::now() + seconds(options.timeoutSeconds);
    auto left = [&] {
        return std::max(milliseconds(0),
                        duration_cast<milliseconds>(deadline - steady_clock::now()));
    };
    auto failed = [&] { return session.connectionStatus == kConnectionFailed; };
    auto finish = [&](int code, const char* why) {
        if (why != nullptr) {
            std::fprintf(stderr, "corvanectl: %s (%s)\n", why, LinkText(config).c_str());
        }
        connection.Disconnect();
        return code;
    };
    auto runUntil = [&](const std::function<bool()>& done) {
        loop.RunUntil([&] { return failed() || done(); }, left());
        if (failed()) {
            return finish(kExitConnectFailed, "connection failed");
        }
        return done() ? kExitOk : finish(kExitTimeout, "timed out waiting for the router");
    };

    if (needsModel) {
        int code = runUntil([&] {
            return session.pollIndex >= static_cast<unsigned>(kStartupQueryCount) &&
                   session.commandQueue.empty() && exchange.sent >= kStartupQueryCount &&
                   exchange.answered;
        });
        if (code != kExitOk) {
            return code;
        }
    }

    if (options.command == "status") {
        std::string report =
            options.json ? StatusJson(session, config) : StatusText(session, config);
        std::fputs(report.c_str(), stdout);
        return finish(kExitOk, nullptr);
    }

    if (options.command == "route") {
        const bool unlink = session.state.routedInput[options.output] == options.input;
        const int sentBefore = exchange.sent;
        session.LinkOutput(options.input, options.output);
        int code = runUntil([&] { return exchange.sent > sentBefore && exchange.answered; });
        if (code != kExitOk) {
            return code;
        }
        std::printf("%s input %d (%s) %s output %d (%s)\n", unlink ? "unlinked" : "linked",
                    options.input, config.inputNames[options.input].c_str(), unlink ? "from" : "to",
                    options.output, config.outputNames[options.output].c_str());
        std::printf("%s\n", RouteLine(session, config, options.output).c_str());
        return finish(kExitOk, nullptr);
    }

    int code = runUntil([&] { return exchange.sent >= 1 && exchange.answered; });
    if (code != kExitOk) {
        return code;
    }
    if (options.command == "send") {
        // Some queries have several answers (NET has five): take what follows
        // closely behind the first.
        loop.RunUntil(
            [&] {
                return failed() || steady_clock::now() - exchange.lastAnswer > milliseconds(300);
            },
            std::min(left(), milliseconds(2000)));
        for (const std::string& answer : exchange.answers) {
            std::printf("%s\n", answer.c_str());
        }
    } else {
        std::printf("cleared every link\n");
        for (const std::string& answer : exchange.answers) {
            std::printf("%s\n", answer.c_str());
        }
    }
    return finish(kExitOk, nullptr);
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
    using namespace corvane;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
    }
    try {
        return Run(ParseArguments(argc, argv));
    } catch (const BadArguments& bad) {
        std::fprintf(stderr, "corvanectl: %s\n\n%s", bad.problem.c_str(), kUsage);
        return kExitBadArguments;
    }
}
