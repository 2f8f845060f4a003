// corvanectl: the router connection of the program without its window, for
// scripts and quick checks. Same core, same pacing, same daily log, same
// application layer: option parsing in Options.cpp, one function a command.

#include <cstdio>
#include <cstring>

#include "Commands.h"
#include "Serve.h"

namespace corvane {
namespace {

int Run(const Options& options) {
    Context context(options);
    const bool salvo = !options.salvoWord.empty();
    if (salvo) {
        if (const std::optional<int> code = RunOfflineSalvo(context))
            return *code;
    }
    // Protected outputs are refused before anything is sent.
    context.LoadSalvos();
    const std::string& command = options.command;
    const bool routes =
        command == "route" || command == "set" || command == "clear" || salvo || command == "serve";
    if (routes && context.salvos.file.unreadable) {
        std::fprintf(stderr,
                     "corvanectl: which outputs are protected is not known; nothing sent\n");
        return kExitSalvoFile;
    }
    std::vector<RouteChange> changes = options.changes;
    if (command == "route")
        changes = {{options.output, options.input}};
    if (command == "clear") {
        for (int o = 1; o <= kChannelCount; ++o)
            changes.push_back({o, 0});
    }
    if (options.salvoAction == "recall") {
        const Salvo* found = context.salvos.file.Find(options.salvoName);
        if (found == nullptr) {
            std::fprintf(stderr, "corvanectl: no %s %s\n", options.salvoWord.c_str(),
                         options.salvoName.c_str());
            return kExitBadArguments;
        }
        changes = SalvoChanges(*found);
    }
    if (command == "set" || command == "route") {
        for (const RouteChange& change : changes) {
            if (context.salvos.file.protectedOutput[change.output]) {
                std::fprintf(stderr, "corvanectl: output %d is protected; nothing sent\n",
                             change.output);
                return kExitProtected;
            }
        }
    }
    if (command == "edid")
        return RunEdid(context);  // the file is checked before any settings are read
    context.LoadSettings();
    if (command == "serve")
        return Serve(context);
    if (command == "status")
        return RunStatus(context);
    if (command == "send")
        return RunSend(context);
    if (command == "route")
        return RunRoute(context);
    if (options.salvoAction == "save")
        return RunSalvoSave(context);
    return RunSetRoutes(context, changes);  // set, clear, salvo recall
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
