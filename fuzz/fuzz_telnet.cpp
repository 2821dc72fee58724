// Feeds arbitrary server bytes to the Telnet decoder and the negotiation, and checks what they
// may never do: keep more of a subnegotiation than their buffer, answer with anything but one
// three-byte refusal or agreement, or lose or invent data: every data byte must be the input
// byte itself, or 0xFF for an IAC IAC pair.

#include "comm/TelnetCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    telnet::TelnetDecoder decoder;
    telnet::TelnetNegotiator negotiator;
    std::uint8_t out[telnet::TelnetNegotiator::kMaxOutput];
    negotiator.Start(out);
    std::size_t answers = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const telnet::TelnetEvent e = decoder.Feed(data[i]);
        switch (e.What) {
        case telnet::TelnetEvent::Data:
            Check(e.Byte == data[i]);
            Check(e.Byte != telnet::kIac || (i > 0 && data[i - 1] == telnet::kIac));
            break;
        case telnet::TelnetEvent::Negotiation: {
            Check(e.Verb >= telnet::kWill);
            const std::size_t n = negotiator.Answer(e.Verb, e.Option, out);
            Check(n == 0 || (n == 3 && out[0] == telnet::kIac && out[1] >= telnet::kWill &&
                             out[2] == e.Option));
            answers += n / 3;
            break;
        }
        case telnet::TelnetEvent::Subnegotiation:
            Check(decoder.SubSize() < telnet::kMaxSubnegotiation);
            break;
        case telnet::TelnetEvent::None:
            break;
        }
        // At most one answer per request received: no loop can come from our side.
        Check(answers <= i / 3 + 1);
    }
    return 0;
}
