#include "station/line_check.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "gc/gc_queries.h"
#include "method/method_readback.h"
#include "station/connected_hardware.h"

namespace gc6890 {

namespace {

using Result = LineCheck::Result;

// The addresses the GC side's start-up echo-tests, in its order, then the sampler's.
const char* const kGCAddresses[] = {"CC", "GC", "S1", "S2", "SS", "OV",
                                    "DF", "IF", "C1", "A1", "V1", "DT"};

constexpr std::size_t kShownLength = 60;

std::string shortened(std::string text)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e)
            c = '?';
    if (text.size() > kShownLength)
        text = text.substr(0, kShownLength - 3) + "...";
    return text;
}

// Watches the lines received while one check runs (and passes them on to whoever observed
// before: the capture), so that a failed echo test tells a silent line from a garbled one.
class ReceivedLines {
public:
    ReceivedLines()
    {
        previous_ = SetLineObserver([this](int side, bool sent, std::string_view line) {
            if (!sent)
                lines_.emplace_back(line);
            if (previous_)
                previous_(side, sent, line);
        });
    }
    ~ReceivedLines() { SetLineObserver(std::move(previous_)); }
    ReceivedLines(const ReceivedLines&) = delete;
    ReceivedLines& operator=(const ReceivedLines&) = delete;

    // The lines since the last call.
    std::vector<std::string> take() { return std::exchange(lines_, {}); }

private:
    LineObserver previous_;
    std::vector<std::string> lines_;
};

const char* const kSilentCause =
    "nothing answers: the GC is off, the cable is not plugged in, or it is not a null-modem "
    "(crossed) cable";
const char* const kSilentRemedy =
    "check that the GC is on and the cable is in; a straight cable needs a null-modem adapter";
const char* const kGarbledCause =
    "answers come garbled: the line's BaudRate, DataBits or Parity differ from the GC's";
const char* const kGarbledRemedy =
    "set them to the GC's communication settings (gc6890 config set BaudRate 9600, "
    "gc6890 config set Parity N)";

class Checker {
public:
    explicit Checker(CHP6890SerialComms& channel) : channel_(channel) {}

    LineCheckReport run()
    {
        begin("open the line");
        if (!channel_.OpenSerialPort()) {
            const std::string error = channel_.LastPortError().str();
            fail(error, openCause(error), openRemedy(error));
            report_.noCommunication = true;
            return std::move(report_);
        }
        pass(describeSettings());
        const bool gcStarted = checkGC();
        if (gcStarted) {
            checkSampler();
            askGC();
        }
        channel_.StopALSComms();  // closes the pass-through port when the sampler side opened it
        CHP6890SerialComms::m_sCommsStatus |= 1;  // the port is open: StopGCComms closes it
        channel_.StopGCComms();
        return std::move(report_);
    }

private:
    // The GC side: every echo test, then the identity. True when the GC answers well
    // enough to be asked questions.
    bool checkGC()
    {
        bool gcAnswers = true;
        for (const char* address : kGCAddresses) {
            if (!gcAnswers) {
                skip(std::string("echo ") + address, "the GC did not answer its first echo tests");
                continue;
            }
            if (echo(address))
                continue;
            // CC and GC are the GC itself: without them nothing else will answer, and each
            // further test would cost another time-out.
            if (std::strcmp(address, "CC") == 0 || std::strcmp(address, "GC") == 0) {
                gcAnswers = false;
                report_.noCommunication = last().cause == kSilentCause;
            } else {
                last().cause = std::string("module ") + address +
                               " does not answer its echo test: it is missing or has failed";
                last().remedy = "check the GC's configuration on its keypad; the channel's "
                                "start-up needs every module to answer";
            }
        }
        if (!gcAnswers) {
            skip("identity", "the GC did not answer its echo tests");
            return false;
        }
        begin("identity");
        CString identity = "CCHTID";
        if (!channel_.WriteStringToGC(identity, 1) || !channel_.ReceiveStringFromGC(identity, 1)) {
            fail("no answer", "the GC answers echo tests but not its identity question",
                 "check the GC's communication settings and firmware");
            return false;
        }
        report_.identity = identity.str();
        if (identity.Left(6) != "HTCCID" || identity.Mid(7, 10) != "HP 6890 GC") {
            fail(identity.str(), "the instrument is not an HP 6890 GC",
                 "check that the port leads to the GC");
            return false;
        }
        report_.firmware = identity.Mid(19, 11).str();
        pass(identity.str());
        // The checks above are the GC side's start-up, made one by one so that each is timed
        // and one failure does not hide the rest: the side counts as started.
        CHP6890SerialComms::m_sCommsStatus |= 1;
        return true;
    }

    bool echo(const char* address)
    {
        begin(std::string("echo ") + address);
        CString buffer;
        const int answered = channel_.CheckChannel(buffer, address);
        const std::vector<std::string> came = seen_.take();
        if (answered) {
            pass(came.empty() ? std::string() : came.back());
            return true;
        }
        if (came.empty())
            fail("no answer", kSilentCause, kSilentRemedy);
        else
            fail(came.back(), kGarbledCause, kGarbledRemedy);
        return false;
    }

    void checkSampler()
    {
        samplerAnswered_ = echo("AS");
        if (!samplerAnswered_) {
            last().cause = "no sampler answers: a GC without a sampler, or the sampler's cable to "
                           "the GC is loose";
            last().remedy = "GC-only work goes on (gc6890 status); for injections check the "
                            "sampler's cable at the GC";
            skip("sampler status", "no sampler answered");
            return;
        }
        begin("pass-through port");
        CString line = "CCHTPO 1";
        if (!channel_.WriteStringToGC(line, 1) || !channel_.ReceiveStringFromGC(line, 1) ||
            line.Left(6) != "HTCCPO") {
            fail(line.str(), "the GC did not answer the opening of its pass-through port",
                 "check the GC's firmware and communication settings");
            skip("sampler status", "the pass-through port did not open");
            return;
        }
        const int code = std::atoi(line.Mid(7, 2));
        if (code != 0) {
            // 14: held by another resource. Closing every port would take it from its owner.
            fail(line.str(),
                 code == 14 ? "pass-through port 1 is busy: another program or session holds it"
                            : "the GC refused to open pass-through port 1 (code " +
                                  std::to_string(code) + ")",
                 "end the other program's session with the GC (or power the GC off and on); "
                 "the doctor never forces the port closed");
            skip("sampler status", "the pass-through port is busy");
            return;
        }
        pass(line.str());
        CHP6890SerialComms::m_sCommsStatus |= 2;
        begin("sampler status");
        CString reply;
        if (channel_.SendAndReceiveToALS(CString("01HTSTATUS"), reply) &&
            reply.Left(10) == "HT01STATUS")
            pass(reply.str());
        else
            fail(reply.IsEmpty() ? std::string("no answer") : reply.str(),
                 "the sampler does not answer through the GC",
                 "check the sampler's cable at the GC");
    }

    void askGC()
    {
        begin("configuration");
        if (queryConnectedProfile(channel_, report_.profile, samplerAnswered_)) {
            report_.hardwareKnown = true;
            pass(describeHardware(report_.profile.hardware));
            if (!report_.profile.hardware.sampler)
                skip("sampler", "the GC reports no sampler installed (a GC without a sampler)");
        } else
            fail(seenText(), "the GC gave no configuration report", "check the GC's firmware");

        begin("GC status");
        GCRunState runState;
        GCReadiness readiness;
        GCStatusWords words;
        if (QueryRunState(channel_, runState) && QueryReadiness(channel_, readiness) &&
            QueryStatusWords(channel_, words))
            pass(format("run state %d, ready %d/%d, not ready 0x%x, shutdown 0x%x", runState.state,
                        readiness.withAutoPrepRun, readiness.withoutAutoPrepRun, words.notReady,
                        words.shutdown));
        else
            fail(seenText(), "the GC does not answer its status questions",
                 "check the GC's communication settings");

        begin("GC method");
        CCommandStringList list;
        if (ReadMethodFromGC(channel_, list)) {
            for (POSITION at = list.GetHeadPosition(); at;)
                report_.method.push_back(list.GetNext(at).GetString().str());
            pass(std::to_string(report_.method.size()) + " commands read back");
        } else
            fail(seenText(), "the GC's method did not read back", "check the GC's firmware");
    }

    std::string seenText()
    {
        const std::vector<std::string> came = seen_.take();
        return came.empty() ? "no answer" : came.back();
    }

    std::string describeSettings() const
    {
        const PortSettings& s = channel_.PortSettings();
        return format("%d %d%c%d, time-out %d ms", s.baudRate, s.dataBits, s.parity, s.stopBits,
                      s.timeoutMs);
    }

    static std::string openCause(const std::string& error)
    {
        if (error.find(std::strerror(EACCES)) != std::string::npos)
            return "no permission to use the device";
        if (error.find("in use by another program") != std::string::npos)
            return "another program holds the device";
        if (error.find(std::strerror(ENOENT)) != std::string::npos)
            return "the device is missing (unplugged, or another name)";
        return "the device does not open";
    }
    static std::string openRemedy(const std::string& error)
    {
        if (error.find(std::strerror(EACCES)) != std::string::npos)
            return "join the dialout group (sudo usermod -aG dialout $USER, then log in again)";
        if (error.find("in use by another program") != std::string::npos)
            return "end the other program (see the device list above)";
        return "check the cable and the device name (gc6890 ports lists the devices)";
    }

    void begin(std::string name)
    {
        seen_.take();
        LineCheck check;
        check.name = std::move(name);
        report_.checks.push_back(std::move(check));
        startedMs_ = nowMilliseconds();
    }
    LineCheck& last() { return report_.checks.back(); }
    void finish(Result result, const std::string& found)
    {
        last().result = result;
        last().ms = static_cast<int>(nowMilliseconds() - startedMs_);
        last().found = shortened(found);
    }
    void pass(const std::string& found) { finish(Result::Passed, found); }
    void fail(const std::string& found, std::string cause, std::string remedy)
    {
        finish(Result::Failed, found);
        last().cause = std::move(cause);
        last().remedy = std::move(remedy);
    }
    void skip(std::string name, std::string cause)
    {
        LineCheck check;
        check.name = std::move(name);
        check.result = Result::Skipped;
        check.cause = std::move(cause);
        report_.checks.push_back(std::move(check));
    }

    CHP6890SerialComms& channel_;
    ReceivedLines seen_;
    LineCheckReport report_;
    std::uint64_t startedMs_ = 0;
    bool samplerAnswered_ = false;
};

}  // namespace

bool LineCheckReport::passed() const
{
    for (const LineCheck& check : checks)
        if (check.result == Result::Failed)
            return false;
    return true;
}

LineCheckReport checkLine(CHP6890SerialComms& channel)
{
    return Checker(channel).run();
}

}  // namespace gc6890
