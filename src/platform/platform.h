// The platform layer: what the library expects of its host framework and of the
// operating system, on Linux. Everything runs on one thread.
#pragma once

#include "platform/cobject.h"
#include "platform/collections.h"
#include "platform/cstring.h"
#include "platform/message_box.h"
#include "platform/types.h"
#include "platform/wnd.h"
