#include <charconv>
#include <filesystem>
#include <gtest/gtest.h>

#include "sequence/sequence_file.h"
#include "support/source_tree.h"
#include "support/temp_home.h"

namespace gc6890 {
namespace {

TEST(SequenceFile, ReadsRowsWithDefaults)
{
    const char* text = R"(name = "overnight"
on_error = "skip"

[[row]]
vial = 3
method = "split_front"
volume = 0.5
injections = 2
sample = "standard 1"

[[row]]
vial = 4
method = "../methods/ptv.toml"
)";
    Sequence sequence;
    SequenceFileError error;
    ASSERT_TRUE(parseSequence(text, "s.toml", sequence, error)) << error.text();
    EXPECT_EQ(sequence.name, "overnight");
    EXPECT_EQ(sequence.onError, ErrorRule::SkipRow);
    // Each row as "line: vial, method, volume x injections, sample" (the volume written
    // whatever the locale: the suite also runs under a comma-decimal one).
    std::vector<std::string> rows;
    for (const SequenceRow& row : sequence.rows) {
        char volume[32];
        *std::to_chars(volume, volume + sizeof volume - 1, row.volume).ptr = '\0';
        rows.push_back(std::to_string(row.line) + ": " + std::to_string(row.vial) + ", " +
                       row.method + ", " + volume + " x " + std::to_string(row.injections) + ", " +
                       row.sample);
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"4: 3, split_front, 0.5 x 2, standard 1",
                                              "11: 4, ../methods/ptv.toml, 1 x 1, vial 4"}));
}

TEST(SequenceFile, ErrorsNameTheLineAndKey)
{
    const std::string head = "name = \"n\"\n";
    const std::string row = "[[row]]\nvial = 1\nmethod = \"m\"\n";
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {.text = row, .error = "s.toml:1: name: required"},
        {.text = "name = \"\"\n" + row, .error = "s.toml:1: name: must not be empty"},
        {.text = head + "on_error = \"retry\"\n" + row,
         .error = "s.toml:2: on_error: expected \"pause\", \"skip\" or \"abort\""},
        {.text = head, .error = "s.toml:1: row: a sequence needs at least one [[row]]"},
        {.text = head + "row = 3\n",
         .error = "s.toml:2: row: expected [[row]] tables, found integer"},
        {.text = head + row + "[[row]]\nvial = 0\nmethod = \"m\"\n",
         .error = "s.toml:6: row[2].vial: 0 is out of range (1 to 10000)"},
        {.text = head + "[[row]]\nvial = \"7\"\nmethod = \"m\"\n",
         .error = "s.toml:3: row[1].vial: expected an integer, found string"},
        {.text = head + row + "volume = 1000.5\n",
         .error = "s.toml:5: row[1].volume: 1000.5 is out of range (0.0 to 1000.0)"},
        {.text = head + row + "injections = 0\n",
         .error = "s.toml:5: row[1].injections: 0 is out of range (1 to 99)"},
        {.text = head + "[[row]]\nvial = 2\n", .error = "s.toml:2: row[1].method: required"},
        {.text = head + row + "sampel = \"x\"\n", .error = "s.toml:5: row[1].sampel: unknown key"},
        {.text = head + "colour = 1\n" + row, .error = "s.toml:2: colour: unknown key"},
        {.text = head + row + "sample = \"a\nb\"\n", .error = "s.toml:5:12: not TOML: "},
        {.text = head + row + "sample = \"" + std::string(101, 'x') + "\"\n",
         .error = "s.toml:5: row[1].sample: longer than 100 characters"},
    };
    for (const auto& c : cases) {
        Sequence sequence;
        SequenceFileError error;
        EXPECT_FALSE(parseSequence(c.text, "s.toml", sequence, error)) << c.text;
        EXPECT_EQ(error.text().substr(0, c.error.size()), c.error) << c.text;
    }
    // Characters are counted, not bytes: a hundred "µ" (two bytes each) are a sample's name.
    std::string micro;
    for (int i = 0; i < 100; ++i)
        micro += "\u00b5";
    Sequence sequence;
    SequenceFileError error;
    EXPECT_TRUE(
        parseSequence(head + row + "sample = \"" + micro + "\"\n", "s.toml", sequence, error))
        << error.text();
}

TEST(SequenceFile, MethodFilesAreFoundBesideTheSequence)
{
    const std::filesystem::path root = gc6890::test::sourcePath();
    const std::string methods = (root / "methods").lexically_normal().string();
    const std::string sequence = (root / "sequences/example.toml").string();
    EXPECT_EQ(sequenceMethodFile(sequence, "../methods/ptv"), methods + "/ptv.toml");
    EXPECT_EQ(sequenceMethodFile(sequence, "/elsewhere/a.toml"), "/elsewhere/a.toml");
    // A bare name with no file beside the sequence is a method of the methods folder.
    test::TempHome home;
    EXPECT_EQ(sequenceMethodFile(sequence, "split_front"),
              home.path() + "/methods/split_front.toml");
    EXPECT_EQ(sequenceMethodFile(methods + "/x.toml", "split_front"),
              methods + "/split_front.toml");
}

}  // namespace
}  // namespace gc6890
