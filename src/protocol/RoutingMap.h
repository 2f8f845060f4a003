#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/RouterState.h"

namespace corvane {

// One requested crosspoint: input 0 means no input.
struct RouteChange {
    int output = 0;
    int input = 0;
    bool operator==(const RouteChange&) const = default;
};

// Who asks for a route. The operator is the window and the command-line
// client; bridge clients (Videohub, SW-P-08) get numbers of their own from
// kFirstClient on.
inline constexpr int kOperator = 1;
inline constexpr int kFirstClient = 2;

inline constexpr int kNoRoute = -1;  // "nothing asked" in the per-output tables
inline constexpr int kUndoDepth = 64;

// A routing step that can be undone: for each output it touches, the input
// before and after (kNoRoute for outputs it does not touch).
struct RouteStep {
    int before[kChannelTableSize];
    int after[kChannelTableSize];
    bool confirmed[kChannelTableSize] = {};
    int kind = 0;  // RouteStepKind
    RouteStep();
    bool Empty() const;
};

enum RouteStepKind : int { kNoStep = 0, kNewStep = 1, kUndoStep = 2, kRedoStep = 3 };

// The map the operator has asked for: the router's confirmed routes plus every
// change not yet confirmed, the changes staged for a take, the output locks and
// the undo history. Every route request is applied here, so a LINK command is
// always built from what was asked, never from a model that has not caught up.
class RoutingMap {
public:
    // Asked for and not yet shown by the router (kNoRoute: none).
    int pending[kChannelTableSize];
    // The pending value went out in the last LINK command sent.
    bool carried[kChannelTableSize] = {};
    // Staged in take mode, not sent yet (kNoRoute: none).
    int staged[kChannelTableSize];
    // 0 unlocked, kOperator protected, a client number: locked by that client.
    int lockOwner[kChannelTableSize] = {};
    bool takeMode = false;

    // A LINK command has been sent and its answer has not come yet.
    bool linkOutstanding = false;
    int linkWaitTicks = 0;
    int unansweredLinks = 0;  // in a row

    std::vector<RouteStep> openSteps;  // waiting for the router
    std::vector<RouteStep> undoSteps;
    std::vector<RouteStep> redoSteps;

    RoutingMap();

    int Intended(const RouterState& state, int output) const;
    bool HasPending() const;
    bool HasStaged() const;
    // Protect blocks everyone; a client's lock blocks all but that client.
    bool MayChange(int output, int requester) const;
    bool Protected(int output) const { return InTable(output) && lockOwner[output] == kOperator; }

    // Applies the changes to the intended map; refused outputs (locked, or not
    // 1..16, or inputs not 0..16) are left out and returned.
    std::vector<int> Apply(const RouterState& state, const std::vector<RouteChange>& changes,
                           int requester, int stepKind);

    // The pacing sent a LINK command carrying the intended map.
    void OnLinkSent();
    // A LINK answer was parsed (named: the outputs it listed). Confirms what it
    // shows; drops what the answer to our last command shows otherwise, and
    // returns those outputs.
    std::vector<int> OnLinkAnswer(const RouterState& state, const bool (&named)[kChannelTableSize]);
    // One tick. resend: the last LINK went unanswered once and should go
    // again. The second time its changes are dropped if the router answered
    // anything meanwhile (it heard us and kept its routes); a router that
    // answers nothing keeps them waiting.
    struct TickResult {
        bool resend = false;
        std::vector<int> dropped;
    };
    TickResult OnTick(bool answeredSinceSent);
    // The router cannot be reached for now: what was in flight waits to be
    // sent again, as if never sent.
    void Unsend();
    // The link was closed on purpose: nothing asked will be carried out.
    void DropPending();

    // Take mode.
    void Stage(int output, int input);
    std::vector<RouteChange> TakeStaged();
    void CancelStaged();

    // Locks held by one client end when it leaves; true when any did.
    bool ReleaseLocks(int owner);

    // Bridge clients by id, with the protocol they speak ("Videohub"). One
    // numbering for every bridge, never reused, so a lock names one owner.
    std::map<int, std::string> clients;
    int AddClient(const std::string& protocol);
    // Forgets the client and ends its locks; true when it held any.
    bool RemoveClient(int id);
    // "Videohub client 3", for messages.
    std::string ClientName(int id) const;

private:
    int nextClient_ = kFirstClient;
    static bool InTable(int output) { return output >= 1 && output <= kChannelCount; }
    void Drop(int output);
    void Resolve(int output, bool confirmed);
    void CloseFinishedSteps();
};

}  // namespace corvane
