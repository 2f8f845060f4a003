#pragma once

#include <optional>
#include <string>
#include <vector>

#include "protocol/RouterState.h"
#include "protocol/RoutingMap.h"
#include "settings/AppConfig.h"

namespace corvane {

enum ExitCode {
    kExitOk = 0,
    kExitBadArguments = 2,
    kExitConnectFailed = 3,
    kExitTimeout = 4,
    kExitProtected = 5,
    kExitInvalidEdid = 6,
    kExitSalvoFile = 7,
};

extern const char kUsage[];

// The command line as read: the link, the command and its own arguments.
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
    // salvo (or its old name preset): the word as typed, said back in messages.
    std::string salvoWord;
    std::string salvoAction;  // list, save, recall, delete
    std::string salvoName;
    std::string listen = "127.0.0.1:9990";
    std::string swp08Listen;  // serve: "" for no SW-P-08 server
};

// Bad arguments: said with the usage, exit code 2.
struct BadArguments {
    std::string problem;
};

Options ParseArguments(int argc, char** argv);
// --udp HOST:PORT and --serial DEVICE[:BAUD] over the settings from config.ini.
void ApplyLinkOptions(const Options& options, AppConfig& config);

}  // namespace corvane
