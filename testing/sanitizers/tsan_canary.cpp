// A deliberate data race inside an HTTP handler of ours, called from cpp-httplib's server
// threads. ThreadSanitizer must report it through testing/sanitizers/tsan.supp: a
// suppression that matched any stack passing through cpp-httplib (race:libcpp-httplib.so)
// would hide it, as it would hide a real race in the demo server's handlers. ctest passes
// when the report names RaceInHandler.
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

int gUnguarded = 0; // written by two handlers at once, on purpose
std::atomic<int> gArrived{0};

// noinline: the report must show this frame by name.
__attribute__((noinline)) void RaceInHandler()
{
    // Both handlers meet here first; what follows in each is ordered by nothing.
    // (A lost request leaves one handler alone: it goes on after 20 s, and no race shows.)
    gArrived.fetch_add(1);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (gArrived.load() < 2 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::yield();
    gUnguarded = gUnguarded + 1;
}

} // namespace

int main()
{
    httplib::Server server;
    server.Get("/race", [](const httplib::Request&, httplib::Response& response) {
        RaceInHandler();
        response.set_content("raced", "text/plain");
    });
    int port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0) {
        std::fprintf(stderr, "tsan_canary: cannot listen\n");
        return 2;
    }
    // Bound and listening already: the requests wait in the backlog until it serves.
    std::thread listener([&] { server.listen_after_bind(); });
    auto get = [port] {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(20, 0);
        auto result = client.Get("/race");
        if (!result || result->status != 200)
            std::fprintf(stderr, "tsan_canary: the request failed\n");
    };
    std::thread first(get), second(get);
    first.join();
    second.join();
    server.stop();
    listener.join();
    std::printf("tsan_canary: both handlers ran\n");
    return 0;
}
