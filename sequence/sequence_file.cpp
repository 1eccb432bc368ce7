#include "sequence/sequence_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <toml++/toml.h>

#include "external/inlet_utils.h"
#include "external/method_file_toml.h"
#include "external/method_schema.h"
#include "platform/enum_names.h"
#include "platform/utf8_text.h"
#include "sequence/injection_limits.h"

namespace gc6890 {

namespace {

constexpr EnumNames kErrorRuleNames({"pause", "skip", "abort"}, ErrorRule::Abort);

}  // namespace

const char* errorRuleName(ErrorRule rule)
{
    return kErrorRuleNames(rule);
}

namespace {

// Thrown inside the reader only; parseSequence turns it into the file's error.
struct KeyError {
    long line;
    std::string key;
    std::string problem;
};

long lineOf(const toml::node& node)
{
    const long line = static_cast<long>(node.source().begin.line);
    return line > 0 ? line : 1;
}

std::string typeName(const toml::node& node)
{
    std::ostringstream name;
    name << node.type();
    return name.str();
}

// Reads the keys of one table by name, remembering which were read so that the rest can be
// refused as unknown.
class TableReader {
public:
    TableReader(const toml::table& table, std::string path) : table_(table), path_(std::move(path))
    {}

    const toml::node* find(const char* key)
    {
        used_.insert(key);
        return table_.get(key);
    }

    std::string keyPath(const char* key) const { return path_.empty() ? key : path_ + "." + key; }

    [[noreturn]] void fail(const toml::node& node, const char* key, const std::string& problem)
    {
        throw KeyError{lineOf(node), keyPath(key), problem};
    }

    std::string text(const char* key, bool required, std::size_t maxLength)
    {
        const toml::node* node = find(key);
        if (!node) {
            if (required)
                throw KeyError{lineOf(table_), keyPath(key), "required"};
            return {};
        }
        const auto* value = node->as_string();
        if (!value)
            fail(*node, key, "expected a string, found " + typeName(*node));
        const std::string& text = value->get();
        if (text.find_first_not_of(" \t") == std::string::npos)
            fail(*node, key, "must not be empty");
        // In characters, as the limits are given. (The results folder's name is made of ASCII
        // alone, so its length does not depend on it.)
        if (utf8Characters(text) > maxLength)
            fail(*node, key, "longer than " + std::to_string(maxLength) + " characters");
        if (text.find_first_of("\r\n") != std::string::npos)
            fail(*node, key, "must be one line");
        return text;
    }

    int integer(const char* key, bool required, int fallback, int min, int max)
    {
        const toml::node* node = find(key);
        if (!node) {
            if (required)
                throw KeyError{lineOf(table_), keyPath(key), "required"};
            return fallback;
        }
        const auto* value = node->as_integer();
        if (!value)
            fail(*node, key, "expected an integer, found " + typeName(*node));
        const std::int64_t v = value->get();
        if (v < min || v > max)
            fail(*node, key, outOfRange(std::to_string(v), min, max));
        return static_cast<int>(v);
    }

    double number(const char* key, double fallback, double min, double max)
    {
        const toml::node* node = find(key);
        if (!node)
            return fallback;
        double v = 0;
        if (const auto* f = node->as_floating_point())
            v = f->get();
        else if (const auto* i = node->as_integer())
            v = static_cast<double>(i->get());
        else
            fail(*node, key, "expected a number, found " + typeName(*node));
        if (!(v >= min && v <= max))
            fail(*node, key, outOfRange(formatDouble(v), min, max));
        return v;
    }

    void refuseUnknown() const
    {
        for (auto&& [key, node] : table_) {
            if (!used_.count(std::string(key.str())))
                throw KeyError{lineOf(node), keyPath(std::string(key.str()).c_str()),
                               "unknown key"};
        }
    }

private:
    static std::string outOfRange(const std::string& value, int min, int max)
    {
        return value + " is out of range (" + std::to_string(min) + " to " + std::to_string(max) +
               ")";
    }
    static std::string outOfRange(const std::string& value, double min, double max)
    {
        return value + " is out of range (" + formatDouble(min) + " to " + formatDouble(max) + ")";
    }

    const toml::table& table_;
    std::string path_;
    std::set<std::string> used_;
};

ErrorRule errorRuleOf(TableReader& top)
{
    const toml::node* node = top.find("on_error");
    if (!node)
        return ErrorRule::Pause;
    if (const auto* word = node->as_string()) {
        if (const std::optional<ErrorRule> rule = kErrorRuleNames.find(word->get()))
            return *rule;
    }
    top.fail(*node, "on_error", "expected \"pause\", \"skip\" or \"abort\"");
}

SequenceRow rowOf(const toml::table& table, int number)
{
    TableReader reader(table, "row[" + std::to_string(number) + "]");
    SequenceRow row;
    row.line = static_cast<int>(lineOf(table));
    row.vial = reader.integer("vial", true, 0, kVialMin, kVialMax);
    row.method = reader.text("method", true, 4096);
    row.volume =
        static_cast<float>(reader.number("volume", kDefaultVolume, kVolumeMin, kVolumeMax));
    row.injections = reader.integer("injections", false, 1, 1, kMaxInjectionsPerVial);
    row.sample = reader.text("sample", false, kMaxSampleNameLength);
    if (row.sample.empty())
        row.sample = "vial " + std::to_string(row.vial);
    reader.refuseUnknown();
    return row;
}

void readSequence(const toml::table& root, Sequence& sequence)
{
    TableReader top(root, "");
    sequence.name = top.text("name", true, kMaxSequenceNameLength);
    sequence.onError = errorRuleOf(top);
    const toml::node* rows = top.find("row");
    if (!rows)
        throw KeyError{1, "row", "a sequence needs at least one [[row]]"};
    const toml::array* array = rows->as_array();
    if (!array || !array->is_array_of_tables())
        top.fail(*rows, "row", "expected [[row]] tables, found " + typeName(*rows));
    if (array->size() > static_cast<std::size_t>(kMaxSequenceRows))
        top.fail(*rows, "row", "more than " + std::to_string(kMaxSequenceRows) + " rows");
    int number = 0;
    for (const toml::node& node : *array)
        sequence.rows.push_back(rowOf(*node.as_table(), ++number));
    top.refuseUnknown();
}

}  // namespace

std::string SequenceFileError::text() const
{
    if (column > 0)
        return file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + problem;
    if (line == 0)
        return file + ": " + problem;
    return tomlKeyError(file, line, key, problem);
}

SequenceFileError rowMethodError(const std::string& file, const SequenceRow& row,
                                 std::size_t number, const std::string& problem)
{
    return {.file = file,
            .line = row.line,
            .column = 0,
            .key = "row[" + std::to_string(number) + "].method",
            .problem = problem};
}

bool parseSequence(std::string_view text, const std::string& fileName, Sequence& sequence,
                   SequenceFileError& error)
{
    sequence = Sequence{};
    toml::table root;
    try {
        root = toml::parse(text, fileName);
    } catch (const toml::parse_error& e) {
        const auto& where = e.source().begin;
        error = {.file = fileName,
                 .line = static_cast<long>(where.line),
                 .column = static_cast<long>(where.column),
                 .key = "",
                 .problem = "not TOML: " + std::string(e.description())};
        return false;
    }
    try {
        readSequence(root, sequence);
    } catch (const KeyError& e) {
        error = {.file = fileName, .line = e.line, .column = 0, .key = e.key, .problem = e.problem};
        return false;
    }
    return true;
}

bool readSequenceFile(const std::string& path, Sequence& sequence, std::string& text,
                      SequenceFileError& error)
{
    const auto wholeFile = [&](std::string problem) {
        error = {.file = path, .line = 0, .column = 0, .key = "", .problem = std::move(problem)};
        return false;
    };
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return wholeFile(std::string("cannot read: ") + std::strerror(errno));
    text.assign(std::istreambuf_iterator<char>(file), {});
    if (file.bad())
        return wholeFile("cannot read");
    if (text.size() > kMaxSequenceFileBytes)
        return wholeFile("larger than " + std::to_string(kMaxSequenceFileBytes) +
                         " bytes; not a sequence file");
    return parseSequence(text, path, sequence, error);
}

std::string sequenceMethodFile(const std::string& sequenceFile, const std::string& method)
{
    namespace fs = std::filesystem;
    fs::path file(method.ends_with(kMethodFileExtension) ? method : method + kMethodFileExtension);
    if (file.is_absolute())
        return file.lexically_normal().string();
    const fs::path beside = (fs::path(sequenceFile).parent_path() / file).lexically_normal();
    std::error_code ec;
    if (method.find('/') != std::string::npos || fs::is_regular_file(beside, ec))
        return beside.string();
    // Not a file beside the sequence: the methods folder, never the working folder, so the
    // same file runs the same methods wherever it is started from.
    CString name(method);
    AddMethodFileExtension("HP6890", name);
    return name.str();
}

}  // namespace gc6890
