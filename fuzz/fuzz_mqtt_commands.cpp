// The broker's command handler on any messages: topics, payloads and retain flags of any
// kind, several messages per input through one handler so that the id window is reached.
// Whatever comes, nothing throws, a log line holds no control character, every reply is
// valid UTF-8 and a JSON object on a reply topic of the instrument's, a retained, oversized
// or disabled command submits nothing, and an id taken once is answered with its first
// reply and never submitted again.
//
// An input is messages separated by the byte 0x1E; each is a flags byte, the topic up to
// the first line feed, then the payload. Flags: 1 retained, 2 the board refuses the job
// (409), 4 an hour and a second pass before it, 8 through the service without
// --mqtt-commands.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <unistd.h>

#include "harness.h"
#include "service/mqtt_commands.h"
#include "service/safe_text.h"

namespace {

using gc6890::MqttCommands;
using gc6890::fuzz::check;

const std::string kPrefix = "gc6890/gc1/";

// A method folder with the method "short" in it, made once.
const std::string& methodFolder()
{
    static const std::string folder = [] {
        const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                           ("gc6890-fuzz-methods-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        std::ofstream(path / "short.toml") << "# read by name only\n";
        return path.string();
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    bool refuseJobs = false;
    int submitted = 0;
    std::uint64_t lastJob = 0;
    const auto submit = [&](const gc6890::JobRequest&) {
        ++submitted;
        return refuseJobs ? gc6890::JobBoard::Submitted{0, "job 1 (run) is running", {}}
                          : gc6890::JobBoard::Submitted{++lastJob, {}, {}};
    };
    const auto log = [](const std::string& text) { check(gc6890::loggable(text) == text); };
    // Every caller admitted, so that every payload reaches the checks that read it.
    const auto admit = [](const std::string&, gc6890::Action action) {
        return gc6890::Admission{gc6890::Admission::Verdict::Admitted, std::nullopt, action};
    };
    MqttCommands enabled(kPrefix, true, gc6890::MethodStore(methodFolder()), admit, submit, log);
    MqttCommands disabled(kPrefix, false, gc6890::MethodStore(methodFolder()), admit, submit, log);
    std::map<std::string, std::string> firstReplies;  // what `enabled` answered each taken id
    std::int64_t nowMs = 1000;

    gc6890::fuzz::forEachMessage(input, [&](const gc6890::fuzz::Message& message) {
        const auto& [flags, topic, payload] = message;
        const bool retained = flags & 1;
        refuseJobs = flags & 2;
        if (flags & 4)
            nowMs += MqttCommands::kRepeatWindowMs + 1000;
        MqttCommands& handler = flags & 8 ? disabled : enabled;

        const int before = submitted;
        const MqttCommands::Result result = handler.handle(topic, payload, retained, nowMs);
        const bool ran = submitted != before;
        if (result.replyTopic.empty()) {
            check(!ran && result.reply.empty());
            return;
        }
        check(!retained && (&handler == &enabled || !ran));
        check(result.replyTopic.rfind(kPrefix + "reply/", 0) == 0);
        check(gc6890::validUtf8(result.reply) == result.reply);
        const nlohmann::json reply = nlohmann::json::parse(result.reply, nullptr, false);
        check(reply.is_object() && reply.contains("ok") && reply.contains("code"));
        const std::string id = result.replyTopic.substr(kPrefix.size() + 6);
        check(id == "invalid" ? !reply.contains("id") : reply.value("id", "") == id);
        switch (result.outcome) {
        case MqttCommands::Outcome::Taken:
            check(ran && !refuseJobs && payload.size() <= MqttCommands::kMaxPayload);
            check(reply["ok"] == true && reply["code"] == 202);
            firstReplies[id] = result.reply;
            break;
        case MqttCommands::Outcome::Repeated:
            check(!ran && firstReplies.count(id) && firstReplies[id] == result.reply);
            break;
        case MqttCommands::Outcome::Refused:
            check(reply["ok"] == false && reply["code"] != 202);
            // A refusal after the board was asked is the board's (409) alone.
            check(!ran || (refuseJobs && reply["code"] == 409));
            break;
        default:
            check(false);
        }
    });
    return 0;
}
