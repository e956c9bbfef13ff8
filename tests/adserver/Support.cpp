#include "Support.h"

#include <curl/curl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace adservertest {

namespace {

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user)
{
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* headers = static_cast<std::vector<std::pair<std::string, std::string>>*>(user);
    std::string line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0) {
        headers->clear(); // a new response begins
        return size * count;
    }
    auto colon = line.find(':');
    if (colon != std::string::npos) {
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        value.erase(value.find_last_not_of(" \t\r\n") + 1);
        headers->emplace_back(line.substr(0, colon), value);
    }
    return size * count;
}

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};

} // namespace

std::optional<std::string> Fetched::header(const std::string& name) const
{
    for (const auto& [key, value] : headers) {
        if (key.size() == name.size() && std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
            }))
            return value;
    }
    return std::nullopt;
}

Fetched get(const std::string& url, const std::vector<std::string>& headers, long timeoutMs, bool pathAsIs)
{
    static CurlGlobal global;
    Fetched out;
    CURL* curl = curl_easy_init();
    curl_slist* list = nullptr;
    for (const auto& h : headers)
        list = curl_slist_append(list, h.c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &out.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &out.headers);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, pathAsIs ? 1L : 0L);
    auto started = std::chrono::steady_clock::now();
    CURLcode code = curl_easy_perform(curl);
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    out.curlCode = code;
    out.ok = code == CURLE_OK;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &out.status);
    char* type = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
        out.contentType = type;
    curl_slist_free_all(list);
    curl_easy_cleanup(curl);
    return out;
}

namespace {

// True once `answer` holds a whole response with a Content-Length body.
bool responseComplete(const std::string& answer)
{
    std::size_t end = answer.find("\r\n\r\n");
    if (end == std::string::npos)
        return false;
    std::string head = answer.substr(0, end);
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::size_t at = head.find("\r\ncontent-length:");
    if (at == std::string::npos)
        return false;
    std::size_t length = std::strtoul(head.c_str() + at + 17, nullptr, 10);
    return answer.size() >= end + 4 + length;
}

} // namespace

std::string rawExchange(int port, const std::string& bytes, int timeoutMs)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return {};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break; // the server may close early on a request it refuses
            sent += static_cast<std::size_t>(n);
        }
        // No half-close: the server takes a closed read side for a client that has gone
        // and drops the answer. Requests here say "Connection: close" instead.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        char buffer[4096];
        for (;;) {
            int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                    .count());
            pollfd p{fd, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, left) <= 0)
                break;
            ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            answer.append(buffer, static_cast<std::size_t>(n));
            if (responseComplete(answer))
                break; // the server may keep the connection open after an error answer
        }
    }
    ::close(fd);
    return answer;
}

namespace {

struct Reader {
    const std::string& text;
    std::size_t at{0};

    void skipSpace()
    {
        while (at < text.size() && std::strchr(" \t\r\n", text[at]) && text[at] != '\0')
            ++at;
    }
    bool take(char c)
    {
        skipSpace();
        if (at < text.size() && text[at] == c) {
            ++at;
            return true;
        }
        return false;
    }
    static void appendUtf8(std::string& out, unsigned cp)
    {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    std::optional<unsigned> hex4()
    {
        if (at + 4 > text.size())
            return std::nullopt;
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            char c = text[at++];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                v |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                v |= static_cast<unsigned>(c - 'A' + 10);
            else
                return std::nullopt;
        }
        return v;
    }
    std::optional<std::string> string()
    {
        if (!take('"'))
            return std::nullopt;
        std::string out;
        while (at < text.size()) {
            char c = text[at++];
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20)
                return std::nullopt;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at >= text.size())
                return std::nullopt;
            char e = text[at++];
            switch (e) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                auto unit = hex4();
                if (!unit)
                    return std::nullopt;
                unsigned cp = *unit;
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    if (at + 2 > text.size() || text[at] != '\\' || text[at + 1] != 'u')
                        return std::nullopt;
                    at += 2;
                    auto low = hex4();
                    if (!low || *low < 0xDC00 || *low > 0xDFFF)
                        return std::nullopt;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (*low - 0xDC00);
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    return std::nullopt;
                }
                appendUtf8(out, cp);
                break;
            }
            default:
                return std::nullopt;
            }
        }
        return std::nullopt;
    }
};

} // namespace

std::optional<std::map<std::string, std::string>> parseFlatObject(const std::string& text)
{
    Reader reader{text};
    std::map<std::string, std::string> object;
    if (!reader.take('{'))
        return std::nullopt;
    if (!reader.take('}')) {
        do {
            auto key = reader.string();
            if (!key || !reader.take(':'))
                return std::nullopt;
            auto value = reader.string();
            if (!value)
                return std::nullopt;
            object[*key] = *value;
        } while (reader.take(','));
        if (!reader.take('}'))
            return std::nullopt;
    }
    reader.skipSpace();
    if (reader.at != text.size())
        return std::nullopt;
    return object;
}

std::optional<PngSize> pngSize(const std::string& bytes)
{
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() < 24 || std::memcmp(bytes.data(), signature, 8) != 0 || bytes.compare(12, 4, "IHDR") != 0)
        return std::nullopt;
    auto u32 = [&](std::size_t at) {
        return (static_cast<unsigned>(static_cast<unsigned char>(bytes[at])) << 24) |
               (static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 16) |
               (static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 2])) << 8) |
               static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 3]));
    };
    return PngSize{u32(16), u32(20)};
}

} // namespace adservertest
