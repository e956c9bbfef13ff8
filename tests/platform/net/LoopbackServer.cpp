#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

LoopbackServer::Reply LoopbackServer::plain(int status, const std::string& body, const std::string& extraHeaders)
{
    std::string head = "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: " + std::to_string(body.size()) +
                       "\r\nConnection: close\r\n" + extraHeaders + "\r\n";
    return Reply{{{head + body, 0}}, false};
}

LoopbackServer::LoopbackServer(Handler handler) : m_handler(std::move(handler))
{
    m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (m_listen < 0 || bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(m_listen, 64) != 0 || pipe(m_stop) != 0)
        throw std::runtime_error("loopback server cannot listen");
    socklen_t len = sizeof addr;
    getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

LoopbackServer::~LoopbackServer()
{
    char byte = 1;
    (void)!write(m_stop[1], &byte, 1);
    m_acceptor.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(m_mutex);
        workers.swap(m_workers);
    }
    for (auto& w : workers)
        w.join();
    close(m_listen);
    close(m_stop[0]);
    close(m_stop[1]);
}

std::string LoopbackServer::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<std::string> LoopbackServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void LoopbackServer::acceptLoop()
{
    for (;;) {
        pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            return;
        int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard lock(m_mutex);
        m_workers.emplace_back([this, fd] { serve(fd); });
    }
}

void LoopbackServer::serve(int fd)
{
    ++m_open;
    auto stopped = [this](double seconds) {
        pollfd p{m_stop[0], POLLIN, 0};
        return poll(&p, 1, int(seconds * 1000)) > 0;
    };
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
        poll(fds, 2, -1);
        if (fds[1].revents)
            break;
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        head.append(buffer, std::size_t(n));
    }
    if (head.find("\r\n\r\n") != std::string::npos) {
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(head);
        }
        Reply reply = m_handler(head);
        bool stop = false;
        for (const auto& chunk : reply.chunks) {
            if (chunk.delayBefore > 0 && stopped(chunk.delayBefore)) {
                stop = true;
                break;
            }
            std::size_t sent = 0;
            while (sent < chunk.bytes.size()) {
                ssize_t n = send(fd, chunk.bytes.data() + sent, chunk.bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += std::size_t(n);
            }
        }
        // Held open until the client hangs up or the server stops.
        while (reply.holdOpen && !stop) {
            pollfd fds[2] = {{fd, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
            poll(fds, 2, -1);
            if (fds[1].revents || recv(fd, buffer, sizeof buffer, 0) <= 0)
                break;
        }
    }
    close(fd);
    --m_open;
}
