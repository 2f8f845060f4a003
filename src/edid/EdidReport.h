#pragma once

#include <string>

#include "edid/Edid.h"

namespace corvane {

// What the EDID says, as a person reads it: maker, product, name, preferred
// timing, video formats, audio, physical address, then errors and warnings.
std::string EdidSummaryText(const Edid& edid);

// The same as one JSON object, for scripts.
std::string EdidJson(const Edid& edid);

}  // namespace corvane
