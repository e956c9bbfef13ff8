#include "XvfbSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace brimsey::testing {

namespace {

double steadyNow()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& extra)
{
    std::vector<std::string> out;
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        std::string key = entry.substr(0, entry.find('='));
        if (!extra.count(key))
            out.push_back(entry);
    }
    for (const auto& [k, v] : extra)
        out.push_back(k + "=" + v);
    return out;
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> p;
    for (auto& s : strings)
        p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

int decodeStatus(int raw)
{
    if (WIFEXITED(raw))
        return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw))
        return 128 + WTERMSIG(raw);
    return -1;
}

} // namespace

bool programInPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    if (!path)
        return false;
    std::stringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

ChildProcess::~ChildProcess()
{
    stop(2.0);
}

bool ChildProcess::start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                         const std::string& outputFile)
{
    std::vector<std::string> args = argv;
    std::vector<std::string> envs = mergedEnvironment(env);
    auto argp = pointers(args);
    auto envp = pointers(envs);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    int rc = posix_spawnp(&m_pid, args[0].c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        m_pid = -1;
        return false;
    }
    m_status.reset();
    return true;
}

bool ChildProcess::running()
{
    if (m_pid <= 0 || m_status)
        return false;
    int raw = 0;
    pid_t r = waitpid(m_pid, &raw, WNOHANG);
    if (r == m_pid) {
        m_status = decodeStatus(raw);
        return false;
    }
    return r == 0;
}

std::optional<int> ChildProcess::wait(double seconds)
{
    double end = steadyNow() + seconds;
    while (running() && steadyNow() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return m_status;
}

std::optional<int> ChildProcess::stop(double grace)
{
    if (m_pid <= 0)
        return std::nullopt;
    if (running()) {
        kill(m_pid, SIGTERM);
        if (!wait(grace)) {
            kill(m_pid, SIGKILL);
            wait(grace);
        }
    }
    return m_status;
}

std::optional<std::string> runCommand(const std::vector<std::string>& argv,
                                      const std::map<std::string, std::string>& env, double seconds)
{
    char path[] = "/tmp/brimsey-cmd-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return std::nullopt;
    close(fd);
    ChildProcess child;
    std::optional<std::string> result;
    if (child.start(argv, env, path)) {
        auto status = child.wait(seconds);
        if (!status)
            child.stop(1.0);
        if (status && *status == 0) {
            std::ifstream in(path);
            std::stringstream ss;
            ss << in.rdbuf();
            result = ss.str();
        }
    }
    unlink(path);
    return result;
}

bool XvfbSession::start(int width, int height)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    // The write end must survive exec in the server: make it a plain descriptor number.
    int writeEnd = fcntl(fds[1], F_DUPFD, 3);
    close(fds[1]);
    std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    bool ok = m_server.start(
        {"Xvfb", "-displayfd", std::to_string(writeEnd), "-screen", "0", screen, "-nolisten", "tcp", "-noreset"});
    close(writeEnd);
    if (!ok) {
        close(fds[0]);
        return false;
    }
    std::string number;
    double end = steadyNow() + 20.0;
    while (steadyNow() < end) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char buf[32];
        ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        number.append(buf, static_cast<std::size_t>(n));
        if (number.find('\n') != std::string::npos)
            break;
    }
    close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' '))
        number.pop_back();
    if (number.empty()) {
        m_server.stop(2.0);
        return false;
    }
    m_display = ":" + number;
    return true;
}

void XvfbSession::stop()
{
    m_server.stop(5.0);
    m_display.clear();
}

std::optional<std::string> XvfbSession::findWindow(const std::string& name, double seconds)
{
    double end = steadyNow() + seconds;
    while (steadyNow() < end) {
        auto out = runCommand({"xdotool", "search", "--onlyvisible", "--name", name}, env(), 5.0);
        if (out && !out->empty())
            return out->substr(0, out->find('\n'));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return std::nullopt;
}

std::optional<XvfbSession::Geometry> XvfbSession::windowGeometry(const std::string& window)
{
    auto out = runCommand({"xdotool", "getwindowgeometry", "--shell", window}, env(), 5.0);
    if (!out)
        return std::nullopt;
    Geometry g{-1, -1, -1, -1};
    std::stringstream lines(*out);
    std::string line;
    while (std::getline(lines, line)) {
        auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq);
        int value = std::atoi(line.c_str() + eq + 1);
        if (key == "X")
            g.x = value;
        else if (key == "Y")
            g.y = value;
        else if (key == "WIDTH")
            g.width = value;
        else if (key == "HEIGHT")
            g.height = value;
    }
    if (g.width <= 0 || g.height <= 0)
        return std::nullopt;
    return g;
}

bool XvfbSession::screenshot(const std::string& pngPath)
{
    return runCommand({"import", "-window", "root", pngPath}, env(), 20.0).has_value();
}

bool XvfbSession::click(int x, int y)
{
    return runCommand({"xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"}, env(),
                      10.0)
        .has_value();
}

std::optional<ImageStats> imageStats(const std::string& pngPath, int x, int y, int width, int height)
{
    std::vector<std::string> argv = {"convert", pngPath};
    if (width > 0 && height > 0) {
        argv.push_back("-crop");
        argv.push_back(std::to_string(width) + "x" + std::to_string(height) + "+" + std::to_string(x) + "+" +
                       std::to_string(y));
        argv.push_back("+repage");
    }
    argv.push_back("-format");
    argv.push_back("%w %h %k %[fx:standard_deviation]");
    argv.push_back("info:");
    auto out = runCommand(argv, {}, 30.0);
    if (!out)
        return std::nullopt;
    ImageStats s;
    std::stringstream in(*out);
    if (!(in >> s.width >> s.height >> s.distinctColours >> s.standardDeviation))
        return std::nullopt;
    return s;
}

} // namespace brimsey::testing
