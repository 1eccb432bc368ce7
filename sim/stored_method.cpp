#include "sim/stored_method.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "method/method_rules.h"

namespace gc6890::sim {

namespace {

// Result codes of the block's form; the method's own rules come from the library's table.
constexpr int kNoInstruction = 4;
constexpr int kIncompleteCommand = 5;
constexpr int kSyntaxError = 12;

constexpr std::size_t kBlockLineLimit = 420;  // characters before a block line is closed

const MethodCommand* findIn(const std::vector<MethodCommand>& list, const std::string& head)
{
    const auto it = std::find_if(list.begin(), list.end(),
                                 [&](const MethodCommand& c) { return c.head == head; });
    return it == list.end() ? nullptr : &*it;
}

bool wellFormedHead(const std::string& head)
{
    return head.size() == 6 && std::all_of(head.begin(), head.end(), [](char c) {
               return std::isupper(static_cast<unsigned char>(c)) ||
                      std::isdigit(static_cast<unsigned char>(c));
           });
}

}  // namespace

MethodCommand MethodCommand::parse(const std::string& text)
{
    const Line line = parseLine(text);
    MethodCommand command;
    command.head = line.head;
    command.argText = line.argText;
    command.hasArgs = line.hasArgs;
    return command;
}

std::string MethodCommand::text() const
{
    return hasArgs ? head + " " + argText : head;
}

std::vector<std::string> MethodCommand::args() const
{
    return hasArgs ? split(argText, ',') : std::vector<std::string>{};
}

std::string MethodCommand::arg(std::size_t index) const
{
    const auto all = args();
    return index < all.size() ? all[index] : std::string();
}

double MethodCommand::number(std::size_t index, double fallback) const
{
    return numberOr(arg(index), fallback);
}

void MethodCommand::setArg(std::size_t index, const std::string& value)
{
    auto all = args();
    if (all.size() <= index)
        all.resize(index + 1, "0");
    all[index] = value;
    argText = join(all, ',');
    hasArgs = true;
}

StoredMethod::StoredMethod(const Hardware& hardware) : hardware_(hardware)
{
    Block block = defaultBlock(hardware);
    workfile_ = std::move(block.workfile);
    method_ = std::move(block.method);
}

// A complete, plausible method for the installed hardware: each inlet with its kind's
// commands, a 30 m column on each inlet, an oven program of 50 degrees for 2 min,
// 10 degrees/min to 250, 5 min hold.
StoredMethod::Block StoredMethod::defaultBlock(const Hardware& hardware)
{
    const InletHardware& front = hardware.inlets[0];
    const InletHardware& back = hardware.inlets[1];
    const bool hasFront = front.kind != InletKind::None;
    const bool hasBack = back.kind != InletKind::None;
    auto definition = [](const InletHardware& inlet) {
        if (inlet.kind == InletKind::None)
            return std::string("8,0,0,0,2,0.00,0.00");
        return std::to_string(inletCode(inlet.kind)) + ",1,1,0," + std::to_string(inlet.gasCode) +
               ",10.00,0.00";
    };
    // Each kind's pneumatics command as the GC reports it (split/splitless and PTV with the
    // eleven arguments the download writes into). Ratios and times are decimals, flows and
    // pressures whole numbers in thousandths or ten-thousandths: the download keeps each
    // argument's kind, so a vent time of 0.08 min must find a decimal to land in.
    auto pneumatics = [](const char* side, InletKind kind) {
        const std::string head = std::string(side) + side + inletPneumatics(kind) + " ";
        if (kind == InletKind::SplitSplitless)
            return head + "0,1,100000,50000,20.00,0,0,0,0,0,0";
        if (kind == InletKind::Ptv)
            return head + "0,0,100000,0,0.00,0,0,0.00,0,0.00,0";
        return head + "0,1,100000";
    };
    auto detector = [](int code) { return std::to_string(code) + (code ? ",1,0,0" : ",0,0,0"); };

    std::vector<std::string> workfile = {"CCCCIW HP,6890,GC,SIM6890,DEFAULT,120000,010126"};
    if (hasFront)
        workfile.push_back("IFIFRC 2,1");
    if (hasBack)
        workfile.push_back("IBIBRC 2,1");
    workfile.push_back("IFIFCW " + definition(front));
    workfile.push_back("IBIBCW " + definition(back));
    workfile.push_back("DFDFCW " + detector(hardware.detectors[0]));
    workfile.push_back("DBDBCW " + detector(hardware.detectors[1]));
    workfile.push_back(hardware.columns[0].installed ? "C1C1CW 3000,250,25,0,1,0,0,0"
                                                     : "C1C1CW 0,0,0,5,1,0,0,0");
    workfile.push_back(hardware.columns[1].installed ? "C2C2CW 3000,250,25,1,4,0,0,0"
                                                     : "C2C2CW 0,0,0,5,4,0,0,0");
    // Appended piece by piece: "A" + std::to_string(n) trips a false -Wrestrict of g++ 12
    // at -O3 (the Release build of the benchmarks).
    auto numbered = [](char head, int n, const char* rest) {
        std::string line(1, head);
        line += std::to_string(n);
        line += head;
        line += std::to_string(n);
        return line += rest;
    };
    for (int n = 1; n <= 5; ++n)
        workfile.push_back(numbered('A', n, "CW 0,0,0"));
    for (int n = 1; n <= 6; ++n)
        workfile.push_back(numbered('V', n, "CW 0,0,0,0.00,0"));
    workfile.push_back("V7V7CW 3,0,0,0.00,0");
    workfile.push_back("V8V8CW 0,0,0,0.00,0");
    workfile.push_back("OVOVCW 1,3," + std::to_string(hardware.ovenCryo) + "," +
                       std::to_string(std::min(350, hardware.ovenMaximum)));
    workfile.push_back(std::string("GCGCCW 1,") + (hardware.epc() ? "1" : "0") + ",0,0");

    const std::string noRamps = "0.00,0,0.00,0.00,0,0.00,0.00,0,0.00";
    std::vector<std::string> method = {
        "DFDFMF 0,1,25.00", "OVOVTR 50,2.00,10.00,250,5.00," + noRamps + ",0.00,0,0.00,0.00,0,0.00",
        "OVOVTZ 1",         "OVOVSP 0.50",
        "GCGCPO 0.00,0",
    };
    if (hasFront)
        method.push_back("IFIFTR 0,250,0.00," + noRamps);
    if (hasBack)
        method.push_back("IBIBTR 0,250,0.00," + noRamps);
    if (hasFront)
        method.push_back("IFIFTZ 1");
    if (hasBack)
        method.push_back("IBIBTZ 1");
    if (hasFront && front.cryo)
        method.push_back("IFIFCR 0,0,0,0,0,0,0");
    if (hasFront)
        method.push_back(pneumatics("IF", front.kind));
    if (hasBack)
        method.push_back(pneumatics("IB", back.kind));
    for (const char* text :
         {"DFDFTR 300", "DBDBTR 300", "DFDFTZ 1", "DBDBTZ 1", "DFDFNI 0", "DBDBNI 0", "DFDFNZ 1",
          "DBDBNZ 1", "DFDFFI 400,30,25", "DBDBFI 400,30,25"})
        method.push_back(text);
    if (hardware.columns[0].installed)
        method.push_back("C1C1NR 1,1,2,0.00,100000,0.00," + noRamps + ",0");
    if (hardware.columns[1].installed)
        method.push_back("C2C2NR 1,1,2,0.00,100000,0.00," + noRamps + ",0");
    method.push_back(hasFront ? "IFIFNZ 1" : "IFIFNZ 0");
    method.push_back(hasBack ? "IBIBNZ 1" : "IBIBNZ 0");
    for (const char* text : {"A3A3NZ 0", "CCCCC1 2", "CCCCC2 2", "GCGCPU 2", "S1S1CS 1,0",
                             "S1S1CA 0,0", "S1S1ZA 0", "S2S2CS 2,0", "S2S2CA 0,0", "S2S2ZA 0"})
        method.push_back(text);

    Block block;
    for (const auto& text : workfile)
        block.workfile.push_back(MethodCommand::parse(text));
    for (const auto& text : method)
        block.method.push_back(MethodCommand::parse(text));
    return block;
}

std::string StoredMethod::firstBlock()
{
    readBlocks_.clear();
    readBlocks_.push_back("HTCCMD B;\"\"");
    std::string line;
    auto append = [&](const std::string& command) {
        if (line.empty())
            line = "HTCCMD C;\"";
        else if (line.size() + command.size() + 1 > kBlockLineLimit) {
            readBlocks_.push_back(line + "\"");
            line = "HTCCMD C;\"";
        }
        line += command + ";";
    };
    for (const auto& command : workfile_)
        append(command.text());
    append("CCCCCE 0");  // the workfile terminator, as in a downloaded block
    for (const auto& command : method_)
        append(command.text());
    readBlocks_.push_back(line + "\"");
    readBlocks_.push_back("HTCCMD E;\"NONE\"");
    readPosition_ = 1;
    return readBlocks_.front();
}

std::string StoredMethod::nextBlock()
{
    if (readBlocks_.empty() || readPosition_ >= readBlocks_.size())
        return "HTCCMD E;\"NONE\"";
    return readBlocks_[readPosition_++];
}

std::string StoredMethod::receiveBlockLine(const Line& line)
{
    const std::string echo = replyHead(line) + (line.hasArgs ? " " + line.argText : "");
    const char kind = line.argText.empty() ? '\0' : line.argText.front();
    if (kind == 'B') {
        pending_ = Block{};
        pendingOpen_ = true;
        pendingComplete_ = false;
        pendingInMethod_ = false;
        pendingSyntaxCode_ = 0;
        pendingSyntaxPosition_ = 0;
        return echo;
    }
    if (kind == 'E') {
        if (pendingOpen_) {
            pendingOpen_ = false;
            pendingComplete_ = true;
        }
        return echo;
    }
    if (kind != 'C' || !pendingOpen_) {
        // A block line without its opening line: the block is incomplete.
        pendingComplete_ = false;
        pendingOpen_ = false;
        return echo;
    }
    const auto first = line.argText.find('"');
    const auto last = line.argText.rfind('"');
    if (first == std::string::npos || first == last) {
        if (pendingSyntaxCode_ == 0)
            pendingSyntaxCode_ = kIncompleteCommand;
        return echo;
    }
    for (const auto& piece : split(line.argText.substr(first + 1, last - first - 1), ';')) {
        if (piece.empty())
            continue;
        MethodCommand command = MethodCommand::parse(piece);
        if (command.head == "CCCCCE") {
            pendingInMethod_ = true;
            continue;
        }
        auto& list = pendingInMethod_ ? pending_.method : pending_.workfile;
        list.push_back(command);
        if (!wellFormedHead(command.head) && pendingSyntaxCode_ == 0) {
            pendingSyntaxCode_ = kSyntaxError;
            pendingSyntaxPosition_ =
                static_cast<int>(pending_.workfile.size() + pending_.method.size());
        }
    }
    return echo;
}

int StoredMethod::check(int& position) const
{
    position = 0;
    refusal_.clear();
    if (!pendingComplete_) {
        refusal_ = "no complete block downloaded";
        return kNoInstruction;
    }
    if (pendingSyntaxCode_ != 0) {
        position = pendingSyntaxPosition_;
        return pendingSyntaxCode_;
    }
    return checkBlock(pending_, position);
}

int StoredMethod::install(int& position)
{
    const int code = check(position);
    if (code != 0)
        return code;
    workfile_ = std::move(pending_.workfile);
    method_ = std::move(pending_.method);
    pending_ = Block{};
    pendingComplete_ = false;
    return 0;
}

int StoredMethod::checkBlock(const Block& block, int& position) const
{
    position = 0;
    refusal_.clear();
    for (const CommandRule& rule : CommandRules())
        if (rule.required && !findIn(rule.workfile ? block.workfile : block.method, rule.head)) {
            refusal_ = std::string("required command ") + rule.head + " absent";
            return kRuleRequiredAbsent;
        }

    // Walk every command once, in block order, so the first offence is the one reported.
    const double ovenMaximum = findIn(block.workfile, "OVOVCW")->number(3);
    int index = 0;
    const MethodCommand* current = nullptr;
    auto offence = [&](const RuleBreach& breach) {
        position = index;
        refusal_ = current->head + " (command " + std::to_string(index) + "): " + breach.rule;
        return breach.code;
    };
    CryoRequest cryo;
    cryo.ovenCode = static_cast<int>(findIn(block.workfile, "OVOVCW")->number(2));
    for (const auto* list : {&block.workfile, &block.method}) {
        for (const auto& command : *list) {
            ++index;
            current = &command;
            const std::string& head = command.head;
            const auto args = command.args();
            if (const int side = head.rfind("IFIF", 0) == 0   ? 0
                                 : head.rfind("IBIB", 0) == 0 ? 1
                                                              : -1;
                side >= 0) {
                const std::string operation = head.substr(4);
                if (RuleBreach b = CheckInletCommand(side, operation, hardware_))
                    return offence(b);
                if (operation == "CW" && hardware_.inlets[side].kind != InletKind::None)
                    if (RuleBreach b =
                            CheckInletCode(side, static_cast<int>(command.number(0)), hardware_))
                        return offence(b);
            }
            if (head == "C1C1NR" || head == "C2C2NR")
                if (RuleBreach b = CheckColumnFitted(head[1] - '0', hardware_))
                    return offence(b);
            const CommandRule* rule = FindCommandRule(head);
            int argument = 0;
            if (rule)
                if (RuleBreach b = CheckArgumentShape(*rule, args, argument))
                    return offence(b);
            if (head == "OVOVCW") {
                if (RuleBreach b = CheckOvenMaximum(ovenMaximum, hardware_.ovenMaximum))
                    return offence(b);
                if (RuleBreach b = CheckCryo({cryo.ovenCode, false, 0}, hardware_))
                    return offence(b);
            }
            if (head == "GCGCCW" && command.number(1) != 1.0)
                return offence({kRuleNotCompatible, "the GC has no EPC on every column"});
            if (head == "OVOVTR") {
                if (RuleBreach b = CheckOvenPoint(0, command.number(0), ovenMaximum))
                    return offence(b);
                for (int ramp = 1; ramp <= 6 && command.number(3 * ramp - 1) > 0.0; ++ramp)
                    if (RuleBreach b = CheckOvenPoint(ramp, command.number(3 * ramp), ovenMaximum))
                        return offence(b);
            }
            if (head == "GCGCPO")
                if (RuleBreach b = CheckPostTemperature(command.number(1), ovenMaximum))
                    return offence(b);
            if (head == "IFIFCR") {
                cryo.inletOn = command.number(0) != 0.0;
                cryo.inletCode = CryoCodeOfCoolant(static_cast<int>(command.number(1)));
                if (RuleBreach b = CheckCryo(cryo, hardware_))
                    return offence(b);
            }
            if (rule)
                if (RuleBreach b = CheckArgumentValues(*rule, args, argument))
                    return offence(b);
        }
    }
    return 0;
}

const MethodCommand* StoredMethod::find(const std::string& head) const
{
    if (const auto* command = findIn(workfile_, head))
        return command;
    return findIn(method_, head);
}

MethodCommand* StoredMethod::find(const std::string& head)
{
    return const_cast<MethodCommand*>(std::as_const(*this).find(head));
}

bool StoredMethod::applyConfiguration(const Line& line)
{
    const auto args = line.args();
    auto copyInto = [&](const char* head, std::size_t firstIndex) {
        if (auto* command = find(head))
            for (std::size_t i = 0; i < args.size(); ++i)
                command->setArg(firstIndex + i, args[i]);
    };
    const std::string& head = line.head;
    if (head == "IFHTCF")
        copyInto("IFIFCW", 4);  // carrier gas and the two values after it
    else if (head == "IBHTCF")
        copyInto("IBIBCW", 4);
    else if (head == "C1HTCF")
        copyInto("C1C1CW", 0);
    else if (head == "C2HTCF")
        copyInto("C2C2CW", 0);
    else if (head == "V7HTCF")
        copyInto("V7V7CW", 0);
    else if (head == "OVHTCF") {
        if (auto* oven = find("OVOVCW"); oven && !args.empty())
            oven->setArg(3, args[0]);
    } else if (head == "OVHTCR") {
        // Cryo on (argument 0) decides the cryo code; a cryo type already set stays.
        if (auto* oven = find("OVOVCW"); oven && !args.empty()) {
            const bool on = intOr(args[0], 0) != 0;
            const int current = intOr(oven->arg(2), 0);
            oven->setArg(2, on ? std::to_string(current != 0 ? current : 1) : "0");
        }
    } else
        return false;
    return true;
}

}  // namespace gc6890::sim
