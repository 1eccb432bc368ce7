// The home's privacy, looked at once when the service starts: the home holds the settings
// store (Token, MqttPassword), the service's token, the accounts and the SiLA 2 keys, so
// other users of the machine must not get into it. A home made by gc6890 is 0700; one made
// by hand or by an older version may not be.
#pragma once

#include <string>

namespace gc6890 {

// One line for standard error when the home lets other users in (any group or other
// permission), naming its mode, the files holding secrets that they can read, and the fix;
// "" when the home is private or absent. The home is left as it is: a user who shares it on
// purpose is told, not overruled.
std::string homePrivacyWarning(const std::string& home);

}  // namespace gc6890
