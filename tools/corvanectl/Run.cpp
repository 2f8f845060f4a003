#include "Run.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "Serve.h"

namespace corvane {

namespace {

bool FileExists(const char* path) {
    struct stat info {};
    return lstat(path, &info) == 0;
}

}  // namespace

std::string LinkText(const AppConfig& config) {
    if (config.useSerial)
        return config.comName + " at " + std::to_string(config.baudRate);
    return config.ipAddress + ":" + std::to_string(config.udpPort);
}

Context::Context(const Options& options) : options(options) {
    log.fileFailed = ReportLogFailure;
}

void Context::LoadSalvos() {
    if (!salvos.Load())
        std::fprintf(stderr, "corvanectl: %s\n", salvos.DamageReport().c_str());
}

void Context::LoadSettings() {
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
}

int Context::SalvoChanged(SalvoBook::Outcome outcome, const std::string& refusal) {
    if (outcome == SalvoBook::kSaved)
        return kExitOk;
    if (outcome == SalvoBook::kDeclined) {
        std::fprintf(stderr, "corvanectl: %s\n", refusal.c_str());
        return kExitBadArguments;
    }
    if (salvos.file.unreadable)
        std::fprintf(stderr, "corvanectl: %s\n", salvos.DamageReport().c_str());
    std::fprintf(stderr, "corvanectl: %s %s; nothing changed\n", salvos.path.c_str(),
                 salvos.problem.c_str());
    return kExitSalvoFile;
}

void Exchange::AppendToLogList(const std::string& line) {
    if (verbose_)
        std::fprintf(stderr, "%s\n", line.c_str());
}

void Exchange::Take(const SessionEvent& event) {
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

bool Exchange::Answered(const std::string& prefix) const {
    return std::any_of(answers.begin(), answers.end(),
                       [&](const std::string& answer) { return answer.starts_with(prefix); });
}

RouterRun::RouterRun(Context& context)
    : context(context),
      exchange(context.options.verbose),
      connection(context.session, context.config),
      loop(connection) {
    EventLog& log = context.log;
    log.fileLogEnabled = !context.options.noLog;
    log.screen = &exchange;
    log.screenLogEnabled = true;
    context.session.onEvent.Subscribe([this](const SessionEvent& event) { exchange.Take(event); });
    // A failed link ends the run with its exit code rather than being retried.
    context.config.reconnect = false;
    connection.showMessage = [](const std::string& text) {
        std::fprintf(stderr, "corvanectl: %s\n", text.c_str());
    };
}

int RouterRun::Open(bool needsModel) {
    RouterSession& session = context.session;
    connection.Connect();
    if (Failed()) {
        std::fprintf(stderr, "corvanectl: cannot open %s\n", LinkText(context.config).c_str());
        connection.Disconnect();
        return kExitConnectFailed;
    }
    // A single command needs no picture of the router: no start-up poll.
    if (!needsModel)
        session.SkipStartupPoll();
    // One exchange and out: nothing to keep true afterwards.
    session.refreshEnabled = false;
    deadline_ =
        std::chrono::steady_clock::now() + std::chrono::seconds(context.options.timeoutSeconds);
    if (needsModel)
        return Until([&] { return session.PollDone() && session.commandQueue.empty(); });
    return kExitOk;
}

std::chrono::milliseconds RouterRun::Left() const {
    using namespace std::chrono;
    return std::max(milliseconds(0), duration_cast<milliseconds>(deadline_ - steady_clock::now()));
}

int RouterRun::Until(const std::function<bool()>& done) {
    loop.RunUntil([&] { return Failed() || done(); }, Left());
    if (Failed())
        return Finish(kExitConnectFailed, "connection failed");
    return done() ? kExitOk : Finish(kExitTimeout, "timed out waiting for the router");
}

int RouterRun::Finish(int code, const char* why) {
    if (why != nullptr)
        std::fprintf(stderr, "corvanectl: %s (%s)\n", why, LinkText(context.config).c_str());
    connection.Disconnect();
    return code;
}

int RouterRun::Request(const std::vector<RouteChange>& asked) {
    RouterSession& session = context.session;
    session.RequestRoutes(asked);
    const int code = Until([&] {
        return session.commandQueue.empty() && !session.routing.HasPending() &&
               !session.routing.linkOutstanding;
    });
    for (const RouteChange& change : asked) {
        if (code == kExitOk && !session.routing.Protected(change.output) &&
            session.state.routedInput[change.output] != change.input) {
            std::fprintf(stderr, "corvanectl: the router did not take output %d\n", change.output);
            return Finish(kExitTimeout);
        }
    }
    return code;
}

}  // namespace corvane
