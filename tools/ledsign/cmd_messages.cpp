// ledsign compose / dump: building message files from text and showing what a message or a
// message-set file holds.

#include "format/SignFormat.h"
#include "messages/Cp1250.h"
#include "messages/Ledmessagecon.h"
#include "messages/MessageFiles.h"
#include "tools/ledsign/Cli.h"
#include "tools/ledsign/Command.h"
#include "tools/ledsign/Compose.h"
#include "tools/ledsign/DeviceFiles.h"
#include "tools/ledsign/Results.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>

namespace ledsign_tool {
namespace {

// --- compose ---

constexpr const char* kComposeHelp =
    "Builds a message file from TEXT (UTF-8), typed into a message as the editor does.\n"
    "TEXT may hold the live fields {time}, {date} and {temp}, which the sign fills in,\n"
    "and {font=N} (N = 1..5) to change the font of what follows. {{ and }} give literal\n"
    "braces. The text must be representable in code page 1250 and fit in 500 cells.\n"
    "Example: ledsign compose -o m.kom \"Godz. {time} Temp. {temp}\"";

struct ComposeOptions {
    int Font = 4;
    bool Static = false;
    std::string Output;
    std::string Text;
};

int RunCompose(const ComposeOptions& o) {
    if (o.Output.empty()) {
        std::fprintf(stderr, "%s\n",
                     UsageErrorLine("ledsign compose", "-o names no output file").c_str());
        return kExitUsage;
    }
    MessageBytes bytes{};
    const ComposeResult composed = ComposeMessage(o.Text, o.Font, o.Static, bytes);
    if (composed.What == ComposeResult::Outcome::BadMarkup) {
        std::fprintf(stderr, "%s\n", UsageErrorLine("ledsign compose", composed.Problem).c_str());
        return kExitUsage;
    }
    if (composed.What != ComposeResult::Outcome::Ok) {
        std::fprintf(stderr, "ledsign compose: %s\n", composed.Problem.c_str());
        return kExitFailure;
    }
    CLEDMessageCon message;
    message.LoadFromBytes(bytes);
    if (message.SaveToFile(o.Output.c_str()) != 0) {
        std::fprintf(stderr, "ledsign compose: cannot write '%s' (the old file, if any, is kept)\n",
                     o.Output.c_str());
        return kExitFailure;
    }
    std::printf("%s: %zu cells, %s\n", o.Output.c_str(), composed.Cells,
                o.Static ? "static" : "scrolling");
    return kExitOk;
}

CommandRun DefineCompose(CLI::App& app) {
    auto o = std::make_shared<ComposeOptions>();
    app.footer(kComposeHelp);
    app.add_option("--font", o->Font, "font of the first characters, 1..5 (default 4)")
        ->transform(DecimalIn(1, 5));
    app.add_flag("--static", o->Static, "a static message (default: scrolling)");
    app.add_option("-o", o->Output, "the message file to write (1024 bytes)")->required();
    app.add_option("TEXT", o->Text, "the text, with its fields")->required();
    return [o] { return RunCompose(*o); };
}

// --- dump ---

constexpr const char* kDumpHelp =
    "Prints a message file (1024 bytes) or a message-set file (8192 bytes, or any file\n"
    "named *.kzb) message by message: the type, then each cell up to the end of the text\n"
    "with its index, font, kind (char, time, date, temp), code and the character.";

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

nlohmann::json MessageJson(const CLEDMessageCon& message, std::size_t number) {
    const std::uint8_t* data = message.GetData();
    nlohmann::json cells = nlohmann::json::array();
    for (int i = 0; i < kMessageCells && data[std::size_t{2} * i] != 0; ++i) {
        const std::uint8_t a = data[std::size_t{2} * i];
        const std::uint8_t ch = data[2 * i + 1];
        cells.push_back({{"font", a & 0x0F},
                         {"kind", KindName(a)},
                         {"code", ch},
                         {"text", kCp1250ToUnicode[ch] != kNoCodePoint ? Cp1250ToUtf8(ch) : ""}});
    }
    return {{"message", number},
            {"type", message.GetType() == kMessageStatic ? "static" : "scrolling"},
            {"cells", cells}};
}

int RunDump(const std::string& name, bool json) {
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
    const std::size_t count = isSet ? set.size() : 1;
    for (std::size_t s = 0; s < count; ++s) {
        if (json) {
            PrintJsonLine(MessageJson(set[s], s + 1));
        } else {
            DumpMessage(set[s], isSet ? "message " + std::to_string(s + 1) : "message");
        }
    }
    return kExitOk;
}

CommandRun DefineDump(CLI::App& app) {
    auto file = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    app.footer(kDumpHelp);
    app.add_flag("--json", *json,
                 "one JSON object per message: its number, type and cells (font, kind, code, "
                 "text)");
    app.add_option("FILE", *file, "a message (.kom) or message-set (.kzb) file")->required();
    return [file, json] { return RunDump(*file, *json); };
}

const CommandRegistration kCompose(Command{
    "compose", "build a message file from text with live fields", &DefineCompose});
const CommandRegistration kDump(Command{"dump", "show the cells of a message or message-set file",
                                        &DefineDump});

} // namespace
} // namespace ledsign_tool
