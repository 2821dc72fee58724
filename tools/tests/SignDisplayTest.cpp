// What ledsign-emulator shows: the strip drawn on its output when stdout is not a terminal.
//
// SignDisplayRealTime counts redraws over real time: the software sign scrolls on its own real
// clock, a process of its own, so no injected clock can stand in. It runs alone (label
// "realtime"), and the range of redraws it accepts leaves room for a loaded machine.

#ifdef LEDSIGN_EMULATOR

#include "comm/Unitcomprotocol.h"
#include "preview/Fonts.h"
#include "testsupport/ScratchFiles.h"
#include "testsupport/Subprocess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// A message of (attribute, code) cells.
Bytes Cells(const std::vector<std::pair<std::uint8_t, std::uint8_t>>& cells, std::uint8_t type) {
    Bytes m(1024, 0);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        m[2 * i] = cells[i].first;
        m[2 * i + 1] = cells[i].second;
    }
    m[1023] = type;
    return m;
}

// The emulator, drawing; its blocks are read from its output.
class DrawingSign {
public:
    DrawingSign() : process_({LEDSIGN_EMULATOR}) { port_ = process_.ReadLine(); }
    const std::string& Port() const { return port_; }

    // Reads blocks until one whose header is `header` arrives; returns its 8 rows, or nothing.
    std::vector<std::string> WaitForBlock(const std::string& header) {
        for (;;) {
            const std::string line = process_.ReadLine(3000);
            if (line.empty()) {
                return {};
            }
            if (line != header) {
                continue;
            }
            std::vector<std::string> rows;
            rows.reserve(8);
            for (int r = 0; r < 8; ++r) {
                rows.push_back(process_.ReadLine(1000));
            }
            return rows;
        }
    }

private:
    tool_tests::Subprocess process_;
    std::string port_;
};

// Sends one request through the real protocol; returns the transaction result.
int Transact(const std::string& port, std::uint8_t command, const Bytes& payload) {
    ComProtocol protocol;
    if (protocol.Open(port.c_str()) != 0) {
        return -1;
    }
    const int result = protocol.Transact(kSignAddress, command, payload.data(),
                                         static_cast<std::uint32_t>(payload.size()));
    protocol.Close();
    return result;
}

} // namespace

TEST(SignDisplay, StaticGlyphStandsAtTheLeftEdge) {
    FontSet fonts;
    (void)LoadFonts(fonts); // the emulator takes its fonts the same way, whatever the report says
    FontInfoTable table;
    InitFontTable(table, fonts);
    const FontInfo& font = FontEntry(table, 4);
    const std::uint8_t* glyph = GlyphRows(font, 'A');
    ASSERT_NE(glyph, nullptr);

    DrawingSign sign;
    ASSERT_EQ(Transact(sign.Port(), 0x15, Cells({{0x04, 'A'}}, 1)), kComOk);
    const std::vector<std::string> rows = sign.WaitForBlock("slot 9 (static)");
    ASSERT_EQ(rows.size(), 8u);
    for (int r = 0; r < 8; ++r) {
        std::string expected(64, '.');
        for (int c = 0; c < 8; ++c) {
            if (r < font.Height && (glyph[r] & (0x80 >> c)) != 0) {
                expected[static_cast<std::size_t>(c)] = '#';
            }
        }
        EXPECT_EQ(rows[static_cast<std::size_t>(r)], expected) << "row " << r;
    }
}

TEST(SignDisplay, TimeFieldFollowsTheSignsOwnClockAndShownSlotChanges) {
    DrawingSign sign;
    // Slot 3 holds the time as plain characters, slot 9 a live time field.
    const Bytes plain = Cells({{0x04, '1'}, {0x04, '4'}, {0x04, ':'}, {0x04, '0'}, {0x04, '5'}}, 1);
    const Bytes field = Cells({{0x14, 0xFF}}, 1);
    ASSERT_EQ(Transact(sign.Port(), 0x03, plain), kComOk);
    ASSERT_EQ(Transact(sign.Port(), 0x18, {}), kComOk); // show slot 3
    const std::vector<std::string> expected = sign.WaitForBlock("slot 3 (static)");
    ASSERT_EQ(expected.size(), 8u);
    EXPECT_NE(expected[1].find('#'), std::string::npos);

    // 2009-06-29 14:05, far from the host's time.
    ASSERT_EQ(Transact(sign.Port(), 0x11, {0x09, 0x06, 0x1D, 0x0E, 0x05, 0x00}), kComOk);
    ASSERT_EQ(Transact(sign.Port(), 0x15, field), kComOk);
    EXPECT_EQ(sign.WaitForBlock("slot 9 (static)"), expected);
}

TEST(SignDisplayRealTime, OnATerminalTheStripScrollsInPlace) {
    // The emulator's stdout is a terminal of our own.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    const pid_t pid = tool_tests::detail::Spawn({LEDSIGN_EMULATOR}, slave, -1);
    close(slave);
    std::string output;
    auto readFor = [&](int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{master, POLLIN, 0};
            char chunk[8192];
            if (poll(&p, 1, 20) > 0) {
                const ssize_t n = read(master, chunk, sizeof chunk);
                if (n > 0) {
                    output.append(chunk, static_cast<std::size_t>(n));
                }
            }
        }
    };
    readFor(300);
    const std::string port = output.substr(0, output.find_first_of("\r\n"));
    ASSERT_EQ(Transact(port, 0x15, Cells({{0x04, 'W'}, {0x04, 'W'}}, 0)), kComOk);
    output.clear();
    readFor(600);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    close(master);

    // 600 ms of scrolling at one column per 24 ms (the first 8 steps move only blanks): many
    // redraws, each moving back over the
    // the previous block, and lit dots that move.
    std::size_t redraws = 0;
    for (std::size_t at = output.find("\x1b[9A"); at != std::string::npos;
         at = output.find("\x1b[9A", at + 1)) {
        ++redraws;
    }
    EXPECT_GE(redraws, 5u);
    EXPECT_LE(redraws, 40u);
    EXPECT_NE(output.find("slot 9 (scrolling)"), std::string::npos);
    EXPECT_NE(output.find('#'), std::string::npos);
}

TEST(SignEmulator, RefusesWhatItCannotDo) {
    tool_tests::Subprocess process({LEDSIGN_EMULATOR, "--quiet"});
    const std::string port = process.ReadLine();
    struct Case {
        std::uint8_t command;
        Bytes payload;
        int result;
    };
    const Case cases[] = {
        {0x09, Bytes(1024, 0), kComRefused},                       // no such command
        {0x15, Bytes(100, 0), kComRefused},                        // a message must be 1024 bytes
        {0x11, {0x09, 0x0D, 0x01, 0x00, 0x00, 0x00}, kComRefused}, // month 13
        {0x11, {0x09, 0x02, 0x1E, 0x00, 0x00, 0x00}, kComRefused}, // 30 February
        {0x11, {0x09, 0x02, 0x1C, 0x17, 0x3B, 0x00}, kComOk},
        {0x1E, {}, kComOk},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Transact(port, c.command, c.payload), c.result) << int(c.command);
    }
}

// --log-times stamps a request with the moment its first byte arrived, on the clock that other
// processes read as steady_clock (CLOCK_MONOTONIC). At 9600 baud a message's last byte comes
// about 1.1 s after its first, which tells the two apart: the bound is on the wall clock.
TEST(SignEmulatorRealTime, LogTimesTheFirstByteOfEachRequest) {
    const test_files::ScratchDir dir;
    const std::filesystem::path log = dir.Path() / "sign.log";
    tool_tests::Subprocess process(
        {LEDSIGN_EMULATOR, "--quiet", "--line-rate", "--log-times", "--log", log.string()});
    const std::string port = process.ReadLine();
    const auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(Transact(port, 0x15, Cells({{0x04, 'A'}}, 1)), kComOk);
    const auto after = std::chrono::steady_clock::now();
    std::ifstream in(log);
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    long long seconds = 0;
    long long nanoseconds = 0;
    int consumed = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "t=%lld.%9lld %n", &seconds, &nanoseconds, &consumed), 2)
        << line;
    EXPECT_EQ(line.compare(static_cast<std::size_t>(consumed), 28, "cmd=15 slot=9 len=1024 data="),
              0)
        << line;
    const std::chrono::steady_clock::time_point stamp(std::chrono::seconds(seconds) +
                                                      std::chrono::nanoseconds(nanoseconds));
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, before + std::chrono::milliseconds(500)) << "not the first byte's time";
    EXPECT_GE(after - before, std::chrono::milliseconds(1000)); // the line was paced
}

#endif // LEDSIGN_EMULATOR
