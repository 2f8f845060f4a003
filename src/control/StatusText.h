#pragma once

#include <string>

#include "protocol/RouterSession.h"
#include "settings/AppConfig.h"

namespace corvane {

// The one table of connection words: "Disconnect", "Connecting", "Connected",
// "Connection Failed".
const char* StatusWord(int connectionStatus);

// The router model as a person reads it, and the same as one JSON object
// (corvanectl status).
std::string StatusText(const RouterSession& session, const AppConfig& config);
std::string StatusJson(const RouterSession& session, const AppConfig& config);

// "output 02 (name) <- input 03 (name)" or "... <- No Link".
std::string RouteLine(const RouterSession& session, const AppConfig& config, int output);

}  // namespace corvane
