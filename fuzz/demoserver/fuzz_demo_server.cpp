// Requests to the demo ad network, handled in-process exactly as a connection's worker
// handles them (method, target with path and query, headers).
//
// Invariants: every answer has one of the server's statuses; nothing outside the web root
// is ever served: no body carries the text of a file placed beside www/ (reachable only
// through ".." or symbolic links planted in www/), and every file served with 200 is one of
// the files below www/; ad answers are JSON objects the ad client's reader takes, with an
// action and a click URL; only a redirect carries a Location; each request is logged once
// with the status it got.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>

#include "adnetdemo/DemoServer.h"
#include "common/Check.h"
#include "json/JSONDeserializer.h"

using fuzzcheck::require;
namespace fs = std::filesystem;

namespace {

// Spaces and "!" keep it out of anything the server echoes (it writes back a plain Host).
constexpr std::string_view kSecret = "brimsey fuzz secret! 7f3a";
fs::path g_root;
adnetdemo::DemoServer* g_server = nullptr;
std::set<std::string> g_servable;

std::string slurp(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void removeInventory()
{
    std::error_code ec;
    fs::remove_all(g_root, ec);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // A copy of the shipped inventory with a secret beside the web root and links to it
    // inside: the one way to see the secret is to leave www/.
    g_root = fs::temp_directory_path() / ("brimsey-fuzz-inventory-" + std::to_string(::getpid()));
    fs::remove_all(g_root);
    fs::copy(adnetdemo::defaultInventory(), g_root, fs::copy_options::recursive);
    std::atexit(removeInventory);
    for (const auto& entry : fs::recursive_directory_iterator(g_root / "www"))
        if (entry.is_regular_file())
            g_servable.insert(slurp(entry.path()));
    std::ofstream(g_root / "secret.txt") << kSecret;
    std::ofstream(g_root / "ads" / "zz-secret.txt") << kSecret;
    fs::create_symlink(g_root / "secret.txt", g_root / "www" / "static" / "secret.txt");
    fs::create_symlink(g_root / "secret.txt", g_root / "www" / "secret.html");
    fs::create_symlink(g_root, g_root / "www" / "static" / "up");
    fs::create_symlink("../../secret.txt", g_root / "www" / "landing" / "relative.txt");

    adnetdemo::ServerOptions options;
    options.inventory = g_root;
    g_server = new adnetdemo::DemoServer(options);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static const char* const methods[] = {"GET", "HEAD", "POST", "OPTIONS", "get", ""};
    adnetdemo::Exchange exchange;
    exchange.method = methods[data[0] % 6];
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t newline = rest.find('\n');
    exchange.target = std::string(rest.substr(0, newline));
    rest = newline == std::string_view::npos ? std::string_view{} : rest.substr(newline + 1);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos)
            exchange.headers.emplace_back(line.substr(0, colon), line.substr(colon + 1));
    }

    g_server->clearRequests();
    std::string error;
    require(g_server->handleInProcess(exchange, &error), "the inventory loads");

    const int status = exchange.status;
    require(status == 200 || status == 204 || status == 302 || status == 400 || status == 404 || status == 405 ||
                status == 500,
            "one of the server's statuses");
    require(exchange.body.find(kSecret) == std::string::npos, "nothing from outside the web root");
    bool location = false;
    for (const auto& [name, value] : exchange.responseHeaders)
        location = location || name == "Location";
    require(location == (status == 302), "only a redirect has a Location");

    const auto log = g_server->requests();
    require(log.size() == 1 && log.back().status == status, "each request is logged once with its status");
    const auto fetch = log.back().fetch;
    if (status == 200 && fetch == adnetdemo::fetch::adRequest) {
        json::Value answer = json::JSONDeserializer::deserializer().deserializeAsDictionary(exchange.body);
        require(answer.stringForKey("6") && answer.stringForKey("url"), "an ad answer the client takes");
    } else if (status == 200 && fetch != adnetdemo::fetch::clickDocument) {
        require(g_servable.count(exchange.body) == 1, "a served file is one of the web root's");
    }
    return 0;
}
