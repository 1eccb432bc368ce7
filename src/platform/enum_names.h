#pragma once

// One table of names for an enumeration, read both ways: the name of a value and the value
// of a name. The names are listed in the enumeration's order, up to the `last` enumerator
// given beside them; a table with a name too many or too few does not compile, so a new
// enumerator cannot go without its name.

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace gc6890 {

template <typename Enum, std::size_t N>
class EnumNames {
public:
    consteval EnumNames(const char* const (&names)[N], Enum last)
    {
        if (static_cast<std::size_t>(last) + 1 != N)
            throw "the table names more or fewer values than the enumeration has";
        for (std::size_t i = 0; i < N; ++i)
            names_[i] = names[i];
    }

    const char* operator()(Enum value) const
    {
        const auto index = static_cast<std::size_t>(value);
        return index < N ? names_[index] : "?";
    }

    std::optional<Enum> find(std::string_view name) const
    {
        for (std::size_t i = 0; i < N; ++i) {
            if (name.compare(names_[i]) == 0)
                return static_cast<Enum>(i);
        }
        return std::nullopt;
    }

private:
    std::array<const char*, N> names_{};
};

// One row of facts for each value of an enumeration, read by the value. The rows are listed
// in the enumeration's order, each naming its own value in the member `key`, up to the
// `last` enumerator; a table with a row too many or too few, or one out of place, does not
// compile.
template <typename Enum, typename Row, std::size_t N>
class EnumRows {
public:
    consteval EnumRows(const Row (&rows)[N], Enum Row::*key, Enum last)
    {
        if (static_cast<std::size_t>(last) + 1 != N)
            throw "the table has more or fewer rows than the enumeration has values";
        for (std::size_t i = 0; i < N; ++i) {
            if (rows[i].*key != static_cast<Enum>(i))
                throw "a row stands out of the enumeration's order";
            rows_[i] = rows[i];
        }
    }

    const Row& operator[](Enum value) const { return rows_[static_cast<std::size_t>(value)]; }

private:
    std::array<Row, N> rows_{};
};

}  // namespace gc6890
