#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>

#include "protocol/ResponseParser.h"
#include "protocol/RouterState.h"

namespace corvane {

class EventLog;

// Where queued commands go: the serial port or the UDP socket (one datagram).
// Write never waits for the device: it returns the bytes taken now, which for
// the serial port may be only the first part (or none) of them.
class Link {
public:
    virtual ~Link() = default;
    virtual int Write(const void* bytes, std::size_t length) = 0;
};

// First in, first out; the order of commands is never changed.
using CommandQueue = std::deque<std::string>;

// The router connection as the rest of the program sees it: the model, the
// outgoing queue with its answer-driven pacing and the incoming framer. All of
// it runs on one thread (the GUI thread, or the client's loop).
class RouterSession {
public:
    explicit RouterSession(EventLog& log);

    RouterState state;
    CommandQueue commandQueue;
    int connectionStatus = kDisconnected;
    int sendCountdown = 0;   // ticks until the next command may leave
    unsigned pollIndex = 0;  // start-up queries queued since the last Connect
    ResponseFramer framer;
    Link* activeLink = nullptr;  // the open link, owned by the connection
    // Bytes of the head command the link has taken so far. While it is above
    // 0 the head is on its way out and must stay as it is.
    std::size_t headSent = 0;
    // Ticks since the link last took a byte of a waiting write; -1 while no
    // write is waiting. A link stalled this way is reported once.
    int stalledTicks = -1;

    // Called after every parsed response (the GUI refreshes its panels).
    std::function<void()> refresh;

    // Appends a copy at the tail, whatever the connection status. A command
    // over kMaxCommandLength is refused and logged rather than cut.
    bool EnqueueCommand(const std::string& command);

    // The 50 ms pacing step: queues the next start-up query, sends the head
    // when the previous command was answered or 20 ticks have passed.
    void OnSendTimer();

    void FeedResponseBytes(const void* bytes, int count);
    // Logs, applies, releases the pacing and completes Connecting -> Connected.
    void ParseResponse(const char* text);

    // Crosspoint operations: each queues one full-map LINK command.
    void LinkOutput(int selectedInput, int output);
    void LinkAllOutputs(int selectedInput);
    void ClearAllLinks();

    EventLog& log;
};

}  // namespace corvane
