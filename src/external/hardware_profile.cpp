#include "external/hardware_profile.h"

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <toml++/toml.h>

namespace gc6890 {

namespace {

// Walks the document once; the first fault is kept and every later read is a no-op.
class ProfileReader {
public:
    explicit ProfileReader(std::string path) : path_(std::move(path)) {}

    std::string error;

    // Refuses keys of `table` outside `known`, so a misspelt key is not silently ignored.
    void onlyKeys(const toml::table& table, const std::string& prefix,
                  std::initializer_list<const char*> known)
    {
        for (const auto& [key, node] : table) {
            bool found = false;
            for (std::string_view k : known)
                found = found || key.str() == k;
            if (!found)
                fail(node, prefix + std::string(key.str()), "unknown key");
        }
    }

    const toml::table* table(const toml::table& parent, const std::string& prefix, const char* key)
    {
        const toml::node* node = parent.get(key);
        if (node && !node->is_table())
            fail(*node, prefix + key, "expected a table");
        return node ? node->as_table() : nullptr;
    }

    template <typename T>
    void value(const toml::table* parent, const std::string& prefix, const char* key, T& out)
    {
        const toml::node* node = parent ? parent->get(key) : nullptr;
        if (!node)
            return;
        if (auto v = node->value<T>())
            out = *v;
        else
            fail(*node, prefix + key, "wrong type");
    }

    // A name from `names`; `out` becomes its index.
    template <std::size_t N>
    void named(const toml::table* parent, const std::string& prefix, const char* key,
               const char* const (&names)[N], int& out)
    {
        std::string text;
        value(parent, prefix, key, text);
        if (text.empty())
            return;
        for (std::size_t i = 0; i < N; ++i)
            if (text == names[i]) {
                out = static_cast<int>(i);
                return;
            }
        std::string list;
        for (const char* name : names)
            list += std::string(list.empty() ? "" : ", ") + name;
        fail(*parent->get(key), prefix + key, "unknown value \"" + text + "\" (" + list + ")");
    }

    void fail(const toml::node& node, const std::string& key, const std::string& what)
    {
        if (error.empty())
            error =
                path_ + ":" + std::to_string(node.source().begin.line) + ": " + key + ": " + what;
    }

private:
    std::string path_;
};

}  // namespace

bool readHardwareProfile(const std::string& path, HardwareProfile& profile, std::string& error)
{
    toml::table root;
    try {
        root = toml::parse_file(path);
    } catch (const toml::parse_error& e) {
        error = path + ":" + std::to_string(e.source().begin.line) + ": " +
                std::string(e.description());
        return false;
    }
    HardwareProfile result;  // a profile starts from the defaults, not from earlier options
    InstalledHardware& hardware = result.hardware;
    ProfileReader r(path);
    r.onlyKeys(root, "", {"firmware", "inlets", "detectors", "columns", "oven", "sampler"});
    std::string firmware;
    r.value(&root, "", "firmware", firmware);
    if (root.get("firmware"))
        result.firmware = firmware;

    const char* sides[] = {"front", "back"};
    const toml::table* inlets = r.table(root, "", "inlets");
    if (inlets)
        r.onlyKeys(*inlets, "inlets.", {"front", "back"});
    for (int side = 0; side < 2; ++side) {
        const std::string prefix = std::string("inlets.") + sides[side] + ".";
        const toml::table* inlet = inlets ? r.table(*inlets, "inlets.", sides[side]) : nullptr;
        InletHardware& h = hardware.inlets[side];
        h.cryo = false;
        if (inlet)
            r.onlyKeys(*inlet, prefix, {"kind", "gas", "cryo"});
        int kind = static_cast<int>(h.kind);
        r.named(inlet, prefix, "kind", kInletKindNames, kind);
        h.kind = static_cast<InletKind>(kind);
        r.named(inlet, prefix, "gas", kGasNames, h.gasCode);
        // A PTV inlet has its cryo command unless the profile says otherwise.
        h.cryo = side == 0 && h.kind == InletKind::Ptv;
        r.value(inlet, prefix, "cryo", h.cryo);
        if (h.cryo && side != 0 && inlet)
            r.fail(*inlet, prefix + "cryo", "only the front inlet has a cryo command");
    }

    const toml::table* detectors = r.table(root, "", "detectors");
    if (detectors)
        r.onlyKeys(*detectors, "detectors.", {"front", "back"});
    for (int side = 0; side < 2; ++side)
        r.named(detectors, "detectors.", sides[side], kDetectorNames, hardware.detectors[side]);

    const toml::table* columns = r.table(root, "", "columns");
    if (columns)
        r.onlyKeys(*columns, "columns.", {"1", "2"});
    for (int n = 0; n < 2; ++n) {
        const std::string key = std::to_string(n + 1);
        const toml::table* column = columns ? r.table(*columns, "columns.", key.c_str()) : nullptr;
        if (column)
            r.onlyKeys(*column, "columns." + key + ".", {"installed", "epc"});
        r.value(column, "columns." + key + ".", "installed", hardware.columns[n].installed);
        r.value(column, "columns." + key + ".", "epc", hardware.columns[n].epc);
    }
    // Column 2 sits on the back inlet: without one it cannot be installed.
    if (!hardware.backInlet())
        hardware.columns[1].installed = false;

    const toml::table* oven = r.table(root, "", "oven");
    if (oven)
        r.onlyKeys(*oven, "oven.", {"maximum", "cryo"});
    std::int64_t maximum = hardware.ovenMaximum;
    r.value(oven, "oven.", "maximum", maximum);
    if (oven && (maximum < 50 || maximum > 450))
        r.fail(*oven->get("maximum"), "oven.maximum", "out of range (50 to 450 C)");
    hardware.ovenMaximum = static_cast<int>(maximum);
    r.named(oven, "oven.", "cryo", kCryoNames, hardware.ovenCryo);

    const toml::table* sampler = r.table(root, "", "sampler");
    if (sampler)
        r.onlyKeys(*sampler, "sampler.", {"installed", "front_tower", "back_tower", "tray"});
    r.value(sampler, "sampler.", "installed", hardware.sampler);
    auto optional = [&](const char* key, auto& out, auto value) {
        if (sampler && sampler->get(key)) {
            r.value(sampler, "sampler.", key, value);
            out = static_cast<std::decay_t<decltype(*out)>>(value);
        }
    };
    optional("front_tower", result.frontTower, true);
    optional("back_tower", result.backTower, true);
    optional("tray", result.tray, std::int64_t{0});

    if (!r.error.empty()) {
        error = r.error;
        return false;
    }
    profile = std::move(result);
    return true;
}

namespace {

// A TOML basic string: quotes, backslashes and control characters escaped.
std::string tomlString(const std::string& text)
{
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\')
            out += std::string("\\") + static_cast<char>(c);
        else if (c < 0x20 || c == 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", c);
            out += escape;
        } else
            out += static_cast<char>(c);
    }
    return out + "\"";
}

const char* boolText(bool value)
{
    return value ? "true" : "false";
}

}  // namespace

std::string hardwareProfileText(const HardwareProfile& profile, const std::string& comment)
{
    const InstalledHardware& h = profile.hardware;
    std::ostringstream out;
    std::istringstream lines(comment);
    for (std::string line; std::getline(lines, line);)
        out << "# " << line << '\n';
    if (profile.firmware)
        out << "firmware = " << tomlString(*profile.firmware) << '\n';
    const char* sides[] = {"front", "back"};
    for (int side = 0; side < 2; ++side) {
        const InletHardware& inlet = h.inlets[side];
        out << "\n[inlets." << sides[side] << "]\nkind = \""
            << kInletKindNames[static_cast<int>(inlet.kind)] << "\"\n";
        if (inlet.kind != InletKind::None)
            out << "gas = \"" << kGasNames[inlet.gasCode] << "\"\n";
        if (side == 0)
            out << "cryo = " << boolText(inlet.cryo) << '\n';
    }
    out << "\n[detectors]\nfront = \"" << kDetectorNames[h.detectors[0]] << "\"\nback = \""
        << kDetectorNames[h.detectors[1]] << "\"\n";
    for (int n = 0; n < 2; ++n)
        out << "\n[columns." << n + 1 << "]\ninstalled = " << boolText(h.columns[n].installed)
            << "\nepc = " << boolText(h.columns[n].epc) << '\n';
    out << "\n[oven]\nmaximum = " << h.ovenMaximum << "\ncryo = \"" << kCryoNames[h.ovenCryo]
        << "\"\n";
    out << "\n[sampler]\ninstalled = " << boolText(h.sampler) << '\n';
    if (profile.frontTower)
        out << "front_tower = " << boolText(*profile.frontTower) << '\n';
    if (profile.backTower)
        out << "back_tower = " << boolText(*profile.backTower) << '\n';
    if (profile.tray)
        out << "tray = " << *profile.tray << '\n';
    return out.str();
}

}  // namespace gc6890
