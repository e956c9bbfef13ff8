#include "platform/core/DocumentsDirectory.h"

#include "platform/core/FileSystem.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <sstream>

namespace platform {

namespace {

std::mutex& overrideMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::optional<std::string>& overrideSlot()
{
    static std::optional<std::string> slot;
    return slot;
}

std::string homeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

// One value of user-dirs.dirs: a double-quoted shell word, "$HOME/..." or an absolute path.
std::optional<std::string> parseUserDirValue(std::string_view value, std::string_view home)
{
    if (value.size() < 2 || value.front() != '"' || value.back() != '"')
        return std::nullopt;
    value = value.substr(1, value.size() - 2);
    std::string unescaped;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size())
            ++i;
        unescaped.push_back(value[i]);
    }
    if (unescaped == "$HOME" || unescaped == "$HOME/")
        return std::nullopt; // xdg-user-dirs' way of saying "disabled"
    if (unescaped.rfind("$HOME/", 0) == 0)
        return fs::joinPath(home, std::string_view(unescaped).substr(6));
    if (!unescaped.empty() && unescaped.front() == '/')
        return unescaped;
    return std::nullopt;
}

} // namespace

std::string xdgDocumentsDirectory(std::string_view home, std::optional<std::string> configHome)
{
    const std::string fallback = fs::joinPath(home, "Documents");
    std::string config =
        configHome && !configHome->empty() && configHome->front() == '/' ? *configHome : fs::joinPath(home, ".config");
    auto text = fs::readFile(fs::joinPath(config, "user-dirs.dirs"), 64 * 1024);
    if (!text)
        return fallback;
    std::optional<std::string> found;
    std::istringstream lines(*text);
    for (std::string line; std::getline(lines, line);) {
        std::string_view view(line);
        while (!view.empty() && (view.front() == ' ' || view.front() == '\t'))
            view.remove_prefix(1);
        constexpr std::string_view key = "XDG_DOCUMENTS_DIR=";
        if (view.rfind(key, 0) != 0)
            continue;
        view.remove_prefix(key.size());
        while (!view.empty() && (view.back() == ' ' || view.back() == '\t' || view.back() == '\r'))
            view.remove_suffix(1);
        found = parseUserDirValue(view, home); // the last entry wins, as in the shell
    }
    return found.value_or(fallback);
}

std::string documentsDirectory()
{
    {
        std::lock_guard lock(overrideMutex());
        if (overrideSlot())
            return *overrideSlot();
    }
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    return xdgDocumentsDirectory(homeDirectory(), configHome ? std::optional<std::string>(configHome) : std::nullopt);
}

void setDocumentsDirectory(std::optional<std::string> path)
{
    std::lock_guard lock(overrideMutex());
    overrideSlot() = std::move(path);
}

} // namespace platform
