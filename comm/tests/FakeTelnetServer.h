#pragma once
// A scripted TCP server on 127.0.0.1 for the socket line tests: it accepts connections one
// after another and runs the test's script on each, on a thread of its own. Every wait is
// bounded, and the destructor ends the thread and closes every socket on every path.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace net_test {

using Bytes = std::vector<std::uint8_t>;
constexpr int kWaitMs = 3000;

// One accepted connection, from the server's side.
class ServerConnection {
public:
    explicit ServerConnection(int fd) : fd_(fd) {}

    void Send(const Bytes& bytes) const {
        [[maybe_unused]] const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // Reads until `count` data bytes have come (Telnet commands skipped and IAC IAC undone
    // when `telnet`), the client closed, or the wait ran out; returns what came.
    Bytes ReadData(std::size_t count, bool telnet) {
        Bytes data;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        while (data.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) {
                break;
            }
            std::uint8_t b = 0;
            if (::recv(fd_, &b, 1, 0) != 1) {
                break;
            }
            if (!telnet) {
                data.push_back(b);
                continue;
            }
            // Independent of the codec under test: IAC IAC is data, IAC verb option and
            // IAC SB ... IAC SE are skipped.
            if (state_ == 0 && b != 0xFF) {
                data.push_back(b);
            } else if (state_ == 0) {
                state_ = 1;
            } else if (state_ == 1) {
                state_ = b == 0xFF ? 0 : b == 250 ? 3 : b >= 251 ? 2 : 0;
                if (b == 0xFF) {
                    data.push_back(b);
                }
            } else if (state_ == 2) {
                state_ = 0;
            } else if (state_ == 3) {
                state_ = b == 0xFF ? 4 : 3;
            } else {
                state_ = b == 240 ? 0 : 3;
            }
        }
        return data;
    }

private:
    int fd_;
    int state_ = 0;
};

class FakeTelnetServer {
public:
    using Script = std::function<void(ServerConnection&, int connectionIndex)>;

    // Listens at once; serves up to `connections` clients in turn.
    FakeTelnetServer(Script script, int connections = 1) : script_(std::move(script)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(listener_, 4) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
        if (::pipe(stop_) != 0) {
            return;
        }
        thread_ = std::thread([this, connections] {
            for (int i = 0; i < connections; ++i) {
                pollfd p[2] = {{listener_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
                if (::poll(p, 2, 10 * kWaitMs) <= 0 || p[1].revents != 0) {
                    return;
                }
                const int fd = ::accept(listener_, nullptr, nullptr);
                if (fd < 0) {
                    return;
                }
                const int on = 1;
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                ServerConnection connection(fd);
                script_(connection, i);
                ::close(fd);
            }
        });
    }
    ~FakeTelnetServer() {
        if (thread_.joinable()) {
            const char stop = 1;
            [[maybe_unused]] const ssize_t n = ::write(stop_[1], &stop, 1);
            thread_.join();
        }
        for (int fd : {listener_, stop_[0], stop_[1]}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    FakeTelnetServer(const FakeTelnetServer&) = delete;
    FakeTelnetServer& operator=(const FakeTelnetServer&) = delete;

    int Port() const { return port_; }

private:
    Script script_;
    int listener_ = -1;
    int stop_[2] = {-1, -1};
    int port_ = 0;
    std::thread thread_;
};

} // namespace net_test
