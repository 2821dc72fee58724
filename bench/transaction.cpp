// Time of one message transaction against the software sign pacing the line at 9600 baud,
// compared with the time the bytes of both frames need on such a line. The difference is what
// the protocol itself costs (waking up for the reply, handling the bytes).
//
// Runs the emulator given by LEDSIGN_EMULATOR; prints the median of 20 transactions per
// message kind and its ratio to the line time, over the pseudo-terminal and over tcp:// to the
// same software sign (which paces the line at 9600 baud in both cases).

#ifdef LEDSIGN_EMULATOR

#include "comm/SignCodec.h"
#include "comm/Unitcomprotocol.h"
#include "testsupport/Subprocess.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRuns = 20;

struct Kind {
    const char* Name;
    std::vector<std::uint8_t> Message;
};

// A scrolling message of 60 text cells in font 4, as an operator would write it.
std::vector<std::uint8_t> TextMessage() {
    std::vector<std::uint8_t> m(1024, 0);
    const char* text = "Zapraszamy do sklepu! Promocja trwa do konca miesiaca. 12:00";
    for (std::size_t i = 0; text[i] != '\0'; ++i) {
        m[2 * i] = 0x04;
        m[2 * i + 1] = static_cast<std::uint8_t>(text[i]);
    }
    return m;
}

} // namespace

int main() {
    tool_tests::Subprocess sign({LEDSIGN_EMULATOR, "--quiet", "--line-rate", "--listen", "tcp:0"});
    const std::string pty = sign.ReadLine();
    const std::string tcp = sign.ReadLine();
    if (pty.empty() || tcp.empty()) {
        std::fprintf(stderr, "transaction: the emulator did not start\n");
        return 1;
    }
    const Kind kinds[] = {
        {"text message", TextMessage()},
        {"all bytes escaped", std::vector<std::uint8_t>(1024, 0xFF)},
    };
    std::uint8_t reply[signcodec::MaxFrameSize(0)];
    const std::size_t replyBytes = signcodec::EncodeReply(380, 0x80, {}, reply);

    std::printf("%-6s %-18s %9s %9s %9s %9s %7s\n", "link", "message", "request", "reply",
                "line ms", "median ms", "ratio");
    const std::pair<const char*, std::string> links[] = {{"pty", pty}, {"tcp", tcp}};
    for (const auto& [linkName, port] : links) {
        for (const Kind& kind : kinds) {
            ComProtocol protocol;
            if (protocol.Open(port.c_str()) != 0) {
                std::fprintf(stderr, "transaction: cannot open %s\n", port.c_str());
                return 1;
            }
            std::vector<double> ms;
            for (int i = 0; i < kRuns; ++i) {
                const auto start = std::chrono::steady_clock::now();
                const int result = protocol.SendMessageSlot(380, 9, kind.Message.data());
                const auto end = std::chrono::steady_clock::now();
                if (result != kComOk) {
                    std::fprintf(stderr, "transaction: result %d\n", result);
                    return 1;
                }
                ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
            }
            protocol.Close();
            std::sort(ms.begin(), ms.end());
            const double median = (ms[kRuns / 2 - 1] + ms[kRuns / 2]) / 2;
            const std::size_t requestBytes = protocol.TransmitLength();
            const double lineMs =
                static_cast<double>(requestBytes + replyBytes) * 10.0 / 9600.0 * 1000;
            std::printf("%-6s %-18s %9zu %9zu %9.1f %9.1f %7.3f\n", linkName, kind.Name,
                        requestBytes, replyBytes, lineMs, median, median / lineMs);
        }
    }
    return 0;
}

#else

#include <cstdio>

int main() {
    std::puts("transaction: no software sign on this platform");
    return 0;
}

#endif
