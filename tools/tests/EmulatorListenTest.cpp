// The software sign served over TCP: both kinds of port name reach it, on the loopback
// address by default, and a second client is refused while one is connected.

#ifdef LEDSIGN_EMULATOR

#include "comm/Unitcomprotocol.h"
#include "testsupport/Subprocess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

TEST(EmulatorListen, ServesOneClientAtATimeOverEitherScheme) {
    const struct Case {
        const char* Listen;
        const char* UrlStart;
    } cases[] = {
        {"tcp:0", "tcp://127.0.0.1:"},
        {"rfc2217:0", "rfc2217://127.0.0.1:"},
    };
    for (const Case& c : cases) {
        tool_tests::Subprocess sign({LEDSIGN_EMULATOR, "--quiet", "--listen", c.Listen});
        ASSERT_FALSE(sign.ReadLine().empty()) << c.Listen;
        const std::string url = sign.ReadLine();
        ASSERT_EQ(url.rfind(c.UrlStart, 0), 0u) << url;

        ComProtocol first;
        ASSERT_EQ(first.Open(url.c_str()), 0) << first.LastError().SystemMessage;
        EXPECT_EQ(first.RunMessageSlot(380, 1), kComOk) << c.Listen;
        ComProtocol second;
        EXPECT_EQ(second.Open(url.c_str()), 1) << c.Listen;
        EXPECT_NE(second.LastError().SystemMessage.find("refused"), std::string::npos);
        first.Close();
        // The sign listens again once the first client has gone.
        bool reopened = false;
        for (int i = 0; i < 100 && !reopened; ++i) {
            reopened = second.Open(url.c_str()) == 0;
            if (!reopened) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        ASSERT_TRUE(reopened) << c.Listen;
        EXPECT_EQ(second.RunMessageSlot(380, 2), kComOk) << c.Listen;
    }
}

} // namespace

#endif
