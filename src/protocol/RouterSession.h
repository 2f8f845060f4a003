#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "protocol/Commands.h"
#include "protocol/Link.h"
#include "protocol/ResponseParser.h"
#include "protocol/RouterState.h"
#include "protocol/RoutingMap.h"

namespace corvane {

class EventLog;

// First in, first out; the order of commands is never changed.
using CommandQueue = std::deque<std::string>;

// What the session did, for those who follow the exchange without reading the
// log: a command out whole, an answer framed, a change of connectionStatus.
struct SessionEvent {
    enum Kind { CommandSent, AnswerParsed, StatusChanged };
    Kind kind;
    std::string text;  // the command or the answer, as logged
    int oldStatus = kDisconnected;
    int newStatus = kDisconnected;
};

// The router connection as the rest of the program sees it: the model, the
// outgoing queue with its answer-driven pacing and the incoming framer. All of
// it runs on one thread (the GUI thread, or the client's loop).
class RouterSession {
public:
    explicit RouterSession(EventLog& log);

    RouterState state;
    CommandQueue commandQueue;
    int connectionStatus = kDisconnected;
    int sendCountdown = 0;     // ticks until the next command may leave
    unsigned pollIndex = 0;    // start-up queries queued since the last Connect
    unsigned linkAnswers = 0;  // LINK answers parsed since the last Connect
    ResponseFramer framer;
    Link* activeLink = nullptr;  // the open link, owned by the connection
    RoutingMap routing;
    // Bytes of the head command the link has taken so far. While it is above
    // 0 the head is on its way out and must stay as it is.
    std::size_t headSent = 0;
    // Ticks since the link last took a byte of a waiting write; -1 while no
    // write is waiting. A link stalled this way is reported once.
    int stalledTicks = -1;

    // Called after every parsed response (the GUI refreshes its panels).
    std::function<void()> refresh;
    // Called after a LINK answer changed the model, with the outputs it changed.
    std::function<void(const std::vector<int>&)> routesChanged;
    // Called for every SessionEvent, after the log line it goes with.
    std::function<void(const SessionEvent&)> onEvent;

    // Changes connectionStatus and reports the change.
    void SetStatus(int status);

    // Appends a copy at the tail, whatever the connection status. A command
    // over kMaxCommandLength is refused and logged rather than cut.
    bool EnqueueCommand(const std::string& command);

    // The 50 ms pacing step: queues the next start-up query, sends the head
    // when the previous command was answered or 20 ticks have passed.
    void OnSendTimer();

    void FeedResponseBytes(const void* bytes, int count);
    // Logs, applies, releases the pacing and completes Connecting -> Connected.
    void ParseResponse(const char* text);

    // Applies route requests to the intended map and queues it: while a LINK
    // command waits unsent in the queue it is rewritten in place, so the queue
    // never holds more than one. Returns the outputs refused (locked or out of
    // range); refusals for protected outputs are logged.
    std::vector<int> RequestRoutes(const std::vector<RouteChange>& changes,
                                   int requester = kOperator, int stepKind = kNewStep);
    // Queues (or rewrites) the LINK command carrying the intended map.
    void QueueLinkCommand();

    // Crosspoint operations. A click toggles against the intended map; in
    // take mode it stages instead of sending.
    void LinkOutput(int selectedInput, int output);
    // Routes (or in take mode stages) one input, 0 for none, to one output.
    void SetRoute(int input, int output);
    void LinkAllOutputs(int selectedInput);
    void ClearAllLinks();
    // Sends everything staged as one LINK command.
    void Take();
    // Undo and redo the router-confirmed steps; only while Connected. False
    // when there was nothing to do.
    bool Undo();
    bool Redo();
    // The user EDID frame, straight onto the open link past the queue (its raw
    // bytes may hold "!"), then logged. False, and logged, when the link did
    // not take all of it: the router has then been sent a cut frame.
    bool SendUserEdid(const std::uint8_t (&edid)[kEdidSize]);

    // Protect (or release) an output against every route request.
    void SetProtected(int output, bool on);

    EventLog& log;

private:
    bool UndoOrRedo(std::vector<RouteStep>& steps, bool undo);
    void LogRefusal(int output);
};

}  // namespace corvane
