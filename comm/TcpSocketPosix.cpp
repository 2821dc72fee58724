// TcpSocket on POSIX systems: non-blocking sockets and poll; names resolve on a helper thread
// because getaddrinfo has no time limit of its own.

#include "comm/TcpSocket.h"

#include "comm/LineStop.h"
#include "comm/TcpResolve.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using tcpresolve::Clock;
using tcpresolve::MsLeft;

// How long a send may stall without progress before the connection counts as broken.
constexpr int kSendStallMs = 3000;

// Connects `fd` (non-blocking) to `address` by the deadline: 0, an errno value, ETIMEDOUT, or
// ECANCELED when a stop request ended the wait.
int ConnectOne(int fd, const addrinfo& address, Clock::time_point deadline) {
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0) {
        return 0;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        return errno;
    }
    short revents = 0;
    switch (PollLine(fd, POLLOUT, MsLeft(deadline), revents)) {
    case LinePoll::Ready:
        break;
    case LinePoll::TimedOut:
        return ETIMEDOUT;
    case LinePoll::Stopped:
        return ECANCELED;
    case LinePoll::Failed:
        return errno;
    }
    int code = 0;
    socklen_t size = sizeof code;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &size) != 0) {
        return errno;
    }
    return code;
}

LineError Stopped(const std::string& where) {
    return LineFailure(LineErrorKind::Interrupted, "stopped by a signal", where);
}

} // namespace

TcpSocket::TcpSocket() : handle_(-1) {}

TcpSocket::~TcpSocket() {
    Close();
}

bool TcpSocket::IsOpen() const {
    return handle_ >= 0;
}

void TcpSocket::Close() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
        handle_ = -1;
    }
}

bool TcpSocket::Connect(const std::string& host, const std::string& port, int timeoutMs,
                        LineError& error) {
    Close();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::string where = HostPortText(host, port);
    const auto resolution = tcpresolve::Resolve<addrinfo>(
        deadline,
        [host, port](addrinfo** list) {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
            return getaddrinfo(host.c_str(), port.c_str(), &hints, list);
        },
        [](addrinfo* list) { freeaddrinfo(list); });
    if (!resolution) {
        error = LineWaitsStopped()
                    ? Stopped(where)
                    : LineFailure(LineErrorKind::TimedOut, "no answer from " + where, where);
        return false;
    }
    if (resolution->Code != 0) {
        const int code = resolution->Code;
        const char* reason =
            code == EAI_SYSTEM ? std::strerror(resolution->SystemCode) : gai_strerror(code);
        error =
            LineFailure(LineErrorKind::NotFound, "cannot resolve " + host + ": " + reason, where);
        return false;
    }
    int lastCode = ETIMEDOUT;
    for (const addrinfo* a = resolution->List; a != nullptr; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            lastCode = errno;
            continue;
        }
        lastCode = ConnectOne(fd, *a, deadline);
        if (lastCode == 0) {
            const int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
            handle_ = fd;
            return true;
        }
        ::close(fd);
        if (lastCode == ETIMEDOUT || lastCode == ECANCELED) {
            break; // the time for all addresses is spent, or the command is stopping
        }
    }
    if (lastCode == ECANCELED) {
        error = Stopped(where);
    } else if (lastCode == ETIMEDOUT) {
        error = LineFailure(LineErrorKind::TimedOut, "no answer from " + where, where);
    } else if (lastCode == ECONNREFUSED) {
        error = LineFailure(LineErrorKind::NotFound, "connection refused by " + where, where);
    } else {
        error = LineFailure(LineErrorKind::Other,
                            "cannot connect to " + where + ": " + std::strerror(lastCode), where);
    }
    return false;
}

bool TcpSocket::Send(const std::uint8_t* data, std::size_t count) {
    const int fd = static_cast<int>(handle_);
    std::size_t done = 0;
    while (handle_ >= 0 && done < count) {
        const ssize_t n = ::send(fd, data + done, count - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            short revents = 0;
            if (PollLine(fd, POLLOUT, kSendStallMs, revents) != LinePoll::Ready ||
                (revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                return false;
            }
        } else {
            return false;
        }
    }
    return handle_ >= 0;
}

int TcpSocket::Receive(std::uint8_t* buffer, std::size_t capacity) {
    if (handle_ < 0) {
        return -1;
    }
    for (;;) {
        const ssize_t n = ::recv(static_cast<int>(handle_), buffer, capacity, 0);
        if (n > 0) {
            return static_cast<int>(n);
        }
        if (n == 0) {
            return -1; // the server closed the connection
        }
        if (errno == EINTR) {
            continue;
        }
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

LineWait TcpSocket::Wait(int timeoutMs) {
    if (handle_ < 0) {
        return LineWait::Lost;
    }
    short revents = 0;
    return ConnectionWaitOf(
        PollLine(static_cast<int>(handle_), POLLIN, std::max(timeoutMs, 0), revents));
}
