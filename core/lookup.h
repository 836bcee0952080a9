#pragma once

// Code tables are constexpr arrays of pairs; this finds the value paired with a key.

#include <optional>

namespace cat {

template <typename Table, typename Key>
auto Lookup(const Table& table, const Key& key)
    -> std::optional<typename Table::value_type::second_type> {
    for (const auto& [k, value] : table)
        if (k == key) return value;
    return std::nullopt;
}

}  // namespace cat
