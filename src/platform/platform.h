// The platform layer: what the library expects of its host framework and of the
// operating system, on Linux. Everything runs on one thread.
#pragma once

#include "platform/clock.h"
#include "platform/cobject.h"
#include "platform/collections.h"
#include "platform/cstring.h"
#include "platform/ctime.h"
#include "platform/dialog.h"
#include "platform/drive_paths.h"
#include "platform/exceptions.h"
#include "platform/file.h"
#include "platform/frame_wnd.h"
#include "platform/menu.h"
#include "platform/message_box.h"
#include "platform/mutex.h"
#include "platform/registered_names.h"
#include "platform/settings_store.h"
#include "platform/timers.h"
#include "platform/types.h"
#include "platform/window_constants.h"
#include "platform/window_table.h"
#include "platform/wnd.h"
