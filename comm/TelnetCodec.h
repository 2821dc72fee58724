#pragma once
// Telnet with the COM-PORT-OPTION (RFC 854, 856, 2217), as far as a client of a serial server
// needs it to move binary frames.
//
// TelnetDecoder splits the byte stream from the server into data bytes and Telnet commands,
// one byte at a time, so sequences split across reads decode the same as whole ones.
// TelnetNegotiator keeps the state of the options we use (BINARY both ways, COM-PORT-OPTION
// on our side) and produces the answers to the server's requests; every option we do not use
// is refused once per request, and a request that changes nothing is not answered, so two
// sides can never talk each other into a loop. Nothing here does I/O or allocates: output goes
// into buffers the caller supplies.

#include <array>
#include <cstddef>
#include <cstdint>

namespace telnet {

constexpr std::uint8_t kIac = 255;
constexpr std::uint8_t kDont = 254;
constexpr std::uint8_t kDo = 253;
constexpr std::uint8_t kWont = 252;
constexpr std::uint8_t kWill = 251;
constexpr std::uint8_t kSb = 250; // subnegotiation begins
constexpr std::uint8_t kSe = 240; // subnegotiation ends

constexpr std::uint8_t kOptionBinary = 0;
constexpr std::uint8_t kOptionComPort = 44;

// COM-PORT-OPTION subcommands as the client sends them; the server answers with the same
// number plus kComPortServerOffset.
enum ComPortCommand : std::uint8_t {
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kNotifyLineState = 6,
    kNotifyModemState = 7,
    kFlowControlSuspend = 8,
    kFlowControlResume = 9,
    kSetLineStateMask = 10,
    kSetModemStateMask = 11,
    kPurgeData = 12,
};
constexpr std::uint8_t kComPortServerOffset = 100;

// Values used with the commands above.
constexpr std::uint8_t kParityNone = 1;
constexpr std::uint8_t kStopBitsOne = 1;
constexpr std::uint8_t kControlNoFlow = 1;
constexpr std::uint8_t kControlDtrOn = 8;
constexpr std::uint8_t kControlRtsOn = 11;
constexpr std::uint8_t kPurgeBoth = 3;

// The longest subnegotiation kept; longer ones are cut (and marked) rather than overflowing.
constexpr std::size_t kMaxSubnegotiation = 32;

// What one received byte amounted to.
struct TelnetEvent {
    enum Kind : std::uint8_t {
        None,          // part of a sequence not yet complete
        Data,          // `Byte` is a data byte (IAC IAC already undone)
        Negotiation,   // `Verb` (kDo, kDont, kWill, kWont) for option `Option`
        Subnegotiation // complete; read it from TelnetDecoder::Sub*
    };
    Kind What = None;
    std::uint8_t Byte = 0;
    std::uint8_t Verb = 0;
    std::uint8_t Option = 0;
};

class TelnetDecoder {
public:
    // Advances by one byte from the server. Commands other than negotiation and
    // subnegotiation (NOP, GA, ...) are consumed silently.
    TelnetEvent Feed(std::uint8_t byte);

    // The last complete subnegotiation: its option, then its parameters with IAC IAC undone.
    std::uint8_t SubOption() const { return sub_[0]; }
    const std::uint8_t* SubData() const { return sub_.data() + 1; }
    std::size_t SubSize() const { return subCount_ > 0 ? subCount_ - 1 : 0; }
    bool SubTruncated() const { return subTruncated_; }

    void Reset() { *this = TelnetDecoder(); }

private:
    enum State : std::uint8_t { kData, kCommand, kOption, kSub, kSubIac };
    State state_ = kData;
    std::uint8_t verb_ = 0;
    std::array<std::uint8_t, kMaxSubnegotiation> sub_{};
    std::size_t subCount_ = 0;
    bool subTruncated_ = false;
};

// Our side of the option negotiation. A client asks for the options (Start); a server (the
// software sign's network front) only answers, taking COM-PORT-OPTION from the client's side.
class TelnetNegotiator {
public:
    enum class Role { Client, Server };
    explicit TelnetNegotiator(Role role = Role::Client) : role_(role) {}

    // Longest output of Start or Answer.
    static constexpr std::size_t kMaxOutput = 9;

    // Writes our opening requests (WILL BINARY, DO BINARY, WILL COM-PORT-OPTION) into `out`
    // (at least kMaxOutput bytes) and returns their length.
    std::size_t Start(std::uint8_t* out);
    // Takes the server's `verb` for `option`; writes the answer, if one is due, into `out`
    // (at least kMaxOutput bytes) and returns its length (0 when nothing is to be sent).
    std::size_t Answer(std::uint8_t verb, std::uint8_t option, std::uint8_t* out);

    // Both directions binary: frames may go.
    bool BinaryAgreed() const { return localBinary_ == kYes && remoteBinary_ == kYes; }
    // COM-PORT-OPTION commands may go from the client to the server.
    bool ComPortAgreed() const { return comPort_ == kYes; }
    // Every request of ours has been answered, one way or the other.
    bool Settled() const {
        return localBinary_ != kWanted && remoteBinary_ != kWanted && comPort_ != kWanted;
    }

private:
    enum OptionState : std::uint8_t { kNo, kWanted, kYes };
    // Moves one side of one option to what the peer asked for (`on`); returns the answer
    // (`agree` or `refuse` for `option`) written to `out` when one is due, else 0.
    static std::size_t Turn(OptionState& state, bool on, std::uint8_t agree, std::uint8_t refuse,
                            std::uint8_t option, std::uint8_t* out);
    OptionState localBinary_ = kNo;
    OptionState remoteBinary_ = kNo;
    Role role_;
    OptionState comPort_ = kNo; // the client's side of COM-PORT-OPTION
};

// Copies `count` data bytes into `out` with every 0xFF doubled; `out` holds at least
// 2 * `count` bytes. Returns the number written.
std::size_t EscapeData(const std::uint8_t* data, std::size_t count, std::uint8_t* out);

// Writes IAC SB COM-PORT-OPTION `command` `value...` IAC SE, with IAC in the value doubled,
// into `out` (at least 6 + 2 * `count` bytes). Returns the length.
std::size_t ComPortSubcommand(std::uint8_t command, const std::uint8_t* value, std::size_t count,
                              std::uint8_t* out);

// Readable names for tracing: "DO", "WILL", ...; "BINARY", "COM-PORT-OPTION", or "option N"
// written into `buffer`.
const char* VerbName(std::uint8_t verb);
const char* OptionName(std::uint8_t option, char (&buffer)[16]);
// "SET-BAUDRATE", ... for a client command or a server answer (offset 100); nullptr when
// unknown.
const char* ComPortCommandName(std::uint8_t command);

} // namespace telnet
