// How the operating systems' error codes read as the reasons the operator is shown.

#include "comm/LineError.h"

#include <gtest/gtest.h>

#include <cerrno>

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

} // namespace
