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

}  // namespace

RouterSession::RouterSession(EventLog& log) : log(log) {}

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
        // The router reads text: a command ends at its first NUL, as it always has.
        const std::size_t length = strnlen(head.c_str(), std::min(head.size(), kMaxCommandLength));
        const int taken =
            length > headSent ? activeLink->Write(head.data() + headSent, length - headSent) : 0;
        if (taken > 0) {
            headSent += static_cast<std::size_t>(taken);
            stalledTicks = -1;
        }
        if (headSent >= length) {
            // Logged once it is out whole, so the log shows what the router got.
            log.LogEvent(true, true, "-->Data[%s]", head.substr(0, length).c_str());
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
        connectionStatus = kConnectionFailed;
        if (refresh)
            refresh();
        return;
    }

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
    ApplyResponse(state, text);
    // Any answer, even one we do not understand, releases the next command.
    sendCountdown = 0;
    if (connectionStatus == kConnecting)
        connectionStatus = kConnected;
    if (refresh)
        refresh();
}

void RouterSession::LinkOutput(int selectedInput, int output) {
    if (output < 1 || output > kChannelCount)
        return;
    EnqueueCommand(LinkOutputCommand(state, selectedInput, output));
}

void RouterSession::LinkAllOutputs(int selectedInput) {
    EnqueueCommand(LinkAllOutputsCommand(selectedInput));
}

void RouterSession::ClearAllLinks() {
    EnqueueCommand(ClearAllLinksCommand());
}

}  // namespace corvane
