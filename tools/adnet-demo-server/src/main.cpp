// adnet-demo-server: the demo ad network on the command line. Serves until SIGINT or
// SIGTERM, one log line per request on standard output.
#include "adnetdemo/DemoServer.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int defaultPort = 8642;

void usage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: adnet-demo-server [options]\n"
                 "  --bind ADDR        address to listen on (default 127.0.0.1; anything else exposes\n"
                 "                     the server to other machines)\n"
                 "  --port N           port (default %d; 0 picks a free one)\n"
                 "  --inventory DIR    the demo ads (default %s)\n"
                 "  --fault SPEC       start with a fault in force (repeatable; the first that applies\n"
                 "                     wins). SPEC is KIND[=VALUE][@FETCH[,FETCH..]][*TIMES]:\n"
                 "                       status500, slow=SECONDS, truncated, oversized[=chunked][,BYTES],\n"
                 "                       badJson, missingKey[=KEY], notAnImage\n"
                 "                     FETCH: adRequest browserIcon actionIcon adIcon bannerImage pixel\n"
                 "                       clickDocument canvasPage landingPage other images all\n"
                 "                     e.g. --fault status500@adRequest*1 --fault slow=5@clickDocument\n"
                 "  --control          answer /control/fault?spec=SPEC[&add], /control/clear,\n"
                 "                     /control/pin?ad=ID, /control/unpin, /control/status\n"
                 "  --port-file FILE   write the port number to FILE once listening\n"
                 "  --quiet            no request lines\n"
                 "  --exit-with-parent stop when the process that started it ends, however it ends\n"
                 "  --list             print the inventory and exit\n"
                 "  --help             this text\n",
                 defaultPort, adnetdemo::defaultInventory().c_str());
}

int bad(const std::string& message)
{
    std::fprintf(stderr, "adnet-demo-server: %s\n(try --help)\n", message.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    adnetdemo::ServerOptions options;
    options.port = defaultPort;
    std::vector<adnetdemo::FaultSpec> faults;
    std::string portFile;
    bool quiet = false;
    bool exitWithParent = false;
    bool list = false;

    std::vector<std::string_view> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size())
                return false;
            out = std::string(args[++i]);
            return true;
        };
        std::string text;
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--bind") {
            if (!value(options.bindAddress))
                return bad("--bind needs an address");
        } else if (arg == "--port") {
            if (!value(text))
                return bad("--port needs a number");
            char* end = nullptr;
            long port = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || port < 0 || port > 65535)
                return bad("--port " + text + ": not a port number (0 to 65535)");
            options.port = static_cast<int>(port);
        } else if (arg == "--inventory") {
            if (!value(text))
                return bad("--inventory needs a folder");
            options.inventory = text;
        } else if (arg == "--fault") {
            if (!value(text))
                return bad("--fault needs a fault, e.g. status500@adRequest");
            std::string error;
            auto spec = adnetdemo::parseFault(text, &error);
            if (!spec)
                return bad(error);
            faults.push_back(*spec);
        } else if (arg == "--control") {
            options.control = true;
        } else if (arg == "--port-file") {
            if (!value(portFile))
                return bad("--port-file needs a file name");
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--exit-with-parent") {
            exitWithParent = true;
        } else if (arg == "--list") {
            list = true;
        } else {
            return bad("unknown option " + std::string(arg));
        }
    }
    if (!quiet) {
        options.log = [](const std::string& line) {
            std::fputs((line + "\n").c_str(), stdout);
            std::fflush(stdout);
        };
    }

    // Signals are taken by sigwait below; block them before any server thread exists.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    // A script that starts the server for a game may be killed outright; the kernel then
    // sends the SIGTERM that sigwait below takes. A parent already gone counts too.
    if (exitWithParent) {
        pid_t parent = getppid();
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || parent == 1 || kill(parent, 0) != 0)
            return bad("--exit-with-parent: the parent process is already gone");
    }

    adnetdemo::DemoServer server(options);
    if (list) {
        auto ads = server.ads();
        if (ads.empty())
            return bad("no usable inventory at " +
                       (options.inventory.empty() ? adnetdemo::defaultInventory() : options.inventory).string());
        for (const auto& ad : ads) {
            std::printf("%-16s %-6s %-7s %s%s\n", ad.id.c_str(), ad.banner ? "banner" : "text", ad.action.c_str(),
                        ad.testAd ? "[test] " : "", ad.text.c_str());
        }
        return 0;
    }
    std::string error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "adnet-demo-server: %s\n", error.c_str());
        return 1;
    }
    for (const auto& spec : faults)
        server.addFault(spec);
    if (!portFile.empty()) {
        std::ofstream out(portFile + ".tmp");
        out << server.port() << "\n";
        out.close();
        if (!out || std::rename((portFile + ".tmp").c_str(), portFile.c_str()) != 0) {
            std::fprintf(stderr, "adnet-demo-server: cannot write %s\n", portFile.c_str());
            return 1;
        }
    }
    std::printf("adnet-demo-server: %zu ads, listening on %s (ad requests: %s)\n", server.ads().size(),
                server.baseUrl().c_str(), server.adRequestUrl().c_str());
    if (options.bindAddress != "127.0.0.1" && options.bindAddress != "::1" && options.bindAddress != "localhost")
        std::printf("adnet-demo-server: warning: bound to %s, reachable from other machines\n",
                    options.bindAddress.c_str());
    for (const auto& spec : faults)
        std::printf("adnet-demo-server: fault %s\n", adnetdemo::describeFault(spec).c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    std::printf("adnet-demo-server: %s, stopping\n", received == SIGINT ? "interrupted" : "terminated");
    server.stop();
    return 0;
}
