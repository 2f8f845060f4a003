#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/Listeners.h"
#include "protocol/ByteSink.h"
#include "protocol/Commands.h"
#include "protocol/Refresh.h"
#include "protocol/ResponseParser.h"
#include "protocol/RouterState.h"
#include "protocol/RoutingMap.h"

namespace corvane {

class EventLog;

// First in, first out; the order of commands is never changed.
using CommandQueue = std::deque<std::string>;

// What the session did or found, for those who follow it without reading the
// log. Each comes once, after its log line (if any) and after the model holds it.
struct SessionEvent {
    enum Kind {
        CommandSent,    // text: the command, out whole
        AnswerParsed,   // text: the answer
        StatusChanged,  // oldStatus -> newStatus
        RouteChanged,   // channel: output, value: input (0 none), set on the router by
                        // someone else
        SignalChanged,  // channel: input, value: 1 back (text: its status) or 0 lost
        PlugChanged,    // channel: output, value: 1 plugged or 0 unplugged
        Answering,      // value: 0 the router stopped answering, 1 it answers again
        Refused,        // channel: output or 0; text: what was not done and why, as logged
    };
    Kind kind;
    std::string text;
    int oldStatus = kDisconnected;
    int newStatus = kDisconnected;
    int channel = 0;
    int value = 0;
};

// The router connection as the rest of the program sees it: the model, the
// outgoing queue with its answer-driven pacing, the incoming framer, and the
// live state: the start-up poll, the refresh that keeps the model true, and a
// router that stops answering. All of it runs on one thread (the GUI thread,
// or the client's loop), driven by OnSendTimer once per tick.
class RouterSession {
public:
    explicit RouterSession(EventLog& log);

    RouterState state;
    CommandQueue commandQueue;
    int connectionStatus = kDisconnected;
    int sendCountdown = 0;     // ticks until the next command may leave
    unsigned pollIndex = 0;    // start-up queries queued since the link opened
    unsigned linkAnswers = 0;  // LINK answers parsed since the link opened
    ResponseFramer framer;
    ByteSink* activeLink = nullptr;  // the open link, owned by the connection
    RoutingMap routing;
    // Bytes of the head command the link has taken so far. While it is above
    // 0 the head is on its way out and must stay as it is.
    std::size_t headSent = 0;
    // Ticks since the link last took a byte of a waiting write; -1 while no
    // write is waiting. A link stalled this way is reported once.
    int stalledTicks = -1;

    // The clock: OnSendTimer calls so far.
    long long tick = 0;
    // The tick of the last answer since the link opened; -1 before the first.
    long long lastAnswerTick = -1;
    // False from "Router not answering" until the router answers again.
    bool answering = true;
    // Re-ask the router while it is connected. Off for a client that sends one
    // command and leaves.
    bool refreshEnabled = true;
    // Per input: the tick its signal went, -1 while it has one or was never seen.
    long long signalLostTick[kChannelTableSize];
    // Refresh queries sent so far (they are not logged unless they find a change).
    long long refreshSent = 0;

    // Who follows the session (the window, each bridge server, a command-line
    // run) subscribes here; each is called in the order it subscribed.
    // After every answer that may have changed what is shown (the window
    // refreshes its panels, the bridges tell their clients): every answer but
    // a refresh answer that changed nothing, and every change of the link.
    Listeners<> onRefresh;
    // After a LINK answer changed the model, with the outputs it changed.
    Listeners<const std::vector<int>&> onRoutesChanged;
    // For every SessionEvent, after the log line it goes with.
    Listeners<const SessionEvent&> onEvent;

    // The connection's lifecycle, as the link owner reports it.
    // A link is open: Connecting, and the start-up poll begins. Routes asked
    // for meanwhile still wait; they go after the poll. Other commands go
    // first, or on a retry's link after the router's first answer.
    void OnLinkOpened(ByteSink* link, bool retry = false);
    // The link failed (it stays closed until opened again): Connection Failed.
    // The queue keeps its commands and the asked routes wait for the next link.
    void OnLinkFailed();
    // Disconnect: the queue, every asked route and the per-connection model go.
    void OnLinkClosed();
    // For a client that sends one command and leaves: no start-up poll.
    void SkipStartupPoll();

    // The start-up poll has been sent and its last query answered (or waited for).
    bool PollDone() const { return pollDone_; }
    // Connected, answering and polled: the model is the router's, and route
    // requests go out.
    bool Live() const;
    // A LINK answer no older than one round trip: a LINK command built now
    // cannot undo a route made elsewhere.
    bool LinkFresh() const;

    // Changes connectionStatus and reports the change.
    void SetStatus(int status);

    // Appends a copy at the tail, whatever the connection status. A command
    // over kMaxCommandLength is refused and logged rather than cut.
    bool EnqueueCommand(const std::string& command);

    // The pacing step, once per tick: queues the next start-up query, sends the
    // head when the previous command was answered or its wait is over, and,
    // with nothing else to do, one refresh query. While the router does not
    // answer, only a probe goes out, once a second.
    void OnSendTimer();

    void FeedResponseBytes(const void* bytes, int count);
    // Logs, applies, reports what changed, releases the pacing and completes
    // Connecting -> Connected.
    void ParseResponse(const char* text);

    // Applies route requests to the intended map and, while Live, queues it:
    // while a LINK command waits unsent in the queue it is rewritten in place,
    // so the queue never holds more than one. Returns the outputs refused
    // (locked or out of range); refusals for protected outputs are logged.
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
    // Undo and redo the router-confirmed steps; only while Connected. An
    // output changed since the step is left as it is. False when there was
    // nothing to do.
    bool Undo();
    bool Redo();
    // The user EDID frame, straight onto the open link past the queue (its raw
    // bytes may hold "!"), then logged. False, and logged, when the link did
    // not take all of it: the router has then been sent a cut frame.
    bool SendUserEdid(const std::uint8_t (&edid)[kEdidSize]);

    // Protect (or release) an output against every route request.
    void SetProtected(int output, bool on);

    // Logs a line about the link or its traffic; while holdLines is set it
    // waits instead (at most kMaxHeldLines), so that a reconnection attempt
    // that fails leaves nothing in the log and one that succeeds all of it.
    void LogLink(const std::string& line);
    void ReleaseHeldLines();
    void DiscardHeldLines();
    bool holdLines = false;
    static constexpr std::size_t kMaxHeldLines = 200;

    EventLog& log;

private:
    bool UndoOrRedo(std::vector<RouteStep>& steps, bool undo);
    void SendHead();
    void CheckSilence();
    void StopAnswering();
    void Refused(int output, const std::string& why);
    void LogRefusal(int output);
    void Emit(SessionEvent event);
    void ReportChanges(const RouterState& before, bool linkAnswer);
    void RemoveQueuedPoll();
    void RemoveQueuedLink();
    void ReleaseWaitingCommands();

    bool pollDone_ = false;
    // Our LINK command waits in the queue as linkCommand_ (a LINK command the
    // user typed is sent as it is).
    bool linkQueued_ = false;
    std::string linkCommand_;
    int pollSent_ = 0;  // start-up queries sent since the poll began
    // The head of the queue is a refresh query, and the last command sent was
    // one (its answers are logged only when they change something).
    bool refreshHead_ = false;
    bool refreshOut_ = false;
    std::string refreshQuery_;        // that query, logged with an answer that changes something
    long long unansweredSince_ = -1;  // the first send since the last answer
    long long lastSendTick_ = -1;
    long long linkAnswerTick_ = -1;
    long long linkSentTick_ = -1;
    long long roundTripTicks_ = 1;
    long long probeTick_ = -1;
    RefreshSchedule refreshSchedule_;
    std::vector<std::string> heldLines_;
    // Commands queued before the link opened, until the router first answers.
    CommandQueue waitingForAnswer_;
};

}  // namespace corvane
