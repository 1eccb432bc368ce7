#include "comms/registered_messages.h"

const UINT g_nRegisterToCommsMessage = RegisterWindowMessage("Orvex_HP6890RegisterToCommsMessage");
const UINT g_nExtraDataMessage = RegisterWindowMessage("Orvex_HP6890ExtraDataMessage");
const UINT g_nAutosamplerExtraDataMessage =
    RegisterWindowMessage("Orvex_HP6890AutosamplerExtraDataMessage");
const UINT g_nLockCommsResetMessage = RegisterWindowMessage("Orvex_HP6890LockCommsReset");
const UINT g_nUnLockCommsResetMessage = RegisterWindowMessage("Orvex_HP6890UnLockCommsReset");
const UINT g_nRestartAllCommsMessage = RegisterWindowMessage("Orvex_HP6890RestartAllCommsMessage");
const UINT g_nResetSamplerMessage = RegisterWindowMessage("Orvex_HP6890ResetSampler");
const UINT g_nCommsFailureMessage = RegisterWindowMessage("Orvex_HP6890CommsFailureMessage");
const UINT g_nCommsRestoreMessage = RegisterWindowMessage("Orvex_HP6890CommsRestoreMessage");
const UINT g_nRefreshStatusMessage = RegisterWindowMessage("Orvex_HP6890RefreshStatus");
const UINT g_nNewEditorMessage = RegisterWindowMessage("Orvex_HP6890NewEditor");

namespace gc6890 {
const RegisteredMessage kRegisteredMessages[11] = {
    {"Orvex_HP6890RegisterToCommsMessage", &g_nRegisterToCommsMessage},
    {"Orvex_HP6890ExtraDataMessage", &g_nExtraDataMessage},
    {"Orvex_HP6890AutosamplerExtraDataMessage", &g_nAutosamplerExtraDataMessage},
    {"Orvex_HP6890LockCommsReset", &g_nLockCommsResetMessage},
    {"Orvex_HP6890UnLockCommsReset", &g_nUnLockCommsResetMessage},
    {"Orvex_HP6890RestartAllCommsMessage", &g_nRestartAllCommsMessage},
    {"Orvex_HP6890ResetSampler", &g_nResetSamplerMessage},
    {"Orvex_HP6890CommsFailureMessage", &g_nCommsFailureMessage},
    {"Orvex_HP6890CommsRestoreMessage", &g_nCommsRestoreMessage},
    {"Orvex_HP6890RefreshStatus", &g_nRefreshStatusMessage},
    {"Orvex_HP6890NewEditor", &g_nNewEditorMessage},
};
}  // namespace gc6890
