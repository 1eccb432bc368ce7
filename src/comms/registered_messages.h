// The registered window messages through which the library's objects and other programs
// talk. Each is registered once when the library is loaded; its identifier is kept here.
#pragma once

#include "platform/platform.h"

extern const UINT g_nRegisterToCommsMessage;       // "Orvex_HP6890RegisterToCommsMessage"
extern const UINT g_nExtraDataMessage;             // "Orvex_HP6890ExtraDataMessage"
extern const UINT g_nAutosamplerExtraDataMessage;  // "Orvex_HP6890AutosamplerExtraDataMessage"
extern const UINT g_nLockCommsResetMessage;        // "Orvex_HP6890LockCommsReset"
extern const UINT g_nUnLockCommsResetMessage;      // "Orvex_HP6890UnLockCommsReset"
extern const UINT g_nRestartAllCommsMessage;       // "Orvex_HP6890RestartAllCommsMessage"
extern const UINT g_nResetSamplerMessage;          // "Orvex_HP6890ResetSampler"
extern const UINT g_nCommsFailureMessage;          // "Orvex_HP6890CommsFailureMessage"
extern const UINT g_nCommsRestoreMessage;          // "Orvex_HP6890CommsRestoreMessage"
extern const UINT g_nRefreshStatusMessage;         // "Orvex_HP6890RefreshStatus"
extern const UINT g_nNewEditorMessage;             // "Orvex_HP6890NewEditor"

namespace gc6890 {
struct RegisteredMessage {
    const char* name;
    const UINT* id;
};
// Every registered message, in one table.
extern const RegisteredMessage kRegisteredMessages[11];
}  // namespace gc6890

// The window classes of the library's windows.
inline constexpr const char* kGCControlWindowClass = "HP6890GC CONTROL WINDOW CLASS";
inline constexpr const char* kALSControlWindowClass = "HP6890ALS CONTROL WINDOW CLASS";
inline constexpr const char* kGCRegRemoteWindowClass = "HP6890 REG REMOTE WINDOW CLASS";
inline constexpr const char* kALSRegRemoteWindowClass = "HP6890 ALS REG REMOTE WINDOW CLASS";
// Global class, class device context, redraw on horizontal and vertical resizing.
inline constexpr UINT kWindowClassStyle = 0x4043;
