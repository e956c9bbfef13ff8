#include "AdNetLocalization.h"

#include <dlfcn.h>
#include <libintl.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace adnet {

namespace {

constexpr const char* kTextDomain = "libadnet";

// Whether the folder holds a catalogue of ours for some language.
bool holdsCatalogues(const std::filesystem::path& folder)
{
    std::error_code error;
    for (const auto& language : std::filesystem::directory_iterator(folder, error))
        if (std::filesystem::is_regular_file(language.path() / "LC_MESSAGES" / "libadnet.mo", error))
            return true;
    return false;
}

// share/locale relative to the shared library holding this code (libadnet.so in another
// host's process), wherever the library was installed: a packaged library finds its
// catalogues whatever prefix the build was configured with. Empty when this code is linked
// into the program itself, which the lookup beside bin/ covers.
std::filesystem::path besideLibrary()
{
    Dl_info info{};
    if (!dladdr(kTextDomain, &info) || !info.dli_fname || !*info.dli_fname)
        return {};
    std::error_code error;
    auto library = std::filesystem::canonical(info.dli_fname, error);
    if (error || library == std::filesystem::canonical("/proc/self/exe", error))
        return {};
    return (library.parent_path() / ADNET_LIBDIR_TO_LOCALEDIR).lexically_normal();
}

std::string findLocaleDirectory()
{
    if (const char* chosen = std::getenv("ADNET_LOCALEDIR"); chosen && *chosen)
        return chosen;
    // An installed program, wherever it was installed to: share/locale beside its bin/.
    std::error_code error;
    auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        auto installed = program.parent_path().parent_path() / "share" / "locale";
        if (holdsCatalogues(installed))
            return installed.string();
    }
    if (auto installed = besideLibrary(); !installed.empty() && holdsCatalogues(installed))
        return installed.string();
    if (holdsCatalogues(ADNET_BUILD_LOCALEDIR))
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
