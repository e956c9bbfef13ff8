#include "Inventory.h"

#include "Files.h"
#include "Text.h"

#include <algorithm>
#include <map>
#include <system_error>

namespace adnetdemo {

namespace fs = std::filesystem;

namespace {

bool fail(std::string* error, const std::string& message)
{
    if (error)
        *error = message;
    return false;
}

bool isSafeId(const std::string& id)
{
    if (id.empty() || id.size() > 64)
        return false;
    return std::all_of(id.begin(), id.end(), [](unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    });
}

bool parseYesNo(const std::string& value, bool& out)
{
    if (value == "yes")
        return out = true, true;
    if (value == "no")
        return out = false, true;
    return false;
}

bool loadAd(const Inventory& inventory, const fs::path& file, DemoAd& ad, std::string* error)
{
    std::string where = file.string();
    auto text = readFileBounded(file, maxInventoryFile);
    if (!text)
        return fail(error, where + ": cannot be read (or larger than 64 KiB)");
    if (!isValidUtf8(*text))
        return fail(error, where + ": not UTF-8 text");

    std::map<std::string, std::string> values;
    std::string_view rest = *text;
    int lineNumber = 0;
    while (!rest.empty()) {
        std::size_t nl = rest.find('\n');
        std::string_view line = trim(rest.substr(0, nl));
        rest = nl == std::string_view::npos ? std::string_view{} : rest.substr(nl + 1);
        ++lineNumber;
        if (line.empty() || line.front() == '#')
            continue;
        std::size_t eq = line.find('=');
        std::string at = where + ":" + std::to_string(lineNumber) + ": ";
        if (eq == std::string_view::npos)
            return fail(error, at + "expected \"key = value\"");
        std::string key(trim(line.substr(0, eq)));
        std::string value(trim(line.substr(eq + 1)));
        static const char* known[] = {"id",     "kind",    "text",  "action", "title", "icon",
                                      "banner", "landing", "click", "pixel",  "test"};
        if (std::find(std::begin(known), std::end(known), key) == std::end(known))
            return fail(error, at + "unknown key \"" + key + "\"");
        if (!values.emplace(key, value).second)
            return fail(error, at + "\"" + key + "\" given twice");
    }

    auto need = [&](const char* key) -> const std::string* {
        auto it = values.find(key);
        if (it == values.end() || it->second.empty()) {
            fail(error, where + ": \"" + key + "\" is missing");
            return nullptr;
        }
        return &it->second;
    };
    auto optional = [&](const char* key) {
        auto it = values.find(key);
        return it == values.end() ? std::string{} : it->second;
    };

    const std::string* id = need("id");
    const std::string* kind = need("kind");
    const std::string* action = need("action");
    const std::string* landing = need("landing");
    const std::string* click = need("click");
    if (!id || !kind || !action || !landing || !click)
        return false;
    if (!isSafeId(*id))
        return fail(error, where + ": id \"" + *id + "\" may hold only a-z, 0-9, - and _");
    if (!isSafeId(*action))
        return fail(error, where + ": action \"" + *action + "\" may hold only a-z, 0-9, - and _");

    ad.info.id = *id;
    ad.info.action = *action;
    ad.info.text = optional("text");
    ad.info.userString = optional("title");
    if (*kind == "banner") {
        ad.info.banner = true;
        const std::string* banner = need("banner");
        if (!banner)
            return false;
        ad.banner = *banner;
        if (!resolveBelow(inventory.webRoot, ad.banner))
            return fail(error, where + ": banner picture \"" + ad.banner + "\" is not a file below www/");
    } else if (*kind == "text") {
        const std::string* icon = need("icon");
        const std::string* adText = need("text");
        if (!icon || !adText)
            return false;
        ad.icon = *icon;
        if (!resolveBelow(inventory.webRoot, ad.icon))
            return fail(error, where + ": icon \"" + ad.icon + "\" is not a file below www/");
    } else {
        return fail(error, where + ": kind must be \"text\" or \"banner\"");
    }

    if (!resolveBelow(inventory.webRoot, "static/sdk/img/" + ad.info.action + ".png"))
        return fail(error, where + ": no action icon www/static/sdk/img/" + ad.info.action + ".png");

    ad.landing = *landing;
    if (ad.landing.find(':') == std::string::npos && !resolveBelow(inventory.webRoot, ad.landing))
        return fail(error, where + ": landing page \"" + ad.landing + "\" is not a file below www/");

    if (click->find('/') != std::string::npos || click->front() == '.')
        return fail(error, where + ": click must name a file in clicks/");
    ad.clickDocument = inventory.root / "clicks" / *click;
    auto document = readFileBounded(ad.clickDocument, maxInventoryFile);
    if (!document || document->empty() || document->front() != '{' || !isValidUtf8(*document))
        return fail(error, where + ": click document clicks/" + *click + " is missing or does not start with '{'");

    std::string pixel = optional("pixel");
    if (pixel.empty() || pixel == "no")
        ad.pixelMode = PixelMode::none;
    else if (pixel == "yes")
        ad.pixelMode = PixelMode::url;
    else if (pixel == "empty")
        ad.pixelMode = PixelMode::empty;
    else
        return fail(error, where + ": pixel must be yes, no or empty");
    ad.info.pixel = ad.pixelMode == PixelMode::url;

    std::string test = optional("test");
    if (!test.empty() && !parseYesNo(test, ad.info.testAd))
        return fail(error, where + ": test must be yes or no");
    return true;
}

} // namespace

std::optional<Inventory> Inventory::load(const fs::path& root, std::string* error)
{
    Inventory inventory;
    std::error_code ec;
    inventory.root = fs::canonical(root, ec);
    if (ec) {
        fail(error, "inventory folder " + root.string() + " not found");
        return std::nullopt;
    }
    inventory.webRoot = fs::canonical(inventory.root / "www", ec);
    if (ec) {
        fail(error, "inventory folder " + root.string() + " has no www/ folder");
        return std::nullopt;
    }
    std::vector<fs::path> files;
    for (fs::directory_iterator it(inventory.root / "ads", ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() == ".ad")
            files.push_back(it->path());
    }
    if (ec) {
        fail(error, "inventory folder " + root.string() + " has no readable ads/ folder");
        return std::nullopt;
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        DemoAd ad;
        if (!loadAd(inventory, file, ad, error))
            return std::nullopt;
        if (inventory.find(ad.info.id)) {
            fail(error, file.string() + ": id \"" + ad.info.id + "\" used twice");
            return std::nullopt;
        }
        inventory.ads.push_back(std::move(ad));
    }
    if (inventory.ads.empty()) {
        fail(error, "inventory folder " + root.string() + " holds no ads (ads/*.ad)");
        return std::nullopt;
    }
    return inventory;
}

const DemoAd* Inventory::find(const std::string& id) const
{
    for (const auto& ad : ads) {
        if (ad.info.id == id)
            return &ad;
    }
    return nullptr;
}

} // namespace adnetdemo
