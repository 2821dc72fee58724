#include "tools/sign-emulator/NetListener.h"

#include "comm/TelnetCodec.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace sign_emulator {

namespace {

// Writes all bytes to a non-blocking descriptor (socket or terminal); false when the peer is
// gone. SIGPIPE is ignored by the program, so a closed socket fails with EPIPE.
bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

NetListener::~NetListener() {
    Stop();
}

bool NetListener::ParseListen(const std::string& text, NetMode& mode, int& port) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    const std::string scheme = text.substr(0, colon);
    const std::string number = text.substr(colon + 1);
    if (scheme == "tcp") {
        mode = NetMode::Raw;
    } else if (scheme == "rfc2217") {
        mode = NetMode::Rfc2217;
    } else {
        return false;
    }
    if (number.empty() || number.size() > 5 ||
        number.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    port = std::stoi(number);
    return port <= 65535;
}

bool NetListener::Listen() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* list = nullptr;
    if (getaddrinfo(bindAddress_.c_str(), std::to_string(port_).c_str(), &hints, &list) != 0 ||
        list == nullptr) {
        errno = EINVAL;
        return false;
    }
    const int fd = ::socket(list->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    bool ok = fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
              ::bind(fd, list->ai_addr, list->ai_addrlen) == 0 && ::listen(fd, 1) == 0;
    freeaddrinfo(list);
    if (!ok) {
        const int saved = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        errno = saved;
        return false;
    }
    if (port_ == 0) {
        sockaddr_storage bound{};
        socklen_t size = sizeof bound;
        getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size);
        port_ =
            ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                              : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    }
    listener_ = fd;
    return true;
}

bool NetListener::Start(NetMode mode, const std::string& bindAddress, int port,
                        const std::string& linePath, std::string& error) {
    mode_ = mode;
    bindAddress_ = bindAddress;
    port_ = port;
    if (!Listen()) {
        error = "cannot listen on " + bindAddress + " port " + std::to_string(port) + ": " +
                std::strerror(errno);
        return false;
    }
    line_ = ::open(linePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (line_ < 0 || pipe(wake_) != 0) {
        error = "cannot open " + linePath + ": " + std::strerror(errno);
        return false;
    }
    const std::string host =
        bindAddress.find(':') != std::string::npos ? "[" + bindAddress + "]" : bindAddress;
    url_ = std::string(mode == NetMode::Raw ? "tcp://" : "rfc2217://") + host + ":" +
           std::to_string(port_);
    thread_ = std::thread([this] { Run(); });
    return true;
}

void NetListener::Stop() {
    if (thread_.joinable()) {
        const char stop = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_[1], &stop, 1);
        thread_.join();
    }
    for (int* fd : {&listener_, &line_, &wake_[0], &wake_[1]}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

void NetListener::Run() {
    for (;;) {
        if (listener_ < 0 && !Listen()) {
            return; // the port was taken while a client was served
        }
        pollfd p[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(p, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (p[1].revents != 0) {
            return;
        }
        if ((p[0].revents & POLLIN) == 0) {
            continue;
        }
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        // Refuse further clients while this one is served.
        ::close(listener_);
        listener_ = -1;
        const int on = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        tcflush(line_, TCIOFLUSH);
        Serve(client);
        ::close(client);
    }
}

void NetListener::Serve(int client) {
    using namespace telnet;
    TelnetDecoder decoder;
    TelnetNegotiator negotiator(TelnetNegotiator::Role::Server);
    std::uint8_t in[1024];
    std::uint8_t out[2 * sizeof in + 64];
    for (;;) {
        pollfd p[3] = {{client, POLLIN, 0}, {line_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(p, 3, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (p[2].revents != 0) {
            return;
        }
        if ((p[1].revents & POLLIN) != 0) {
            const ssize_t n = ::read(line_, in, sizeof in);
            if (n > 0) {
                const std::size_t size = mode_ == NetMode::Raw
                                             ? static_cast<std::size_t>(n)
                                             : EscapeData(in, static_cast<std::size_t>(n), out);
                if (!WriteAll(client, mode_ == NetMode::Raw ? in : out, size)) {
                    return;
                }
            }
        }
        if ((p[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        const ssize_t n = ::recv(client, in, sizeof in, 0);
        if (n <= 0) {
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            return; // the client left
        }
        if (mode_ == NetMode::Raw) {
            if (!WriteAll(line_, in, static_cast<std::size_t>(n))) {
                return;
            }
            continue;
        }
        std::size_t data = 0;
        std::size_t answers = sizeof in; // answers go after the data area of `out`
        for (ssize_t i = 0; i < n; ++i) {
            const TelnetEvent e = decoder.Feed(in[i]);
            if (e.What == TelnetEvent::Data) {
                out[data++] = e.Byte;
            } else if (e.What == TelnetEvent::Negotiation) {
                answers += negotiator.Answer(e.Verb, e.Option, out + answers);
            } else if (e.What == TelnetEvent::Subnegotiation &&
                       decoder.SubOption() == kOptionComPort && decoder.SubSize() > 0) {
                // Acknowledge with the same value: the pseudo-terminal takes any setting.
                const std::uint8_t* sub = decoder.SubData();
                answers +=
                    ComPortSubcommand(static_cast<std::uint8_t>(sub[0] + kComPortServerOffset),
                                      sub + 1, decoder.SubSize() - 1, out + answers);
            }
            if (answers + 2 * kMaxSubnegotiation + 8 > sizeof out) {
                if (!WriteAll(client, out + sizeof in, answers - sizeof in)) {
                    return;
                }
                answers = sizeof in;
            }
        }
        if (!WriteAll(line_, out, data) ||
            !WriteAll(client, out + sizeof in, answers - sizeof in)) {
            return;
        }
    }
}

} // namespace sign_emulator
