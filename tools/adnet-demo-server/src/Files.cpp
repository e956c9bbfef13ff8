#include "Files.h"

#include "platform/core/FileSystem.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <system_error>

namespace adnetdemo {

namespace fs = std::filesystem;

namespace {

bool isBelow(const fs::path& root, const fs::path& candidate)
{
    auto r = root.begin();
    auto c = candidate.begin();
    for (; r != root.end(); ++r, ++c) {
        if (c == candidate.end() || *r != *c)
            return false;
    }
    return c != candidate.end();
}

} // namespace

std::optional<fs::path> resolveBelow(const fs::path& root, std::string_view urlPath)
{
    if (urlPath.find('\0') != std::string_view::npos || urlPath.find('\\') != std::string_view::npos)
        return std::nullopt;
    fs::path candidate = root;
    bool any = false;
    while (!urlPath.empty()) {
        std::size_t slash = urlPath.find('/');
        std::string_view segment = urlPath.substr(0, slash);
        urlPath = slash == std::string_view::npos ? std::string_view{} : urlPath.substr(slash + 1);
        if (segment.empty())
            continue;
        // "..", "." and hidden files alike: nothing the inventory serves starts with a dot.
        if (segment.front() == '.')
            return std::nullopt;
        candidate /= fs::path(std::string(segment));
        any = true;
    }
    if (!any)
        return std::nullopt;
    std::error_code ec;
    fs::path real = fs::canonical(candidate, ec);
    if (ec || !isBelow(root, real) || !fs::is_regular_file(real, ec) || ec)
        return std::nullopt;
    return real;
}

std::optional<std::string> readFileBounded(const fs::path& file, std::size_t maxBytes)
{
    // The path is already resolved below the web root: a link there is one of the inventory's own.
    return platform::fs::readFile(file.string(), maxBytes, platform::fs::Links::Follow);
}

std::string contentTypeFor(const fs::path& file)
{
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".png")
        return "image/png";
    if (ext == ".gif")
        return "image/gif";
    if (ext == ".jpg" || ext == ".jpeg")
        return "image/jpeg";
    if (ext == ".html" || ext == ".htm")
        return "text/html; charset=utf-8";
    if (ext == ".css")
        return "text/css; charset=utf-8";
    if (ext == ".js")
        return "application/javascript; charset=utf-8";
    if (ext == ".json")
        return "application/json; charset=utf-8";
    if (ext == ".svg")
        return "image/svg+xml";
    if (ext == ".txt")
        return "text/plain; charset=utf-8";
    return "application/octet-stream";
}

} // namespace adnetdemo
