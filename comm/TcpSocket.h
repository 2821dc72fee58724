#pragma once
// A TCP connection to a serial server, as the socket line needs it: connecting is bounded in
// time including name resolution, and reads never block. One implementation file per
// platform (POSIX sockets, Winsock).

#include "comm/LineError.h"
#include "comm/LineStop.h"
#include "comm/Unitcomport.h"

#include <cstddef>
#include <cstdint>
#include <string>

// "host:port" for texts, with an IPv6 address in brackets ("[::1]:4001").
inline std::string HostPortText(const std::string& host, const std::string& port) {
    return host.find(':') != std::string::npos ? "[" + host + "]:" + port : host + ":" + port;
}

// A wait for input on a connection, told by the poll that waited: readiness includes a closed or
// broken connection, which Receive then reports.
constexpr LineWait ConnectionWaitOf(LinePoll poll) {
    switch (poll) {
    case LinePoll::Ready:
        return LineWait::Readable;
    case LinePoll::TimedOut:
        return LineWait::TimedOut;
    case LinePoll::Stopped:
        return LineWait::Stopped;
    case LinePoll::Failed:
        break;
    }
    return LineWait::Lost;
}

class TcpSocket {
public:
    TcpSocket();
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Resolves `host` and connects to `port` on each of its addresses in turn, all within
    // `timeoutMs`. Sets TCP_NODELAY and keepalive. Returns false with `error` filled, its
    // SystemMessage a sentence naming the host: NotFound when the name does not resolve (with
    // the resolver's reason) or the last address refused ("connection refused by HOST:PORT"),
    // TimedOut ("no answer from HOST:PORT") when the time ran out, Interrupted ("stopped by a
    // signal") when a stop request ended the wait (LineStop.h), Other for anything else.
    // SystemCode stays 0: the sentence is the reason (see DescribeLineError); Peer is the
    // HostPortText of `host` and `port`.
    [[nodiscard]] bool Connect(const std::string& host, const std::string& port, int timeoutMs,
                               LineError& error);
    void Close();
    bool IsOpen() const;

    // Sends all `count` bytes, waiting for room at most a few seconds without progress.
    // Returns false when the connection broke or stalled, or a stop request ended the wait.
    [[nodiscard]] bool Send(const std::uint8_t* data, std::size_t count);
    // Takes what has arrived without waiting: the count, 0 when nothing has, -1 when the
    // server closed the connection or it broke.
    [[nodiscard]] int Receive(std::uint8_t* buffer, std::size_t capacity);
    // Waits up to `timeoutMs` for something to receive (data or the end of the connection);
    // Stopped when a stop request ends the wait.
    [[nodiscard]] LineWait Wait(int timeoutMs);

private:
    std::intptr_t handle_;
};
