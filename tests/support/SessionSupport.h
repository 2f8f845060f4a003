#pragma once

#include "protocol/Commands.h"
#include "protocol/RouterSession.h"

namespace corvane {

// The session as a Connect and a start-up poll leave it, the router's routes
// being `map`: connected, its map read, routes going out at once.
inline void ConnectPolled(RouterSession& session, ByteSink* link,
                          const int (&map)[kChannelTableSize]) {
    session.OnLinkOpened(link);
    session.SkipStartupPoll();
    session.ParseResponse(BuildLinkCommand(map).c_str());
}

}  // namespace corvane
