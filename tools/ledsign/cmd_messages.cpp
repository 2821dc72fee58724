// ledsign compose / dump: building message files from text and showing what a message or a
// message-set file holds.

#include "format/SignFormat.h"
#include "messages/Cp1250.h"
#include "messages/HeadlessGrid.h"
#include "messages/Ledmessagecon.h"
#include "messages/MessageFiles.h"
#include "messages/Utf8Files.h"
#include "tools/ledsign/Command.h"
#include "tools/ledsign/DeviceFiles.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ledsign_tool {
namespace {

// --- compose ---

constexpr const char* kComposeUsage = "[--font N] [--static] -o FILE.kom TEXT";
constexpr const char* kComposeHelp =
    "Builds a message file from TEXT (UTF-8), typed into a message as the editor does.\n"
    "\n"
    "Options:\n"
    "  --font N    font of the first characters, 1..5 (default 4)\n"
    "  --static    a static message (default: scrolling)\n"
    "  -o FILE     the message file to write (1024 bytes)\n"
    "\n"
    "TEXT may hold the live fields {time}, {date} and {temp}, which the sign fills in,\n"
    "and {font=N} (N = 1..5) to change the font of what follows. {{ and }} give literal\n"
    "braces. The text must be representable in code page 1250 and fit in 500 cells.\n"
    "\n"
    "Example: ledsign compose -o m.kom \"Godz. {time} Temp. {temp}\"\n";

// One piece of the composed text.
struct Piece {
    enum class Kind { Text, Time, Date, Temperature, Font } What;
    std::string Utf8; // Text
    int Font = 0;     // Font
};

std::optional<int> ParseFontNumber(std::string_view text) {
    if (text.size() != 1 || text[0] < '1' || text[0] > '5') {
        return std::nullopt;
    }
    return text[0] - '0';
}

// Splits TEXT into literal text, fields and font changes. On a syntax error returns false and
// describes it in `error`.
bool ParseTemplate(std::string_view text, std::vector<Piece>& pieces, std::string& error) {
    std::string literal;
    auto flush = [&] {
        if (!literal.empty()) {
            pieces.push_back({Piece::Kind::Text, literal, 0});
            literal.clear();
        }
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '}') {
            if (i + 1 < text.size() && text[i + 1] == '}') {
                literal += '}';
                ++i;
                continue;
            }
            error = "unbalanced '}' at offset " + std::to_string(i) + " (write }} for a brace)";
            return false;
        }
        if (c != '{') {
            literal += c;
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '{') {
            literal += '{';
            ++i;
            continue;
        }
        const std::size_t close = text.find('}', i + 1);
        const std::size_t nextOpen = text.find('{', i + 1);
        if (close == std::string_view::npos || nextOpen < close) {
            error = "unbalanced '{' at offset " + std::to_string(i) + " (write {{ for a brace)";
            return false;
        }
        const std::string_view name = text.substr(i + 1, close - i - 1);
        flush();
        if (name == "time") {
            pieces.push_back({Piece::Kind::Time, {}, 0});
        } else if (name == "date") {
            pieces.push_back({Piece::Kind::Date, {}, 0});
        } else if (name == "temp") {
            pieces.push_back({Piece::Kind::Temperature, {}, 0});
        } else if (name.substr(0, 5) == "font=") {
            const auto font = ParseFontNumber(name.substr(5));
            if (!font) {
                error = "bad font in {" + std::string(name) + "}: fonts are 1..5";
                return false;
            }
            pieces.push_back({Piece::Kind::Font, {}, *font});
        } else {
            error =
                "unknown field {" + std::string(name) + "}: use {time}, {date}, {temp} or {font=N}";
            return false;
        }
        i = close;
    }
    flush();
    return true;
}

bool WantsHelp(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(),
                       [](const std::string& a) { return a == "--help" || a == "-h"; });
}

int ComposeUsageError(const std::string& message) {
    std::fprintf(stderr, "ledsign compose: %s\nUsage: ledsign compose %s\n", message.c_str(),
                 kComposeUsage);
    return kExitUsage;
}

int RunCompose(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("Usage: ledsign compose %s\n\n%s", kComposeUsage, kComposeHelp);
        return kExitOk;
    }
    int font = 4;
    bool isStatic = false;
    std::optional<std::string> output;
    std::optional<std::string> text;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && a == "--static") {
            isStatic = true;
        } else if (!optionsEnded && (a == "--font" || a == "-o")) {
            if (i + 1 >= args.size()) {
                return ComposeUsageError(a + " needs a value");
            }
            const std::string& value = args[++i];
            if (a == "-o") {
                output = value;
            } else if (const auto f = ParseFontNumber(value)) {
                font = *f;
            } else {
                return ComposeUsageError("bad font '" + value + "': fonts are 1..5");
            }
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            return ComposeUsageError("unknown option '" + a + "'");
        } else if (text) {
            return ComposeUsageError("only one TEXT argument may be given (quote the text)");
        } else {
            text = a;
        }
    }
    if (!output || output->empty()) {
        return ComposeUsageError("no output file (-o FILE.kom)");
    }
    if (!text) {
        return ComposeUsageError("no TEXT");
    }

    std::vector<Piece> pieces;
    std::string error;
    if (!ParseTemplate(*text, pieces, error)) {
        return ComposeUsageError(error);
    }

    // Convert all text first so that every missing character is named in one report.
    std::vector<char32_t> missing;
    std::vector<std::string> converted(pieces.size());
    std::size_t cells = 0;
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        if (pieces[p].What == Piece::Kind::Font) {
            continue;
        }
        if (pieces[p].What != Piece::Kind::Text) {
            ++cells;
            continue;
        }
        const Cp1250Conversion c = Utf8ToCp1250(pieces[p].Utf8);
        if (!c.ValidUtf8) {
            std::fprintf(stderr, "ledsign compose: TEXT is not valid UTF-8\n");
            return kExitFailure;
        }
        for (char32_t cp : c.Missing) {
            if (std::find(missing.begin(), missing.end(), cp) == missing.end()) {
                missing.push_back(cp);
            }
        }
        converted[p] = c.Bytes;
        cells += c.Bytes.size();
        // Byte 8 is the Backspace character, which the editor never inserts.
        if (c.Bytes.find('\b') != std::string::npos) {
            std::fprintf(stderr, "ledsign compose: TEXT holds a backspace character (U+0008), "
                                 "which a message cannot hold\n");
            return kExitFailure;
        }
    }
    if (!missing.empty()) {
        std::string names;
        for (char32_t cp : missing) {
            names += (names.empty() ? "" : ", ") + std::string("'") + EncodeUtf8(cp) + "' (" +
                     CodePointName(cp) + ")";
        }
        std::fprintf(stderr, "ledsign compose: code page 1250 has no character %s\n",
                     names.c_str());
        return kExitFailure;
    }
    if (cells > static_cast<std::size_t>(kMessageCells)) {
        std::fprintf(stderr, "ledsign compose: the text needs %zu cells; a message holds %d\n",
                     cells, kMessageCells);
        return kExitFailure;
    }

    HeadlessGrid grid;
    CLEDMessageCon message;
    BindMessageToGrid(message, grid);
    message.SetFont(font);
    message.SetType(isStatic ? kMessageStatic : kMessageScrolling);
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        switch (pieces[p].What) {
        case Piece::Kind::Text:
            for (const char c : converted[p]) {
                grid.TypeChar(static_cast<std::uint8_t>(c));
            }
            break;
        case Piece::Kind::Time:
            message.InsertTimeField();
            break;
        case Piece::Kind::Date:
            message.InsertDateField();
            break;
        case Piece::Kind::Temperature:
            message.InsertTemperatureField();
            break;
        case Piece::Kind::Font:
            message.SetFont(pieces[p].Font);
            break;
        }
    }
    if (message.SaveToFile(output->c_str()) != 0) {
        std::fprintf(stderr, "ledsign compose: cannot write '%s' (the old file, if any, is kept)\n",
                     output->c_str());
        return kExitFailure;
    }
    std::printf("%s: %zu cells, %s\n", output->c_str(), cells, isStatic ? "static" : "scrolling");
    return kExitOk;
}

// --- dump ---

constexpr const char* kDumpUsage = "FILE.kom|FILE.kzb";
constexpr const char* kDumpHelp =
    "Prints a message file (1024 bytes) or a message-set file (8192 bytes, or any file\n"
    "named *.kzb) message by message: the type, then each cell up to the end of the text\n"
    "with its index, font, kind (char, time, date, temp), code and the character.\n";

const char* KindName(std::uint8_t attribute) {
    static constexpr std::array<const char*, 4> kNames = {"char", "time", "date", "temp"};
    const unsigned kind = signformat::KindOf(attribute);
    return kind < kNames.size() ? kNames[kind] : "kind?";
}

void DumpMessage(const CLEDMessageCon& message, const std::string& title) {
    const std::uint8_t* data = message.GetData();
    int length = 0;
    while (length < kMessageCells && data[std::size_t{2} * length] != 0) {
        ++length;
    }
    const int type = message.GetType();
    std::printf("%s: type %d (%s), %d cells\n", title.c_str(), type,
                type == kMessageStatic ? "static" : "scrolling", length);
    for (int i = 0; i < length; ++i) {
        const std::uint8_t a = data[std::size_t{2} * i];
        const std::uint8_t ch = data[2 * i + 1];
        std::string shown;
        if (ch >= 0x20 && ch != 0x7F && kCp1250ToUnicode[ch] != kNoCodePoint) {
            shown = Cp1250ToUtf8(ch);
        }
        std::printf("  %3d  font %d  %-5s 0x%02X  %s\n", i, a & 0x0F, KindName(a), ch,
                    shown.c_str());
    }
}

bool EndsWithKzb(const std::string& name) {
    if (name.size() < 4) {
        return false;
    }
    std::string ext = name.substr(name.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".kzb";
}

int RunDump(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("Usage: ledsign dump %s\n\n%s", kDumpUsage, kDumpHelp);
        return kExitOk;
    }
    if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) {
        std::fprintf(stderr, "ledsign dump: expected one file\nUsage: ledsign dump %s\n",
                     kDumpUsage);
        return kExitUsage;
    }
    const std::string& name = args[0];
    // One read of up to a set's length tells both the bytes and the file's length, which
    // decides how they are shown: a message file is the first 1024 bytes loaded into a
    // cleared message, exactly what the set's message 1 received.
    std::array<CLEDMessageCon, kMessageSetCount> set;
    LoadReport report;
    if (LoadMessageSet(name.c_str(), set, &report) != 0) {
        std::fprintf(stderr, "ledsign dump: cannot read '%s': %s\n", name.c_str(),
                     DescribeLoadProblem(report).c_str());
        return kExitFailure;
    }
    const bool isSet = report.FileSize == kMessageSetSize || EndsWithKzb(name);
    const std::string warning =
        FileSizeWarning(name, report, isSet ? kMessageSetSize : kMessageSize,
                        isSet ? "message-set" : "message", "shown");
    if (!warning.empty()) {
        std::fprintf(stderr, "ledsign dump: warning: %s\n", warning.c_str());
    }
    if (isSet) {
        for (std::size_t s = 0; s < set.size(); ++s) {
            DumpMessage(set[s], "message " + std::to_string(s + 1));
        }
    } else {
        DumpMessage(set[0], "message");
    }
    return kExitOk;
}

const CommandRegistration kCompose(Command{
    "compose", kComposeUsage, "build a message file from text with live fields", &RunCompose});
const CommandRegistration kDump(Command{
    "dump", kDumpUsage, "show the cells of a message or message-set file", &RunDump});

} // namespace
} // namespace ledsign_tool
