#include "protocol/RouterSession.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "protocol/Commands.h"
#include "settings/EventLog.h"

namespace corvane {

namespace {

// A command waits this many ticks (1 s) for an answer before the next may go.
constexpr int kAnswerWaitTicks = 20;
// A link that takes nothing of a waiting command for this many ticks (5 s)
// is given up: the connection shows Connection Failed.
constexpr int kStalledLinkTicks = 100;

// A LINK command that sets routes (the start-up query asks for them).
bool IsLinkSet(const std::string& command) {
    return command.starts_with("LINK=") && command != "LINK=?!";
}

}  // namespace

RouterSession::RouterSession(EventLog& log) : log(log) {}

void RouterSession::SetStatus(int status) {
    const int old = connectionStatus;
    connectionStatus = status;
    if (old != status && onEvent)
        onEvent({SessionEvent::StatusChanged, {}, old, status});
}

bool RouterSession::EnqueueCommand(const std::string& command) {
    if (command.size() > kMaxCommandLength) {
        // Cutting it would send a different command; the router gets nothing.
        const std::string note = "Command refused, " + std::to_string(command.size()) +
                                 " characters (at most " + std::to_string(kMaxCommandLength) +
                                 "): " + command.substr(0, 40) + "...";
        log.LogEvent(true, true, "%s", note.c_str());
        return false;
    }
    commandQueue.push_back(command);
    return true;
}

void RouterSession::OnSendTimer() {
    if (connectionStatus != kConnecting && connectionStatus != kConnected)
        return;

    if (pollIndex < static_cast<unsigned>(kStartupQueryCount)) {
        EnqueueCommand(StartupQueries[pollIndex]);
        ++pollIndex;
    }

    // Without a link there is nowhere to send to; the command stays queued. A
    // head the link took in part is finished first, on the following ticks.
    if (!commandQueue.empty() && (sendCountdown <= 0 || headSent > 0) && activeLink != nullptr) {
        const std::string& head = commandQueue.front();
        // The router reads text: a command ends at its first NUL, as it always
        // has. EnqueueCommand has refused anything too long for it.
        const std::size_t length = strnlen(head.c_str(), head.size());
        const int taken =
            length > headSent ? activeLink->Write(head.data() + headSent, length - headSent) : 0;
        if (taken > 0) {
            headSent += static_cast<std::size_t>(taken);
            stalledTicks = -1;
        }
        if (headSent >= length) {
            // Logged once it is out whole, so the log shows what the router got.
            log.LogEvent(true, true, "-->Data[%s]", head.substr(0, length).c_str());
            if (onEvent)
                onEvent({SessionEvent::CommandSent, head.substr(0, length)});
            if (IsLinkSet(head))
                routing.OnLinkSent();
            commandQueue.pop_front();
            headSent = 0;
            sendCountdown = kAnswerWaitTicks;
        } else if (taken <= 0) {
            if (stalledTicks < 0) {
                log.LogEvent(true, true, "Send refused by the link, retrying: %s",
                             head.substr(0, length).c_str());
                stalledTicks = 0;
            }
            // A command not yet begun waits the usual second before it is
            // tried again (a port that has just gone away).
            if (headSent == 0)
                sendCountdown = kAnswerWaitTicks;
        }
    }
    if (stalledTicks >= 0 && ++stalledTicks >= kStalledLinkTicks) {
        log.LogEvent(true, true, "%s", "Send stalled, the link took nothing for 5 s ");
        stalledTicks = -1;
        SetStatus(kConnectionFailed);
        if (refresh)
            refresh();
        return;
    }

    if (routing.OnTick(log))
        QueueLinkCommand();

    // Keeps falling while idle, so the next command leaves at once; the floor
    // only keeps a connection that runs for years from overflowing.
    if (sendCountdown > INT_MIN)
        --sendCountdown;
}

void RouterSession::FeedResponseBytes(const void* bytes, int count) {
    framer.FeedResponseBytes(bytes, count, [this](const char* text) { ParseResponse(text); });
}

void RouterSession::ParseResponse(const char* text) {
    if (text == nullptr)
        return;
    log.LogEvent(true, true, "<--Recv[%s]", text);
    bool named[kChannelTableSize];
    const bool linkAnswer = LinkAnswerOutputs(text, named);
    int before[kChannelTableSize];
    std::copy(std::begin(state.routedInput), std::end(state.routedInput), before);
    ApplyResponse(state, text);
    if (linkAnswer) {
        ++linkAnswers;
        routing.OnLinkAnswer(state, named, log);
        std::vector<int> changed;
        for (int o = 1; o <= kChannelCount; ++o) {
            if (state.routedInput[o] != before[o])
                changed.push_back(o);
        }
        if (!changed.empty() && routesChanged)
            routesChanged(changed);
    }
    // Reported once the model holds it.
    if (onEvent)
        onEvent({SessionEvent::AnswerParsed, text});
    // Any answer, even one we do not understand, releases the next command.
    sendCountdown = 0;
    if (connectionStatus == kConnecting)
        SetStatus(kConnected);
    if (refresh)
        refresh();
}

std::vector<int> RouterSession::RequestRoutes(const std::vector<RouteChange>& changes,
                                              int requester, int stepKind) {
    std::vector<int> refused = routing.Apply(state, changes, requester, stepKind);
    for (int output : refused) {
        if (routing.Protected(output) || !routing.MayChange(output, requester))
            LogRefusal(output);
    }
    if (refused.size() < changes.size())
        QueueLinkCommand();
    return refused;
}

void RouterSession::LogRefusal(int output) {
    // A client's lock is not the operator's protect: say whose it is.
    const int owner = output >= 1 && output <= kChannelCount ? routing.lockOwner[output] : 0;
    if (owner >= kFirstClient)
        log.LogEvent(true, true, "Output %02d is locked by Videohub client %d, route not changed",
                     output, owner);
    else
        log.LogEvent(true, true, "Output %02d is protected, route not changed", output);
}

void RouterSession::QueueLinkCommand() {
    int map[kChannelTableSize] = {};
    for (int o = 1; o <= kChannelCount; ++o)
        map[o] = routing.Intended(state, o);
    const std::string command = BuildLinkCommand(map);
    // The unsent LINK command takes the whole new map; other commands keep
    // their places.
    // A head already on its way out stays as it is.
    for (std::size_t i = headSent > 0 ? 1 : 0; i < commandQueue.size(); ++i) {
        if (IsLinkSet(commandQueue[i])) {
            commandQueue[i] = command;
            return;
        }
    }
    EnqueueCommand(command);
}

void RouterSession::LinkOutput(int selectedInput, int output) {
    if (output < 1 || output > kChannelCount)
        return;
    const int current = routing.staged[output] != kNoRoute ? routing.staged[output]
                                                           : routing.Intended(state, output);
    SetRoute(selectedInput == current ? 0 : selectedInput, output);
}

void RouterSession::SetRoute(int input, int output) {
    if (!routing.takeMode) {
        RequestRoutes({{output, input}});
    } else if (!routing.MayChange(output, kOperator)) {
        LogRefusal(output);
    } else {
        routing.Stage(output, input);
    }
}

void RouterSession::LinkAllOutputs(int selectedInput) {
    std::vector<RouteChange> changes;
    for (int o = 1; o <= kChannelCount; ++o)
        changes.push_back({o, selectedInput});
    RequestRoutes(changes);
}

void RouterSession::ClearAllLinks() {
    LinkAllOutputs(0);
}

void RouterSession::Take() {
    const std::vector<RouteChange> changes = routing.TakeStaged();
    if (!changes.empty())
        RequestRoutes(changes);
}

bool RouterSession::Undo() {
    return UndoOrRedo(routing.undoSteps, true);
}

bool RouterSession::Redo() {
    return UndoOrRedo(routing.redoSteps, false);
}

bool RouterSession::UndoOrRedo(std::vector<RouteStep>& steps, bool undo) {
    if (connectionStatus != kConnected || steps.empty())
        return false;
    const RouteStep step = steps.back();
    steps.pop_back();
    // The redo history holds the undo steps themselves, so both go back to
    // where their step started.
    std::vector<RouteChange> changes;
    for (int o = 1; o <= kChannelCount; ++o) {
        if (step.after[o] != kNoRoute)
            changes.push_back({o, step.before[o]});
    }
    RequestRoutes(changes, kOperator, undo ? kUndoStep : kRedoStep);
    return true;
}

void RouterSession::SetProtected(int output, bool on) {
    if (output < 1 || output > kChannelCount)
        return;
    // A client's lock is the client's to release.
    if (routing.lockOwner[output] >= kFirstClient)
        return;
    routing.lockOwner[output] = on ? kOperator : 0;
    if (on)
        routing.staged[output] = kNoRoute;
    log.LogEvent(true, true, on ? "Output %02d protected" : "Output %02d released", output);
}

bool RouterSession::SendUserEdid(const std::uint8_t (&edid)[kEdidSize]) {
    if (activeLink == nullptr)
        return false;
    const std::vector<std::uint8_t> frame = UserEdidFrame(edid);
    // A port that is slow to drain takes the frame in parts; one that takes
    // nothing more leaves it cut short.
    std::size_t taken = 0;
    for (int attempt = 0; attempt < 8 && taken < frame.size(); ++attempt) {
        const int n = activeLink->Write(frame.data() + taken, frame.size() - taken);
        if (n <= 0)
            break;
        taken += static_cast<std::size_t>(n);
    }
    if (taken < frame.size()) {
        log.LogEvent(true, true, "EDID upload cut short: the link took %d of %d bytes",
                     static_cast<int>(taken), static_cast<int>(frame.size()));
        return false;
    }
    for (const std::string& line : UserEdidLogLines(edid))
        log.LogEvent(true, true, "%s", line.c_str());
    return true;
}

}  // namespace corvane
