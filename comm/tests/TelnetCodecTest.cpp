// The Telnet decoder, negotiation and escaping.

#include "comm/TelnetCodec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace telnet;
using Bytes = std::vector<std::uint8_t>;

// Decodes a stream into a readable transcript: data as hex, "DO 0", "SB 44: 65 FF", ...
std::string Transcript(const Bytes& stream) {
    TelnetDecoder decoder;
    std::string out;
    char text[16];
    for (std::uint8_t b : stream) {
        const TelnetEvent e = decoder.Feed(b);
        if (e.What == TelnetEvent::Data) {
            std::snprintf(text, sizeof text, "%02X ", e.Byte);
            out += text;
        } else if (e.What == TelnetEvent::Negotiation) {
            out += std::string(VerbName(e.Verb)) + " " + std::to_string(e.Option) + " ";
        } else if (e.What == TelnetEvent::Subnegotiation) {
            out += "SB " + std::to_string(decoder.SubOption()) + ":";
            for (std::size_t i = 0; i < decoder.SubSize(); ++i) {
                std::snprintf(text, sizeof text, " %02X", decoder.SubData()[i]);
                out += text;
            }
            out += decoder.SubTruncated() ? " (cut) " : " ";
        }
    }
    return out;
}

TEST(TelnetDecoder, SeparatesDataFromCommands) {
    const struct Case {
        Bytes Stream;
        std::string Expected;
    } cases[] = {
        {{0x41, kIac, kIac, 0x42}, "41 FF 42 "},
        {{kIac, kDo, 0, kIac, kWill, 44, kIac, kWont, 3}, "DO 0 WILL 44 WONT 3 "},
        {{kIac, 241, 0x10}, "10 "}, // NOP consumed
        {{kIac, kSb, 44, 107, 0x33, kIac, kSe, 0x7C}, "SB 44: 6B 33 7C "},
        {{kIac, kSb, 44, 101, kIac, kIac, 0, 0, kIac, kSe}, "SB 44: 65 FF 00 00 "},
        // A notification in the middle of a reply leaves the reply's bytes in order.
        {{kIac, kIac, 0x01, kIac, kSb, 44, 107, 0x30, kIac, kSe, 0x7C}, "FF 01 SB 44: 6B 30 7C "},
        // A subnegotiation that loses its SE does not swallow what follows.
        {{kIac, kSb, 44, 7, kIac, kDo, 0, 0x55}, "DO 0 55 "},
        {{kIac, kSb, kIac, kSe, 0x01}, "01 "}, // empty: nothing to report
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Transcript(c.Stream), c.Expected);
    }
}

TEST(TelnetDecoder, OverlongSubnegotiationIsCutNotOverflowed) {
    Bytes stream = {kIac, kSb, 44};
    stream.insert(stream.end(), 3 * kMaxSubnegotiation, 0x11);
    stream.insert(stream.end(), {kIac, kSe, 0x22});
    const std::string t = Transcript(stream);
    EXPECT_NE(t.find("(cut) 22 "), std::string::npos) << t;
}

TEST(TelnetEscape, EveryByteValueSurvivesTheRoundTrip) {
    Bytes data;
    for (int v = 0; v < 256; ++v) {
        data.push_back(static_cast<std::uint8_t>(v));
        data.push_back(0xFF);
    }
    Bytes line(2 * data.size());
    line.resize(EscapeData(data.data(), data.size(), line.data()));
    EXPECT_EQ(line.size(), data.size() + 257); // every 0xFF doubled
    TelnetDecoder decoder;
    Bytes back;
    for (std::uint8_t b : line) {
        const TelnetEvent e = decoder.Feed(b);
        ASSERT_NE(e.What, TelnetEvent::Negotiation);
        if (e.What == TelnetEvent::Data) {
            back.push_back(e.Byte);
        }
    }
    EXPECT_EQ(back, data);

    const std::uint8_t value[] = {0x00, 0xFF};
    Bytes sub(16);
    sub.resize(ComPortSubcommand(kSetBaudRate, value, 2, sub.data()));
    EXPECT_EQ(Transcript(sub), "SB 44: 01 00 FF ");
}

// Answers written by the negotiator for a sequence of received verbs, as "WILL 0" words.
std::string Answers(TelnetNegotiator& n, const std::vector<std::pair<std::uint8_t, int>>& in) {
    std::string out;
    for (const auto& [verb, option] : in) {
        std::uint8_t buffer[TelnetNegotiator::kMaxOutput];
        const std::size_t size = n.Answer(verb, static_cast<std::uint8_t>(option), buffer);
        if (size == 3) {
            out += std::string(VerbName(buffer[1])) + " " + std::to_string(buffer[2]) + " ";
        } else {
            EXPECT_EQ(size, 0u);
        }
    }
    return out;
}

TEST(TelnetNegotiator, AgreesToWhatItUsesAndRefusesTheRestOnce) {
    const struct Case {
        std::vector<std::pair<std::uint8_t, int>> Received;
        std::string Answers;
        bool Binary;
        bool ComPort;
    } cases[] = {
        // The server agrees: nothing to answer, everything in place.
        {{{kDo, 0}, {kWill, 0}, {kDo, 44}}, "", true, true},
        // Options we do not use are refused; their refusal is not answered.
        {{{kWill, 1}, {kWill, 3}, {kDo, 24}, {kDont, 24}, {kWont, 1}},
         "DONT 1 DONT 3 WONT 24 ",
         false,
         false},
        // The server refuses COM-PORT-OPTION: binary still goes.
        {{{kDo, 0}, {kWill, 0}, {kDont, 44}}, "", true, false},
        // A repeated request changes nothing and is not answered.
        {{{kDo, 0}, {kWill, 0}, {kDo, 0}, {kWill, 0}}, "", true, false},
        // Binary switched off later is acknowledged once, and frames must stop.
        {{{kDo, 0}, {kWill, 0}, {kWont, 0}, {kWont, 0}}, "DONT 0 ", false, false},
        // The client does not take COM-PORT-OPTION from the server's side.
        {{{kWill, 44}}, "DONT 44 ", false, false},
    };
    for (const Case& c : cases) {
        TelnetNegotiator n;
        std::uint8_t start[TelnetNegotiator::kMaxOutput];
        ASSERT_EQ(n.Start(start), TelnetNegotiator::kMaxOutput);
        EXPECT_EQ(Answers(n, c.Received), c.Answers);
        EXPECT_EQ(n.BinaryAgreed(), c.Binary);
        EXPECT_EQ(n.ComPortAgreed(), c.ComPort);
    }
}

TEST(TelnetNegotiator, ClientAndServerSettleWithoutLooping) {
    TelnetNegotiator client;
    TelnetNegotiator server(TelnetNegotiator::Role::Server);
    std::uint8_t buffer[TelnetNegotiator::kMaxOutput];
    Bytes toServer(buffer, buffer + client.Start(buffer));
    Bytes toClient;
    int rounds = 0;
    while (!toServer.empty() || !toClient.empty()) {
        ASSERT_LT(++rounds, 5) << "negotiation does not end";
        Bytes next;
        for (std::size_t i = 0; i + 2 < toServer.size(); i += 3) {
            const std::size_t n = server.Answer(toServer[i + 1], toServer[i + 2], buffer);
            next.insert(next.end(), buffer, buffer + n);
        }
        toServer.clear();
        for (std::size_t i = 0; i + 2 < toClient.size(); i += 3) {
            const std::size_t n = client.Answer(toClient[i + 1], toClient[i + 2], buffer);
            toServer.insert(toServer.end(), buffer, buffer + n);
        }
        toClient = next;
    }
    EXPECT_TRUE(client.Settled());
    EXPECT_TRUE(client.BinaryAgreed());
    EXPECT_TRUE(client.ComPortAgreed());
    EXPECT_TRUE(server.BinaryAgreed());
    EXPECT_TRUE(server.ComPortAgreed());
}

} // namespace
