#pragma once
// The option rules every ledsign command and ledsign-emulator share, on top of CLI11:
// - numbers are decimal only (CLI11's own conversion reads a leading 0 as octal), and a value
//   out of range is told with the range;
// - a single-valued option given twice is bad usage (CLI11's default policy);
// - `--` ends the options;
// - a usage error is one line: the program and command, the option and the reason, then
//   "Run '... --help'"; its exit status is 2 whatever CLI11's own code.

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>

namespace ledsign_tool {

// Accepts a decimal whole number from `min` to `max` (leading zeros allowed: "0380" is 380) and
// hands CLI11 the number without them, so that its conversion cannot take it for octal.
CLI::Validator DecimalIn(std::uint64_t min, std::uint64_t max);

// Reads `text` as DecimalIn does; false when it is no decimal number in min..max.
bool ParseDecimal(const std::string& text, std::uint64_t min, std::uint64_t max,
                  std::uint64_t& value);

// The reason of a CLI11 parse error as one clause, in the words of these tools ("--address
// given more than once", "unknown option --bogus").
std::string DescribeParseError(const CLI::ParseError& error);

// The usage error line for `program` ("ledsign send", "ledsign-emulator"): the program, the
// reason, and where the help is.
std::string UsageErrorLine(const std::string& program, const std::string& reason);

// Parses `argv` with `app`. Returns -1 when the command line is good and the command is to run;
// otherwise the exit status after printing the help (0) or the usage error line (2) for
// `program`.
int ParseOrExit(CLI::App& app, int argc, const char* const* argv, const std::string& program);

} // namespace ledsign_tool
