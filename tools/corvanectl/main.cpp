// corvanectl: the router connection of the program without its window, for
// scripts and quick checks. Same core, same pacing, same daily log.

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "Serve.h"
#include "StatusReport.h"
#include "edid/EdidFile.h"
#include "edid/EdidReport.h"
#include "protocol/Commands.h"
#include "protocol/RouterSession.h"
#include "protocol/TextFormat.h"
#include "settings/AppConfig.h"
#include "settings/EventLog.h"
#include "settings/SalvoFile.h"
#include "transport/Connection.h"
#include "transport/HeadlessLoop.h"

namespace corvane {
namespace {

enum ExitCode {
    kExitOk = 0,
    kExitBadArguments = 2,
    kExitConnectFailed = 3,
    kExitTimeout = 4,
    kExitProtected = 5,
    kExitInvalidEdid = 6,
    kExitSalvoFile = 7,
};

const char kUsage[] =
    "usage: corvanectl [--udp HOST:PORT | --serial DEVICE[:BAUD]] [--no-log] [--timeout S]\n"
    "                  [--verbose] COMMAND\n"
    "commands:\n"
    "  status [--json]  read the router's whole state and print it\n"
    "  route IN OUT     link input IN to output OUT (unlinks when IN already feeds OUT)\n"
    "  clear            remove every link\n"
    "  send 'RAW!'      send one command and print the answers\n"
    "  set OUT=IN ...   set each named output to an input (0: none) in one LINK command;\n"
    "                   outputs not named keep their routes\n"
    "  preset list [--json] | save NAME | recall NAME | delete NAME\n"
    "                   the salvos in ./salvos.ini; save stores the router's routes,\n"
    "                   recall sends them as one LINK command (protected outputs stay)\n"
    "  serve [--listen ADDR:PORT]\n"
    "                   serve Videohub clients (default 127.0.0.1:9990) until SIGINT\n"
    "                   or SIGTERM, reconnecting to the router when the link fails\n"
    "  edid FILE [--json] [--upload INPUTS]\n"
    "                   check an EDID file and print its summary; --upload sends it and\n"
    "                   sets those inputs (like 1,3,5) to it\n"
    "Without --udp or --serial the link settings come from ./config.ini.\n"
    "The daily log is written to the current directory unless --no-log.\n"
    "exit codes: 0 done, 2 bad arguments or unreadable EDID file, 3 connection failed,\n"
    "            4 timed out or a route not taken, 5 output protected, 6 invalid EDID,\n"
    "            7 salvo file ./salvos.ini damaged (what could be read was used),\n"
    "            unreadable or not saved\n";

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
    std::string edidPath;
    bool upload = false;
    bool uploadInputs[kChannelTableSize] = {};
    std::vector<RouteChange> changes;  // set
    std::string presetAction;          // list, save, recall, delete
    std::string presetName;
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
    } else if (options.command == "edid") {
        const char* usage = "usage: edid FILE [--json] [--upload INPUTS]";
        for (std::size_t i = 1; i < words.size(); ++i) {
            if (words[i] == "--json") {
                options.json = true;
            } else if (words[i] == "--upload" && i + 1 < words.size() && !options.upload) {
                options.upload = true;
                std::string list = words[++i] + ",";
                for (std::size_t at = 0, comma; (comma = list.find(',', at)) != std::string::npos;
                     at = comma + 1) {
                    int input = 0;
                    if (!ParseInt(list.substr(at, comma - at), 1, kChannelCount, &input)) {
                        throw BadArguments{"--upload wants inputs 1 to 16 like 1,3,5"};
                    }
                    options.uploadInputs[input] = true;
                }
            } else if (options.edidPath.empty() && !words[i].starts_with("--")) {
                options.edidPath = words[i];
            } else {
                throw BadArguments{usage};
            }
        }
        if (options.edidPath.empty()) {
            throw BadArguments{usage};
        }
    } else if (options.command == "set") {
        bool named[kChannelTableSize] = {};
        for (std::size_t i = 1; i < words.size(); ++i) {
            const std::size_t equals = words[i].find('=');
            RouteChange change;
            if (equals == std::string::npos ||
                !ParseInt(words[i].substr(0, equals), 1, kChannelCount, &change.output) ||
                !ParseInt(words[i].substr(equals + 1), 0, kChannelCount, &change.input) ||
                named[change.output]) {
                throw BadArguments{
                    "usage: set OUT=IN [OUT=IN ...], each output once, OUT 1 to "
                    "16, IN 0 to 16 (0: no input)"};
            }
            named[change.output] = true;
            options.changes.push_back(change);
        }
        if (options.changes.empty()) {
            throw BadArguments{"usage: set OUT=IN [OUT=IN ...]"};
        }
    } else if (options.command == "preset") {
        const char* usage = "usage: preset list [--json] | save NAME | recall NAME | delete NAME";
        if (extra == 0) {
            throw BadArguments{usage};
        }
        options.presetAction = words[1];
        if (options.presetAction == "list") {
            options.json = extra == 2 && words[2] == "--json";
            if (extra > 2 || (extra == 2 && !options.json)) {
                throw BadArguments{usage};
            }
        } else if (options.presetAction == "save" || options.presetAction == "recall" ||
                   options.presetAction == "delete") {
            if (extra != 2 || !ValidSalvoName(words[2])) {
                throw BadArguments{std::string(usage) +
                                   "; a name has 1 to 63 characters and no \"=\""};
            }
            options.presetName = words[2];
        } else {
            throw BadArguments{usage};
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

// Splits "HOST:PORT" (the link is IPv4) and "DEVICE[:BAUD]" into the settings.
void ApplyLinkOptions(const Options& options, AppConfig& config) {
    if (options.udp) {
        const std::string& text = *options.udp;
        std::size_t colon = text.rfind(':');
        const std::string host = colon == std::string::npos ? "" : text.substr(0, colon);
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

// Follows the session's events: every command sent and every answer parsed.
// With --verbose the log lines go to stderr as well.
class Exchange : public LogSink {
public:
    explicit Exchange(bool verbose) : verbose_(verbose) {}

    void AppendToLogList(const std::string& line) override {
        if (verbose_) {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
    }
    void ClearLogList() override {}

    void Take(const SessionEvent& event) {
        if (event.kind == SessionEvent::CommandSent) {
            ++sent;
            answered = false;
            answers.clear();
        } else if (event.kind == SessionEvent::AnswerParsed) {
            answered = true;
            answers.push_back(event.text);
            lastAnswer = std::chrono::steady_clock::now();
        }
    }

    int sent = 0;
    bool answered = false;             // an answer came after the last command sent
    std::vector<std::string> answers;  // the answers since then
    std::chrono::steady_clock::time_point lastAnswer;

private:
    bool verbose_;
};

bool FileExists(const char* path) {
    struct stat info {};
    return lstat(path, &info) == 0;
}

std::string LinkText(const AppConfig& config) {
    if (config.useSerial) {
        return config.comName + " at " + std::to_string(config.baudRate);
    }
    return config.ipAddress + ":" + std::to_string(config.udpPort);
}

// Prints what the file holds; kExitOk only for an EDID the router may be given.
int ReportEdid(const Options& options, EdidBytes& bytes) {
    bool padded = false;
    switch (ReadEdidFile(options.edidPath, bytes, &padded)) {
        case EdidFileStatus::OpenFailed:
            std::fprintf(stderr, "corvanectl: %s: File Open Fail!\n", options.edidPath.c_str());
            return kExitBadArguments;
        case EdidFileStatus::FormatError:
            std::fprintf(stderr, "corvanectl: %s: File Format Error!\n", options.edidPath.c_str());
            return kExitBadArguments;
        case EdidFileStatus::Ok:
            break;
    }
    const Edid edid = DecodeEdid(bytes, padded);
    const std::string report = options.json ? EdidJson(edid) : EdidSummaryText(edid);
    std::fputs(report.c_str(), stdout);
    if (!edid.Valid()) {
        if (options.upload) {
            std::fprintf(stderr, "corvanectl: not uploaded: %s\n", edid.errors[0].c_str());
        }
        return kExitInvalidEdid;
    }
    return kExitOk;
}

// The salvo file as scripts see it: what could be read, with a word on stderr
// when that is not all of it.
SalvoFile LoadSalvoFile() {
    SalvoFile file;
    std::string problem;
    if (!file.Load(kSalvoPath, problem))
        std::fprintf(stderr, "corvanectl: %s\n", file.DamageReport(kSalvoPath).c_str());
    return file;
}

// One change of the salvo file, read afresh under its lock; kExitOk when it
// was saved. refusal: what to say when change itself declined.
int ChangeSalvoFile(const std::function<bool(SalvoFile&)>& change, const std::string& refusal) {
    SalvoFile file;
    std::string problem;
    if (file.Update(kSalvoPath, change, problem))
        return kExitOk;
    if (problem.empty()) {
        std::fprintf(stderr, "corvanectl: %s\n", refusal.c_str());
        return kExitBadArguments;
    }
    if (file.unreadable)
        std::fprintf(stderr, "corvanectl: %s\n", file.DamageReport(kSalvoPath).c_str());
    std::fprintf(stderr, "corvanectl: %s %s; nothing changed\n", kSalvoPath, problem.c_str());
    return kExitSalvoFile;
}

void PrintPresets(const SalvoFile& file, bool json) {
    if (!json) {
        for (const Salvo& salvo : file.salvos) {
            std::printf("%s:", salvo.name.c_str());
            for (int o = 1; o <= kChannelCount; ++o) {
                std::printf(" %02d", salvo.map[o]);
            }
            std::printf("\n");
        }
        return;
    }
    std::string out = "{\"presets\": [";
    for (std::size_t i = 0; i < file.salvos.size(); ++i) {
        out += (i ? ",\n  " : "\n  ") + std::string("{\"name\": ") +
               JsonString(file.salvos[i].name) + ", \"map\": [";
        for (int o = 1; o <= kChannelCount; ++o) {
            out += (o > 1 ? ", " : "") + std::to_string(file.salvos[i].map[o]);
        }
        out += "]}";
    }
    out += "],\n \"protected\": [";
    bool first = true;
    for (int o = 1; o <= kChannelCount; ++o) {
        if (file.protectedOutput[o]) {
            out += (first ? "" : ", ") + std::to_string(o);
            first = false;
        }
    }
    std::printf("%s]}\n", out.c_str());
}

// The preset actions that need no router.
std::optional<int> RunOfflinePreset(const Options& options) {
    if (options.presetAction == "list") {
        const SalvoFile file = LoadSalvoFile();
        PrintPresets(file, options.json);
        // A script must not take a part for the whole.
        return file.damage.empty() ? kExitOk : kExitSalvoFile;
    }
    if (options.presetAction != "delete") {
        return std::nullopt;
    }
    const int code =
        ChangeSalvoFile([&](SalvoFile& file) { return file.Remove(options.presetName); },
                        "no preset " + options.presetName);
    if (code == kExitOk)
        std::printf("deleted preset %s\n", options.presetName.c_str());
    return code;
}

int Run(const Options& options) {
    if (options.command == "preset") {
        if (std::optional<int> code = RunOfflinePreset(options)) {
            return *code;
        }
    }
    // Protected outputs are refused before anything is sent.
    SalvoFile salvos = LoadSalvoFile();
    const bool routes = options.command == "route" || options.command == "set" ||
                        options.command == "clear" || options.command == "preset" ||
                        options.command == "serve";
    if (routes && salvos.unreadable) {
        std::fprintf(stderr,
                     "corvanectl: which outputs are protected is not known; nothing sent\n");
        return kExitSalvoFile;
    }
    std::vector<RouteChange> changes = options.changes;
    if (options.command == "route") {
        changes = {{options.output, options.input}};
    } else if (options.command == "preset" && options.presetAction == "recall") {
        const Salvo* salvo = salvos.Find(options.presetName);
        if (salvo == nullptr) {
            std::fprintf(stderr, "corvanectl: no preset %s\n", options.presetName.c_str());
            return kExitBadArguments;
        }
        changes = SalvoChanges(*salvo);
    }
    if (options.command == "set" || options.command == "route") {
        for (const RouteChange& change : changes) {
            if (salvos.protectedOutput[change.output]) {
                std::fprintf(stderr, "corvanectl: output %d is protected; nothing sent\n",
                             change.output);
                return kExitProtected;
            }
        }
    }
    EdidBytes edidBytes{};
    if (options.command == "edid") {
        const int code = ReportEdid(options, edidBytes);
        if (code != kExitOk || !options.upload) {
            return code;
        }
    }
    AppConfig config;
    EventLog log(".");
    log.fileFailed = ReportLogFailure;
    RouterSession session(log);
    if (!FileExists(kConfigPath) && !options.udp && !options.serial) {
        // Without settings the link would be the router's factory address;
        // a script must say where to go.
        throw BadArguments{"no ./config.ini here; pass --udp HOST:PORT or --serial DEVICE"};
    }
    // Channel names and start-up values as the program has them; a missing
    // file gives the defaults.
    if (!LoadConfig(config, session.state, kConfigPath)) {
        // The link must not fall back to the factory address.
        if (!options.udp && !options.serial)
            throw BadArguments{std::string(kConfigPath) +
                               " cannot be read (not a readable regular file); fix it or pass "
                               "--udp HOST:PORT or --serial DEVICE"};
        std::fprintf(stderr, "corvanectl: %s cannot be read; channel names are the defaults\n",
                     kConfigPath);
    }
    ApplyLinkOptions(options, config);
    if (options.command == "serve") {
        return Serve(config, options.listen, options.noLog, options.verbose);
    }

    Exchange exchange(options.verbose);
    log.fileLogEnabled = !options.noLog;
    log.screen = &exchange;
    session.onEvent = [&exchange](const SessionEvent& event) { exchange.Take(event); };
    log.screenLogEnabled = true;

    // A failed link ends the run with its exit code rather than being retried.
    config.reconnect = false;
    Connection connection(session, config);
    connection.showMessage = [](const std::string& text) {
        std::fprintf(stderr, "corvanectl: %s\n", text.c_str());
    };
    HeadlessLoop loop(connection);
    salvos.ApplyProtection(session.routing);

    const bool needsModel = options.command == "status" || options.command == "route" ||
                            (options.command == "preset" && options.presetAction == "save");
    // A LINK command carries every output: what it does not change it must
    // know first.
    const bool needsRoutes =
        options.command == "clear" || options.command == "set" || options.command == "preset";
    // Queued before Connect, so it is the first command on the wire.
    if (needsRoutes && !needsModel) {
        session.EnqueueCommand("LINK=?!");
    } else if (options.command == "send") {
        session.EnqueueCommand(options.raw);
    } else if (options.command == "edid") {
        // As the dialog does: the frame first, then the inputs switched to it.
        session.EnqueueCommand(*EdidModeCommand(EdidMode::User, 0, options.uploadInputs));
    }

    connection.Connect();
    if (session.connectionStatus == kConnectionFailed) {
        std::fprintf(stderr, "corvanectl: cannot open %s\n", LinkText(config).c_str());
        connection.Disconnect();
        return kExitConnectFailed;
    }
    if (!needsModel) {
        // A single command needs no picture of the router: skip the start-up poll.
        session.SkipStartupPoll();
    }
    // One exchange and out: nothing to keep true afterwards.
    session.refreshEnabled = false;
    if (options.command == "edid" && session.activeLink != nullptr) {
        // Straight onto the link, past the queue: the raw bytes may hold "!".
        std::uint8_t edid[kEdidSize];
        std::memcpy(edid, edidBytes.data(), kEdidSize);
        if (!session.SendUserEdid(edid)) {
            std::fprintf(stderr, "corvanectl: the link did not take the whole EDID frame\n");
            connection.Disconnect();
            return kExitConnectFailed;
        }
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
        int code = runUntil([&] { return session.PollDone() && session.commandQueue.empty(); });
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

    if (options.command == "preset" && options.presetAction == "save") {
        // Read again now: others may have changed the file during the poll.
        const int code = ChangeSalvoFile(
            [&](SalvoFile& file) {
                return file.Store(options.presetName, session.state.routedInput);
            },
            "no room for another preset (at most " + std::to_string(kMaxSalvos) + ")");
        if (code == kExitOk)
            std::printf("saved preset %s\n", options.presetName.c_str());
        return finish(code, nullptr);
    }

    // Every route request waits until the router has shown what became of it.
    auto request = [&](const std::vector<RouteChange>& asked) {
        session.RequestRoutes(asked);
        int code = runUntil([&] {
            return session.commandQueue.empty() && !session.routing.HasPending() &&
                   !session.routing.linkOutstanding;
        });
        for (const RouteChange& change : asked) {
            if (code == kExitOk && !session.routing.Protected(change.output) &&
                session.state.routedInput[change.output] != change.input) {
                std::fprintf(stderr, "corvanectl: the router did not take output %d\n",
                             change.output);
                return finish(kExitTimeout, nullptr);
            }
        }
        return code;
    };
    if (needsRoutes) {
        if (!needsModel) {
            int code = runUntil([&] {
                for (const std::string& answer : exchange.answers) {
                    if (answer.starts_with("LINK=")) {
                        return true;
                    }
                }
                return false;
            });
            if (code != kExitOk) {
                return code;
            }
        }
        if (options.command == "clear") {
            changes.clear();
            for (int o = 1; o <= kChannelCount; ++o) {
                changes.push_back({o, 0});
            }
        }
        if (int code = request(changes); code != kExitOk) {
            return code;
        }
        if (options.command == "clear") {
            std::printf("cleared every link\n");
        }
        for (int o = 1; o <= kChannelCount; ++o) {
            const bool named = std::any_of(changes.begin(), changes.end(),
                                           [o](const RouteChange& c) { return c.output == o; });
            if (named) {
                std::printf("%s\n", RouteLine(session, config, o).c_str());
            }
        }
        return finish(kExitOk, nullptr);
    }

    if (options.command == "route") {
        const bool unlink = session.state.routedInput[options.output] == options.input;
        if (int code = request({{options.output, unlink ? 0 : options.input}}); code != kExitOk) {
            return code;
        }
        std::printf("%s input %d (%s) %s output %d (%s)\n", unlink ? "unlinked" : "linked",
                    options.input, config.inputNames[options.input].c_str(), unlink ? "from" : "to",
                    options.output, config.outputNames[options.output].c_str());
        std::printf("%s\n", RouteLine(session, config, options.output).c_str());
        return finish(kExitOk, nullptr);
    }

    if (options.command == "edid") {
        // The frame went out past the session; the router's EDID answer after
        // the mode command tells that both have arrived.
        int code = runUntil([&] {
            if (exchange.sent < 1) {
                return false;
            }
            for (const std::string& answer : exchange.answers) {
                if (answer.starts_with("EDID=")) {
                    return true;
                }
            }
            return false;
        });
        if (code != kExitOk) {
            return code;
        }
        std::printf("uploaded %s, then sent %s\n", options.edidPath.c_str(),
                    EdidModeCommand(EdidMode::User, 0, options.uploadInputs)->c_str());
        for (const std::string& answer : exchange.answers) {
            std::printf("%s\n", answer.c_str());
        }
        return finish(kExitOk, nullptr);
    }

    int code = runUntil([&] { return exchange.sent >= 1 && exchange.answered; });
    if (code != kExitOk) {
        return code;
    }
    {
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
