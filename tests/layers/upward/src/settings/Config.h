#pragma once

#include "protocol/Session.h"
