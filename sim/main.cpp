// gc6890-sim: the simulated GC and sampler served on a pseudo-terminal. The first line on
// standard output is the device path; --trace shows the traffic on standard error.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <thread>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "sim/hardware_profile.h"
#include "sim/line_format.h"
#include "sim/pty_server.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int)
{
    g_stop = 1;
}

// Points the link at the device in one step (a new link renamed over the old one), so a
// host opening it finds the old device or the new one, never no link.
bool pointLink(const std::string& link, const std::string& device)
{
    const std::string fresh = link + ".new";
    ::unlink(fresh.c_str());
    return ::symlink(device.c_str(), fresh.c_str()) == 0 &&
           ::rename(fresh.c_str(), link.c_str()) == 0;
}

// Ends the simulator when the starter's end of the pipe closes (the starter ended, however
// it ended): a thread waits for end-of-file and then stops us as SIGTERM would.
void watchParent(int fd)
{
    std::thread([fd] {
        char byte;
        while (::read(fd, &byte, 1) > 0 || errno == EINTR) {
        }
        ::kill(::getpid(), SIGTERM);
    }).detach();
}

// Sleeps in short steps so that a stop request is seen; false when one came.
bool pauseFor(int milliseconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!g_stop && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(milliseconds, 10)));
    return !g_stop;
}

// "\xNN" (two hexadecimal digits) in an option's text stands for that byte, so that a
// shell line, GC6890_SIM_OPTIONS or a script can give the bytes a real line may carry (an
// 8-bit character, line noise): --firmware 'A.03\xB005'.
std::string withByteEscapes(std::string text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\\x") == 0 && i + 3 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else
            out += text[i];
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace gc6890::sim;
    SimConfig config;
    std::string link;
    bool trace = false;
    int reconnectAfterMs = -1;
    double speed = 1.0;
    std::string busyPort = "no";
    std::string injection = "immediate";
    std::vector<std::string> noReply, garbled, truncated, wrongHead, otherAddress, unsolicited,
        silentEcho, late, endless;
    std::vector<int> missingVials;
    bool noBackInlet = false, noFrontTower = false, noBackTower = false;
    std::string profile;
    std::string injectionLog;
    std::string replay;

    CLI::App app{"gc6890-sim: a simulated HP 6890 GC with its sampler on a pseudo-terminal.\n"
                 "Prints the device path as its first line; stops on SIGINT or SIGTERM."};
    app.add_option("--link", link,
                   "Also make a symbolic link PATH to the device (removed on exit)");
    app.add_flag(
        "--trace", trace,
        "Log every line received (>) and sent (<) on standard error, and the instrument time\n"
        "an answer was held back (~ held N ms after HEAD)");
    app.add_option("--speed", speed, "Instrument time runs N times faster than real time")
        ->check(CLI::PositiveNumber);
    app.add_option(
        "--baud", config.faults.baud,
        "Slow line: pace both directions at this baud rate, 8N1 (9600 gives 960 bytes/s)");
    app.add_option("--no-reply", noReply, "Leave command HEAD unanswered (repeatable; * for all)");
    app.add_option("--garble", garbled, "Garble the answer to HEAD (repeatable)");
    app.add_option("--truncate", truncated, "Cut the answer to HEAD to half (repeatable)");
    app.add_option("--wrong-head", wrongHead, "Answer HEAD with the operation XX (repeatable)");
    app.add_option("--other-address", otherAddress,
                   "Answer HEAD from another address, HT02 for HT01 (repeatable)");
    app.add_option("--unsolicited", unsolicited,
                   "Send an unsolicited line before the answer to HEAD (repeatable)");
    app.add_option("--unsolicited-line", config.faults.unsolicitedLine, "The unsolicited line");
    app.add_option("--unsolicited-count", config.faults.unsolicitedCount,
                   "How many unsolicited lines go out before each such answer (default 1)");
    app.add_option("--late", late, "Answer HEAD late, after --late-ms (repeatable)");
    app.add_option("--late-ms", config.faults.lateMs,
                   "Delay of a late answer in ms (default 1000)");
    app.add_option("--endless", endless,
                   "Answer HEAD with one line of 2 MiB filler before its line feed (repeatable)");
    app.add_option("--identity", config.gc.product,
                   "Product text of the identity reply (not \"HP 6890 GC\": not a 6890)")
        ->transform(withByteEscapes);
    app.add_option("--firmware", config.gc.firmware,
                   "Firmware text, eleven characters (\"REV N\" in it for that variant; \\xNN "
                   "for a byte)")
        ->transform(withByteEscapes);
    app.add_option("--silent-echo", silentEcho, "Echo test of ADDRESS fails (repeatable)");
    app.add_option("--busy-port", busyPort,
                   "Pass-through port busy (answers 14): no, once (until a close), always")
        ->check(CLI::IsMember({"no", "once", "always"}));
    app.add_option("--check-code", config.faults.checkCode, "CCHTMC answers this result code");
    app.add_option("--install-code", config.faults.installCode, "CCHTMI answers this result code");
    app.add_option("--injection", injection,
                   "Injection answer: immediate, or late (unsolicited when the injection happens)")
        ->check(CLI::IsMember({"immediate", "late"}));
    app.add_flag("--lost-injection", config.faults.lostInjectionAnswer,
                 "A late injection answer never comes");
    app.add_option(
        "--hang-up-after", config.faults.hangUpAfterLines,
        "Close the line when line N+1 arrives (the program exits unless --reconnect-after)");
    app.add_option(
        "--hang-up-delay", config.faults.hangUpDelayMs,
        "With --hang-up-after N: close the line MS (instrument time) after line N instead");
    app.add_option(
           "--reconnect-after", reconnectAfterMs,
           "After a hang-up keep the instrument, wait MS and serve a new line (--link moves to it)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--hang-ups", config.faults.hangUps,
                   "With --reconnect-after: how many times the hang-up strikes (default 1)")
        ->check(CLI::PositiveNumber);
    app.add_option("--silent-after", config.faults.silentAfterLines,
                   "Answer nothing more once N lines have arrived (a line gone silent)");
    // The starter's lifeline (the library's "sim" device sets it): see watchParent.
    int parentFd = -1;
    if (const char* fd = std::getenv("GC6890_SIM_PARENT_FD"); fd && *fd)
        parentFd = std::atoi(fd);
    app.add_option("--parent-fd", parentFd,
                   "End when this inherited descriptor reaches end-of-file (the starter's pipe;\n"
                   "default: $GC6890_SIM_PARENT_FD)");
    app.add_option("--missing-vial", missingVials, "No vial at tray position N (repeatable)");
    app.add_option("--injection-log", injectionLog,
                   "Append a line \"vial N\" to FILE for each injection the sampler makes");
    app.add_option("--tray", config.sampler.trayPositions, "Tray positions (default 100)");
    app.add_option("--profile", profile,
                   "Installed hardware from a TOML profile (docs/simulator.md); it replaces\n"
                   "--no-back-inlet and sets --firmware, --tray and the towers where it names them")
        ->check(CLI::ExistingFile);
    app.add_option("--replay", replay,
                   "Answer each line as the instrument did in this capture (capture.jsonl of\n"
                   "gc6890 --capture or gc6890 doctor); lines it never saw are answered as the\n"
                   "simulator would and reported on standard error")
        ->check(CLI::ExistingFile);
    app.add_flag("--replay-timing", config.replayTiming,
                 "With --replay: answer after the capture's answer times");
    app.add_flag("--no-back-inlet", noBackInlet, "The GC has no back inlet");
    app.add_flag("--no-front-tower", noFrontTower, "No front injector tower");
    app.add_flag("--no-back-tower", noBackTower, "No back injector tower");
    app.add_flag("--auto-prep-run", config.gc.autoPrepRun, "The GC prepares itself for runs");
    app.add_flag("--start-cold", config.gc.startCold, "The oven starts at ambient temperature");
    app.add_option("--shutdown-bits", config.gc.shutdownBits,
                   "Status word 8 (shutdowns, scram bits 30-31 and 15-16)");
    app.add_option("--not-ready-bits", config.gc.notReadyBits, "Extra bits in status word 0");
    app.add_option("--non-fatal", config.gc.nonFatal[0], "Non-fatal error code, section 1");
    app.add_flag("--blank-run", config.gc.blankRun, "Runs are reported as blank runs");
    app.add_flag("--sequence", config.gc.sequence, "The GC reports a sequence running");
    CLI11_PARSE(app, argc, argv);

    auto toSet = [](const std::vector<std::string>& v) {
        return std::set<std::string>(v.begin(), v.end());
    };
    config.faults.noReply = toSet(noReply);
    config.faults.garbled = toSet(garbled);
    config.faults.truncated = toSet(truncated);
    config.faults.wrongHead = toSet(wrongHead);
    config.faults.otherAddress = toSet(otherAddress);
    config.faults.unsolicited = toSet(unsolicited);
    config.faults.late = toSet(late);
    config.faults.endless = toSet(endless);
    config.faults.silentEchoAddresses = toSet(silentEcho);
    parseBusyPort(busyPort, config.faults.busyPort);
    config.sampler.answer =
        injection == "late" ? InjectionAnswer::Late : InjectionAnswer::Immediate;
    config.sampler.missingVials = std::set<int>(missingVials.begin(), missingVials.end());
    config.gc.backInlet = !noBackInlet;
    config.sampler.frontTower = !noFrontTower;
    config.sampler.backTower = !noBackTower;
    if (!profile.empty()) {
        std::string error;
        if (!loadHardwareProfile(profile, config, error)) {
            std::cerr << "gc6890-sim: " << error << std::endl;
            return 2;
        }
    }

    if (!replay.empty()) {
        std::vector<gc6890::CapturedLine> lines;
        std::string error;
        if (!gc6890::readCapture(replay, lines, error)) {
            std::cerr << "gc6890-sim: " << error << std::endl;
            return 2;
        }
        config.replay = std::make_shared<Replay>(lines);
        config.unseenReplayLine = [](const std::string& line,
                                     const std::vector<std::string>& closest) {
            std::cerr << "gc6890-sim: replay: the capture never saw \"" << escape(line)
                      << "\"; answered as the simulator would; closest captured:";
            for (const std::string& near : closest)
                std::cerr << " \"" << escape(near) << '"';
            std::cerr << std::endl;
        };
    }

    // The stop's answer waits half a second of real time whatever the speed, so a reset's
    // return-all written right after the stop always comes first (docs/simulator.md).
    config.sampler.stopSettleMs = static_cast<std::int64_t>(500.0 * speed);
    Clock clock = Clock::realTime(speed);
    Instrument instrument(clock, config);
    if (trace)
        instrument.trace = [](char direction, const std::string& line) {
            std::cerr << direction << ' ' << escape(line) << std::endl;
        };
    int injectionLogFd = -1;
    if (!injectionLog.empty()) {
        injectionLogFd =
            ::open(injectionLog.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (injectionLogFd < 0) {
            std::cerr << "gc6890-sim: cannot open " << injectionLog << std::endl;
            return 2;
        }
        // One write per line, so that a reader never sees half of one.
        instrument.sampler().onInjection = [injectionLogFd](int vial) {
            const std::string line = "vial " + std::to_string(vial) + "\n";
            [[maybe_unused]] const ssize_t n = ::write(injectionLogFd, line.data(), line.size());
        };
    }
    struct sigaction action {};
    action.sa_handler = onSignal;  // no SA_RESTART: poll() returns with EINTR
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    if (parentFd >= 0)
        watchParent(parentFd);

    // One pass per line: after a hang-up, with --reconnect-after, the instrument is served
    // on a new pseudo-terminal (the old one is closed first, so the host sees the hang-up).
    int result = 0;
    for (bool first = true;; first = false) {
        PtyServer server(instrument);
        std::string error;
        if (!server.open(error)) {
            std::cerr << "gc6890-sim: " << error << std::endl;
            result = 1;
            break;
        }
        if (!link.empty() && !pointLink(link, server.devicePath())) {
            std::cerr << "gc6890-sim: cannot make the link " << link << std::endl;
            result = 1;
            break;
        }
        if (first)
            std::cout << server.devicePath() << std::endl;  // flushed: a starter waits for it
        else if (trace)
            std::cerr << "gc6890-sim: new line " << server.devicePath() << std::endl;
        result = server.serve(g_stop);
        if (g_stop || result != 0 || !instrument.hungUp() || reconnectAfterMs < 0)
            break;
        // The link goes before the line: a host that notices the hang-up must not follow it
        // to the closed device, whose number the system may hand to another program's
        // pseudo-terminal before the link is moved.
        if (!link.empty())
            ::unlink(link.c_str());
        server.close();
        if (!pauseFor(reconnectAfterMs))
            break;
        instrument.reconnect();
    }
    if (!link.empty())
        ::unlink(link.c_str());
    if (injectionLogFd >= 0)
        ::close(injectionLogFd);
    return result;
}
