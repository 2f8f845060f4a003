#pragma once

#include <string>

#include "Run.h"

namespace corvane {

// corvanectl serve: the Videohub server on --listen, and the SW-P-08 server
// on --swp08 when given, for the router of the settings, until SIGINT or
// SIGTERM. Returns the exit code.
int Serve(Context& context);

// Says on stderr (once per log) that the daily log file cannot be written.
void ReportLogFailure(const std::string& path);

}  // namespace corvane
