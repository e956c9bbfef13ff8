// window_bench: what the real window costs while nothing happens in it. The program
// (build/bin/brimsey) runs under Xvfb with its banner from the demo ad network started in
// this process; once the banner is up and the player has been still for 40 s, it is
// measured for 15 s (between the banner's refreshes, which come every 60 s):
//  - resident memory, broken down by what the pages hold (GL driver, GTK, fonts and text,
//    sound, heap and other anonymous memory, ...), from /proc/PID/smaps;
//  - wake-ups: context switches of each thread (every return from a sleep is one);
//  - CPU time.
// Twice: as shipped, and as it was before the window learned to rest (GTK's default GL
// renderer, BRIMSEY_NO_IDLE_REST=1: the accelerometer polled 25 times a second and the
// sound mixer ran on through silence).
// Targets (exit status 1 when missed): under 45 MB resident; fewer than one wake-up every
// five seconds (none is due: no timer runs, and the sound output is paused).
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchSummary.h"
#include "XvfbSession.h"
#include "adnetdemo/DemoServer.h"

namespace {

const std::string kBrimsey = BRIMSEY_BINARY_DIR "/bin/brimsey";
constexpr double kStill = 40.0;   // the accelerometer rests after 30 s of identical readings
constexpr double kMeasure = 15.0; // ends before the refresh 60 s after the first banner
constexpr double kMaxMegabytes = 45.0;
constexpr double kMaxWakeupsPerSecond = 0.2;

double now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void sleepUntil(double when)
{
    double left = when - now();
    if (left > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(left));
}

// What a mapping holds, from its file name.
std::string category(const std::string& path)
{
    auto has = [&path](const char* part) { return path.find(part) != std::string::npos; };
    if (path.empty() || path == "[heap]" || path.rfind("[stack", 0) == 0)
        return "heap and anonymous";
    if (path[0] == '[')
        return "kernel ([vdso] ...)";
    if (has("libGL") || has("libEGL") || has("libgbm") || has("dri/") || has("libLLVM") || has("libgallium") ||
        has("libvulkan") || has("libdrm") || has("libglapi") || has("libepoxy"))
        return "GL driver";
    if (has("libgtk") || has("libgdk") || has("libgraphene") || has("libX") || has("libxcb") || has("libxkb"))
        return "GTK and X";
    if (has("libpango") || has("libharfbuzz") || has("libfreetype") || has("libfontconfig") || has("libfribidi") ||
        has("libthai") || has("libgraphite") || has("/fonts/") || has("fontconfig"))
        return "fonts and text";
    if (has("libcairo") || has("libpixman") || has("libpng") || has("libjpeg") || has("libtiff") || has("libwebp") ||
        has("libgdk_pixbuf") || has("librsvg"))
        return "pictures (cairo, decoders)";
    if (has("libopenal") || has("libpulse") || has("libasound") || has("libsndfile"))
        return "sound";
    if (has("libwebkit") || has("libjavascriptcore") || has("libbrimsey-webkit"))
        return "WebKit";
    if (has("libglib") || has("libgio") || has("libgobject") || has("libgmodule"))
        return "GLib";
    if (has("libcurl") || has("libssl") || has("libcrypto") || has("libnghttp") || has("libssh") || has("libgnutls") ||
        has("libkrb") || has("libgssapi") || has("libldap"))
        return "network";
    if (has("/bin/brimsey"))
        return "the program";
    if (has("libstdc++") || has("libc.so") || has("libm.so") || has("ld-linux") || has("libgcc"))
        return "C and C++ runtime";
    return "other libraries and files";
}

// Resident kB by category.
std::map<std::string, long> residentByCategory(pid_t pid)
{
    std::map<std::string, long> kb;
    std::ifstream smaps("/proc/" + std::to_string(pid) + "/smaps");
    std::string line, current;
    while (std::getline(smaps, line)) {
        if (line.empty())
            continue;
        auto dash = line.find('-');
        auto space = line.find(' ');
        if (dash != std::string::npos && space != std::string::npos && dash < space &&
            line.find_first_not_of("0123456789abcdef") == dash) {
            // "start-end perms offset dev inode   path"
            std::istringstream fields(line);
            std::string range, perms, offset, dev, inode, path;
            fields >> range >> perms >> offset >> dev >> inode;
            std::getline(fields >> std::ws, path);
            current = category(path);
        } else if (line.rfind("Rss:", 0) == 0) {
            kb[current] += std::stol(line.substr(4));
        }
    }
    return kb;
}

long residentKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

// Context switches per thread (voluntary and not), and the process's CPU ticks.
struct Activity {
    std::map<int, long> switches;
    double cpuSeconds{0};
};

Activity activity(pid_t pid)
{
    Activity a;
    std::string base = "/proc/" + std::to_string(pid);
    if (DIR* tasks = opendir((base + "/task").c_str())) {
        while (dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] == '.')
                continue;
            std::ifstream status(base + "/task/" + entry->d_name + "/status");
            std::string line;
            long total = 0;
            while (std::getline(status, line))
                if (line.find("ctxt_switches:") != std::string::npos)
                    total += std::stol(line.substr(line.find(':') + 1));
            a.switches[std::atoi(entry->d_name)] = total;
        }
        closedir(tasks);
    }
    std::ifstream stat(base + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    auto close = text.rfind(')');
    if (close != std::string::npos) {
        std::istringstream fields(text.substr(close + 2));
        std::string field;
        long utime = 0, stime = 0;
        for (int i = 3; fields >> field; ++i) {
            if (i == 14)
                utime = std::stol(field);
            if (i == 15) {
                stime = std::stol(field);
                break;
            }
        }
        a.cpuSeconds = double(utime + stime) / sysconf(_SC_CLK_TCK);
    }
    return a;
}

bool logged(const std::string& path, const std::string& what)
{
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        if (line.find(what) != std::string::npos)
            return true;
    return false;
}

struct Figures {
    long residentKb{0};
    std::map<std::string, long> breakdown;
    double wakeupsPerSecond{0};
    std::map<std::string, double> wakeupsByThread;
    double cpuPercent{0};
};

std::optional<Figures> measure(brimsey::testing::XvfbSession& xvfb, const adnetdemo::DemoServer& server,
                               const std::string& dir, const std::string& name,
                               const std::map<std::string, std::string>& extra)
{
    std::string events = dir + "/" + name + ".log";
    auto env = xvfb.env();
    env["ALSOFT_DRIVERS"] = "null"; // a mixer thread like a real device's, without one
    env["ADNET_REQUEST_ENDPOINT"] = server.adRequestUrl();
    env["ADNET_MEDIA_HOST"] = server.baseUrl();
    for (const auto& [key, value] : extra)
        env[key] = value;
    brimsey::testing::ChildProcess game;
    double start = now();
    if (!game.start({kBrimsey, "--documents", dir + "/" + name + "-documents", "--events", events}, env,
                    dir + "/" + name + ".out")) {
        std::printf("%s: the program does not start\n", name.c_str());
        return std::nullopt;
    }
    while (!logged(events, "ad received") && now() - start < 20 && game.running())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!logged(events, "ad received")) {
        std::printf("%s: no banner within 20 s (see %s/%s.out)\n", name.c_str(), dir.c_str(), name.c_str());
        return std::nullopt;
    }
    sleepUntil(start + kStill);
    Figures f;
    f.residentKb = residentKb(game.pid());
    f.breakdown = residentByCategory(game.pid());
    Activity before = activity(game.pid());
    double from = now();
    sleepUntil(from + kMeasure);
    Activity after = activity(game.pid());
    double span = now() - from;
    bool running = game.running();
    game.stop(5.0);
    if (!running) {
        std::printf("%s: the program ended early (see %s/%s.out)\n", name.c_str(), dir.c_str(), name.c_str());
        return std::nullopt;
    }
    long total = 0;
    for (const auto& [tid, switches] : after.switches) {
        long woke = switches - (before.switches.count(tid) ? before.switches.at(tid) : 0);
        total += woke;
        if (woke > 0)
            f.wakeupsByThread[tid == game.pid() ? "main thread (run loop)" : "thread " + std::to_string(tid)] +=
                woke / span;
    }
    f.wakeupsPerSecond = total / span;
    f.cpuPercent = (after.cpuSeconds - before.cpuSeconds) / span * 100;
    return f;
}

void report(const char* title, const Figures& f)
{
    std::printf("%s\n  resident %.1f MiB (%.1f MB)\n", title, f.residentKb / 1024.0, f.residentKb * 1024 / 1e6);
    for (const auto& [what, kb] : f.breakdown)
        if (kb >= 512)
            std::printf("    %-28s %6.1f MiB\n", what.c_str(), kb / 1024.0);
    std::printf("  wake-ups %.2f/s, CPU %.2f %%\n", f.wakeupsPerSecond, f.cpuPercent);
    for (const auto& [thread, rate] : f.wakeupsByThread)
        std::printf("    %-28s %6.2f/s\n", thread.c_str(), rate);
}

} // namespace

int main()
{
    using namespace benchsummary;
    if (access(kBrimsey.c_str(), X_OK) != 0 || !brimsey::testing::XvfbSession::available()) {
        skipped("idle window", access(kBrimsey.c_str(), X_OK) != 0 ? "no brimsey" : "no Xvfb");
        return 0;
    }
    adnetdemo::DemoServer server;
    std::string error;
    brimsey::testing::XvfbSession xvfb;
    if (!server.start(&error) || !xvfb.start(1024, 768)) {
        skipped("idle window", "no demo server or X server");
        return 0;
    }
    std::string dir =
        (std::filesystem::temp_directory_path() / ("brimsey-window-bench-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(dir);
    std::printf("each run: the window with its banner, measured after %.0f s of stillness for %.0f s\n", kStill,
                kMeasure);
    auto shipped = measure(xvfb, server, dir, "shipped", {});
    auto before = measure(xvfb, server, dir, "before", {{"GSK_RENDERER", "ngl"}, {"BRIMSEY_NO_IDLE_REST", "1"}});
    if (!shipped || !before) {
        check("idle window", "did not run", "-", false);
        return exitStatus();
    }
    report("as shipped (cairo renderer, no GL driver; resting)", *shipped);
    report("before (GTK's default GL renderer; never resting)", *before);
    std::filesystem::remove_all(dir);

    double megabytes = shipped->residentKb * 1024 / 1e6;
    check("idle window: resident", format("%.1f MB", megabytes), format("< %.0f MB", kMaxMegabytes),
          megabytes < kMaxMegabytes);
    figure("idle window: resident before", format("%.1f MB", before->residentKb * 1024 / 1e6));
    figure("idle window: resident shipped/before", format("%.2fx", double(shipped->residentKb) / before->residentKb));
    check("idle window: wake-ups", format("%.2f/s", shipped->wakeupsPerSecond),
          format("<= %.1f/s", kMaxWakeupsPerSecond), shipped->wakeupsPerSecond <= kMaxWakeupsPerSecond);
    figure("idle window: wake-ups before", format("%.1f/s", before->wakeupsPerSecond));
    figure("idle window: CPU", format("%.2f %% (before %.2f %%)", shipped->cpuPercent, before->cpuPercent));
    return exitStatus();
}
