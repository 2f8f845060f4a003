#include "bridge/BridgeClients.h"

namespace corvane {

bool RoutesKnown(const RouterSession& session) {
    return session.connectionStatus == kConnected && session.linkAnswers > 0;
}

bool RequestBridgeRoutes(RouterSession& session, const std::vector<RouteChange>& changes,
                         int client) {
    if (session.connectionStatus != kConnected || !session.answering)
        return false;
    for (const RouteChange& change : changes) {
        if (!session.routing.MayChange(change.output, client))
            return false;
    }
    // Checked above, so the whole request goes in or none of it.
    return session.RequestRoutes(changes, client, kNoStep).empty();
}

bool ApplyLockRequest(int& owner, int client, LockRequest request) {
    const bool free = owner == 0 || owner == client;
    if (request == LockRequest::Own && free)
        owner = client;
    else if (request == LockRequest::Release && free)
        owner = 0;
    else if (request == LockRequest::Force && owner != kOperator)
        owner = 0;
    else
        return false;
    return true;
}

}  // namespace corvane
