// Faults the simulator can be told to show, switched on by a test (this struct) or by the
// options of gc6890-sim. Reply faults are chosen per command head ("GCHTRI",
// "01HTSTATUS"); "*" matches every command.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace gc6890::sim {

enum class BusyPort {
    No,           // pass-through ports open at once
    UntilClosed,  // "CCHTPO" answers 14 until a "CCHTPC" has been received
    Always,       // "CCHTPO" always answers 14
};

struct Faults {
    std::set<std::string> noReply;       // these commands get no answer
    std::set<std::string> garbled;       // their answer comes garbled
    std::set<std::string> truncated;     // their answer is cut to half its length
    std::set<std::string> wrongHead;     // their answer carries the operation "XX"
    std::set<std::string> otherAddress;  // their answer comes from another address ("HT02...")
    std::set<std::string> unsolicited;   // an unsolicited line goes out before the answer
    std::string unsolicitedLine = "HTGCEV 1,\"UNSOLICITED EVENT\"";
    int unsolicitedCount = 1;    // how many times that line goes out each time
    std::set<std::string> late;  // their answer goes out lateMs after the command
    int lateMs = 1000;
    // Their answer is replaced by one line of endlessBytes filler bytes after the head: a
    // talkative instrument whose line feed comes far past any sane line length.
    std::set<std::string> endless;
    std::size_t endlessBytes = 2u << 20;

    int baud = 0;  // pty only: pace both directions at this rate (8N1: baud / 10 bytes/s); 0 off
    std::set<std::string> silentEchoAddresses;  // echo tests of these addresses fail
    BusyPort busyPort = BusyPort::No;
    int checkCode = 0;                 // "CCHTMC" answers this code when non-zero
    int installCode = 0;               // "CCHTMI" answers this code when non-zero
    bool lostInjectionAnswer = false;  // a late injection answer never comes
    // The line closes when line hangUpAfterLines + 1 arrives (-1 never), counted afresh on
    // each new line. With hangUpDelayMs >= 0 it closes that long (instrument time) after
    // line hangUpAfterLines instead, which is applied as usual (its answer is lost when the
    // delay is 0): a hang-up while the host is only waiting, or after a command took effect.
    int hangUpAfterLines = -1;
    int hangUpDelayMs = -1;
    // How many times the hang-up strikes; only a program that opens a new line after a
    // hang-up (gc6890-sim --reconnect-after) sees more than the first.
    int hangUps = 1;
    // Once this many lines have arrived, nothing more is answered (-1 never): the line
    // stays open but has gone silent.
    int silentAfterLines = -1;
};

bool faultApplies(const std::set<std::string>& heads, const std::string& commandHead);

// The lines that go out for one answer once the reply faults of `commandHead` are
// applied: none (no reply), or the answer (changed) possibly preceded by an unsolicited
// line.
std::vector<std::string> applyReplyFaults(const Faults& faults, const std::string& commandHead,
                                          const std::string& answer);

std::string garble(std::string_view line);
std::string truncateLine(std::string_view line);
std::string withWrongHead(std::string_view line);
std::string withOtherAddress(std::string_view line);

bool parseBusyPort(std::string_view text, BusyPort& mode);

}  // namespace gc6890::sim
