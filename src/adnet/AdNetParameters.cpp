#include "adnet/AdNetParameters.h"

namespace adnet {

void AdNetParameters::set(std::string key, std::string value)
{
    for (auto& entry : m_entries) {
        if (entry.first == key) {
            entry.second = std::move(value);
            return;
        }
    }
    m_entries.emplace_back(std::move(key), std::move(value));
}

std::optional<std::string> AdNetParameters::get(std::string_view key) const
{
    for (const auto& entry : m_entries)
        if (entry.first == key)
            return entry.second;
    return std::nullopt;
}

std::vector<std::string> AdNetParameters::keys() const
{
    std::vector<std::string> out;
    out.reserve(m_entries.size());
    for (const auto& entry : m_entries)
        out.push_back(entry.first);
    return out;
}

} // namespace adnet
