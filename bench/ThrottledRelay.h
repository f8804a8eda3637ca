#pragma once

// A wire of a given speed in front of a server on loopback: a TCP relay that passes what
// the server sends at most `bytesPerSecond` a connection (what the client sends goes at
// once). Plain blocking sockets on threads of its own, so the event loop measured is not
// the one pacing the bytes.

#include <QtGlobal>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace bench {

class ThrottledRelay {
public:
    ThrottledRelay(quint16 target, double bytesPerSecond) : m_target(target), m_rate(bytesPerSecond)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(0);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 64);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_acceptor = std::thread([this] { accepting(); });
    }
    ~ThrottledRelay()
    {
        m_stopping = true;
        ::shutdown(m_listener, SHUT_RDWR);
        m_acceptor.join();
        ::close(m_listener);
    }
    ThrottledRelay(const ThrottledRelay&) = delete;
    ThrottledRelay& operator=(const ThrottledRelay&) = delete;

    quint16 port() const { return m_port; }

private:
    // Both ends of one connection, closed once both directions are done.
    struct Pair {
        int client;
        int server;
        ~Pair()
        {
            ::close(client);
            ::close(server);
        }
    };

    static sockaddr_in loopback(quint16 port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    void accepting()
    {
        while (!m_stopping) {
            const int client = ::accept(m_listener, nullptr, nullptr);
            if (client < 0) return;
            const int server = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address = loopback(m_target);
            if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                ::close(client);
                ::close(server);
                continue;
            }
            const std::shared_ptr<Pair> pair(new Pair{client, server});
            std::thread([pair] { pump(pair->client, pair->server, 0); }).detach();
            std::thread([pair, rate = m_rate] { pump(pair->server, pair->client, rate); }).detach();
        }
    }

    // Copies `from` to `to` until `from` ends; with a rate, each piece leaves no earlier
    // than the wire would have carried it. The wire is busy while bytes wait on either
    // side and idle otherwise: it stands still while the server has sent nothing or the
    // client's window is full (an idle wire does not save up for a burst), but the
    // relay's own lateness (a sleep overshot, a core busy elsewhere) is made up, as no
    // real wire slows down because a receiving process keeps its processor busy.
    static void pump(int from, int to, double rate)
    {
        using Clock = std::chrono::steady_clock;
        char buffer[64 * 1024];
        Clock::time_point wireFree = Clock::now();
        for (;;) {
            ssize_t read = ::recv(from, buffer, sizeof buffer, MSG_DONTWAIT);
            if (read < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                waitFor(from, POLLIN);
                read = ::read(from, buffer, sizeof buffer);
                wireFree = std::max(wireFree, Clock::now());
            }
            if (read <= 0) break;
            if (rate > 0) {
                wireFree += std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(double(read) / rate));
                std::this_thread::sleep_until(wireFree);
            }
            for (ssize_t sent = 0; sent < read;) {
                const ssize_t wrote =
                    ::send(to, buffer + sent, size_t(read - sent), MSG_DONTWAIT | MSG_NOSIGNAL);
                if (wrote < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    waitFor(to, POLLOUT);
                    wireFree = std::max(wireFree, Clock::now());
                    continue;
                }
                if (wrote <= 0) return;
                sent += wrote;
            }
        }
        ::shutdown(to, SHUT_WR);
    }

    static void waitFor(int socket, short events)
    {
        pollfd watched{socket, events, 0};
        while (::poll(&watched, 1, -1) < 0 && errno == EINTR) {
        }
    }

    quint16 m_target;
    double m_rate;
    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_acceptor;
};

} // namespace bench
