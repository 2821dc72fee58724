#pragma once
// The sign's line reached through an Ethernet serial server.
//
// Port names:
//   tcp://HOST:PORT      raw TCP: the bytes go exactly as on the serial line;
//   rfc2217://HOST:PORT  Telnet with the COM-PORT-OPTION: the server is asked for binary
//                        transfer both ways and the sign's line settings (9600 8N1, no flow
//                        control, DTR and RTS raised), and its buffers are purged.
// HOST is a name, an IPv4 address or an IPv6 address in brackets (tcp://[::1]:4001).
//
// Failures are reported as LineError kinds: NotFound (bad name, name that does not resolve,
// connection refused), TimedOut (no answer within 3 s), LineLost (connection broken),
// Interrupted (a stop request ended a wait: LineStop.h), Other.
// Opening connects within 3 s, name resolution included, and (for rfc2217) completes the
// negotiation within the same 3 s: no frame goes before binary transfer is agreed both ways,
// since Telnet's end-of-line handling would otherwise rewrite 0x0D bytes. The server's answers
// to the line settings are not waited for (some servers never acknowledge SET-CONTROL).
// A connection that broke (or that the server closed between transactions) is made again,
// with the same negotiation, by the next Write, so a port held open for long (the
// synchronisation mode) survives a restart of the server.
// Buffers are part of the object; nothing is allocated per byte.

#include "comm/PrintfLike.h"
#include "comm/TcpSocket.h"
#include "comm/TelnetCodec.h"
#include "comm/Unitcomport.h"

#include <array>
#include <cstdint>
#include <string>

enum class NetScheme { Raw, Rfc2217 };

struct NetPortName {
    NetScheme Scheme = NetScheme::Raw;
    std::string Host; // without the brackets of an IPv6 literal
    std::string Port; // decimal 1..65535
};

// True when `name` has the form of a network port name (its scheme is tcp:// or rfc2217://,
// in any case), whether or not the rest is valid.
[[nodiscard]] bool IsNetworkPortName(const char* name);
// Splits a network port name. False when it is not one or its host or port is missing or bad.
[[nodiscard]] bool ParseNetworkPortName(const char* name, NetPortName& out);

class SocketLine final : public ComLine {
public:
    static constexpr int kConnectTimeoutMs = 3000;

    SocketLine() = default;
    SocketLine(const SocketLine&) = delete;
    SocketLine& operator=(const SocketLine&) = delete;

    // Connects (and negotiates) as described above. 1 on failure, with LastError telling why.
    [[nodiscard]] int Open(const char* name) override;
    int Close() override;
    // Sends the bytes (IAC doubled under rfc2217), reconnecting first when the connection had
    // broken. Returns `count`, or 0 when the bytes could not go.
    [[nodiscard]] int Write(const std::uint8_t* buffer, std::uint16_t count) override;
    // Data bytes that have arrived (Telnet commands taken out and answered); -1 once the
    // connection is lost.
    [[nodiscard]] int Read(std::uint8_t* buffer, std::uint16_t capacity) override;
    [[nodiscard]] LineWait WaitReadable(int timeoutMs) override;
    // Reads and drops what has arrived, without waiting (Telnet commands in it are still
    // answered). A connection found broken is made again by the next Write.
    void DiscardInput() override { DropWhatArrivedUnasked(); }
    void SetNoteHook(const LineNoteHook& hook) override { note_ = hook; }
    // The reason of the last failure; its SystemMessage is a sentence naming the host, its Peer
    // the server's "host:port".
    LineError LastError() const override { return error_; }

    bool IsOpen() const { return open_; }

private:
    [[nodiscard]] bool Connect();
    [[nodiscard]] bool Negotiate(int timeoutMs);
    void SendLineSettings();
    [[nodiscard]] bool SendRaw(const std::uint8_t* bytes, std::size_t count);
    // Before a request: bytes that came since the last transaction answer nothing we will
    // ask, and a server that closed the connection meanwhile is found here, so the request
    // goes over a new connection rather than into the dead one.
    void DropWhatArrivedUnasked();
    // Decodes `count` received bytes in receiveBuffer_; data goes to `out`.
    int Decode(std::size_t count, std::uint8_t* out);
    void HandleNegotiation(std::uint8_t verb, std::uint8_t option);
    void NoteSubnegotiation();
    // Sends the printf-formatted note to the hook, when there is one; cut at 255 bytes.
    void Note(const char* format, ...) LEDSIGN_PRINTF_LIKE(2, 3);
    void Fail(LineErrorKind kind, const std::string& message);
    // "HOST:PORT", an IPv6 host in brackets, for messages.
    std::string Where() const;

    NetPortName name_;
    bool open_ = false;
    bool lost_ = false;
    LineError error_;
    TcpSocket socket_;
    telnet::TelnetDecoder decoder_;
    telnet::TelnetNegotiator negotiator_;
    LineNoteHook note_;
    static constexpr std::size_t kChunk = 1024;
    std::array<std::uint8_t, kChunk> receiveBuffer_{};
    std::array<std::uint8_t, 2 * kChunk> sendBuffer_{};
};
