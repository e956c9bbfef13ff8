#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace adnet {

// The ad request's parameters: a dictionary from key to text. Keys enumerate in the order
// they were first set (the host is asked in a fixed order, so the query is reproducible);
// setting a key again replaces its value in place.
class AdNetParameters final {
public:
    using Entry = std::pair<std::string, std::string>;

    void set(std::string key, std::string value);
    std::optional<std::string> get(std::string_view key) const;
    bool contains(std::string_view key) const { return get(key).has_value(); }
    std::size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    const std::vector<Entry>& entries() const { return m_entries; }
    std::vector<std::string> keys() const;

private:
    std::vector<Entry> m_entries;
};

} // namespace adnet
