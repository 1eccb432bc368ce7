// Settings that are credentials, and how a setting's value may be shown. The settings store
// (settings_store.h) may hold the service's Token and the broker's MqttPassword: it is
// written 0600 in a home made 0700, and whatever shows or hands on its values (config show,
// a support bundle) masks these with one function.
#pragma once

#include <string>
#include <string_view>

namespace gc6890 {

// A value that is a credential: its name, the path's last element, holds "token",
// "password" or "secret" in any case, unless it ends in "File" (MqttPasswordFile names the
// file that holds a secret; the name itself is none). A rule rather than a list, so that a
// setting added later is masked without being listed.
bool isSecretSetting(std::string_view path);

// The value as it may be shown or handed to others: a secret's, when set, is "********"
// whatever its length; any other value is itself.
std::string shownSettingValue(std::string_view path, std::string_view value);

}  // namespace gc6890
