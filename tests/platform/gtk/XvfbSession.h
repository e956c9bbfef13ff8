#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace brimsey::testing {

// A child process with extra environment variables, its output collected in a file.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (looked up in PATH) with env added to this process's environment.
    bool start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {},
               const std::string& outputFile = "/dev/null");
    pid_t pid() const { return m_pid; }
    bool running();
    // Waits up to `seconds`; the exit status, or nothing if it is still running.
    std::optional<int> wait(double seconds);
    // SIGTERM, then SIGKILL if it has not exited after `grace` seconds. Returns the status.
    std::optional<int> stop(double grace = 5.0);

private:
    pid_t m_pid{-1};
    std::optional<int> m_status;
};

// Runs a command to completion (with a time limit); its standard output, or nothing when
// it failed.
std::optional<std::string> runCommand(const std::vector<std::string>& argv,
                                      const std::map<std::string, std::string>& env = {}, double seconds = 30.0);

bool programInPath(const std::string& name);

// A private X server. The display number is the first free one, chosen by Xvfb itself.
class XvfbSession {
public:
    static bool available() { return programInPath("Xvfb"); }

    ~XvfbSession() { stop(); }
    bool start(int width = 1024, int height = 768);
    void stop();
    const std::string& display() const { return m_display; }
    std::map<std::string, std::string> env() const { return {{"DISPLAY", m_display}}; }

    // X window id of the first visible window whose name matches, waiting up to `seconds`.
    std::optional<std::string> findWindow(const std::string& name, double seconds);
    struct Geometry {
        int x, y, width, height;
    };
    std::optional<Geometry> windowGeometry(const std::string& window);
    // Writes a PNG of the whole screen.
    bool screenshot(const std::string& pngPath);
    bool click(int x, int y);

private:
    ChildProcess m_server;
    std::string m_display;
};

// Pixel statistics of a PNG (through ImageMagick) inside a rectangle.
struct ImageStats {
    int width{0};
    int height{0};
    int distinctColours{0};
    double standardDeviation{0}; // 0 for a blank (single-colour) area
};
std::optional<ImageStats> imageStats(const std::string& pngPath, int x = 0, int y = 0, int width = 0, int height = 0);

} // namespace brimsey::testing
