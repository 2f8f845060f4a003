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

    // Without a link there is nowhere to send to; the command stays queued.
    if (!commandQueue.empty() && sendCountdown <= 0 && activeLink != nullptr) {
        char sendBuffer[kMaxCommandLength + 1];
        const std::string& head = commandQueue.front();
        const std::size_t length = std::min(head.size(), kMaxCommandLength);
        std::memcpy(sendBuffer, head.data(), length);
        sendBuffer[length] = '\0';
        const std::size_t sendLength = std::strlen(sendBuffer);
        // A link that took nothing (a port that has just gone away) keeps the
        // command at the head; it is tried again after the usual wait.
        if (activeLink->Write(sendBuffer, sendLength) > 0 || sendLength == 0) {
            log.LogEvent(true, true, "-->Data[%s]", sendBuffer);
            commandQueue.pop_front();
        }
        sendCountdown = kAnswerWaitTicks;
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
