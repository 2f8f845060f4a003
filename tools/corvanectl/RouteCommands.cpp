// status, send, route, set and clear: one exchange with the router each.

#include <algorithm>
#include <cstdio>

#include "Commands.h"
#include "control/StatusText.h"

namespace corvane {

int RunStatus(Context& context) {
    RouterRun run(context);
    if (const int code = run.Open(true); code != kExitOk)
        return code;
    const std::string report = context.options.json ? StatusJson(context.session, context.config)
                                                    : StatusText(context.session, context.config);
    std::fputs(report.c_str(), stdout);
    return run.Finish(kExitOk);
}

int RunSend(Context& context) {
    RouterRun run(context);
    // Queued before the link opens, so it is the first command on the wire.
    context.session.EnqueueCommand(context.options.raw);
    if (const int code = run.Open(false); code != kExitOk)
        return code;
    const Exchange& exchange = run.exchange;
    if (const int code = run.Until([&] { return exchange.sent >= 1 && exchange.answered; });
        code != kExitOk)
        return code;
    // Some queries have several answers (NET has five): take what follows
    // closely behind the first.
    using namespace std::chrono;
    run.loop.RunUntil(
        [&] {
            return run.Failed() || steady_clock::now() - exchange.lastAnswer > milliseconds(300);
        },
        std::min(run.Left(), milliseconds(2000)));
    for (const std::string& answer : exchange.answers)
        std::printf("%s\n", answer.c_str());
    return run.Finish(kExitOk);
}

int RunRoute(Context& context) {
    const Options& options = context.options;
    RouterRun run(context);
    if (const int code = run.Open(true); code != kExitOk)
        return code;
    const bool unlink = context.session.state.routedInput[options.output] == options.input;
    if (const int code = run.Request({{options.output, unlink ? 0 : options.input}});
        code != kExitOk)
        return code;
    const AppConfig& config = context.config;
    std::printf("%s input %d (%s) %s output %d (%s)\n", unlink ? "unlinked" : "linked",
                options.input, config.inputNames[options.input].c_str(), unlink ? "from" : "to",
                options.output, config.outputNames[options.output].c_str());
    std::printf("%s\n", RouteLine(context.session, config, options.output).c_str());
    return run.Finish(kExitOk);
}

int RunSetRoutes(Context& context, const std::vector<RouteChange>& changes) {
    RouterRun run(context);
    // A LINK command carries every output: what it does not change it must
    // know first, from the answer to this.
    context.session.EnqueueCommand("LINK=?!");
    if (const int code = run.Open(false); code != kExitOk)
        return code;
    if (const int code = run.Until([&] { return run.exchange.Answered("LINK="); }); code != kExitOk)
        return code;
    if (const int code = run.Request(changes); code != kExitOk)
        return code;
    if (context.options.command == "clear")
        std::printf("cleared every link\n");
    for (int o = 1; o <= kChannelCount; ++o) {
        if (std::any_of(changes.begin(), changes.end(),
                        [o](const RouteChange& c) { return c.output == o; }))
            std::printf("%s\n", RouteLine(context.session, context.config, o).c_str());
    }
    return run.Finish(kExitOk);
}

}  // namespace corvane
