// Test helpers: a real HTTP client (libcurl), a raw socket for requests no client would
// send, a strict reader for the flat JSON objects the server answers, and PNG sizes.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace adservertest {

struct Fetched {
    bool ok{false};  // the transfer completed (any status)
    int curlCode{0}; // CURLcode
    long status{0};
    std::string body;
    std::string contentType;
    std::vector<std::pair<std::string, std::string>> headers; // of the final response
    double seconds{0};

    std::optional<std::string> header(const std::string& name) const;
};

// GET with extra "Name: value" headers; no redirects followed.
Fetched get(const std::string& url, const std::vector<std::string>& headers = {}, long timeoutMs = 10000,
            bool pathAsIs = false);

// Sends raw bytes to 127.0.0.1:port and returns everything the server answers until it
// closes the connection (or the time-out passes).
std::string rawExchange(int port, const std::string& bytes, int timeoutMs = 5000);

// A JSON object whose values are all strings, read strictly (whole text, no trailing bytes
// except whitespace). nullopt for anything else.
std::optional<std::map<std::string, std::string>> parseFlatObject(const std::string& text);

struct PngSize {
    unsigned width{0};
    unsigned height{0};
};
// The size in a PNG's header, or nullopt when the bytes are not a PNG.
std::optional<PngSize> pngSize(const std::string& bytes);

} // namespace adservertest
