#pragma once

#include <optional>
#include <vector>

#include "Run.h"

namespace corvane {

// One function per command; each returns the exit code. The link settings
// are loaded before, but for edid, which checks its file first.
int RunStatus(Context& context);
int RunSend(Context& context);
int RunRoute(Context& context);
// set, clear and salvo recall: the named outputs in one LINK command, against
// the map the router has just shown.
int RunSetRoutes(Context& context, const std::vector<RouteChange>& changes);
int RunEdid(Context& context);

// The salvo actions that need no router (list, delete); nullopt for the others.
std::optional<int> RunOfflineSalvo(Context& context);
int RunSalvoSave(Context& context);

}  // namespace corvane
