// Reading and writing method files as TOML, both driven by the layout in method_schema.
#include "external/method_file_toml.h"

#include <set>
#include <toml++/toml.h>
#include <vector>

#include "external/method_schema.h"

namespace gc6890 {
namespace {

// The GC's method result codes for the faults a file shares with a method block.
constexpr int kTooLarge = 1;
constexpr int kTooSmall = 2;
constexpr int kWrongType = 3;
constexpr int kTooManyArguments = 9;
constexpr int kRequiredAbsent = 10;

const char* kindName(const toml::node& node)
{
    switch (node.type()) {
    case toml::node_type::table:
        return "a table";
    case toml::node_type::array:
        return "an array";
    case toml::node_type::string:
        return "a string";
    case toml::node_type::integer:
        return "an integer";
    case toml::node_type::floating_point:
        return "a float";
    case toml::node_type::boolean:
        return "a boolean";
    default:
        return "a date or time";
    }
}

// Walks the layout over a parsed document. After the first error every call does
// nothing, so the walk simply runs out; leave() then skips its unknown-key check.
class TomlReader : public MethodVisitor {
public:
    TomlReader(const toml::table& root, std::string fileName) : m_fileName(std::move(fileName))
    {
        m_frames.push_back({&root, "", {}});
    }

    bool failed() const { return !m_error.empty(); }
    const std::string& error() const { return m_error; }
    int resultCode() const { return m_code; }
    bool loading() const override { return true; }

    // Checks the keys of the document's top level once the walk is done.
    void finish() { checkUnknown(m_frames.back()); }

    bool enter(const char* key, const char*, bool required) override
    {
        if (failed())
            return false;
        Frame& frame = m_frames.back();
        const toml::node* node = frame.table->get(key);
        const std::string path = join(frame.path, key);
        if (!node) {
            if (required)
                fail(lineOf(*frame.table), path, "required table is missing", kRequiredAbsent);
            return false;
        }
        frame.used.insert(key);
        const toml::table* table = node->as_table();
        if (!table) {
            fail(lineOf(*node), path, std::string("expected a table, found ") + kindName(*node),
                 kWrongType);
            return false;
        }
        m_frames.push_back({table, path, {}});
        return true;
    }

    void leave() override
    {
        if (!failed())
            checkUnknown(m_frames.back());
        m_frames.pop_back();
    }

    void integer(const FieldInfo& info, int& value) override
    {
        const toml::node* node = find(info.key);
        if (!node)
            return;
        const auto* number = node->as_integer();
        if (!number) {
            wrongType(*node, info.key, "an integer");
            return;
        }
        const std::int64_t v = number->get();
        if (!inRange(static_cast<double>(v), info, *node, std::to_string(v)))
            return;
        value = static_cast<int>(v);
    }

    void real(const FieldInfo& info, float& value) override
    {
        double v = 0;
        if (readReal(info, v))
            value = static_cast<float>(v);
    }

    void real(const FieldInfo& info, double& value) override
    {
        double v = 0;
        if (readReal(info, v))
            value = v;
    }

    void flag(const FieldInfo& info, int& value) override
    {
        const toml::node* node = find(info.key);
        if (!node)
            return;
        const auto* b = node->as_boolean();
        if (!b) {
            wrongType(*node, info.key, "true or false");
            return;
        }
        value = b->get() ? 1 : 0;
    }

    void choice(const FieldInfo& info, int& value, const ChoiceInfo* choices, int count) override
    {
        const toml::node* node = find(info.key);
        if (!node)
            return;
        const bool numbers = info.min < info.max;
        std::string allowed;
        for (int i = 0; i < count; ++i)
            allowed += std::string(i ? ", " : "") + "\"" + choices[i].word + "\"";
        if (numbers)
            allowed += " (or its number, " + std::to_string(static_cast<int>(info.min)) + " to " +
                       std::to_string(static_cast<int>(info.max)) + ")";
        std::string given;
        if (const auto* word = node->as_string()) {
            for (int i = 0; i < count; ++i) {
                if (word->get() == choices[i].word) {
                    value = choices[i].value;
                    return;
                }
            }
            given = "\"" + word->get() + "\"";
        } else if (const auto* number = node->as_integer(); number && numbers) {
            for (int i = 0; i < count; ++i) {
                if (number->get() == choices[i].value && number->get() >= info.min &&
                    number->get() <= info.max) {
                    value = choices[i].value;
                    return;
                }
            }
            given = std::to_string(number->get());
        } else {
            wrongType(*node, info.key, ("one of " + allowed).c_str());
            return;
        }
        fail(lineOf(*node), keyPath(info.key), given + " is not one of " + allowed);
    }

    void ramps(const RampInfo& info, CRamp* ramps, int maxCount) override
    {
        const toml::node* node = find(info.key);
        if (!node)
            return;
        const toml::array* list = node->as_array();
        if (!list) {
            wrongType(*node, info.key, "an array of ramps");
            return;
        }
        if (list->size() > static_cast<size_t>(maxCount)) {
            fail(lineOf(*node), keyPath(info.key),
                 std::to_string(list->size()) + " ramps, at most " + std::to_string(maxCount) +
                     " allowed",
                 kTooManyArguments);
            return;
        }
        std::vector<CRamp> read;
        for (size_t i = 0; i < list->size() && !failed(); ++i) {
            const std::string name = std::string(info.key) + "[" + std::to_string(i + 1) + "]";
            const toml::table* ramp = (*list)[i].as_table();
            if (!ramp) {
                wrongType((*list)[i], name.c_str(), "a table {rate, final, time}");
                return;
            }
            m_frames.push_back({ramp, keyPath(name.c_str()), {}});
            CRamp r;
            const FieldInfo rate{"rate", "", "", 0, info.rateMax};
            const FieldInfo final{"final", "", "", info.finalMin, info.finalMax};
            const FieldInfo time{"time", "", "", 0, info.timeMax};
            if (require(rate) && require(final)) {
                real(rate, r.m_fRate);
                real(final, r.m_fFinal);
                real(time, r.m_fTime);
                if (!failed() && !(r.m_fRate > 0.0f))
                    fail(lineOf(*ramp->get("rate")), keyPath("rate"),
                         "a ramp's rate must be above 0");
            }
            leave();
            read.push_back(r);
        }
        if (failed())
            return;
        for (int i = 0; i < maxCount; ++i)
            ramps[i] = i < static_cast<int>(read.size()) ? read[static_cast<size_t>(i)] : CRamp();
    }

private:
    struct Frame {
        const toml::table* table;
        std::string path;
        std::set<std::string, std::less<>> used;
    };

    static std::string join(const std::string& path, const char* key)
    {
        return path.empty() ? std::string(key) : path + "." + key;
    }

    static long lineOf(const toml::node& node)
    {
        const long line = static_cast<long>(node.source().begin.line);
        return line > 0 ? line : 1;
    }

    std::string keyPath(const char* key) const { return join(m_frames.back().path, key); }

    void fail(long line, const std::string& key, const std::string& problem, int code = 0)
    {
        if (failed())
            return;
        m_error = tomlKeyError(m_fileName, line, key, problem);
        m_code = code;
    }

    void wrongType(const toml::node& node, const char* key, const char* expected)
    {
        fail(lineOf(node), keyPath(key),
             std::string("expected ") + expected + ", found " + kindName(node), kWrongType);
    }

    const toml::node* find(const char* key)
    {
        if (failed())
            return nullptr;
        Frame& frame = m_frames.back();
        const toml::node* node = frame.table->get(key);
        if (node)
            frame.used.insert(key);
        return node;
    }

    bool require(const FieldInfo& info)
    {
        if (m_frames.back().table->get(info.key))
            return true;
        fail(lineOf(*m_frames.back().table), keyPath(info.key), "required in every ramp",
             kRequiredAbsent);
        return false;
    }

    bool inRange(double v, const FieldInfo& info, const toml::node& node, const std::string& text)
    {
        if (v >= info.min && v <= info.max)
            return true;
        fail(lineOf(node), keyPath(info.key),
             text + " is out of range (" + formatDouble(info.min) + " to " +
                 formatDouble(info.max) + ")",
             v > info.max ? kTooLarge : kTooSmall);
        return false;
    }

    bool readReal(const FieldInfo& info, double& out)
    {
        const toml::node* node = find(info.key);
        if (!node)
            return false;
        if (const auto* f = node->as_floating_point())
            out = f->get();
        else if (const auto* i = node->as_integer())
            out = static_cast<double>(i->get());
        else {
            wrongType(*node, info.key, "a number");
            return false;
        }
        return inRange(out, info, *node, formatDouble(out));
    }

    void checkUnknown(const Frame& frame)
    {
        for (auto&& [key, node] : *frame.table) {
            if (failed())
                return;
            if (!frame.used.count(key.str()))
                fail(lineOf(node), join(frame.path, std::string(key.str()).c_str()), "unknown key");
        }
    }

    std::string m_fileName;
    std::vector<Frame> m_frames;
    std::string m_error;
    int m_code = 0;
};

// Writes every table and key of the layout in order. The layout lists each table's keys
// before its sub-tables, as TOML requires.
class TomlWriter : public MethodVisitor {
public:
    std::string m_text = "# HP6890 method: the GC method, then the sampler method.\n";

    bool enter(const char* key, const char*, bool) override
    {
        m_path.push_back(key);
        std::string header;
        for (const auto& part : m_path)
            header += (header.empty() ? "" : ".") + part;
        m_text += "\n[" + header + "]\n";
        return true;
    }
    void leave() override { m_path.pop_back(); }
    void integer(const FieldInfo& info, int& value) override
    {
        put(info.key, std::to_string(value));
    }
    void real(const FieldInfo& info, float& value) override { put(info.key, formatFloat(value)); }
    void real(const FieldInfo& info, double& value) override { put(info.key, formatDouble(value)); }
    void flag(const FieldInfo& info, int& value) override
    {
        put(info.key, value ? "true" : "false");
    }
    void choice(const FieldInfo& info, int& value, const ChoiceInfo* choices, int count) override
    {
        for (int i = 0; i < count; ++i) {
            if (choices[i].value == value) {
                put(info.key, std::string("\"") + choices[i].word + "\"");
                return;
            }
        }
        // A code without a word is written as the number; reading it back reports it.
        put(info.key, std::to_string(value));
    }
    void ramps(const RampInfo& info, CRamp* ramps, int maxCount) override
    {
        std::string list;
        for (int i = 0; i < maxCount && ramps[i].m_fRate > 0.0f; ++i)
            list += "\n    { rate = " + formatFloat(ramps[i].m_fRate) +
                    ", final = " + formatFloat(ramps[i].m_fFinal) +
                    ", time = " + formatFloat(ramps[i].m_fTime) + " },";
        put(info.key, list.empty() ? "[]" : "[" + list + "\n]");
    }

private:
    void put(const char* key, const std::string& value)
    {
        m_text += std::string(key) + " = " + value + "\n";
    }
    std::vector<std::string> m_path;
};

// Collects "table.key" and value text for each setting of the sampler method.
class FieldLister : public TomlWriter {
public:
    explicit FieldLister(FrellFields& fields) : m_fields(fields) {}
    bool enter(const char* key, const char*, bool) override
    {
        m_prefix.push_back(key);
        return true;
    }
    void leave() override { m_prefix.pop_back(); }
    void integer(const FieldInfo& info, int& value) override
    {
        add(info.key, std::to_string(value));
    }
    void real(const FieldInfo& info, float& value) override { add(info.key, formatFloat(value)); }
    void real(const FieldInfo& info, double& value) override { add(info.key, formatDouble(value)); }
    void flag(const FieldInfo& info, int& value) override
    {
        add(info.key, value ? "true" : "false");
    }

private:
    void add(const char* key, const std::string& value)
    {
        std::string name;
        for (const auto& part : m_prefix)
            name += part + ".";
        m_fields.Add((name + key).c_str(), value.c_str());
    }
    FrellFields& m_fields;
    std::vector<std::string> m_prefix;
};

}  // namespace

std::string tomlKeyError(const std::string& fileName, long line, const std::string& key,
                         const std::string& problem)
{
    return fileName + ":" + std::to_string(line) + ": " + key + ": " + problem;
}

std::string tomlSyntaxError(const std::string& fileName, long line, long column,
                            std::string_view problem)
{
    return fileName + ":" + std::to_string(line) + ":" + std::to_string(column) +
           ": not TOML: " + std::string(problem);
}

bool readMethodToml(std::string_view text, const std::string& fileName, CHP6890Method& gc,
                    CALS6890Method& als, std::string& error)
{
    int resultCode = 0;
    return readMethodToml(text, fileName, gc, als, error, resultCode);
}

bool readMethodToml(std::string_view text, const std::string& fileName, CHP6890Method& gc,
                    CALS6890Method& als, std::string& error, int& resultCode)
{
    resultCode = 0;
    toml::table root;
    try {
        root = toml::parse(text, fileName);
    } catch (const toml::parse_error& e) {
        const auto& where = e.source().begin;
        error = tomlSyntaxError(fileName, where.line, where.column, e.description());
        return false;
    }
    TomlReader reader(root, fileName);
    describeGC(reader, gc);
    describeALS(reader, als);
    if (!reader.failed())
        reader.finish();
    if (reader.failed()) {
        error = reader.error();
        resultCode = reader.resultCode();
        return false;
    }
    // The GC method comes first in a method file.
    const toml::node* gcTable = root.get("gc");
    const toml::node* alsTable = root.get("sampler");
    if (gcTable->source().begin.line > alsTable->source().begin.line) {
        error = tomlKeyError(fileName, alsTable->source().begin.line, "sampler",
                             "the sampler method must follow the GC method");
        return false;
    }
    return true;
}

std::string writeMethodToml(const CHP6890Method& gc, const CALS6890Method& als)
{
    // The layout walk takes references it may write through; writing only reads them.
    CHP6890Method gcCopy = gc;
    CALS6890Method alsCopy = als;
    TomlWriter writer;
    describeGC(writer, gcCopy);
    describeALS(writer, alsCopy);
    return writer.m_text;
}

void listALSFields(CALS6890Method& als)
{
    als.m_Fields.RemoveAll();
    FieldLister lister(als.m_Fields);
    describeALS(lister, als);
}

}  // namespace gc6890
