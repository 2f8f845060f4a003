// salvo (and its former name, preset): the salvo book of the window, for
// scripts. Messages use the word the script typed.

#include <cstdio>

#include "Commands.h"
#include "base/TextFormat.h"

namespace corvane {

namespace {

void PrintSalvos(const SalvoFile& file, const std::string& word, bool json) {
    if (!json) {
        for (const Salvo& salvo : file.salvos) {
            std::printf("%s:", salvo.name.c_str());
            for (int o = 1; o <= kChannelCount; ++o)
                std::printf(" %02d", salvo.map[o]);
            std::printf("\n");
        }
        return;
    }
    std::string out = "{\"" + word + "s\": [";
    for (std::size_t i = 0; i < file.salvos.size(); ++i) {
        out += (i ? ",\n  " : "\n  ") + std::string("{\"name\": ") +
               JsonString(file.salvos[i].name) + ", \"map\": [";
        for (int o = 1; o <= kChannelCount; ++o)
            out += (o > 1 ? ", " : "") + std::to_string(file.salvos[i].map[o]);
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

}  // namespace

std::optional<int> RunOfflineSalvo(Context& context) {
    const Options& options = context.options;
    const std::string& word = options.salvoWord;
    if (options.salvoAction == "list") {
        context.LoadSalvos();
        PrintSalvos(context.salvos.file, word, options.json);
        // A script must not take a part for the whole.
        return context.salvos.file.damage.empty() ? kExitOk : kExitSalvoFile;
    }
    if (options.salvoAction != "delete")
        return std::nullopt;
    const int code = context.SalvoChanged(context.salvos.Remove(options.salvoName),
                                          "no " + word + " " + options.salvoName);
    if (code == kExitOk)
        std::printf("deleted %s %s\n", word.c_str(), options.salvoName.c_str());
    return code;
}

int RunSalvoSave(Context& context) {
    const Options& options = context.options;
    RouterRun run(context);
    if (const int code = run.Open(true); code != kExitOk)
        return code;
    // The file is read again now: others may have changed it during the poll.
    const int code = context.SalvoChanged(context.salvos.Store(options.salvoName),
                                          "no room for another " + options.salvoWord +
                                              " (at most " + std::to_string(kMaxSalvos) + ")");
    if (code == kExitOk)
        std::printf("saved %s %s\n", options.salvoWord.c_str(), options.salvoName.c_str());
    return run.Finish(code);
}

}  // namespace corvane
