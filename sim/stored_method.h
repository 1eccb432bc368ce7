// The GC's stored method: a workfile (configuration part) and a method part, each a list
// of commands. It is handed out in "CCHTMD" blocks, replaced by a downloaded block once
// that block has passed the check, and edited by the immediate configuration commands.
#pragma once

#include <string>
#include <vector>

#include "sim/hardware.h"
#include "sim/line_format.h"

namespace gc6890::sim {

struct MethodCommand {
    std::string head;     // six characters, "OVOVTR"
    std::string argText;  // as received, without the blank
    bool hasArgs = false;

    static MethodCommand parse(const std::string& text);
    std::string text() const;
    std::vector<std::string> args() const;
    std::string arg(std::size_t index) const;
    double number(std::size_t index, double fallback = 0.0) const;
    void setArg(std::size_t index, const std::string& value);  // grows the list if needed
};

class StoredMethod {
public:
    explicit StoredMethod(const Hardware& hardware);

    // Read-back: "CCHTMD ?" starts again from the first block, "CCHTMD +" gives the next
    // one; after the last block ("HTCCMD E;\"NONE\"") that last block is repeated.
    std::string firstBlock();
    std::string nextBlock();

    // Download: one "CCHTMD B", "C" or "E" line; returns the echo that answers it.
    std::string receiveBlockLine(const Line& line);

    // The method check: 0 or a method result code; `position` is the 1-based place of the
    // offending command in the downloaded block (0 when none applies).
    int check(int& position) const;
    // Makes a checked block the stored method; returns the result code.
    int install(int& position);
    bool hasPendingBlock() const { return pendingComplete_; }
    // The rule behind the last refusal of the check, for the trace; empty after a pass.
    const std::string& refusal() const { return refusal_; }
    // A refusal decided outside the block's rules (the GC is running).
    void refuse(const std::string& rule) const { refusal_ = rule; }

    const Hardware& hardware() const { return hardware_; }
    const MethodCommand* find(const std::string& head) const;
    MethodCommand* find(const std::string& head);
    const std::vector<MethodCommand>& workfile() const { return workfile_; }
    const std::vector<MethodCommand>& method() const { return method_; }

    // Applies an immediate configuration command ("OVHTCF 350", "C1HTCF ..."); returns
    // false for a command this model does not know.
    bool applyConfiguration(const Line& line);

private:
    struct Block {
        std::vector<MethodCommand> workfile;
        std::vector<MethodCommand> method;
    };

    static Block defaultBlock(const Hardware& hardware);
    int checkBlock(const Block& block, int& position) const;

    Hardware hardware_;
    mutable std::string refusal_;
    std::vector<MethodCommand> workfile_;
    std::vector<MethodCommand> method_;

    std::vector<std::string> readBlocks_;  // the blocks of the read in progress
    std::size_t readPosition_ = 0;

    Block pending_;
    bool pendingOpen_ = false;      // "B" seen, "E" not yet
    bool pendingComplete_ = false;  // "E" seen
    bool pendingInMethod_ = false;  // past the workfile terminator
    int pendingSyntaxCode_ = 0;
    int pendingSyntaxPosition_ = 0;
};

}  // namespace gc6890::sim
