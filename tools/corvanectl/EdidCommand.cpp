// edid: checks a user EDID file as the EDID dialog does and, with --upload,
// sends it as the dialog's upload "Apply" does.

#include <cstdio>

#include "Commands.h"
#include "control/EdidUpload.h"
#include "edid/EdidReport.h"
#include "protocol/Commands.h"

namespace corvane {

int RunEdid(Context& context) {
    const Options& options = context.options;
    const EdidFileCheck check = CheckEdidFile(options.edidPath);
    if (check.status != EdidFileStatus::Ok) {
        std::fprintf(
            stderr, "corvanectl: %s: %s\n", options.edidPath.c_str(),
            check.status == EdidFileStatus::OpenFailed ? "File Open Fail!" : "File Format Error!");
        return kExitBadArguments;
    }
    const std::string report = options.json ? EdidJson(check.edid) : EdidSummaryText(check.edid);
    std::fputs(report.c_str(), stdout);
    if (!check.edid.Valid()) {
        if (options.upload)
            std::fprintf(stderr, "corvanectl: not uploaded: %s\n", check.edid.errors[0].c_str());
        return kExitInvalidEdid;
    }
    if (!options.upload)
        return kExitOk;

    context.LoadSettings();
    RouterRun run(context);
    // As the dialog does: the frame first, then the inputs switched to it
    // (queued now, sent after the frame).
    const std::string mode = *EdidModeCommand(EdidMode::User, 0, options.uploadInputs);
    context.session.EnqueueCommand(mode);
    if (const int code = run.Open(false); code != kExitOk)
        return code;
    if (!SendEdid(context.session, check.bytes)) {
        std::fprintf(stderr, "corvanectl: the link did not take the whole EDID frame\n");
        return run.Finish(kExitConnectFailed);
    }
    // The frame went out past the session; the router's EDID answer after
    // the mode command tells that both have arrived.
    const Exchange& exchange = run.exchange;
    if (const int code =
            run.Until([&] { return exchange.sent >= 1 && exchange.Answered("EDID="); });
        code != kExitOk)
        return code;
    std::printf("uploaded %s, then sent %s\n", options.edidPath.c_str(), mode.c_str());
    for (const std::string& answer : exchange.answers)
        std::printf("%s\n", answer.c_str());
    return run.Finish(kExitOk);
}

}  // namespace corvane
