#pragma once

#include <string>

#include "settings/AppConfig.h"

namespace corvane {

// corvanectl serve: the Videohub server on `listen` for the router in config,
// until SIGINT or SIGTERM. Returns the exit code.
int Serve(AppConfig& config, const std::string& listen, bool noLog, bool verbose);

// Says on stderr (once per log) that the daily log file cannot be written.
void ReportLogFailure(const std::string& path);

}  // namespace corvane
