// Which line the library's serial port library opens, and whether its traffic is shown:
// --port overrides the stored device for this run only (the store is not changed), and
// --trace copies every byte written and read to standard error.
#pragma once

#include <string>

namespace gc6890::cli {

// `device` empty keeps the stored device ("sim" when none is stored).
void installPortChoice(const std::string& device, bool trace);

// The device the next open will use, for messages.
std::string chosenDevice();

}  // namespace gc6890::cli
