#pragma once

// An include that runs up the folder graph: check-layers.sh must refuse it.
#include "settings/Config.h"
