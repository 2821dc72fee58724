#include "tools/ledsign/Cli.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <regex>

namespace ledsign_tool {

bool ParseDecimal(const std::string& text, std::uint64_t min, std::uint64_t max,
                  std::uint64_t& value) {
    // Twenty digits overflow nothing below 2^64 once the leading zeros are gone.
    const auto first = text.find_first_not_of('0');
    const std::string digits = first == std::string::npos ? "0" : text.substr(first);
    if (text.empty() || digits.size() > 19 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    const std::uint64_t v = std::stoull(digits);
    if (v < min || v > max) {
        return false;
    }
    value = v;
    return true;
}

CLI::Validator DecimalIn(std::uint64_t min, std::uint64_t max) {
    const std::string range = std::to_string(min) + ".." + std::to_string(max);
    return CLI::Validator(
        [min, max, range](std::string& text) -> std::string {
            std::uint64_t value = 0;
            if (!ParseDecimal(text, min, max, value)) {
                return "'" + text + "' is not a decimal number in " + range;
            }
            text = std::to_string(value);
            return {};
        },
        range);
}

std::string DescribeParseError(const CLI::ParseError& error) {
    // CLI11's wordings, reworded; anything else is kept with its first letter lowered. Compiled
    // on each call: a usage error ends the program, so this runs once.
    const struct {
        std::regex Pattern;
        const char* Replacement;
    } kRewordings[] = {
        {std::regex("^(\\S+): At Most 1 required but received \\d+$"), "$1 given more than once"},
        {std::regex("^(\\S+): \\d+ required \\S+ missing$"), "$1 needs a value"},
        {std::regex("^The following arguments? (was|were) not expected: (.*? )?(-\\S*)( .*)?$"),
         "unknown option $3"},
        {std::regex("^The following arguments? (was|were) not expected: (.*)$"),
         "unexpected argument $2"},
        {std::regex("^Could not convert: (\\S+) = (.*)$"), "$1: bad value '$2'"},
        {std::regex("^(\\S+) excludes (\\S+)$"), "$1 and $2 exclude each other"},
    };
    std::string text = error.what();
    for (const auto& r : kRewordings) {
        if (std::regex_match(text, r.Pattern)) {
            return std::regex_replace(text, r.Pattern, r.Replacement);
        }
    }
    // A sentence's capital is lowered, a positional's name ("SLOT") kept.
    if (text.size() > 1 && text[0] >= 'A' && text[0] <= 'Z' && text[1] >= 'a' && text[1] <= 'z') {
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    }
    return text;
}

std::string UsageErrorLine(const std::string& program, const std::string& reason) {
    return program + ": " + reason + ". Run '" + program + " --help'";
}

int ParseOrExit(CLI::App& app, int argc, const char* const* argv, const std::string& program) {
    try {
        app.parse(argc, argv);
        return -1;
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help() << std::flush;
        return 0;
    } catch (const CLI::ParseError& error) {
        std::fprintf(stderr, "%s\n", UsageErrorLine(program, DescribeParseError(error)).c_str());
        return 2;
    }
}

} // namespace ledsign_tool
