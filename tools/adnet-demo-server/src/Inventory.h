// The demo ads: one "key = value" file per ad under <inventory>/ads/, served in file-name
// order, with their pictures and pages under <inventory>/www/ and their click redirect
// documents under <inventory>/clicks/.
#pragma once

#include "adnetdemo/DemoServer.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace adnetdemo {

enum class PixelMode { none, url, empty };

struct DemoAd {
    AdInfo info;
    std::string icon;                    // text ads: a path below the web root, sent as "204"
    std::string banner;                  // banner ads: a path below the web root, sent as a URL
    std::string landing;                 // a path below the web root or an absolute URL (mailto:...)
    std::filesystem::path clickDocument; // the file behind /click/<id>
    PixelMode pixelMode{PixelMode::none};
};

struct Inventory {
    std::filesystem::path root;    // canonical
    std::filesystem::path webRoot; // canonical root/www
    std::vector<DemoAd> ads;

    // Reads and checks every ad file; nullopt with "file:line: reason" in *error.
    static std::optional<Inventory> load(const std::filesystem::path& root, std::string* error);
    const DemoAd* find(const std::string& id) const;
};

// Largest inventory file read (ad files, click documents); pictures have their own cap.
inline constexpr std::size_t maxInventoryFile = 64 * 1024;

} // namespace adnetdemo
