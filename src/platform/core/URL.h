#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// An absolute URL, parsed once into its parts. Values are plain copies: no parser state is
// kept, so URLs are cheap to pass around and safe to use from any thread.
class URL final {
public:
    // nullopt when the text is not an absolute URL ("scheme:" with what the scheme needs).
    static std::optional<URL> parse(std::string_view text);
    // Resolves `reference` (absolute, or relative like "/a?b" or "c.png") against `base`.
    static std::optional<URL> resolve(const URL& base, std::string_view reference);

    // The URL as curl normalises it.
    const std::string& string() const { return m_text; }
    const std::string& scheme() const { return m_scheme; }
    const std::string& host() const { return m_host; } // in lower case
    std::optional<int> port() const { return m_port; }
    // The port given, or the scheme's default (80 for http, 443 for https).
    std::optional<int> effectivePort() const;
    const std::string& path() const { return m_path; }
    const std::optional<std::string>& query() const { return m_query; }
    const std::optional<std::string>& fragment() const { return m_fragment; }

    bool isHTTP() const { return m_scheme == "http" || m_scheme == "https"; }

    bool operator==(const URL& other) const { return m_text == other.m_text; }

private:
    URL() = default;
    // parsedText: the text the handle was set from, when it was set from one text alone.
    static std::optional<URL> fromCurl(void* handle, std::string_view parsedText);

    std::string m_text;
    std::string m_scheme;
    std::string m_host;
    std::optional<int> m_port;
    std::string m_path;
    std::optional<std::string> m_query;
    std::optional<std::string> m_fragment;
};

} // namespace platform
