// The command line of ledsign and ledsign-emulator as scripts and administrators use it: the
// option rules, the signs file, --json, the exit status of each fault, the watch's logging.

#ifdef LEDSIGN_EMULATOR // the software sign exists where pseudo-terminals do

#include "autosync/Unitautosync.h"
#include "testsupport/SoftwareSign.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <future>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

using test_files::WriteText;
using tool_tests::RunResult;
using tool_tests::RunToCompletion;
using tool_tests::Sign;
using tool_tests::Subprocess;
using TempDir = test_files::ScratchDir;

namespace {

RunResult Ledsign(std::vector<std::string> args) {
    args.insert(args.begin(), LEDSIGN_BIN);
    return RunToCompletion(args, std::chrono::seconds(20));
}

std::string Joined(const std::vector<std::string>& args) {
    std::string joined;
    for (const std::string& a : args) {
        joined += a + " ";
    }
    return joined;
}

std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::vector<nlohmann::json> objects;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        objects.push_back(nlohmann::json::parse(line)); // throws, failing the test, if not JSON
    }
    return objects;
}

// Command line in, exit status and the start of the one line on stderr out. The runs that pass
// the parser fail on a port that does not exist (3) or a file that does not (1), which shows
// that they were read as meant without any sign.
TEST(CommandLine, OptionRules) {
    TempDir dir;
    const std::string none = dir / "no-such-port";
    const std::string kom = dir / "m.kom";
    const std::string emulator = LEDSIGN_EMULATOR;
    struct Case {
        std::vector<std::string> Args; // after ledsign, or the emulator's path first
        int Exit;
        std::string Err; // the start of stderr
    };
    const Case cases[] = {
        // Numbers are decimal: leading zeros are no octal, "0x" is no hex; the range is told.
        {{"show", "--port", none, "--address", "0380", "1"}, 3, "cannot open port"},
        {{"show", "--port", none, "--address", "0x10", "1"},
         2,
         "ledsign show: --address: '0x10' is not a decimal number in 0..65535. Run 'ledsign "
         "show --help'"},
        {{"send", "--port", none, "--slot", "010", kom},
         2,
         "ledsign send: --slot: '010' is not a decimal number in 1..9"},
        {{"show", "--port", none, "09"}, 3, "cannot open port"},
        {{"preview", "--steps", "-1", kom}, 2, "ledsign preview: --steps: '-1' is not a decimal"},
        {{"watch", "--port", none, "--probe-interval", "1e3", "d"},
         2,
         "ledsign watch: --probe-interval: '1e3' is not a decimal"},
        {{emulator, "--address", "0x1234"},
         2,
         "ledsign-emulator: --address: '0x1234' is not a decimal number in 0..65535. Run "
         "'ledsign-emulator --help'"},
        {{emulator, "--delay", "600001"}, 2, "ledsign-emulator: --delay: '600001' is not"},
        // A single-valued option given twice is bad usage everywhere.
        {{"watch", "--port", none, "--port", none, "d"},
         2,
         "ledsign watch: --port given more than once"},
        {{"show", "--port", none, "--address", "1", "--address", "2", "1"},
         2,
         "ledsign show: --address given more than once"},
        {{"compose", "--font", "1", "--font", "2", "-o", kom, "a"},
         2,
         "ledsign compose: --font given more than once"},
        {{emulator, "--log", kom, "--log", kom}, 2, "ledsign-emulator: --log given more than once"},
        // -- ends the options everywhere.
        {{"dump", "--", "-m.kom"}, 1, "ledsign dump: cannot read '-m.kom'"},
        {{"show", "--port", none, "--", "1"}, 3, "cannot open port"},
        {{"watch", "--port", none, "--", "-d"}, 1, ""}, // the port, not the file name, fails
        // Unknown options, missing values and options of other commands.
        {{"show", "--port", none, "--bogus", "1"}, 2, "ledsign show: unknown option --bogus"},
        {{"send", "--port"}, 2, "ledsign send: --port needs a value"},
        {{"watch", "--group", "g", "d"}, 2, "ledsign watch: unknown option --group"},
        {{"watch", "--port", none, "--sign", "s", "d"},
         2,
         "ledsign watch: --port and --sign exclude"},
        {{"send", "--port", none, "--font", "2", kom}, 2, "ledsign send: --font requires --text"},
        {{"send", "--port", none, "--text", "a", kom}, 2, "ledsign send: FILE and --text "},
        {{"send", "--port", none}, 2, "ledsign send: a message FILE or --text is required"},
        {{"send", "--text", "a"}, 2, "ledsign send: --port, --sign, --group or --all is required"},
        {{"send", "--port", none, "--text", "{x}"}, 2, "ledsign send: --text: unknown field {x}"},
        {{"frobnicate"}, 2, "ledsign: unknown command 'frobnicate'"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.Args;
        if (args[0] != emulator) {
            args.insert(args.begin(), LEDSIGN_BIN);
        }
        const RunResult r = RunToCompletion(args, std::chrono::seconds(10));
        EXPECT_EQ(r.ExitCode, c.Exit) << Joined(args) << r.Err;
        EXPECT_EQ(r.Err.rfind(c.Err, 0), 0u) << Joined(args) << r.Err;
        if (c.Exit == 2 && c.Args[0] != "frobnicate") {
            EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
        }
    }
}

// The options `ledsign COMMAND --help` lists, and those the bash completion offers for it.
std::set<std::string> HelpOptions(const std::string& command) {
    const RunResult r = Ledsign({command, "--help"});
    std::set<std::string> options;
    const std::regex option("^  (-h,)?(-[-a-z]+)");
    std::istringstream in(r.Out);
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_search(line, m, option)) {
            options.insert(m[2]);
        }
    }
    return options;
}

// The commands `ledsign --help` lists: those this build has (mqtt only where libmosquitto was).
std::set<std::string> HelpCommands() {
    const RunResult r = Ledsign({"--help"});
    std::set<std::string> commands;
    const std::regex command("^  ([a-z-]+)  ");
    std::istringstream in(r.Out);
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_search(line, m, command)) {
            commands.insert(m[1]);
        }
    }
    return commands;
}

TEST(CommandLine, CompletionOffersTheOptionsOfEachCommand) {
    std::ifstream completion(LEDSIGN_COMPLETION);
    const std::regex line("^\\s+([a-z-]+)\\) options=\"([^\"]*)\"");
    const std::set<std::string> built = HelpCommands();
    std::set<std::string> commands;
    for (std::string text; std::getline(completion, text);) {
        std::smatch m;
        if (!std::regex_search(text, m, line)) {
            continue;
        }
        commands.insert(m[1]);
        if (built.count(m[1]) == 0) {
            EXPECT_EQ(m[1], "mqtt") << "completed, but no such command";
            continue; // completed for the builds that have it
        }
        std::istringstream words(m[2].str());
        const std::set<std::string> offered{std::istream_iterator<std::string>(words), {}};
        EXPECT_EQ(offered, HelpOptions(m[1])) << m[1];
    }
    EXPECT_GE(built.size(), 10u);
    for (const std::string& command : built) {
        EXPECT_EQ(commands.count(command), 1u) << command << " is not completed";
    }
}

// Every problem of a signs file exits 2 with the file, the line where there is one and the
// reason, before any port is opened.
TEST(CommandLine, SignsFileProblems) {
    TempDir dir;
    const std::string file = dir / "signs.conf";
    const std::string kGood = "[kasa]\nport = /dev/null\ngroups = parter\n";
    struct Case {
        std::string Text;
        std::vector<std::string> Args; // after "show 1 --signs-file FILE"
        std::string Err;               // after "ledsign show: "
    };
    const Case cases[] = {
        {kGood, {"--sign", "hala"}, "no sign 'hala' in " + file},
        {kGood, {"--group", "pietro"}, "no sign in group 'pietro' in " + file},
        {"[kasa]\naddress = 380\n", {"--all"}, file + ":1: sign 'kasa' has no port"},
        {kGood + "[kasa]\nport = /dev/zero\n",
         {"--all"},
         file + ":4: sign 'kasa' is defined twice (first at line 1)"},
        {"port = /dev/null\n", {"--all"}, file + ":1: 'port' before the first [NAME] section"},
        {"[kasa]\nport = /dev/null\nspeed = 9600\n",
         {"--all"},
         file + ":3: unknown key 'speed' (known: port, address, groups)"},
        {"[kasa]\nport = /dev/null\naddress = 0x17C\n", {"--all"}, file + ":3: bad address"},
        {"[kasa\n", {"--all"}, file + ":1: expected '[NAME]', got '[kasa'"},
    };
    for (const Case& c : cases) {
        WriteText(file, c.Text);
        std::vector<std::string> args = {"show", "1", "--signs-file", file};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        const RunResult r = Ledsign(args);
        EXPECT_EQ(r.ExitCode, 2) << c.Text;
        EXPECT_EQ(r.Err.rfind("ledsign show: " + c.Err, 0), 0u) << r.Err;
        EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
        EXPECT_TRUE(r.Out.empty()) << r.Out;
    }
    // Root does not take a sign's port from a file that others may write.
    WriteText(file, kGood);
    if (geteuid() == 0) {
        ASSERT_EQ(chmod(file.c_str(), 0666), 0);
        const RunResult r = Ledsign({"show", "1", "--signs-file", file, "--sign", "kasa"});
        EXPECT_EQ(r.ExitCode, 2);
        EXPECT_EQ(r.Err, "ledsign show: cannot read the signs file " + file +
                             ": its mode 0666 lets others write it, and root does not read such "
                             "a file\n");
    }
    // The watch configuration names a sign, or a port, not both.
    WriteText(dir / "watch.conf", "sign = kasa\nport = /dev/null\n");
    const RunResult r = Ledsign({"watch", "--config", dir / "watch.conf", "d"});
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_EQ(r.Err, "ledsign watch: " + (dir / "watch.conf") +
                         ":2: 'port' and 'sign' exclude each other\n");
}

// Named signs resolve to their ports and addresses, in the order given, each once; --json
// gives one object per sign that a JSON parser reads back.
TEST(CommandLine, NamedSignsAndJsonResults) {
    TempDir dir;
    Sign kasa(dir.Path(), {"--address", "381"}, "kasa");
    Sign hala(dir.Path(), {}, "hala");
    const std::string file = dir / "signs.conf";
    const std::string none = dir / "no-such-port";
    WriteText(file, "[kasa]\nport = " + kasa.Port() +
                        "\naddress = 381\ngroups = parter sklep\n\n[brak]\nport = " + none +
                        "\ngroups = parter\n[hala]\nport = " + hala.Port() + "\n");
    // The group gives kasa and brak; kasa, named again by --sign, runs once.
    const RunResult r = Ledsign({"show", "4", "--json", "--signs-file", file, "--port", hala.Port(),
                                 "--group", "parter", "--sign", "kasa"});
    EXPECT_EQ(r.ExitCode, 3) << r.Err; // brak's, the first failure
    EXPECT_TRUE(r.Err.empty()) << r.Err;
    const std::vector<nlohmann::json> objects = JsonLines(r.Out);
    ASSERT_EQ(objects.size(), 3u) << r.Out;
    const struct {
        nlohmann::json Sign;
        std::string Port;
        unsigned Address;
        nlohmann::json Error;
    } expected[] = {
        {nullptr, hala.Port(), 380, nullptr},
        {"kasa", kasa.Port(), 381, nullptr},
        {"brak", none, 380, "not-found"},
    };
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const nlohmann::json& o = objects[i];
        EXPECT_EQ(o["sign"], expected[i].Sign) << o;
        EXPECT_EQ(o["port"], expected[i].Port) << o;
        EXPECT_EQ(o["address"], expected[i].Address) << o;
        EXPECT_EQ(o["ok"], expected[i].Error.is_null()) << o;
        EXPECT_EQ(o["error"], expected[i].Error) << o;
        EXPECT_TRUE(o["ms"].is_number_integer()) << o;
        EXPECT_FALSE(o["message"].get<std::string>().empty()) << o;
    }
    EXPECT_EQ(kasa.Log(), std::vector<std::string>{tool_tests::RequestLine(0x19, 4, {})});
    EXPECT_EQ(hala.Log(), std::vector<std::string>{tool_tests::RequestLine(0x19, 4, {})});

    // Without --json, each line of a named sign starts with its name.
    const RunResult people = Ledsign({"sync-clock", "--signs-file", file, "--sign", "kasa"});
    EXPECT_EQ(people.Out, "kasa: set the clock of sign 381\n");

    const RunResult signs = Ledsign({"signs", "--json", "--signs-file", file});
    EXPECT_EQ(signs.ExitCode, 0);
    const std::vector<nlohmann::json> listed = JsonLines(signs.Out);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0]["sign"], "kasa");
    EXPECT_EQ(listed[0]["groups"], (nlohmann::json{"parter", "sklep"}));
    EXPECT_EQ(listed[2]["address"], 380);

    // send --text sends what compose writes for the same text.
    const std::string text = "Zażółć {time} {font=2}x";
    ASSERT_EQ(Ledsign({"compose", "--static", "-o", dir / "m.kom", text}).ExitCode, 0);
    const RunResult sent =
        Ledsign({"send", "--port", hala.Port(), "--static", "--text", text, "--json"});
    EXPECT_EQ(sent.ExitCode, 0) << sent.Err;
    EXPECT_EQ(JsonLines(sent.Out).at(0)["ok"], true);
    const test_files::Bytes composed = test_files::ReadAll(dir / "m.kom");
    EXPECT_EQ(hala.Log().back(), tool_tests::RequestLine(0x15, 9, composed));

    const RunResult dump = Ledsign({"dump", "--json", dir / "m.kom"});
    const std::vector<nlohmann::json> messages = JsonLines(dump.Out);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0]["type"], "static");
    EXPECT_EQ(messages[0]["cells"][1]["text"], "a");
    EXPECT_EQ(messages[0]["cells"][7]["kind"], "time");
    EXPECT_EQ(messages[0]["cells"][9]["font"], 2);
    for (const nlohmann::json& port : JsonLines(Ledsign({"ports", "--json"}).Out)) {
        EXPECT_TRUE(port["port"].is_string()) << port;
    }
}

// Each exit status from the fault that gives it, against the software sign, with the kind --json
// names. Run side by side: the silent sign costs the whole polling time.
TEST(CommandLine, EachFaultHasItsExitStatus) {
    TempDir dir;
    Sign silent(dir.Path(), {"--silent"}, "silent");
    Sign refusing(dir.Path(), {"--refuse"}, "refusing");
    Sign slow(dir.Path(), {"--delay", "3000"}, "slow");
    Sign locked(dir.Path(), {}, "locked");
    // Held by another ledsign while the slow sign thinks.
    Subprocess holder({LEDSIGN_BIN, "show", "--port", slow.Port(), "1"});
    ASSERT_TRUE(slow.WaitForLines(1));
    // Root's terminal is opened by nobody; the tests' own user's is closed to itself.
    const bool root = geteuid() == 0;
    ASSERT_EQ(chmod(locked.Port().c_str(), root ? 0600 : 0000), 0);
    const std::vector<std::string> asNobody = {"/usr/bin/setpriv", "--reuid=nobody",
                                               "--regid=nogroup", "--clear-groups"};
    const struct Case {
        std::string Port;
        int Exit;
        std::string Kind;
    } cases[] = {
        {dir / "missing", 3, "not-found"}, {locked.Port(), 4, "permission-denied"},
        {slow.Port(), 5, "in-use"},        {"/dev/null", 6, "not-a-serial-line"},
        {silent.Port(), 7, "timed-out"},   {refusing.Port(), 8, "refused"},
    };
    std::vector<std::future<RunResult>> runs;
    for (const Case& c : cases) {
        std::vector<std::string> args = {LEDSIGN_BIN, "show", "--json", "--port", c.Port, "2"};
        if (root && c.Kind == "permission-denied") {
            args.insert(args.begin(), asNobody.begin(), asNobody.end());
        }
        runs.push_back(std::async(std::launch::async, RunToCompletion, args,
                                  std::optional<std::chrono::milliseconds>()));
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const RunResult r = runs[i].get();
        EXPECT_EQ(r.ExitCode, cases[i].Exit) << cases[i].Kind << r.Out << r.Err;
        const std::vector<nlohmann::json> objects = JsonLines(r.Out);
        ASSERT_EQ(objects.size(), 1u) << r.Out;
        EXPECT_EQ(objects[0]["error"], cases[i].Kind) << r.Out;
    }
    chmod(locked.Port().c_str(), 0600);
    const int status = holder.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// The watch's lines: with a time stamp each, or under systemd's journal with their syslog
// priority instead; --quiet keeps the errors only, --verbose adds every transaction, --trace
// the frames. A refusing sign ends the start at once with a clock error.
TEST(CommandLine, WatchLogging) {
    TempDir dir;
    Sign refusing(dir.Path(), {"--refuse"});
    WriteText(dir / "dane.txt", "1 4 Raz\n");
    const std::string clockError =
        std::string(kStatusClockError) + " (refused by the sign: reply code 0x81)";
    const std::string stamp = "[0-9-]{10} [0-9:]{8} ";
    struct Case {
        std::string Options;
        bool Journal;
        std::string Out; // a pattern for all of stdout
        std::string Err; // a pattern for all of stderr
    };
    const Case cases[] = {
        {"", false, stamp + kStatusStarting + "\n" + stamp + kStatusSyncingClock + "\n",
         stamp + std::regex_replace(clockError, std::regex("[()!]"), "\\$&") + "\n"},
        {"", true, std::string("<6>") + kStatusStarting + "\n<6>" + kStatusSyncingClock + "\n",
         "<3>" + std::regex_replace(clockError, std::regex("[()!]"), "\\$&") + "\n"},
        {"--quiet", true, "", "<3>Nie moge.*\n"},
        {"--verbose", true,
         "<6>Uruchamiam.*\n<6>opening .*: done\n<6>Synchronizuj.*\n<6>setting the clock of sign "
         "380: refused by the sign: reply code 0x81\n",
         "<3>Nie moge.*\n"},
        {"--trace", true, "<6>Uruchamiam.*\n<6>Synchronizuj.*\n",
         ">> sent [0-9]+ bytes\n(.|\n)*<< received [0-9]+ bytes\n(.|\n)*<3>Nie moge.*\n"},
    };
    for (const Case& c : cases) {
        // The journal is told by JOURNAL_STREAM naming the device and inode of stderr.
        const std::string journal =
            c.Journal ? "JOURNAL_STREAM=$(stat -L -c %d:%i /proc/self/fd/2) " : "";
        const RunResult r =
            RunToCompletion({"/bin/sh", "-c",
                             journal + "exec '" LEDSIGN_BIN "' watch " + c.Options + " --port '" +
                                 refusing.Port() + "' '" + (dir / "dane.txt") + "'"},
                            std::chrono::seconds(20));
        EXPECT_EQ(r.ExitCode, 1) << c.Options;
        EXPECT_TRUE(std::regex_match(r.Out, std::regex(c.Out))) << c.Options << "\n" << r.Out;
        EXPECT_TRUE(std::regex_match(r.Err, std::regex(c.Err))) << c.Options << "\n" << r.Err;
    }
}

} // namespace

#endif // LEDSIGN_EMULATOR
