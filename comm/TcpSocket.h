#pragma once
// A TCP connection to a serial server, as the socket line needs it: connecting is bounded in
// time including name resolution, and reads never block. One implementation file per
// platform (POSIX sockets, Winsock).

#include "comm/Unitcomport.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Why a network line failed. The kinds mirror those of the serial port's errors, so the tools
// can report both the same way.
enum class NetErrorKind {
    None,
    NotFound, // the name does not resolve, or nothing listens at the address
    LineLost, // the connection broke
    TimedOut, // no answer within the bound
    Refused,  // the server would not carry binary data
};

struct NetError {
    NetErrorKind Kind = NetErrorKind::None;
    int SystemCode = 0;  // errno, a getaddrinfo code or a Winsock code; 0 when none
    std::string Message; // one line for the user, naming the host and port
};

class TcpSocket {
public:
    TcpSocket();
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Resolves `host` and connects to `port` on each of its addresses in turn, all within
    // `timeoutMs`. Sets TCP_NODELAY and keepalive. Returns false with `error` filled: NotFound
    // when the name does not resolve (with the resolver's reason) or the last address refused,
    // TimedOut ("no answer from HOST:PORT") when the time ran out.
    bool Connect(const std::string& host, const std::string& port, int timeoutMs, NetError& error);
    void Close();
    bool IsOpen() const;

    // Sends all `count` bytes, waiting for room at most a few seconds without progress.
    // Returns false when the connection broke or stalled.
    bool Send(const std::uint8_t* data, std::size_t count);
    // Takes what has arrived without waiting: the count, 0 when nothing has, -1 when the
    // server closed the connection or it broke.
    int Receive(std::uint8_t* buffer, std::size_t capacity);
    // Waits up to `timeoutMs` for something to receive (data or the end of the connection).
    LineWait Wait(int timeoutMs);

private:
    std::intptr_t handle_;
};
