#include "protocol/RouterSession.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "base/EventLog.h"
#include "base/TextFormat.h"
#include "protocol/Commands.h"
#include "protocol/Pacing.h"

namespace corvane {

namespace {

// A LINK command that sets routes (the start-up query asks for them).
bool IsLinkSet(const std::string& command) {
    return command.starts_with("LINK=") && command != "LINK=?!";
}

}  // namespace

RouterSession::RouterSession(EventLog& log) : log(log) {
    std::fill(std::begin(signalLostTick), std::end(signalLostTick), -1);
}

void RouterSession::SetStatus(int status) {
    const int old = connectionStatus;
    connectionStatus = status;
    if (old != status) {
        SessionEvent event{SessionEvent::StatusChanged, {}};
        event.oldStatus = old;
        event.newStatus = status;
        Emit(event);
    }
}

void RouterSession::Emit(SessionEvent event) {
    onEvent.Notify(event);
}

void RouterSession::Refused(int output, const std::string& why) {
    log.LogEvent(true, true, "%s", why.c_str());
    SessionEvent event{SessionEvent::Refused, why};
    event.channel = output;
    Emit(event);
}

void RouterSession::LogLink(const std::string& line) {
    if (!holdLines) {
        log.LogEvent(true, true, "%s", line.c_str());
    } else if (heldLines_.size() < kMaxHeldLines) {
        heldLines_.push_back(line);
    }
}

void RouterSession::ReleaseHeldLines() {
    holdLines = false;
    std::vector<std::string> lines;
    lines.swap(heldLines_);
    for (const std::string& line : lines)
        log.LogEvent(true, true, "%s", line.c_str());
}

void RouterSession::DiscardHeldLines() {
    heldLines_.clear();
}

void RouterSession::OnLinkOpened(ByteSink* link, bool retry) {
    activeLink = link;
    if (refreshHead_ && headSent == 0 && !commandQueue.empty())
        commandQueue.pop_front();
    refreshHead_ = refreshOut_ = false;
    headSent = 0;
    // Commands still queued from before count as the user's own; the poll
    // queries that were waiting are queued again from the first.
    RemoveQueuedPoll();
    RemoveQueuedLink();
    // A retry's link opens whether or not the router is back (a UDP socket
    // always does): what was queued meanwhile waits for the first answer
    // rather than going to a router that may still be down. After a Connect
    // it goes first, as it always has.
    if (retry) {
        waitingForAnswer_.insert(waitingForAnswer_.end(), commandQueue.begin(), commandQueue.end());
        commandQueue.clear();
    }
    routing.Unsend();
    pollIndex = 0;
    pollSent_ = 0;
    pollDone_ = false;
    linkAnswers = 0;
    sendCountdown = 0;
    stalledTicks = -1;
    answering = true;
    lastAnswerTick = -1;
    unansweredSince_ = -1;
    lastSendTick_ = -1;
    linkAnswerTick_ = -1;
    roundTripTicks_ = 1;
    refreshQuery_.clear();
    SetStatus(kConnecting);
}

void RouterSession::OnLinkFailed() {
    activeLink = nullptr;
    headSent = 0;
    stalledTicks = -1;
    if (refreshHead_ && !commandQueue.empty())
        commandQueue.pop_front();
    refreshHead_ = refreshOut_ = false;
    // The routes asked for wait for the next link, to be sent against the
    // map it reports.
    RemoveQueuedLink();
    ReleaseWaitingCommands();
    routing.Unsend();
    SetStatus(kConnectionFailed);
}

void RouterSession::OnLinkClosed() {
    activeLink = nullptr;
    commandQueue.clear();
    waitingForAnswer_.clear();
    linkQueued_ = false;
    pollDone_ = false;
    headSent = 0;
    stalledTicks = -1;
    refreshHead_ = refreshOut_ = false;
    answering = true;
    unansweredSince_ = -1;
    routing.DropPending();
    state.ClearConnectionTables();
    std::fill(std::begin(signalLostTick), std::end(signalLostTick), -1);
    holdLines = false;
    heldLines_.clear();
    SetStatus(kDisconnected);
}

void RouterSession::SkipStartupPoll() {
    pollIndex = kStartupQueryCount;
    pollSent_ = kStartupQueryCount;
    pollDone_ = true;
    ReleaseWaitingCommands();
}

void RouterSession::ReleaseWaitingCommands() {
    commandQueue.insert(commandQueue.begin() + (headSent > 0 ? 1 : 0), waitingForAnswer_.begin(),
                        waitingForAnswer_.end());
    waitingForAnswer_.clear();
}

bool RouterSession::Live() const {
    return connectionStatus == kConnected && answering && pollDone_;
}

bool RouterSession::LinkFresh() const {
    return linkAnswerTick_ >= 0 &&
           tick - linkAnswerTick_ <= std::max<long long>(kFreshLinkTicks, roundTripTicks_);
}

bool RouterSession::EnqueueCommand(const std::string& command) {
    if (command.size() > kMaxCommandLength) {
        // Cutting it would send a different command; the router gets nothing.
        const std::string note = "Command refused, " + std::to_string(command.size()) +
                                 " characters (at most " + std::to_string(kMaxCommandLength) +
                                 "): " + command.substr(0, 40) + "...";
        Refused(0, note);
        return false;
    }
    commandQueue.push_back(command);
    return true;
}

void RouterSession::RemoveQueuedLink() {
    if (!linkQueued_)
        return;
    linkQueued_ = false;
    const auto at = std::find(commandQueue.begin(), commandQueue.end(), linkCommand_);
    if (at != commandQueue.end() && !(at == commandQueue.begin() && (headSent > 0 || refreshHead_)))
        commandQueue.erase(at);
}

void RouterSession::RemoveQueuedPoll() {
    // The poll's queries not sent yet wait in the queue in order; a head
    // already on its way out stays.
    auto from = commandQueue.begin() + ((headSent > 0 || refreshHead_) ? 1 : 0);
    for (unsigned i = static_cast<unsigned>(pollSent_); i < pollIndex && from <= commandQueue.end();
         ++i) {
        const auto at = std::find(from, commandQueue.end(), StartupQueries[i]);
        if (at == commandQueue.end())
            continue;
        from = commandQueue.erase(at);
    }
    pollSent_ = static_cast<int>(pollIndex);
}

void RouterSession::OnSendTimer() {
    ++tick;
    if (connectionStatus != kConnecting && connectionStatus != kConnected)
        return;

    CheckSilence();
    if (!answering) {
        // Nothing goes out to a router that does not answer but one probe a
        // second; what was asked waits, visibly, until it answers again.
        if (headSent == 0 && tick - probeTick_ >= kProbeTicks) {
            probeTick_ = tick;
            if (!refreshHead_) {
                commandQueue.push_front("LINK=?!");
                refreshHead_ = true;
            }
            sendCountdown = 0;
        }
        if (refreshHead_ || headSent > 0)
            SendHead();
        return;
    }

    if (pollIndex < static_cast<unsigned>(kStartupQueryCount)) {
        EnqueueCommand(StartupQueries[pollIndex]);
        ++pollIndex;
    }

    // Our LINK command is built when it leaves, from a map the router has
    // just shown, so that a route made elsewhere meanwhile is not undone.
    if (linkQueued_ && !commandQueue.empty() && headSent == 0 && sendCountdown <= 0 &&
        !refreshHead_ && commandQueue.front() == linkCommand_) {
        if (!routing.HasPending()) {
            commandQueue.pop_front();
            linkQueued_ = false;
        } else if (!LinkFresh()) {
            commandQueue.push_front("LINK=?!");
        } else {
            int map[kChannelTableSize] = {};
            for (int o = 1; o <= kChannelCount; ++o)
                map[o] = routing.Intended(state, o);
            commandQueue.front() = BuildLinkCommand(map);
            // On its way: requests from now on go into the next one.
            linkQueued_ = false;
        }
    }

    // With nothing to send and nothing awaited, one refresh query.
    if (commandQueue.empty() && sendCountdown <= 0 && refreshEnabled && Live() &&
        activeLink != nullptr) {
        const std::string query = refreshSchedule_.Next(tick, state);
        if (!query.empty()) {
            commandQueue.push_front(query);
            refreshHead_ = true;
        }
    }

    SendHead();
    if (connectionStatus == kConnectionFailed)
        return;

    if (!pollDone_ && pollSent_ >= kStartupQueryCount && sendCountdown <= 0) {
        pollDone_ = true;
        refreshSchedule_.Reset(tick);
    }

    const RoutingMap::TickResult result =
        routing.OnTick(lastAnswerTick >= 0 && lastAnswerTick >= linkSentTick_);
    for (int output : result.dropped)
        Refused(output, Format("Route not taken: output %02d", output));
    if (result.resend && Live())
        QueueLinkCommand();
    // Routes asked for while the router could not be reached go now, against
    // the map the poll has just read.
    if (Live() && routing.HasPending() && !routing.linkOutstanding && !linkQueued_)
        QueueLinkCommand();

    // Keeps falling while idle, so the next command leaves at once; the floor
    // only keeps a connection that runs for years from overflowing.
    if (sendCountdown > INT_MIN)
        --sendCountdown;
}

void RouterSession::SendHead() {
    // Without a link there is nowhere to send to; the command stays queued. A
    // head the link took in part is finished first, on the following ticks.
    if (commandQueue.empty() || !(sendCountdown <= 0 || headSent > 0) || activeLink == nullptr)
        return;
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
        const std::string sent = head.substr(0, length);
        if (refreshHead_) {
            // A refresh query is logged only with an answer that changes something.
            ++refreshSent;
            refreshOut_ = true;
            refreshQuery_ = sent;
            refreshHead_ = false;
        } else {
            // Logged once it is out whole, so the log shows what the router got.
            refreshOut_ = false;
            LogLink("-->Data[" + sent + "]");
            Emit({SessionEvent::CommandSent, sent});
            // The poll's queries leave in order; counting them in order keeps
            // a user's own query from being taken for one of them.
            if (pollSent_ < kStartupQueryCount && sent == StartupQueries[pollSent_])
                ++pollSent_;
        }
        if (IsLinkSet(sent)) {
            routing.OnLinkSent();
            linkSentTick_ = tick;
        }
        commandQueue.pop_front();
        headSent = 0;
        sendCountdown = kAnswerWaitTicks;
        lastSendTick_ = tick;
        if (unansweredSince_ < 0)
            unansweredSince_ = tick;
    } else if (taken <= 0) {
        if (stalledTicks < 0) {
            LogLink("Send refused by the link, retrying: " + head.substr(0, length));
            stalledTicks = 0;
        }
        // A command not yet begun waits the usual second before it is
        // tried again (a port that has just gone away).
        if (headSent == 0)
            sendCountdown = kAnswerWaitTicks;
    }
    if (stalledTicks >= 0 && ++stalledTicks >= kStalledLinkTicks) {
        LogLink("Send stalled, the link took nothing for 5 s ");
        stalledTicks = -1;
        SetStatus(kConnectionFailed);
        onRefresh.Notify();
    }
}

void RouterSession::CheckSilence() {
    if (answering && unansweredSince_ >= 0 && tick - unansweredSince_ >= kSilentTicks)
        StopAnswering();
}

void RouterSession::StopAnswering() {
    answering = false;
    LogLink("Router not answering");
    SessionEvent event{SessionEvent::Answering, "Router not answering"};
    event.value = 0;
    // What waits in the queue stays there; what was in flight waits with it,
    // and the start-up poll runs again once the router is back.
    if (refreshHead_ && headSent == 0 && !commandQueue.empty())
        commandQueue.pop_front();
    refreshHead_ = false;
    RemoveQueuedPoll();
    RemoveQueuedLink();
    routing.Unsend();
    pollIndex = kStartupQueryCount;
    pollDone_ = false;
    probeTick_ = -1;
    Emit(event);
    onRefresh.Notify();
}

void RouterSession::FeedResponseBytes(const void* bytes, int count) {
    framer.FeedResponseBytes(bytes, count, [this](const char* text) { ParseResponse(text); });
}

void RouterSession::ParseResponse(const char* text) {
    if (text == nullptr)
        return;
    bool named[kChannelTableSize];
    const bool linkAnswer = LinkAnswerOutputs(text, named);
    const RouterState before = state;
    ApplyResponse(state, text);

    const bool wasAnswering = answering;
    const bool news = !(state == before) || !wasAnswering || connectionStatus != kConnected;
    // An answer to a refresh query that changes nothing leaves no trace.
    const bool quiet = refreshOut_ && !news;
    if (!quiet) {
        if (refreshOut_ && !refreshQuery_.empty())
            LogLink("-->Data[" + refreshQuery_ + "]");
        refreshQuery_.clear();
        LogLink(std::string("<--Recv[") + text + "]");
    }
    if (holdLines)
        ReleaseHeldLines();

    if (lastSendTick_ >= 0 && unansweredSince_ >= 0)
        roundTripTicks_ = std::max<long long>(1, tick - lastSendTick_);
    if (lastAnswerTick < 0)
        ReleaseWaitingCommands();
    lastAnswerTick = tick;
    unansweredSince_ = -1;
    if (!wasAnswering) {
        answering = true;
        log.LogEvent(true, true, "%s", "Router answering again");
        SessionEvent event{SessionEvent::Answering, "Router answering again"};
        event.value = 1;
        Emit(event);
        // Read everything again before anything asked meanwhile goes out.
        pollIndex = 0;
        pollSent_ = 0;
        pollDone_ = false;
    }

    if (linkAnswer) {
        ++linkAnswers;
        linkAnswerTick_ = tick;
    }
    ReportChanges(before, linkAnswer);
    if (linkAnswer) {
        for (int output : routing.OnLinkAnswer(state, named))
            Refused(output, Format("Route not taken: output %02d", output));
        std::vector<int> changed;
        for (int o = 1; o <= kChannelCount; ++o) {
            if (state.routedInput[o] != before.routedInput[o])
                changed.push_back(o);
        }
        if (!changed.empty())
            onRoutesChanged.Notify(changed);
    }
    // Reported once the model holds it.
    if (!quiet)
        Emit({SessionEvent::AnswerParsed, text});
    // Any answer, even one we do not understand, releases the next command.
    sendCountdown = 0;
    if (connectionStatus == kConnecting)
        SetStatus(kConnected);
    if (!quiet)
        onRefresh.Notify();
}

void RouterSession::ReportChanges(const RouterState& before, bool linkAnswer) {
    if (linkAnswer && before.known.routes) {
        for (int o = 1; o <= kChannelCount; ++o) {
            const int input = state.routedInput[o];
            // A change this program asked for is a confirmation, not news.
            if (input == before.routedInput[o] || routing.pending[o] == input)
                continue;
            const std::string line =
                Format("Output %02d changed on the router: input %02d", o, input);
            log.LogEvent(true, true, "%s", line.c_str());
            SessionEvent event{SessionEvent::RouteChanged, line};
            event.channel = o;
            event.value = input;
            Emit(event);
        }
    }
    for (int n = 1; n <= kChannelCount; ++n) {
        if (state.known.inputSignal[n] && before.known.inputSignal[n]) {
            const bool was = before.HasSignal(n), is = state.HasSignal(n);
            if (was != is) {
                const std::string line =
                    is ? Format("Input %02d signal back: %s", n, state.inputStatusText[n].c_str())
                       : Format("Input %02d signal lost", n);
                signalLostTick[n] = is ? -1 : tick;
                log.LogEvent(true, true, "%s", line.c_str());
                SessionEvent event{SessionEvent::SignalChanged, line};
                event.channel = n;
                event.value = is ? 1 : 0;
                Emit(event);
            }
        }
        if (state.known.outputPlug[n] && before.known.outputPlug[n] &&
            (state.outputPlugged[n] == 1) != (before.outputPlugged[n] == 1)) {
            const bool plugged = state.outputPlugged[n] == 1;
            const std::string line =
                Format(plugged ? "Output %02d plugged" : "Output %02d unplugged", n);
            log.LogEvent(true, true, "%s", line.c_str());
            SessionEvent event{SessionEvent::PlugChanged, line};
            event.channel = n;
            event.value = plugged ? 1 : 0;
            Emit(event);
        }
    }
}

std::vector<int> RouterSession::RequestRoutes(const std::vector<RouteChange>& changes,
                                              int requester, int stepKind) {
    std::vector<int> refused = routing.Apply(state, changes, requester, stepKind);
    for (int output : refused) {
        if (routing.Protected(output) || !routing.MayChange(output, requester))
            LogRefusal(output);
    }
    // Until the router can be reached and its map is read, the changes wait
    // in the intended map, shown as asked for.
    if (refused.size() < changes.size() && Live())
        QueueLinkCommand();
    return refused;
}

void RouterSession::LogRefusal(int output) {
    // A client's lock is not the operator's protect: say whose it is.
    const int owner = output >= 1 && output <= kChannelCount ? routing.lockOwner[output] : 0;
    if (owner >= kFirstClient)
        Refused(output, Format("Output %02d is locked by %s, route not changed", output,
                               routing.ClientName(owner).c_str()));
    else
        Refused(output, Format("Output %02d is protected, route not changed", output));
}

void RouterSession::QueueLinkCommand() {
    int map[kChannelTableSize] = {};
    for (int o = 1; o <= kChannelCount; ++o)
        map[o] = routing.Intended(state, o);
    const std::string command = BuildLinkCommand(map);
    // The unsent LINK command takes the whole new map; other commands keep
    // their places.
    if (linkQueued_) {
        const auto at = std::find(commandQueue.begin(), commandQueue.end(), linkCommand_);
        if (at != commandQueue.end()) {
            *at = linkCommand_ = command;
            return;
        }
    }
    linkQueued_ = EnqueueCommand(command);
    linkCommand_ = command;
}

void RouterSession::LinkOutput(int selectedInput, int output) {
    if (output < 1 || output > kChannelCount)
        return;
    // Against a map not read yet there is nothing to toggle off.
    int current = -1;
    if (routing.staged[output] != kNoRoute)
        current = routing.staged[output];
    else if (routing.pending[output] != kNoRoute || state.known.routes)
        current = routing.Intended(state, output);
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
    // where their step started; an output changed since (here or elsewhere)
    // keeps its new route.
    std::vector<RouteChange> changes;
    for (int o = 1; o <= kChannelCount; ++o) {
        if (step.after[o] == kNoRoute)
            continue;
        if (routing.Intended(state, o) != step.after[o]) {
            Refused(o, Format(undo ? "Output %02d changed since, not undone"
                                   : "Output %02d changed since, not redone",
                              o));
            continue;
        }
        changes.push_back({o, step.before[o]});
    }
    if (!changes.empty())
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
