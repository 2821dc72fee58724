// Device commands given several --port: one transaction per sign, in parallel, one outcome
// line per port in the order given, success only when every sign succeeded.
//
// The suites named *RealTime bound the wall clock: the tool and the software signs run as processes
// on real pseudo-terminals, so no injected clock can stand in. They run alone (label "realtime");
// each bound lies far below the wait it tells apart (the 5.1 s of polling, a 3 s connect, a sign's
// delay) and far above what an idle machine needs.

#ifdef LEDSIGN_EMULATOR

#include "testsupport/SoftwareSign.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

using tool_tests::RunResult;
using tool_tests::RunToCompletion;
using tool_tests::Sign;
using TempDir = test_files::ScratchDir;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(SeveralPortsRealTime, EveryPortRunsAndReportsInTheOrderGiven) {
    TempDir dir;
    // Each sign takes 3 s to answer: one after the other would take 6 s at least.
    Sign first(dir.Path(), {"--delay", "3000"}, "first");
    Sign second(dir.Path(), {"--delay", "3000"}, "second");
    ASSERT_FALSE(first.Port().empty());
    ASSERT_FALSE(second.Port().empty());
    const std::string missing = (dir.Path() / "no-such-port").string();
    const struct Case {
        std::vector<std::string> Ports;
        int Exit;
        std::vector<std::string> Results;  // stdout, in the order of the ports
        std::vector<std::string> Failures; // stderr, likewise
    } cases[] = {
        {{first.Port(), second.Port()},
         0,
         {"sign 380 shows slot 2 on " + first.Port(), "sign 380 shows slot 2 on " + second.Port()},
         {}},
        {{second.Port(), missing, first.Port()},
         3, // the missing port's: not found
         {"sign 380 shows slot 2 on " + second.Port(), "sign 380 shows slot 2 on " + first.Port()},
         {"cannot open port " + missing}},
        {{first.Port(), second.Port(), first.Port()}, 2, {}, {"ledsign show: port "}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {LEDSIGN_BIN, "show", "2"};
        for (const std::string& port : c.Ports) {
            args.insert(args.end(), {"--port", port});
        }
        const RunResult r = RunToCompletion(args);
        EXPECT_EQ(r.ExitCode, c.Exit) << r.Out << r.Err;
        const std::pair<std::string, std::vector<std::string>> streams[] = {{r.Out, c.Results},
                                                                            {r.Err, c.Failures}};
        for (const auto& [text, starts] : streams) {
            const std::vector<std::string> lines = Lines(text);
            ASSERT_EQ(lines.size(), starts.size()) << text;
            for (std::size_t i = 0; i < lines.size(); ++i) {
                EXPECT_EQ(lines[i].rfind(starts[i], 0), 0u) << lines[i];
            }
        }
        if (c.Exit != 2) {
            EXPECT_LT(r.Seconds, 5.0) << "the signs were not served in parallel";
        }
    }
    // Bad usage sent nothing: each sign saw exactly the two good runs.
    EXPECT_EQ(first.Log().size(), 2u);
    EXPECT_EQ(second.Log().size(), 2u);
}

} // namespace

#endif
