#include "AdNetLocalization.h"

#include <libintl.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace adnet {

namespace {

constexpr const char* kTextDomain = "libadnet";

std::string findLocaleDirectory()
{
    if (const char* chosen = std::getenv("ADNET_LOCALEDIR"); chosen && *chosen)
        return chosen;
    std::error_code error;
    if (std::filesystem::is_directory(ADNET_BUILD_LOCALEDIR, error))
        return ADNET_BUILD_LOCALEDIR;
    return ADNET_INSTALL_LOCALEDIR;
}

void bindOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        bindtextdomain(kTextDomain, localeDirectory().c_str());
        bind_textdomain_codeset(kTextDomain, "UTF-8");
    });
}

} // namespace

const std::string& localeDirectory()
{
    static const std::string directory = findLocaleDirectory();
    return directory;
}

std::string localizedString(const char* english)
{
    bindOnce();
    return dgettext(kTextDomain, english);
}

} // namespace adnet
