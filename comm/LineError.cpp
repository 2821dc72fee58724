#include "comm/LineError.h"

#include <array>
#include <cerrno>
#include <cstddef>
#include <string_view>
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

namespace {

constexpr std::size_t kKindCount = static_cast<std::size_t>(LineErrorKind::Other) + 1;
constexpr std::size_t kDamageCount = static_cast<std::size_t>(ReplyDamage::Incomplete) + 1;

// The group that owns serial devices, which a user joins to open them, exists on Linux only.
#ifdef __linux__
constexpr bool kDialoutGroup = true;
#else
constexpr bool kDialoutGroup = false;
#endif

// Where a Peer hint puts the server's "host:port".
constexpr std::string_view kPeerMark = "{peer}";

// The words for one kind.
struct KindWords {
    const char* Name;
    // What helps, whatever the failure's details; "" when nothing general does.
    const char* Hint;
    // For a failure that brought a sentence of its own, a sentence with kPeerMark that names
    // the server; nullptr when the language quotes the line's sentence instead.
    const char* PeerHint;
    // Whether the SystemMessage follows the name.
    bool AddsSystemMessage;
};

struct Wording {
    std::array<KindWords, kKindCount> Kinds; // indexed by LineErrorKind
    const char* HeldBy;                      // between the InUse name and the holder
    const char* ThisProgram;                 // the holder when it is this program itself
    const char* StaleExclusive;              // the InUse hint when the exclusive flag is stale
    std::array<const char*, kDamageCount> Damages; // indexed by ReplyDamage
};

const Wording& WordingIn(LineErrorLanguage language) {
    // Const tables; their text pointers make them relocated data, read-only once loaded.
    static constexpr Wording kEnglish = {
        {{
            {"no error", "", nullptr, false},
            {"not found", "", nullptr, false},
            {"permission denied",
             kDialoutGroup ? "add yourself to the group that owns the device, usually dialout, "
                             "then log in again"
                           : "",
             nullptr, false},
            {"in use", "", nullptr, false},
            {"not a serial line", "", nullptr, false},
            {"line lost", "the device hung up or was removed", nullptr, false},
            {"timed out", "no reply after about 5.1 s", nullptr, false},
            {"refused by the sign", "", nullptr, true},
            {"damaged reply", "a reply arrived damaged", nullptr, false},
            {"interrupted", "", nullptr, false},
            {"failed", "", nullptr, true},
        }},
        " by ",
        "this program",
        "the line is held exclusively, probably by a program that was killed; re-plug the adapter "
        "or restart the program serving it",
        {"checksum", "length over 1024 bytes", "incomplete"},
    };

    static constexpr Wording kPolish = {
        {{
            {"bez błędu", "", "", false},
            {"nie znaleziono", "", "brak serwera pod adresem {peer}", false},
            {"brak uprawnień",
             kDialoutGroup ? "dopisz się do grupy, do której należy urządzenie, zwykle dialout, i "
                             "zaloguj się ponownie"
                           : "",
             "", false},
            {"port zajęty", "", "", false},
            {"to nie jest port szeregowy", "", "", false},
            {"utracono połączenie", "urządzenie rozłączyło się lub zostało odłączone",
             "serwer {peer} rozłączył się", false},
            {"przekroczono czas oczekiwania", "brak odpowiedzi po około 5,1 s",
             "brak odpowiedzi od {peer}", false},
            {"linijka odrzuciła polecenie", "", "", false},
            {"uszkodzona odpowiedź", "odpowiedź linijki nadeszła uszkodzona", "", false},
            {"przerwano", "", "", false},
            {"błąd", "", "", true},
        }},
        " przez ",
        "ten program",
        "linię zablokował na wyłączność zapewne przerwany program; podłącz adapter ponownie albo "
        "uruchom ponownie program, który go obsługuje",
        {"błędna suma kontrolna", "długość ponad 1024 bajty", "niepełna"},
    };
    return language == LineErrorLanguage::Polish ? kPolish : kEnglish;
}

// "<hint> (<damage>)", the damage, given in English words, put in the wording's language; the
// hint alone when the damage is unknown.
std::string DamageText(const Wording& wording, const KindWords& words, const std::string& damage) {
    const auto& english = WordingIn(LineErrorLanguage::English).Damages;
    for (std::size_t i = 0; i < english.size(); ++i) {
        if (damage == english[i]) {
            return std::string(words.Hint) + " (" + wording.Damages[i] + ")";
        }
    }
    return words.Hint;
}

const KindWords& WordsFor(const Wording& wording, LineErrorKind kind) {
    const auto index = static_cast<std::size_t>(kind);
    return wording.Kinds[index < kKindCount ? index : kKindCount - 1];
}

// `peerHint` with the server's "host:port" in place of its mark.
std::string WithPeer(std::string_view peerHint, const std::string& peer) {
    std::string text(peerHint);
    const std::size_t mark = text.find(kPeerMark);
    if (mark != std::string::npos) {
        text.replace(mark, kPeerMark.size(), peer);
    }
    return text;
}

// "name: detail", or the name alone when there is no detail.
std::string Joined(const char* name, const std::string& detail) {
    return detail.empty() ? std::string(name) : name + (": " + detail);
}

} // namespace

const char* LineErrorKindName(LineErrorKind kind, LineErrorLanguage language) {
    return WordsFor(WordingIn(language), kind).Name;
}

std::string DescribeLineError(const LineError& error, LineErrorLanguage language) {
    if (!error.Failed()) {
        return {};
    }
    const Wording& wording = WordingIn(language);
    const KindWords& words = WordsFor(wording, error.Kind);
    const bool ownSentence =
        error.SystemCode == 0 && !error.SystemMessage.empty() &&
        (error.Kind == LineErrorKind::NotFound || error.Kind == LineErrorKind::TimedOut ||
         error.Kind == LineErrorKind::LineLost);
    if (ownSentence) {
        // A network line (or the port name) said what happened, which the serial hints below
        // would misstate. A language whose words the sentence is not in names the server.
        if (words.PeerHint == nullptr) {
            return Joined(words.Name, error.SystemMessage);
        }
        return Joined(words.Name, error.Peer.empty() || *words.PeerHint == '\0'
                                      ? std::string()
                                      : WithPeer(words.PeerHint, error.Peer));
    }
    if (error.Kind == LineErrorKind::InUse) {
        const std::string holder = error.HeldHere ? wording.ThisProgram : error.Holder;
        if (!holder.empty()) {
            return words.Name + (wording.HeldBy + holder);
        }
        if (error.StaleExclusive) {
            return Joined(words.Name, wording.StaleExclusive);
        }
    }
    if (error.Kind == LineErrorKind::Damaged) {
        return DamageText(wording, words, error.SystemMessage);
    }
    if (words.AddsSystemMessage) {
        return Joined(words.Name, error.SystemMessage);
    }
    return Joined(words.Name, words.Hint);
}

std::string DescribeSystemError(const LineError& error) {
    // A damaged reply's SystemMessage is the decoder's finding, already in the reason.
    if ((error.SystemCode == 0 && error.SystemMessage.empty()) ||
        error.Kind == LineErrorKind::Damaged) {
        return {};
    }
    std::string text = "system: " + (error.SystemMessage.empty() ? std::string("(no message)")
                                                                 : error.SystemMessage);
    if (error.SystemCode != 0) {
        text += " (code " + std::to_string(error.SystemCode) + ")";
    }
    return text;
}

LineError DamagedReply(ReplyDamage damage) {
    const auto& english = WordingIn(LineErrorLanguage::English).Damages;
    const auto index = static_cast<std::size_t>(damage);
    return LineFailure(LineErrorKind::Damaged, index < english.size() ? english[index] : "");
}

LineError LineFailure(LineErrorKind kind, std::string message, std::string peer) {
    LineError error;
    error.Kind = kind;
    error.SystemMessage = std::move(message);
    error.Peer = std::move(peer);
    return error;
}

LineError SystemFailure(LineErrorKind kind, std::uint32_t code, std::string message) {
    LineError error = LineFailure(kind, std::move(message));
    error.SystemCode = code;
    return error;
}

LineError HeldByThisProgram() {
    LineError error = LineFailure(LineErrorKind::InUse);
    error.HeldHere = true;
    return error;
}

LineError PortNotOpen() {
    return LineFailure(LineErrorKind::Other, "the port is not open");
}

LineError StoppedBySignal() {
    return LineFailure(LineErrorKind::Interrupted, "stopped by a signal");
}
