#include "adnet/AdNetConfiguration.h"

#include "platform/core/URL.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>

namespace adnet {

namespace {

std::mutex& configurationMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::optional<AdNetConfiguration>& configurationSlot()
{
    static std::optional<AdNetConfiguration> slot;
    return slot;
}

// An absolute http(s) URL from the environment, or nullopt with a warning.
std::optional<std::string> readURLVariable(const char* name, bool hostOnly,
                                           const std::function<void(const std::string&)>& warn)
{
    const char* raw = std::getenv(name);
    if (!raw || !*raw)
        return std::nullopt;
    std::string value(raw);
    auto url = platform::URL::parse(value);
    std::string problem;
    if (!url || !url->isHTTP() || url->host().empty())
        problem = "is not an absolute http or https URL";
    else if (hostOnly && ((url->path() != "/" && !url->path().empty()) || url->query() || url->fragment()))
        problem = "must name only scheme, host and port (no path, query or fragment)";
    if (!problem.empty()) {
        if (warn)
            warn(std::string(name) + "=\"" + value + "\" " + problem + "; using the default");
        return std::nullopt;
    }
    if (hostOnly)
        while (!value.empty() && value.back() == '/')
            value.pop_back();
    return value;
}

// A comma-separated list of host names (or schemes), lower-cased, empty entries dropped; nullopt when
// the variable is not set at all.
std::optional<std::vector<std::string>> readHostList(const char* name)
{
    const char* raw = std::getenv(name);
    if (!raw)
        return std::nullopt;
    std::vector<std::string> hosts;
    std::string entry;
    auto flush = [&] {
        if (!entry.empty())
            hosts.push_back(entry);
        entry.clear();
    };
    for (const char* p = raw; *p; ++p) {
        char c = *p;
        if (c == ',') {
            flush();
        } else if (c != ' ' && c != '\t') {
            entry += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        }
    }
    flush();
    return hosts;
}

} // namespace

AdNetConfiguration AdNetConfiguration::fromEnvironment(const std::function<void(const std::string&)>& warn)
{
    AdNetConfiguration config;
    if (auto endpoint = readURLVariable(kRequestEndpointVariable, false, warn))
        config.requestEndpoint = *endpoint;
    if (auto media = readURLVariable(kMediaHostVariable, true, warn))
        config.mediaHost = *media;
    if (auto hosts = readHostList(kMapsHostsVariable))
        config.mapsHostPrefixes = std::move(*hosts);
    if (auto hosts = readHostList(kVideoHostsVariable))
        config.videoHosts = std::move(*hosts);
    if (auto hosts = readHostList(kStoreHostsVariable))
        config.storeHostPrefixes = std::move(*hosts);
    if (auto schemes = readHostList(kStoreSchemesVariable))
        config.storeSchemes.insert(config.storeSchemes.end(), schemes->begin(), schemes->end());
    return config;
}

const AdNetConfiguration& configuration()
{
    std::lock_guard lock(configurationMutex());
    auto& slot = configurationSlot();
    if (!slot)
        slot = AdNetConfiguration::fromEnvironment(
            [](const std::string& message) { std::fprintf(stderr, "adnet: %s\n", message.c_str()); });
    return *slot;
}

void setConfiguration(AdNetConfiguration config)
{
    while (!config.mediaHost.empty() && config.mediaHost.back() == '/')
        config.mediaHost.pop_back();
    std::lock_guard lock(configurationMutex());
    configurationSlot() = std::move(config);
}

} // namespace adnet
