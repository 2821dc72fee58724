#include "comm/TelnetCodec.h"

#include <cstdio>

namespace telnet {

TelnetEvent TelnetDecoder::Feed(std::uint8_t byte) {
    TelnetEvent event;
    switch (state_) {
    case kData:
        if (byte == kIac) {
            state_ = kCommand;
        } else {
            event.What = TelnetEvent::Data;
            event.Byte = byte;
        }
        break;
    case kCommand:
        if (byte == kIac) {
            event.What = TelnetEvent::Data;
            event.Byte = kIac;
            state_ = kData;
        } else if (byte >= kWill) { // WILL, WONT, DO, DONT
            verb_ = byte;
            state_ = kOption;
        } else if (byte == kSb) {
            subCount_ = 0;
            subTruncated_ = false;
            state_ = kSub;
        } else {
            state_ = kData; // a two-byte command we have no use for
        }
        break;
    case kOption:
        event.What = TelnetEvent::Negotiation;
        event.Verb = verb_;
        event.Option = byte;
        state_ = kData;
        break;
    case kSub:
        if (byte == kIac) {
            state_ = kSubIac;
        } else if (subCount_ < sub_.size()) {
            sub_[subCount_++] = byte;
        } else {
            subTruncated_ = true;
        }
        break;
    case kSubIac:
        if (byte == kIac) {
            if (subCount_ < sub_.size()) {
                sub_[subCount_++] = kIac;
            } else {
                subTruncated_ = true;
            }
            state_ = kSub;
        } else if (byte == kSe) {
            event.What = subCount_ > 0 ? TelnetEvent::Subnegotiation : TelnetEvent::None;
            state_ = kData;
        } else {
            // A malformed subnegotiation (IAC followed by anything but IAC or SE): take the
            // byte as the command it would be outside one, so a lost SE cannot swallow the
            // rest of the stream.
            state_ = kCommand;
            return Feed(byte);
        }
        break;
    }
    return event;
}

std::size_t TelnetNegotiator::Start(std::uint8_t* out) {
    localBinary_ = kWanted;
    remoteBinary_ = kWanted;
    comPort_ = kWanted;
    const std::uint8_t requests[] = {kIac,          kWill, kOptionBinary, kIac,          kDo,
                                     kOptionBinary, kIac,  kWill,         kOptionComPort};
    for (std::size_t i = 0; i < sizeof requests; ++i) {
        out[i] = requests[i];
    }
    return sizeof requests;
}

std::size_t TelnetNegotiator::Turn(OptionState& state, bool on, std::uint8_t agree,
                                   std::uint8_t refuse, std::uint8_t option, std::uint8_t* out) {
    const OptionState before = state;
    state = on ? kYes : kNo;
    // Answer only a change the server started; an answer to our own request, or a request
    // for the state we are already in, gets none (this is what keeps negotiation finite).
    if (before != kNo && before != kYes) {
        return 0;
    }
    if (before == state) {
        return 0;
    }
    out[0] = kIac;
    out[1] = on ? agree : refuse;
    out[2] = option;
    return 3;
}

std::size_t TelnetNegotiator::Answer(std::uint8_t verb, std::uint8_t option, std::uint8_t* out) {
    const bool aboutUs = verb == kDo || verb == kDont; // else WILL / WONT: the server's side
    const bool on = verb == kDo || verb == kWill;
    OptionState* state = nullptr;
    if (aboutUs && option == kOptionBinary) {
        state = &localBinary_;
    } else if (option == kOptionComPort && aboutUs == (role_ == Role::Client)) {
        state = &comPort_;
    } else if (!aboutUs && option == kOptionBinary) {
        state = &remoteBinary_;
    }
    const std::uint8_t agree = aboutUs ? kWill : kDo;
    const std::uint8_t refuse = aboutUs ? kWont : kDont;
    if (state == nullptr) {
        // An option we do not use stays off: refuse a request to turn it on; a request to
        // turn it off is already met.
        if (!on) {
            return 0;
        }
        out[0] = kIac;
        out[1] = refuse;
        out[2] = option;
        return 3;
    }
    return Turn(*state, on, agree, refuse, option, out);
}

std::size_t EscapeData(const std::uint8_t* data, std::size_t count, std::uint8_t* out) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < count; ++i) {
        out[n++] = data[i];
        if (data[i] == kIac) {
            out[n++] = kIac;
        }
    }
    return n;
}

std::size_t ComPortSubcommand(std::uint8_t command, const std::uint8_t* value, std::size_t count,
                              std::uint8_t* out) {
    std::size_t n = 0;
    out[n++] = kIac;
    out[n++] = kSb;
    out[n++] = kOptionComPort;
    out[n++] = command;
    n += EscapeData(value, count, out + n);
    out[n++] = kIac;
    out[n++] = kSe;
    return n;
}

const char* VerbName(std::uint8_t verb) {
    switch (verb) {
    case kDo:
        return "DO";
    case kDont:
        return "DONT";
    case kWill:
        return "WILL";
    case kWont:
        return "WONT";
    default:
        return "?";
    }
}

const char* OptionName(std::uint8_t option, char (&buffer)[16]) {
    if (option == kOptionBinary) {
        return "BINARY";
    }
    if (option == kOptionComPort) {
        return "COM-PORT-OPTION";
    }
    std::snprintf(buffer, sizeof buffer, "option %u", static_cast<unsigned>(option));
    return buffer;
}

const char* ComPortCommandName(std::uint8_t command) {
    static const char* const kNames[] = {nullptr,
                                         "SET-BAUDRATE",
                                         "SET-DATASIZE",
                                         "SET-PARITY",
                                         "SET-STOPSIZE",
                                         "SET-CONTROL",
                                         "NOTIFY-LINESTATE",
                                         "NOTIFY-MODEMSTATE",
                                         "FLOWCONTROL-SUSPEND",
                                         "FLOWCONTROL-RESUME",
                                         "SET-LINESTATE-MASK",
                                         "SET-MODEMSTATE-MASK",
                                         "PURGE-DATA"};
    const std::uint8_t base =
        command >= kComPortServerOffset ? command - kComPortServerOffset : command;
    return base < sizeof kNames / sizeof kNames[0] ? kNames[base] : nullptr;
}

} // namespace telnet
