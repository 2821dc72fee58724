// How the operating systems' error codes read as the reasons the operator is shown.

#include "comm/LineError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>

namespace {

TEST(LineError, ErrnoMapsToTheReasonOfItsMoment) {
    struct Case {
        int Error;
        LineErrorKind AtOpen;
        LineErrorKind WhileOpen;
    } cases[] = {
        {0, LineErrorKind::None, LineErrorKind::None},
        {ENOENT, LineErrorKind::NotFound, LineErrorKind::NotFound},
        {ENXIO, LineErrorKind::NotFound, LineErrorKind::LineLost},
        {ENODEV, LineErrorKind::NotFound, LineErrorKind::LineLost},
        {EACCES, LineErrorKind::PermissionDenied, LineErrorKind::PermissionDenied},
        {EPERM, LineErrorKind::PermissionDenied, LineErrorKind::PermissionDenied},
        {EBUSY, LineErrorKind::InUse, LineErrorKind::Other},
        {EWOULDBLOCK, LineErrorKind::InUse, LineErrorKind::Other},
        {ENOTTY, LineErrorKind::NotSerial, LineErrorKind::Other},
        {EISDIR, LineErrorKind::NotSerial, LineErrorKind::Other},
        {EIO, LineErrorKind::Other, LineErrorKind::LineLost},
        {EPIPE, LineErrorKind::LineLost, LineErrorKind::LineLost},
        {ETIMEDOUT, LineErrorKind::TimedOut, LineErrorKind::TimedOut},
        {ENOMEM, LineErrorKind::Other, LineErrorKind::Other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Error);
        EXPECT_EQ(LineErrorKindFromErrno(c.Error, true), c.AtOpen);
        EXPECT_EQ(LineErrorKindFromErrno(c.Error, false), c.WhileOpen);
    }
}

TEST(LineError, WindowsCodesMapToTheSameKinds) {
    struct Case {
        std::uint32_t Code;
        LineErrorKind Kind;
    } cases[] = {
        {0, LineErrorKind::None},
        {2, LineErrorKind::NotFound},
        {3, LineErrorKind::NotFound},
        {123, LineErrorKind::NotFound},
        {5, LineErrorKind::InUse}, // access denied on a COM port: someone else has it
        {32, LineErrorKind::InUse},
        {1, LineErrorKind::NotSerial},
        {22, LineErrorKind::LineLost},
        {31, LineErrorKind::LineLost},
        {1167, LineErrorKind::LineLost},
        {121, LineErrorKind::TimedOut},
        {1314, LineErrorKind::PermissionDenied},
        {87, LineErrorKind::Other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Code);
        EXPECT_EQ(LineErrorKindFromWindows(c.Code), c.Kind);
    }
}

// The editor's wording: each failure reads as its own Polish text, with the details the operator
// acts on, and no English sentence of ours in it (only the system's own message, for Other).
TEST(LineError, PolishWordingKeepsWhatHelps) {
#ifdef __linux__
    const std::string dialout = "dialout";
#else
    const std::string dialout;
#endif
    LineError holder = SystemFailure(LineErrorKind::InUse, EWOULDBLOCK, "Resource unavailable");
    holder.Holder = "ledsign (pid 1234)";
    const LineError here = HeldByThisProgram();
    LineError stale = SystemFailure(LineErrorKind::InUse, EBUSY, "Device or resource busy");
    stale.StaleExclusive = true;
    struct Case {
        LineError Error;
        std::string Contains;
    } cases[] = {
        {SystemFailure(LineErrorKind::NotFound, ENOENT, "No such file or directory"), ""},
        {LineFailure(LineErrorKind::NotFound, "connection refused by [::1]:4001", "[::1]:4001"),
         "[::1]:4001"},
        {SystemFailure(LineErrorKind::PermissionDenied, EACCES, "Permission denied"), dialout},
        {holder, "ledsign (pid 1234)"},
        {here, ""},
        {stale, ""},
        {SystemFailure(LineErrorKind::NotSerial, ENOTTY, "Not a tty"), ""},
        {SystemFailure(LineErrorKind::LineLost, EIO, "Input/output error"), ""},
        {LineFailure(LineErrorKind::LineLost, "connection to sign.lan:23 lost", "sign.lan:23"),
         "sign.lan:23"},
        {LineFailure(LineErrorKind::TimedOut), ""},
        {LineFailure(LineErrorKind::TimedOut, "no answer from 10.0.0.7:4001", "10.0.0.7:4001"),
         "10.0.0.7:4001"},
        {LineFailure(LineErrorKind::Refused, "reply code 0x81"), ""},
        {StoppedBySignal(), ""},
        {DamagedReply(ReplyDamage::Checksum), "suma kontrolna"},
        {DamagedReply(ReplyDamage::Incomplete), "niepełna"},
        {SystemFailure(LineErrorKind::Other, ENOMEM, "Cannot allocate memory"),
         "Cannot allocate memory"},
    };
    std::set<std::string> seen;
    for (const Case& c : cases) {
        const std::string polish = DescribeLineError(c.Error, LineErrorLanguage::Polish);
        SCOPED_TRACE(polish);
        EXPECT_FALSE(polish.empty());
        EXPECT_TRUE(seen.insert(polish).second) << "two failures read the same";
        EXPECT_NE(polish, DescribeLineError(c.Error, LineErrorLanguage::English));
        EXPECT_NE(polish.find(c.Contains), std::string::npos);
        if (!c.Error.SystemMessage.empty()) {
            EXPECT_EQ(polish.find(c.Error.SystemMessage) != std::string::npos,
                      c.Error.Kind == LineErrorKind::Other);
        }
    }
    EXPECT_EQ(DescribeLineError(LineError{}, LineErrorLanguage::Polish), "");

    std::set<std::string> names;
    for (int k = 0; k <= static_cast<int>(LineErrorKind::Other); ++k) {
        const auto kind = static_cast<LineErrorKind>(k);
        EXPECT_TRUE(names.insert(LineErrorKindName(kind, LineErrorLanguage::Polish)).second) << k;
        EXPECT_STRNE(LineErrorKindName(kind, LineErrorLanguage::Polish),
                     LineErrorKindName(kind, LineErrorLanguage::English))
            << k;
    }
}

} // namespace
