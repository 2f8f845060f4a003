#include "Options.h"

#include <map>

#include "base/TextFormat.h"
#include "protocol/Commands.h"
#include "settings/SalvoFile.h"

namespace corvane {

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
    "  salvo list [--json] | save NAME | recall NAME | delete NAME\n"
    "                   the salvos in ./salvos.ini; save stores the router's routes,\n"
    "                   recall sends them as one LINK command (protected outputs stay);\n"
    "                   \"preset\" is the same command under its former name\n"
    "  serve [--listen ADDR:PORT] [--swp08 ADDR:PORT]\n"
    "                   serve Videohub clients (default 127.0.0.1:9990), and SW-P-08\n"
    "                   clients when --swp08 is given, until SIGINT or SIGTERM,\n"
    "                   reconnecting to the router when the link fails\n"
    "  edid FILE [--json] [--upload INPUTS]\n"
    "                   check an EDID file and print its summary; --upload sends it and\n"
    "                   sets those inputs (like 1,3,5) to it\n"
    "Without --udp or --serial the link settings come from ./config.ini.\n"
    "The daily log is written to the current directory unless --no-log.\n"
    "exit codes: 0 done, 2 bad arguments or unreadable EDID file, 3 connection failed,\n"
    "            4 timed out or a route not taken, 5 output protected, 6 invalid EDID,\n"
    "            7 salvo file ./salvos.ini damaged (what could be read was used),\n"
    "            unreadable or not saved\n";

namespace {

using Words = std::vector<std::string>;  // the command's own arguments

void ParseStatus(const Words& words, Options& options) {
    options.json = words.size() == 1 && words[0] == "--json";
    if (words.size() > 1 || (words.size() == 1 && !options.json))
        throw BadArguments{"usage: status [--json]"};
}

void ParseRoute(const Words& words, Options& options) {
    if (words.size() != 2 || !ParseInt(words[0], 1, kChannelCount, &options.input) ||
        !ParseInt(words[1], 1, kChannelCount, &options.output))
        throw BadArguments{"usage: route IN OUT, both 1 to 16"};
}

void ParseClear(const Words& words, Options&) {
    if (!words.empty())
        throw BadArguments{"clear takes no arguments"};
}

void ParseSend(const Words& words, Options& options) {
    if (words.size() != 1)
        throw BadArguments{"usage: send 'KEY=VALUE!'"};
    options.raw = words[0];
    if (options.raw.empty() || options.raw.back() != '!' ||
        options.raw.find('!') != options.raw.size() - 1 || options.raw.size() > kMaxCommandLength)
        throw BadArguments{"a command ends with its only \"!\" and has at most 255 characters"};
}

void ParseEdid(const Words& words, Options& options) {
    const char* usage = "usage: edid FILE [--json] [--upload INPUTS]";
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (words[i] == "--json") {
            options.json = true;
        } else if (words[i] == "--upload" && i + 1 < words.size() && !options.upload) {
            options.upload = true;
            const std::string list = words[++i] + ",";
            for (std::size_t at = 0, comma; (comma = list.find(',', at)) != std::string::npos;
                 at = comma + 1) {
                int input = 0;
                if (!ParseInt(list.substr(at, comma - at), 1, kChannelCount, &input))
                    throw BadArguments{"--upload wants inputs 1 to 16 like 1,3,5"};
                options.uploadInputs[input] = true;
            }
        } else if (options.edidPath.empty() && !words[i].starts_with("--")) {
            options.edidPath = words[i];
        } else {
            throw BadArguments{usage};
        }
    }
    if (options.edidPath.empty())
        throw BadArguments{usage};
}

void ParseSet(const Words& words, Options& options) {
    bool named[kChannelTableSize] = {};
    for (const std::string& word : words) {
        const std::size_t equals = word.find('=');
        RouteChange change;
        if (equals == std::string::npos ||
            !ParseInt(word.substr(0, equals), 1, kChannelCount, &change.output) ||
            !ParseInt(word.substr(equals + 1), 0, kChannelCount, &change.input) ||
            named[change.output])
            throw BadArguments{
                "usage: set OUT=IN [OUT=IN ...], each output once, OUT 1 to 16, IN 0 to 16 (0: "
                "no input)"};
        named[change.output] = true;
        options.changes.push_back(change);
    }
    if (options.changes.empty())
        throw BadArguments{"usage: set OUT=IN [OUT=IN ...]"};
}

void ParseSalvo(const Words& words, Options& options) {
    options.salvoWord = options.command;
    const std::string usage =
        "usage: " + options.command + " list [--json] | save NAME | recall NAME | delete NAME";
    options.salvoAction = words.empty() ? "" : words[0];
    if (options.salvoAction == "list") {
        options.json = words.size() == 2 && words[1] == "--json";
        if (words.size() > 2 || (words.size() == 2 && !options.json))
            throw BadArguments{usage};
    } else if (options.salvoAction == "save" || options.salvoAction == "recall" ||
               options.salvoAction == "delete") {
        if (words.size() != 2 || !ValidSalvoName(words[1]))
            throw BadArguments{usage + "; a name has 1 to 63 characters and no \"=\""};
        options.salvoName = words[1];
    } else {
        throw BadArguments{usage};
    }
}

void ParseServe(const Words& words, Options& options) {
    for (std::size_t i = 0; i < words.size(); i += 2) {
        if (i + 1 < words.size() && words[i] == "--listen")
            options.listen = words[i + 1];
        else if (i + 1 < words.size() && words[i] == "--swp08")
            options.swp08Listen = words[i + 1];
        else
            throw BadArguments{"usage: serve [--listen ADDR:PORT] [--swp08 ADDR:PORT]"};
    }
}

}  // namespace

Options ParseArguments(int argc, char** argv) {
    Options options;
    Words words;
    bool commandSeen = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw BadArguments{arg + " needs a value"};
            return argv[++i];
        };
        if (commandSeen) {
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
            const std::string text = value();
            if (!ParseInt(text, 1, 3600, &options.timeoutSeconds))
                throw BadArguments{"bad timeout: " + text + " (1 to 3600 seconds)"};
        } else if (arg.starts_with("-")) {
            throw BadArguments{"unknown option: " + arg};
        } else {
            options.command = arg;
            commandSeen = true;
        }
    }
    if (options.udp && options.serial)
        throw BadArguments{"choose either --udp or --serial"};
    if (!commandSeen)
        throw BadArguments{"no command given"};
    static const std::map<std::string, void (*)(const Words&, Options&)> parsers = {
        {"status", ParseStatus}, {"route", ParseRoute},  {"clear", ParseClear},
        {"send", ParseSend},     {"edid", ParseEdid},    {"set", ParseSet},
        {"salvo", ParseSalvo},   {"preset", ParseSalvo}, {"serve", ParseServe}};
    const auto parser = parsers.find(options.command);
    if (parser == parsers.end())
        throw BadArguments{"unknown command: " + options.command};
    parser->second(words, options);
    return options;
}

void ApplyLinkOptions(const Options& options, AppConfig& config) {
    if (options.udp) {
        const std::string& text = *options.udp;
        const std::size_t colon = text.rfind(':');
        const std::string host = colon == std::string::npos ? "" : text.substr(0, colon);
        int port = 0;
        // The local port is the router's port + 10, so it must stay below 65526.
        if (host.empty() || !ParseInt(text.substr(colon + 1), 1, 65525, &port))
            throw BadArguments{"--udp wants HOST:PORT with a port of 1 to 65525, got " + text};
        config.useSerial = false;
        config.ipAddress = host;
        config.udpPort = port;
    }
    if (options.serial) {
        std::string device = *options.serial;
        const std::size_t colon = device.rfind(':');
        int baud = config.baudRate;
        if (colon != std::string::npos) {
            if (!ParseInt(device.substr(colon + 1), 1, 4000000, &baud))
                throw BadArguments{"--serial wants DEVICE[:BAUD], got " + device};
            device.resize(colon);
        }
        if (device.empty())
            throw BadArguments{"--serial wants a device"};
        config.useSerial = true;
        config.comName = device;
        config.baudRate = baud;
    }
}

}  // namespace corvane
