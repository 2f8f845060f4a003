#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "Options.h"
#include "base/EventLog.h"
#include "control/SalvoBook.h"
#include "protocol/RouterSession.h"
#include "settings/AppConfig.h"
#include "transport/Connection.h"
#include "transport/HeadlessLoop.h"

namespace corvane {

// What every command shares: the options, the settings, the daily log, the
// router session and the salvo book.
struct Context {
    explicit Context(const Options& options);
    // The salvo file as scripts see it: what could be read, with a word on
    // stderr when that is not all of it.
    void LoadSalvos();
    // Reads ./config.ini and applies --udp / --serial; BadArguments when no
    // link is known, so nothing goes to the factory address.
    void LoadSettings();
    // A change of the salvo file, said as scripts expect: kExitOk when saved.
    int SalvoChanged(SalvoBook::Outcome outcome, const std::string& refusal);

    const Options& options;
    AppConfig config;
    EventLog log{"."};
    RouterSession session{log};
    SalvoBook salvos{session};
};

// Follows the session's events: every command sent and every answer parsed.
// With --verbose the log lines go to stderr as well.
class Exchange : public LogSink {
public:
    explicit Exchange(bool verbose) : verbose_(verbose) {}
    void AppendToLogList(const std::string& line) override;
    void ClearLogList() override {}
    void Take(const SessionEvent& event);
    // An answer starting with prefix came after the last command sent.
    bool Answered(const std::string& prefix) const;

    int sent = 0;
    bool answered = false;             // an answer came after the last command sent
    std::vector<std::string> answers;  // the answers since then
    std::chrono::steady_clock::time_point lastAnswer;

private:
    bool verbose_;
};

// One run against the router: the link opened once (a failure ends the run
// rather than being retried), driven until each step is done or the time of
// --timeout is up, and closed at the end.
class RouterRun {
public:
    explicit RouterRun(Context& context);
    // Opens the link; a command queued before goes first on the wire. Without
    // needsModel the start-up poll is skipped. kExitOk or kExitConnectFailed.
    int Open(bool needsModel);
    // Runs until done; kExitOk, or the run is finished with its exit code.
    int Until(const std::function<bool()>& done);
    // Closes the link; why (when given) is said on stderr with the link.
    int Finish(int code, const char* why = nullptr);
    // Sends the routes and waits until the router has shown what became of
    // them; a route it did not take is kExitTimeout.
    int Request(const std::vector<RouteChange>& asked);
    std::chrono::milliseconds Left() const;
    bool Failed() const { return context.session.connectionStatus == kConnectionFailed; }

    Context& context;
    Exchange exchange;
    Connection connection;
    HeadlessLoop loop;

private:
    std::chrono::steady_clock::time_point deadline_;
};

std::string LinkText(const AppConfig& config);

}  // namespace corvane
