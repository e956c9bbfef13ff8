// The game with its ad banner, headless, against the demo ad network on 127.0.0.1: what
// one scripted run logs, and an hour of refreshes with the network's faults mixed in.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "adnet/AdNetConfiguration.h"
#include "adnetdemo/DemoServer.h"
#include "app/HeadlessGame.h"
#include "platform/backend/headless/HeadlessRunner.h"
#include "platform/gfx/Image.h"

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer runtime (its header does not come with every compiler package).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

const std::string kBrimsey = BRIMSEY_BINARY_DIR "/bin/brimsey";

struct Event {
    double time{0};
    std::string text;
};

std::vector<Event> readEvents(const std::string& path)
{
    std::vector<Event> events;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        auto space = line.find(' ');
        if (space != std::string::npos)
            events.push_back({std::stod(line.substr(0, space)), line.substr(space + 1)});
    }
    return events;
}

std::vector<Event> matching(const std::vector<Event>& events, const std::string& prefix)
{
    std::vector<Event> out;
    for (const auto& e : events)
        if (e.text.compare(0, prefix.size(), prefix) == 0)
            out.push_back(e);
    return out;
}

// The position in the log of the n-th event starting with `prefix` (n from 0), or the
// log's size when there is none.
std::size_t indexOf(const std::vector<Event>& events, const std::string& prefix, std::size_t n = 0)
{
    for (std::size_t i = 0; i < events.size(); ++i)
        if (events[i].text.compare(0, prefix.size(), prefix) == 0 && n-- == 0)
            return i;
    return events.size();
}

std::size_t count(const std::vector<Event>& events, const std::string& text)
{
    return std::size_t(std::count_if(events.begin(), events.end(), [&](const Event& e) { return e.text == text; }));
}

// The time of the first event that is exactly `text`, or -1.
double timeOf(const std::vector<Event>& events, const std::string& text)
{
    for (const auto& e : events)
        if (e.text == text)
            return e.time;
    return -1;
}

std::string dump(const std::vector<Event>& events)
{
    std::string text;
    for (const auto& e : events)
        text += std::to_string(e.time) + " " + e.text + "\n";
    return text;
}

int run(const std::string& arguments, const std::string& environment, std::string* output)
{
    std::string command = environment + " ALSOFT_DRIVERS=null " + kBrimsey + " " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output->append(buffer, n);
    int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Heap in use by the whole process, C libraries included.
std::size_t heapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

// The demo ad network as a process of its own, so that its threads' memory stays out of
// this process's heap; faults and pins through its control URLs.
class ServerProcess {
public:
    ~ServerProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    bool start(const std::string& dir)
    {
        std::string portFile = dir + "/port";
        std::vector<std::string> args{BRIMSEY_BINARY_DIR "/bin/adnet-demo-server",
                                      "--port",
                                      "0",
                                      "--port-file",
                                      portFile,
                                      "--control",
                                      "--quiet",
                                      "--exit-with-parent"};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            return false;
        for (int i = 0; i < 500 && m_port == 0; ++i) {
            std::ifstream(portFile) >> m_port;
            if (m_port == 0)
                ::usleep(10000);
        }
        return m_port != 0;
    }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    // GET of a control URL; its HTTP status (0 when it could not be asked).
    int control(const std::string& target) const
    {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(m_port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int status = 0;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
            if (::write(fd, request.data(), request.size()) == ssize_t(request.size())) {
                char head[16] = {};
                if (::read(fd, head, sizeof head - 1) > 12)
                    status = std::atoi(head + 9);
            }
        }
        ::close(fd);
        return status;
    }

private:
    pid_t m_pid{-1};
    int m_port{0};
};

std::string tempDir(const std::string& name)
{
    std::string dir = ::testing::TempDir() + "brimsey_ads_" + name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

} // namespace

TEST(HeadlessAds, AScriptedRunLogsTheBannerFromFirstAdToClickAndFlip)
{
    adnetdemo::DemoServer server;
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;
    server.pinAd("spring-sale");
    std::string dir = tempDir("run");
    std::string env = "ADNET_REQUEST_ENDPOINT=" + server.adRequestUrl() + " ADNET_MEDIA_HOST=" + server.baseUrl();

    // Without --ads there is no ad client at all: no fetch, no ad event.
    std::string out;
    ASSERT_EQ(run("--headless --run-for 70 --tap 1:banner --events " + dir + "/plain.log", env, &out), 0) << out;
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_TRUE(matching(readEvents(dir + "/plain.log"), "ad").empty());

    // The banner tapped at 2 s, the browser it opens closed with Done at 5 s; a new ad flips
    // in 60 s after the first arrived.
    std::string before = dir + "/before.png", mid = dir + "/mid.png", after = dir + "/after.png";
    out.clear();
    ASSERT_EQ(run("--headless --ads --run-for 62 --documents " + dir + "/documents --tap 2:banner --tap 5:done " +
                      "--events " + dir + "/ads.log --snapshot 1:" + before + " --snapshot 60.2:" + mid +
                      " --snapshot 62:" + after,
                  env, &out),
              0)
        << out;
    EXPECT_NE(out.find("AdNet: Did receive ad"), std::string::npos) << out;
    auto events = readEvents(dir + "/ads.log");
    auto log = dump(events);
    auto received = matching(events, "ad received");
    ASSERT_EQ(received.size(), 1u) << log;
    // While the ad travels the virtual clock keeps pace with the real one, so how soon it
    // arrives depends on the machine; what must hold is that it was up before the tap.
    EXPECT_LT(indexOf(events, "ad received"), indexOf(events, "highlight on"))
        << "the banner must be up before it is tapped\n"
        << log;
    EXPECT_EQ(count(events, "ad request"), 2u) << log;

    // The click, on the clock the banner's timings fix.
    EXPECT_EQ(timeOf(events, "highlight on"), 2.0) << log;
    EXPECT_EQ(count(events, "click"), 1u) << log;
    EXPECT_EQ(timeOf(events, "click"), 2.0) << log;
    auto pulseEnd = matching(events, "pulse end");
    auto spinnerOn = matching(events, "spinner on");
    auto spinnerOff = matching(events, "spinner off");
    ASSERT_EQ(pulseEnd.size(), 1u) << log;
    ASSERT_EQ(spinnerOn.size(), 1u) << log;
    ASSERT_EQ(spinnerOff.size(), 1u) << log;
    EXPECT_NEAR(pulseEnd[0].time, 2.5, 1e-3) << log;
    EXPECT_NEAR(spinnerOn[0].time, 2.8, 1e-3) << log;
    EXPECT_GE(spinnerOff[0].time, 3.1 - 1e-3) << log;
    auto succeeded = matching(events, "click succeeded");
    ASSERT_EQ(succeeded.size(), 1u) << log;
    auto browser = matching(events, "browser ");
    ASSERT_EQ(browser.size(), 1u) << log;
    EXPECT_GE(browser[0].time, succeeded[0].time) << "the success report comes before the destination\n" << log;
    EXPECT_NE(browser[0].text.find("http://127.0.0.1:"), std::string::npos) << log;
    auto dismissed = matching(events, "modal dismissed");
    ASSERT_EQ(dismissed.size(), 1u) << log;
    EXPECT_NEAR(dismissed[0].time, 5.7, 1e-3) << "Done, then 0.2 s fade and 0.5 s shrink\n" << log;

    auto flipStart = matching(events, "flip start");
    auto flipEnd = matching(events, "flip end");
    ASSERT_EQ(flipStart.size(), 1u) << log;
    ASSERT_EQ(flipEnd.size(), 1u) << log;
    // The refresh is due 60 s after the first ad; the new ad's transfer then takes real time.
    EXPECT_GE(flipStart[0].time, received[0].time + 60.0 - 1e-3) << log;
    EXPECT_LT(indexOf(events, "ad request", 1), indexOf(events, "flip start")) << "a flip before the new ad\n" << log;
    EXPECT_NEAR(flipEnd[0].time - flipStart[0].time, 0.7, 1e-3) << log;

    // The pictures: the banner on top, and mid-flip neither the old nor the new picture.
    auto one = platform::Image::loadFile(before);
    auto two = platform::Image::loadFile(mid);
    auto three = platform::Image::loadFile(after);
    ASSERT_TRUE(one && two && three);
    auto rgb = [](std::uint32_t rgba) { return rgba >> 8; };
    EXPECT_EQ(rgb(one->pixelRGBA(1, 46)), 0u) << "the banner's black background";
    int changed = 0;
    for (int y = 0; y < 48; y += 2)
        for (int x = 0; x < 320; x += 2)
            changed += rgb(two->pixelRGBA(x, y)) != rgb(three->pixelRGBA(x, y));
    EXPECT_GT(changed, 100) << "the mid-flip picture looks like the settled one";
    std::filesystem::remove_all(dir);
}

TEST(HeadlessAds, AnHourOfRefreshesWithFaultsKeepsWorkingAndMemoryFlat)
{
    std::string dir = tempDir("hour");
    ServerProcess server;
    ASSERT_TRUE(server.start(dir));
    adnet::AdNetConfiguration config;
    config.requestEndpoint = server.base() + "/ad_source.php";
    config.mediaHost = server.base();
    adnet::setConfiguration(config);

    // Text ads only: a banner-image ad, once shown, is never replaced.
    const std::vector<std::string> textAds{"spring-sale", "harbor-bank", "mels-diner", "brain-blocks", "cafe-luna"};
    ASSERT_EQ(server.control("/control/pin?ad=" + textAds[0]), 200);

    brimsey::HeadlessOptions options;
    options.headless = true;
    options.ads = true;
    options.runFor = 3600 + 30;
    options.documentsDirectory = dir + "/documents";
    options.eventsFile = dir + "/events.log";
    // A tap on the banner 20 s after every fifth refresh. The landing screen it opens is
    // closed again: a browser by its Done button, a canvas by a tap on the dimmed area below
    // it (where, with nothing open, only the game's background is).
    std::size_t bannerTaps = 0;
    for (int k = 0; k < 60; k += 5) {
        for (auto [after, target] : {std::pair{0.0, "banner"}, {5.0, "done"}, {7.0, ""}}) {
            brimsey::ScriptedTap tap;
            tap.time = 60.0 * k + 20 + after;
            tap.target = target;
            tap.x = 160;
            tap.y = 440;
            options.taps.push_back(tap);
        }
        ++bannerTaps;
    }
    brimsey::HeadlessGame game(options, std::cerr);
    ASSERT_EQ(game.launch(), 0);
    auto& runner = game.runner();

    // Each fault strikes one fetch of refresh k or of the click 20 s after it; the next
    // refresh is clean. The refresh faults come twice: before the heap is first measured
    // and after. ("@" and "=" escaped for the control URL.)
    struct Planned {
        int refresh;
        std::string spec;
        bool refreshFails;
    };
    std::vector<Planned> plan;
    const std::vector<std::pair<std::string, bool>> refreshFaults{
        {"status500%40adRequest*1", true}, {"badJson%40adRequest*1", true},     {"truncated%40adRequest*1", true},
        {"oversized%40adRequest*1", true}, {"notAnImage%40adIcon*1", true},     {"truncated%40adIcon*1", true},
        {"oversized%40adIcon*1", true},    {"slow%3D0.8%40adRequest*1", false}, {"missingKey%40adRequest*1", true},
    };
    for (std::size_t i = 0; i < refreshFaults.size(); ++i) {
        plan.push_back({int(2 + 2 * i), refreshFaults[i].first, refreshFaults[i].second});
        plan.push_back({int(22 + 2 * i), refreshFaults[i].first, refreshFaults[i].second});
    }
    int tapped = 25;
    for (auto kind : {"status500", "badJson", "truncated", "missingKey", "slow%3D0.8"})
        plan.push_back({(tapped += 5) - 5, std::string(kind) + "%40clickDocument*1", false});
    bool controlled = true;
    for (int k = 1; k <= 60; ++k) {
        runner.at(60.0 * k - 30, [&, k] {
            controlled &= server.control("/control/clear") == 200;
            controlled &= server.control("/control/pin?ad=" + textAds[std::size_t(k) % textAds.size()]) == 200;
            for (const auto& p : plan)
                if (p.refresh == k)
                    controlled &= server.control("/control/fault?add&spec=" + p.spec) == 200;
        });
    }
    // Heap in use once the first round of faults is over and every ad has been shown
    // (caches of fonts and glyphs have filled), and at the end of the hour.
    std::size_t warm = 0;
    std::size_t end = 0;
    runner.at(60.0 * 20 + 45, [&] { warm = heapInUse(); });
    runner.at(3600 + 25, [&] { end = heapInUse(); });
    ASSERT_EQ(game.run(), 0);
    EXPECT_TRUE(controlled) << "the demo ad network refused a control URL";

    auto events = readEvents(options.eventsFile);
    auto log = dump(events);
    ASSERT_EQ(matching(events, "ad received").size(), 1u) << log;
    EXPECT_EQ(count(events, "ad request"), 61u) << log;
    // Every refresh that no fault spoiled flipped a new ad in.
    auto received = matching(events, "ad received")[0].time;
    auto flips = matching(events, "flip start");
    for (int k = 1; k <= 60; ++k) {
        bool fails = std::any_of(plan.begin(), plan.end(), [k](auto& p) { return p.refresh == k && p.refreshFails; });
        bool flipped = std::any_of(flips.begin(), flips.end(), [&](auto& e) {
            return e.time > received + 60.0 * k - 1 && e.time < received + 60.0 * k + 30;
        });
        EXPECT_EQ(flipped, !fails) << "refresh " << k << "\n" << log;
    }
    EXPECT_EQ(matching(events, "flip end").size(), flips.size());
    // Every tap clicked, and every spinner went away again, faults or not.
    EXPECT_EQ(count(events, "click"), bannerTaps) << log;
    EXPECT_EQ(count(events, "click succeeded") + count(events, "click failed"), bannerTaps) << log;
    EXPECT_EQ(count(events, "click failed"), 4u) << log; // the slow click document still arrives
    EXPECT_EQ(count(events, "spinner on"), bannerTaps) << log;
    EXPECT_EQ(count(events, "spinner off"), bannerTaps) << log;
    EXPECT_EQ(count(events, "modal will present"), count(events, "modal dismissed")) << log;

    std::printf("heap in use after 20 refreshes %zu bytes, after 60 %zu bytes\n", warm, end);
    EXPECT_LT(double(end), double(warm) + 16 * 1024) << "the heap grows with the refreshes";
    std::filesystem::remove_all(dir);
}
