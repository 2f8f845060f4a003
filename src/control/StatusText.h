#pragma once

#include <string>

#include "protocol/RouterSession.h"
#include "settings/AppConfig.h"

namespace corvane {

// The one table of connection words: "Disconnect", "Connecting", "Connected",
// "Connection Failed".
const char* StatusWord(int connectionStatus);

// The five panel bodies, rebuilt from scratch on every refresh.
struct StatusPanelTexts {
    std::string connection, generator, monitoring, lock, network;
};
// What Connection Info says beyond the status while a link is open or retried.
struct LinkHealth {
    bool answering = true;
    long long lastAnswerMs = -1;  // how long ago the router last answered, -1: not yet
    bool retrying = false;        // a failed link is being opened again
};
// videohubClients, swp08Clients: the bridge servers' client counts, -1 for
// one that is off. Values the router has not sent are shown as "?".
StatusPanelTexts BuildStatusPanelTexts(const AppConfig& config, const RouterState& state,
                                       int connectionStatus, int videohubClients = -1,
                                       const LinkHealth& health = {}, int swp08Clients = -1);

// The router model as a person reads it, and the same as one JSON object
// (corvanectl status).
std::string StatusText(const RouterSession& session, const AppConfig& config);
std::string StatusJson(const RouterSession& session, const AppConfig& config);

// "output 02 (name) <- input 03 (name)" or "... <- No Link".
std::string RouteLine(const RouterSession& session, const AppConfig& config, int output);

}  // namespace corvane
