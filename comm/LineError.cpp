#include "comm/LineError.h"

#include <cerrno>
#include <utility>

LineErrorKind LineErrorKindFromErrno(int error, bool opening) {
    switch (error) {
    case 0:
        return LineErrorKind::None;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return LineErrorKind::NotFound;
    case ENXIO: // a device node without its device, or a device that went away
    case ENODEV:
        return opening ? LineErrorKind::NotFound : LineErrorKind::LineLost;
    case EACCES:
    case EPERM:
    case EROFS:
        return LineErrorKind::PermissionDenied;
    case EBUSY:       // the exclusive flag
    case EWOULDBLOCK: // the lock (EAGAIN is the same value on Linux)
        return opening ? LineErrorKind::InUse : LineErrorKind::Other;
    case ENOTTY:
    case EINVAL:
    case EISDIR:
        return opening ? LineErrorKind::NotSerial : LineErrorKind::Other;
    case EIO:
        return opening ? LineErrorKind::Other : LineErrorKind::LineLost;
    case EPIPE:
    case ECONNRESET:
    case ENOTCONN:
        return LineErrorKind::LineLost;
    case ETIMEDOUT:
        return LineErrorKind::TimedOut;
    case EINTR:
        return LineErrorKind::Interrupted;
    default:
        return LineErrorKind::Other;
    }
}

LineErrorKind LineErrorKindFromWindows(std::uint32_t code) {
    // The values of the Windows error codes, so that this mapping builds and is tested anywhere.
    switch (code) {
    case 0: // ERROR_SUCCESS
        return LineErrorKind::None;
    case 2:   // ERROR_FILE_NOT_FOUND: no such COM port
    case 3:   // ERROR_PATH_NOT_FOUND
    case 20:  // ERROR_BAD_UNIT
    case 55:  // ERROR_DEV_NOT_EXIST
    case 123: // ERROR_INVALID_NAME
        return LineErrorKind::NotFound;
    case 5:   // ERROR_ACCESS_DENIED: a COM port opened without sharing by someone else
    case 32:  // ERROR_SHARING_VIOLATION
    case 170: // ERROR_BUSY
        return LineErrorKind::InUse;
    case 1314: // ERROR_PRIVILEGE_NOT_HELD
        return LineErrorKind::PermissionDenied;
    case 1:  // ERROR_INVALID_FUNCTION: the line settings on something that is no port
    case 50: // ERROR_NOT_SUPPORTED
        return LineErrorKind::NotSerial;
    case 21:   // ERROR_NOT_READY
    case 22:   // ERROR_BAD_COMMAND: the driver of a pulled USB adapter
    case 31:   // ERROR_GEN_FAILURE
    case 995:  // ERROR_OPERATION_ABORTED
    case 1167: // ERROR_DEVICE_NOT_CONNECTED
    case 1617: // ERROR_DEVICE_REMOVED
        return LineErrorKind::LineLost;
    case 121: // ERROR_SEM_TIMEOUT
    case 258: // WAIT_TIMEOUT
        return LineErrorKind::TimedOut;
    default:
        return LineErrorKind::Other;
    }
}

const char* LineErrorKindName(LineErrorKind kind) {
    switch (kind) {
    case LineErrorKind::None:
        return "no error";
    case LineErrorKind::NotFound:
        return "not found";
    case LineErrorKind::PermissionDenied:
        return "permission denied";
    case LineErrorKind::InUse:
        return "in use";
    case LineErrorKind::NotSerial:
        return "not a serial line";
    case LineErrorKind::LineLost:
        return "line lost";
    case LineErrorKind::TimedOut:
        return "timed out";
    case LineErrorKind::Refused:
        return "refused by the sign";
    case LineErrorKind::Interrupted:
        return "interrupted";
    case LineErrorKind::Other:
        break;
    }
    return "failed";
}

std::string DescribeLineError(const LineError& error) {
    std::string text = LineErrorKindName(error.Kind);
    const bool lineSentence = error.SystemCode == 0 && !error.SystemMessage.empty();
    if (lineSentence &&
        (error.Kind == LineErrorKind::NotFound || error.Kind == LineErrorKind::TimedOut ||
         error.Kind == LineErrorKind::LineLost)) {
        // A network line says what happened in its own words ("no answer from HOST:PORT"),
        // which the serial wording below would misstate.
        return text + ": " + error.SystemMessage;
    }
    switch (error.Kind) {
    case LineErrorKind::None:
        return {};
    case LineErrorKind::PermissionDenied:
#ifdef __linux__
        text += ": add yourself to the group that owns the device, usually dialout, then log in "
                "again";
#endif
        break;
    case LineErrorKind::InUse:
        if (!error.Holder.empty()) {
            text += " by " + error.Holder;
        } else if (error.StaleExclusive) {
            text += ": the line is held exclusively, probably by a program that was killed; "
                    "re-plug the adapter or restart the program serving it";
        }
        break;
    case LineErrorKind::LineLost:
        text += ": the device hung up or was removed";
        break;
    case LineErrorKind::TimedOut:
        text += ": no reply after about 5.1 s";
        break;
    case LineErrorKind::Refused:
    case LineErrorKind::Other:
        if (!error.SystemMessage.empty()) {
            text += ": " + error.SystemMessage;
        }
        break;
    default:
        break;
    }
    return text;
}

std::string DescribeSystemError(const LineError& error) {
    if (error.SystemCode == 0 && error.SystemMessage.empty()) {
        return {};
    }
    std::string text = "system: " + (error.SystemMessage.empty() ? std::string("(no message)")
                                                                 : error.SystemMessage);
    if (error.SystemCode != 0) {
        text += " (code " + std::to_string(error.SystemCode) + ")";
    }
    return text;
}

LineError LineFailure(LineErrorKind kind, std::string message) {
    LineError error;
    error.Kind = kind;
    error.SystemMessage = std::move(message);
    return error;
}
