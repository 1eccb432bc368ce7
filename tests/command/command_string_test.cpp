#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "command/command_string.h"

namespace {

// A line, its argument kinds (a digit each: 0 text, 1 float, 2 integer), the line written back.
using LineCase = std::tuple<const char*, const char*, const char*>;
class LineParsing : public testing::TestWithParam<LineCase> {};

TEST_P(LineParsing, ReadsArgumentKindsAndFormatsThemBack)
{
    const auto& [line, types, written] = GetParam();
    const CCommandString command{CString(line)};
    std::string kinds;
    for (int i = 0; i < command.GetArgumentCount(); ++i)
        kinds += static_cast<char>('0' + command.GetArgumentType(i));
    EXPECT_EQ(kinds, types);
    EXPECT_EQ(command.GetString(), written);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LineParsing,
    testing::Values(LineCase{"CCHTID", "", "CCHTID "}, LineCase{"GCHT", "", "     "},
                    LineCase{"CCHTMD ?", "2", "CCHTMD 0"},
                    LineCase{"GCHTXX 1,2.5,Front inlet ", "210", "GCHTXX 1,2.50,Front inlet "},
                    // An empty argument ends reading: it and all after it are 0.
                    LineCase{"GCHTXX 1,,3", "222", "GCHTXX 1,0,0"},
                    LineCase{"GCHTXX ,", "2", "GCHTXX 0"},
                    LineCase{"GCHTXX 1,2,", "22", "GCHTXX 1,2"},
                    LineCase{"GCHTXX  word,word", "20", "GCHTXX 0,word"},
                    LineCase{"GCHTXX 1e3,-5,+3", "222", "GCHTXX 1,-5,3"},
                    LineCase{"GCHTXX \"1234\",.x,1.5x", "211", "GCHTXX 0,0.00,1.50"},
                    LineCase{"CCHTMD C;\"GCHTST;\"", "0", "CCHTMD C;\"GCHTST;\""}));

// Reaches the setters that derived commands use.
struct EditableCommand : CCommandString {
    using CCommandString::CCommandString;
    using CCommandString::SetArgumentFloat;
    using CCommandString::SetArgumentInt;
};

TEST(CommandStringTest, TextArgumentTurnedIntoNumberIsFreed)
{
    EditableCommand command(CCommandType("GCHTXX"), 2);
    EXPECT_EQ(command.GetString(), "GCHTXX 0,0");
    command.SetArgumentString(0, "front");
    command.SetArgumentString(1, "left");
    EXPECT_EQ(command.GetString(), "GCHTXX front,left");
    command.SetArgumentInt(0, 7);
    command.SetArgumentFloat(1, 0.5f);
    EXPECT_EQ(command.GetString(), "GCHTXX 7,0.50");  // leaks are caught by the sanitizers
}

TEST(CommandStringTest, CopiesOwnTheirTexts)
{
    CString source("oven");
    INT_FLOAT_STRING values[2];
    values[0].pString = &source;
    values[1].fValue = 2.5f;
    const tag_WHICH_INT_FLOAT_STRING types[2] = {ARG_STRING, ARG_FLOAT};
    CCommandString built(CCommandType("OVHTXX"), 2, values, types);
    source = "changed";
    CCommandString copy(built), assigned{CString("GCHTXX a,b")};
    copy.SetArgumentString(0, "inlet");
    assigned = copy;
    assigned.SetArgumentString(0, "detector");
    EXPECT_EQ(built.GetString(), "OVHTXX oven,2.50");
    EXPECT_EQ(copy.GetString(), "OVHTXX inlet,2.50");
    EXPECT_EQ(assigned.GetString(), "OVHTXX detector,2.50");
}

}  // namespace
