#include "platform/core/FileSystem.h"

#include "platform/core/RunLoop.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace platform::fs {

bool makeDirectories(const std::string& path)
{
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
}

bool writeFileAtomically(const std::string& path, std::string_view bytes)
{
    std::string temp = path + ".tmp-XXXXXX";
    std::vector<char> pattern(temp.begin(), temp.end());
    pattern.push_back('\0');
    int fd = mkstemp(pattern.data());
    if (fd < 0)
        return false;
    const std::string tempPath(pattern.data());
    // mkstemp makes 0600; a cache file needs nothing special.
    fchmod(fd, 0644);
    bool ok = true;
    std::size_t written = 0;
    while (ok && written < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            written += std::size_t(n);
    }
    if (::close(fd) != 0)
        ok = false;
    if (ok && ::rename(tempPath.c_str(), path.c_str()) != 0)
        ok = false;
    if (!ok)
        ::unlink(tempPath.c_str());
    return ok;
}

std::optional<std::string> readFile(const std::string& path, std::size_t maxBytes, Links links, std::string* why)
{
    auto failed = [why](std::string reason) -> std::optional<std::string> {
        if (why)
            *why = std::move(reason);
        return std::nullopt;
    };
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (links == Links::Refuse ? O_NOFOLLOW : 0);
    int fd = ::open(path.c_str(), flags);
    if (fd < 0)
        return failed(errno == ELOOP ? "is a symbolic link" : std::strerror(errno));
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return failed("not a regular file");
    }
    std::string out;
    out.resize(std::min(std::size_t(st.st_size), maxBytes) + 1);
    std::size_t got = 0;
    for (;;) {
        if (got == out.size()) {
            if (got > maxBytes)
                break;
            out.resize(std::min(out.size() * 2, maxBytes + 1));
        }
        ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return failed(std::strerror(error));
        }
        if (n == 0)
            break;
        got += std::size_t(n);
    }
    ::close(fd);
    if (got > maxBytes)
        return failed("larger than the limit of " + std::to_string(maxBytes) + " bytes");
    out.resize(got);
    return out;
}

std::optional<double> modificationTime(const std::string& path)
{
    struct stat st { };
    if (::lstat(path.c_str(), &st) != 0)
        return std::nullopt;
    double unixSeconds = double(st.st_mtim.tv_sec) + double(st.st_mtim.tv_nsec) * 1e-9;
    return unixSeconds + RunLoop::kUnixToAbsolute;
}

bool setModificationTime(const std::string& path, double absoluteTime)
{
    double unixSeconds = absoluteTime - RunLoop::kUnixToAbsolute;
    double whole = std::floor(unixSeconds);
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = time_t(whole);
    times[1].tv_nsec = long((unixSeconds - whole) * 1e9);
    return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

std::string joinPath(std::string_view directory, std::string_view name)
{
    std::string out(directory);
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    while (!name.empty() && name.front() == '/')
        name.remove_prefix(1);
    if (out.empty())
        return std::string(name);
    if (out != "/")
        out.push_back('/');
    out.append(name);
    return out;
}

std::optional<std::string> makeTemporaryDirectory(std::string_view prefix)
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = joinPath(base && *base ? base : "/tmp", std::string(prefix) + "-XXXXXX");
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
        return std::nullopt;
    return std::string(buffer.data());
}

void removeTree(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

} // namespace platform::fs
