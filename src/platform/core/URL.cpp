#include "platform/core/URL.h"

#include <curl/curl.h>

#include <cctype>
#include <memory>

namespace platform {

namespace {

struct UrlDeleter {
    void operator()(CURLU* h) const { curl_url_cleanup(h); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

// Schemes such as "adnet:" or "mailto:" are not curl's own but are still URLs to us.
constexpr unsigned kParseFlags = CURLU_NON_SUPPORT_SCHEME;

std::optional<std::string> getPart(CURLU* h, CURLUPart part)
{
    char* out = nullptr;
    if (curl_url_get(h, part, &out, 0) != CURLUE_OK || !out)
        return std::nullopt;
    std::string value(out);
    curl_free(out);
    return value;
}

bool hasControlOrNul(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return true;
    return false;
}

} // namespace

std::optional<URL> URL::fromCurl(void* handle, std::string_view parsedText)
{
    // curl's printed URL and its parts can disagree ("file:///../x/?" keeps an empty query
    // its text leaves out, "file:./x" prints as "file://x/", "file:///" as "file://(nil)").
    // A URL is what its text says: the text must read back as itself, and the parts are
    // taken from that reading. A text that prints as itself is that reading already.
    auto printed = getPart(static_cast<CURLU*>(handle), CURLUPART_URL);
    if (!printed)
        return std::nullopt;
    CURLU* reading = static_cast<CURLU*>(handle);
    UrlHandle again;
    if (*printed != parsedText) {
        again.reset(curl_url());
        if (!again || curl_url_set(again.get(), CURLUPART_URL, printed->c_str(), kParseFlags) != CURLUE_OK)
            return std::nullopt;
        auto text = getPart(again.get(), CURLUPART_URL);
        if (!text || *text != *printed)
            return std::nullopt;
        reading = again.get();
    }
    URL url;
    auto scheme = getPart(reading, CURLUPART_SCHEME);
    if (!scheme)
        return std::nullopt;
    url.m_text = std::move(*printed);
    url.m_scheme = std::move(*scheme);
    url.m_host = getPart(reading, CURLUPART_HOST).value_or("");
    // Host names are case-insensitive; compare them in one form.
    for (char& c : url.m_host)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (auto port = getPart(reading, CURLUPART_PORT)) {
        try {
            url.m_port = std::stoi(*port);
        } catch (...) {
            return std::nullopt;
        }
    }
    url.m_path = getPart(reading, CURLUPART_PATH).value_or("");
    url.m_query = getPart(reading, CURLUPART_QUERY);
    url.m_fragment = getPart(reading, CURLUPART_FRAGMENT);
    return url;
}

std::optional<URL> URL::parse(std::string_view text)
{
    if (text.empty() || hasControlOrNul(text))
        return std::nullopt;
    UrlHandle h(curl_url());
    if (!h)
        return std::nullopt;
    std::string copy(text);
    if (curl_url_set(h.get(), CURLUPART_URL, copy.c_str(), kParseFlags) != CURLUE_OK)
        return std::nullopt;
    return fromCurl(h.get(), copy);
}

std::optional<URL> URL::resolve(const URL& base, std::string_view reference)
{
    if (hasControlOrNul(reference))
        return std::nullopt;
    UrlHandle h(curl_url());
    if (!h)
        return std::nullopt;
    if (curl_url_set(h.get(), CURLUPART_URL, base.m_text.c_str(), kParseFlags) != CURLUE_OK)
        return std::nullopt;
    std::string copy(reference);
    if (curl_url_set(h.get(), CURLUPART_URL, copy.c_str(), kParseFlags) != CURLUE_OK)
        return std::nullopt;
    return fromCurl(h.get(), {});
}

std::optional<int> URL::effectivePort() const
{
    if (m_port)
        return m_port;
    if (m_scheme == "http")
        return 80;
    if (m_scheme == "https")
        return 443;
    return std::nullopt;
}

} // namespace platform
