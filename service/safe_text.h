// The safe-text helpers live in the station library, below the service; this name stays
// for the service's many users.
#pragma once

#include "station/safe_text.h"
