#pragma once
// The software sign's network front: listens on TCP and relays one client at a time to the
// sign's line, as an Ethernet serial server would. In rfc2217 mode it speaks Telnet with the
// COM-PORT-OPTION: agrees to binary transfer and the option, acknowledges every line setting
// (the line is a pseudo-terminal, so there is nothing to set) and doubles IAC on the way out.
// While a client is served the listening socket is closed, so a second client is refused.

#include <string>
#include <thread>

namespace sign_emulator {

enum class NetMode { Raw, Rfc2217 };

class NetListener {
public:
    NetListener() = default;
    ~NetListener();
    NetListener(const NetListener&) = delete;
    NetListener& operator=(const NetListener&) = delete;

    // Parses "tcp:PORT" or "rfc2217:PORT" (PORT 0: any free port). False when malformed.
    static bool ParseListen(const std::string& text, NetMode& mode, int& port);

    // Listens on `bindAddress`:`port` and relays to the terminal at `linePath` on a thread of
    // its own. False with `error` set when it cannot listen.
    bool Start(NetMode mode, const std::string& bindAddress, int port, const std::string& linePath,
               std::string& error);
    // The port name a client gives to reach this sign ("tcp://127.0.0.1:4001").
    const std::string& Url() const { return url_; }
    // Ends the relay and closes every socket. Also done by the destructor.
    void Stop();

private:
    bool Listen();
    void Run();
    void Serve(int client);

    NetMode mode_ = NetMode::Raw;
    std::string bindAddress_;
    int port_ = 0;
    int listener_ = -1;
    int line_ = -1;
    int wake_[2] = {-1, -1}; // a pipe: writing to it ends the relay thread
    std::string url_;
    std::thread thread_;
};

} // namespace sign_emulator
