#include "method/method_errors.h"

#include <array>
#include <cstdlib>

namespace {

// Texts of codes 1 to 59, word for word as users have always seen them, misspellings
// included; code 34 has none.
constexpr std::array<const char*, 59> kMethodErrorTexts = {
    "Parameter too large",                                                                 // 1
    "Parameter too small",                                                                 // 2
    "Wrong parameter data type",                                                           // 3
    "No instruction sent",                                                                 // 4
    "Found a command start but it is incomplete",                                          // 5
    "Invalid destination in command",                                                      // 6
    "Invalid operation in command",                                                        // 7
    "The total length of the command is too long",                                         // 8
    "Too many arguments to the command",                                                   // 9
    "A required parameter is absent",                                                      // 10
    "Cannot use non-printable characters in command",                                      // 11
    "Syntax error in command",                                                             // 12
    "Device is not installed",                                                             // 13
    "The valid parameter is not valid in this case",                                       // 14
    "Parameter is not compatible with the hardware installed",                             // 15
    "Oven temperature maximum exceeded",                                                   // 16
    "Initial oven temperature exceeds maximum value",                                      // 17
    "Oven temperature ramp end 1 exceeds maximum value",                                   // 18
    "Oven temperature ramp end 2 exceeds maximum value",                                   // 19
    "Oven temperature ramp end 3 exceeds maximum value",                                   // 20
    "Oven temperature ramp end 4 exceeds maximum value",                                   // 21
    "Oven temperature ramp end 5 exceeds maximum value",                                   // 22
    "Oven temperature ramp end 6 exceeds maximum value",                                   // 23
    "Oven calibration greater than maximum value",                                         // 24
    "Oven calibration less than minimum value",                                            // 25
    "One or more parameters have been altered",                                            // 26
    "Command cannot be excecuted while GC is running",                                     // 27
    "Command cannot be excecuted while GC is in a column compensation run",                // 28
    "Run length too short for a blank run",                                                // 29
    "No column compensation data stored",                                                  // 30
    "Cannot set the temperature while in track mode",                                      // 31
    "Col comp1 detector setpoint is null",                                                 // 32
    "Col comp2 detector setpoint is null",                                                 // 33
    "",                                                                                    // 34
    "Front detector board is turned off",                                                  // 35
    "Back detector board is turned off",                                                   // 36
    "The run/clock/other table is full",                                                   // 37
    "Attempted to read an empty table entry",                                              // 38
    "Sequence of method has an invalid version number",                                    // 39
    "GC stored method/sequence is corrupted",                                              // 40
    "Datacomm link error",                                                                 // 41
    "Break in datacomm communications",                                                    // 42
    "Datacomm data error",                                                                 // 43
    "Datacomm data overrun",                                                               // 44
    "Passed requested test",                                                               // 45
    "Failed requested test",                                                               // 46
    "ALS is not responding",                                                               // 47
    "Command error, subsequent parameters ignored (IXSP IXPP CxNR)",                       // 48
    "Instruction timed out due to an error in the GC",                                     // 49
    "A parameter was judged invalid and ignored. The remainder of the command continued",  // 50
    "Attempted to use a pass-through command to a port which was not setup or already in use "
    "by another resource",                                                     // 51
    "Calibration would cause too much of a correction; attempt disallowed",    // 52
    "Attempted calibration too far away from span",                            // 53
    "Still calibrating; try again later",                                      // 54
    "Command sent to PCB2 did not work",                                       // 55
    "Post temperature setpoint greater than max. setpoint",                    // 56
    "Another small zone or the oven is configured with a diffrent cryo type",  // 57
    "This zone does not support this cryo type",                               // 58
    "Another zone is using the cryo valve drive",                              // 59
};

}  // namespace

CString GetMethodErrorText(int code)
{
    if (code < 1 || code > static_cast<int>(kMethodErrorTexts.size()))
        return CString();
    return CString(kMethodErrorTexts[static_cast<size_t>(code - 1)]);
}

void ShowMethodErrorBox(const CString& text)
{
    MessageBox(nullptr, text.c_str(), "6890 Method Error",
               MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
}

int MethodResultCode(const CString& reply)
{
    return std::atoi(reply.Mid(7, 2).c_str());
}
