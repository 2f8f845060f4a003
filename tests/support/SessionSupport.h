#pragma once

#include <algorithm>
#include <string>

#include "base/EventLog.h"
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

// The log lines from line `from` on without their time stamps, one a line.
inline std::string LogText(const ScreenLog& screen, std::size_t from = 0) {
    std::string text;
    for (std::size_t i = from; i < screen.lines.size(); ++i)
        text += screen.lines[i].substr(screen.lines[i].find(']') + 1) + "\n";
    return text;
}

inline std::size_t LogCount(const ScreenLog& screen, const std::string& part) {
    return std::size_t(std::count_if(screen.lines.begin(), screen.lines.end(), [&](auto& line) {
        return line.find(part) != std::string::npos;
    }));
}

// A session that logs to a list only, at a time that never moves.
struct SessionRig {
    SessionRig() {
        log.fileLogEnabled = false;
        log.screenLogEnabled = true;
        log.screen = &screen;
    }
    ScreenLog screen;
    EventLog log{".", [] { return LocalTime{}; }};
    RouterSession session{log};
};

}  // namespace corvane
