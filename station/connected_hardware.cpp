#include "station/connected_hardware.h"

#include <cstdlib>

#include "gc/gc_queries.h"
#include "sampler/sampler_commands.h"

namespace gc6890 {

namespace {

// Argument `index` of a reply "HEAD a0,a1,...", or -1 when it is missing.
int replyArgument(const CString& reply, int index)
{
    const std::string& text = reply.str();
    std::size_t at = text.find(' ');
    for (int i = 0; at != std::string::npos && i < index; ++i)
        at = text.find(',', at + 1);
    if (at == std::string::npos || at + 1 >= text.size())
        return -1;
    return std::atoi(text.c_str() + at + 1);
}

}  // namespace

bool queryConnectedProfile(CHP6890SerialComms& channel, HardwareProfile& profile, bool askSampler)
{
    HardwareProfile result;
    if (!QueryInstalledHardware(channel, result.hardware))
        return false;
    const char* inletQuestions[] = {"IFHTCW ?", "IBHTCW ?"};
    const char* inletHeads[] = {"HTIFCW", "HTIBCW"};
    for (int side = 0; side < 2; ++side) {
        CString reply;
        if (!channel.SendAndReceiveToGC(CString(inletQuestions[side]), reply) ||
            reply.Left(6) != inletHeads[side])
            continue;
        const int gas = replyArgument(reply, 4);  // the inlet definition's carrier gas
        if (gas >= 0 && gas < static_cast<int>(std::size(kGasNames)))
            result.hardware.inlets[side].gasCode = gas;
    }
    // Tray fitted, front tower, back tower (characters 7, 9 and 11 of "HTASCW t,f,b,r").
    CString reply;
    if (!askSampler) {
        result.hardware.sampler = false;
    } else if (channel.SendAndReceiveToGC(CString("ASHTCW ?"), reply) &&
               reply.Left(6) == "HTASCW") {
        result.frontTower = sampler::ConfigField(reply, 9) == 1;
        result.backTower = sampler::ConfigField(reply, 11) == 1;
        if (sampler::ConfigField(reply, 7) != 1 && !*result.frontTower && !*result.backTower)
            result.hardware.sampler = false;
    }
    // The GC pads its firmware text with blanks to eleven characters.
    std::string firmware = channel.GetFirmwareVersion().str();
    firmware.erase(firmware.find_last_not_of(' ') + 1);
    if (!firmware.empty())
        result.firmware = firmware;
    profile = std::move(result);
    return true;
}

}  // namespace gc6890
