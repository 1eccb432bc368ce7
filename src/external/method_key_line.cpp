#include "external/method_key_line.h"

#include <cstdlib>
#include <toml++/toml.h>

namespace gc6890 {

long MethodKeyLine(std::string_view text, std::string_view key)
{
    toml::table root;
    try {
        root = toml::parse(text);
    } catch (const toml::parse_error&) {
        return 1;
    }
    long line = 1;
    const toml::node* node = &root;
    // Parts are separated by "."; "[n]" picks the n-th (1-based) element of an array.
    while (!key.empty() && node) {
        const std::size_t dot = key.find('.');
        std::string_view part = key.substr(0, dot);
        key = dot == std::string_view::npos ? std::string_view() : key.substr(dot + 1);
        std::size_t index = 0;
        if (const std::size_t open = part.find('['); open != std::string_view::npos) {
            index = static_cast<std::size_t>(std::atol(std::string(part.substr(open + 1)).c_str()));
            part = part.substr(0, open);
        }
        const toml::table* table = node->as_table();
        node = table ? table->get(part) : nullptr;
        if (node && index > 0) {
            const toml::array* array = node->as_array();
            node = array && index <= array->size() ? array->get(index - 1) : nullptr;
        }
        if (node && node->source().begin.line > 0)
            line = static_cast<long>(node->source().begin.line);
    }
    return line;
}

}  // namespace gc6890
