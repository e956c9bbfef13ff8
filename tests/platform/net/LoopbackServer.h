#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A tiny HTTP server on 127.0.0.1 for connection tests: each connection gets its own thread,
// reads one request head and sends the handler's reply as raw bytes, chunk by chunk.
class LoopbackServer {
public:
    struct Chunk {
        std::string bytes;
        double delayBefore{0};
    };
    struct Reply {
        std::vector<Chunk> chunks;
        bool holdOpen{false}; // keep the connection open after the last chunk
    };
    using Handler = std::function<Reply(const std::string& requestHead)>;

    static Reply plain(int status, const std::string& body, const std::string& extraHeaders = "");

    explicit LoopbackServer(Handler handler);
    ~LoopbackServer();

    int port() const { return m_port; }
    std::string url(const std::string& path) const;
    std::vector<std::string> requests() const;
    int connectionsOpen() const { return m_open.load(); }

private:
    void acceptLoop();
    void serve(int fd);

    Handler m_handler;
    int m_listen{-1};
    int m_stop[2]{-1, -1};
    int m_port{0};
    std::thread m_acceptor;
    mutable std::mutex m_mutex;
    std::vector<std::thread> m_workers;
    std::vector<std::string> m_requests;
    std::atomic<int> m_open{0};
};
