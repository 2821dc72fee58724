// TcpSocket on Windows: Winsock with non-blocking sockets and WSAPoll; names resolve on a
// helper thread because getaddrinfo has no time limit of its own.

#include "comm/TcpSocket.h"

// Winsock comes before anything that may pull in windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "comm/LineStop.h"
#include "comm/TcpResolve.h"
#include "preview/platform/WideNames.h"

#include <algorithm>
#include <chrono>
#include <memory>

namespace {

using tcpresolve::Clock;
using tcpresolve::MsLeft;

constexpr int kSendStallMs = 3000;

SOCKET Sock(std::intptr_t handle) {
    return static_cast<SOCKET>(handle);
}

std::string SystemMessage(int code) {
    std::string message = WindowsErrorText(static_cast<unsigned long>(code));
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(code) : message;
}

// WSAPoll cannot wait on an event as well, so a wait polls in slices this long and looks at the
// stop request between them.
constexpr int kStopCheckMs = 20;

// WSAPoll on `s` for `events` up to `timeoutMs`, ended early by a stop request that ends the
// lines' waits; `revents` holds what WSAPoll found (Ready).
LinePoll PollSocket(SOCKET s, short events, int timeoutMs, short& revents) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        if (LineWaitsStopped()) {
            return LinePoll::Stopped;
        }
        const int left = MsLeft(deadline);
        WSAPOLLFD p{s, events, 0};
        const int ready = WSAPoll(&p, 1, std::min(left, kStopCheckMs));
        if (ready == SOCKET_ERROR) {
            return LinePoll::Failed;
        }
        if (ready > 0) {
            revents = p.revents;
            return LinePoll::Ready;
        }
        if (left <= kStopCheckMs) {
            return LinePoll::TimedOut;
        }
    }
}

LineError Stopped(const std::string& where) {
    return LineFailure(LineErrorKind::Interrupted, "stopped by a signal", where);
}

// Connects the non-blocking socket by the deadline: 0, a Winsock error, WSAETIMEDOUT, or
// WSAECANCELLED when a stop request ended the wait.
int ConnectOne(SOCKET s, const addrinfo& address, Clock::time_point deadline) {
    if (::connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0) {
        return 0;
    }
    const int code = WSAGetLastError();
    if (code != WSAEWOULDBLOCK && code != WSAEINPROGRESS) {
        return code;
    }
    short revents = 0;
    switch (PollSocket(s, POLLOUT, MsLeft(deadline), revents)) {
    case LinePoll::Ready:
        break;
    case LinePoll::TimedOut:
        return WSAETIMEDOUT;
    case LinePoll::Stopped:
        return WSAECANCELLED;
    case LinePoll::Failed:
        return WSAGetLastError();
    }
    int error = 0;
    int size = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) {
        return WSAGetLastError();
    }
    return error;
}

} // namespace

TcpSocket::TcpSocket() : handle_(static_cast<std::intptr_t>(INVALID_SOCKET)) {
    // Winsock counts its users; every socket object holds one use.
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

TcpSocket::~TcpSocket() {
    Close();
    WSACleanup();
}

bool TcpSocket::IsOpen() const {
    return Sock(handle_) != INVALID_SOCKET;
}

void TcpSocket::Close() {
    if (IsOpen()) {
        closesocket(Sock(handle_));
        handle_ = static_cast<std::intptr_t>(INVALID_SOCKET);
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
            hints.ai_flags = AI_NUMERICSERV;
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
        error =
            LineFailure(LineErrorKind::NotFound,
                        "cannot resolve " + host + ": " + SystemMessage(resolution->Code), where);
        return false;
    }
    int lastCode = WSAETIMEDOUT;
    for (const addrinfo* a = resolution->List; a != nullptr; a = a->ai_next) {
        const SOCKET s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET) {
            lastCode = WSAGetLastError();
            continue;
        }
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
        lastCode = ConnectOne(s, *a, deadline);
        if (lastCode == 0) {
            const BOOL on = TRUE;
            setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
            setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
            handle_ = static_cast<std::intptr_t>(s);
            return true;
        }
        closesocket(s);
        if (lastCode == WSAETIMEDOUT || lastCode == WSAECANCELLED) {
            break; // the time for all addresses is spent, or the command is stopping
        }
    }
    if (lastCode == WSAECANCELLED) {
        error = Stopped(where);
    } else if (lastCode == WSAETIMEDOUT) {
        error = LineFailure(LineErrorKind::TimedOut, "no answer from " + where, where);
    } else if (lastCode == WSAECONNREFUSED) {
        error = LineFailure(LineErrorKind::NotFound, "connection refused by " + where, where);
    } else {
        error = LineFailure(LineErrorKind::Other,
                            "cannot connect to " + where + ": " + SystemMessage(lastCode), where);
    }
    return false;
}

bool TcpSocket::Send(const std::uint8_t* data, std::size_t count) {
    std::size_t done = 0;
    while (IsOpen() && done < count) {
        const int piece = static_cast<int>(std::min<std::size_t>(count - done, 65536));
        const int n = ::send(Sock(handle_), reinterpret_cast<const char*>(data + done), piece, 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
            short revents = 0;
            if (PollSocket(Sock(handle_), POLLOUT, kSendStallMs, revents) != LinePoll::Ready ||
                (revents & (POLLERR | POLLHUP)) != 0) {
                return false;
            }
        } else {
            return false;
        }
    }
    return IsOpen();
}

int TcpSocket::Receive(std::uint8_t* buffer, std::size_t capacity) {
    if (!IsOpen()) {
        return -1;
    }
    const int n = ::recv(Sock(handle_), reinterpret_cast<char*>(buffer),
                         static_cast<int>(std::min<std::size_t>(capacity, 65536)), 0);
    if (n > 0) {
        return n;
    }
    if (n == 0) {
        return -1; // the server closed the connection
    }
    return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

LineWait TcpSocket::Wait(int timeoutMs) {
    if (!IsOpen()) {
        return LineWait::Lost;
    }
    short revents = 0;
    return ConnectionWaitOf(PollSocket(Sock(handle_), POLLRDNORM, timeoutMs, revents));
}
