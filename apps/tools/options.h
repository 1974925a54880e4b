// The command-line parser of the companion tools (qirn-gen, qirn-batch,
// qirn-shrink, qirn-witness). Each tool declares its options in a table:
// letter, long names, and what value each takes and where it goes. One loop
// around getopt_long reads them, with one wording for every error, and -h,
// --help and --version mean the same in every tool.
#pragma once

#include <charconv>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace qirn_tools {

// Whether text is a number of type T and nothing else; it is then in value.
template <typename T>
bool parse_number(const char* text, T& value) {
  const char* end = text + std::strlen(text);
  const auto [stop, error] = std::from_chars(text, end, value);
  return error == std::errc() && stop == end && stop != text;
}

// What an option takes and where it goes.
struct Value {
  bool taken = true;     // false for a flag, which takes no value
  std::string expected;  // what a valid value looks like, for the error message
  std::function<bool(const char* text)> store;  // false when text is not valid
};

// A whole number from min to max.
template <typename T>
Value whole(T& field, T min, T max = std::numeric_limits<T>::max()) {
  std::string expected = "a whole number from " + std::to_string(min);
  if (max != std::numeric_limits<T>::max()) expected += " to " + std::to_string(max);
  return {true, expected, [&field, min, max](const char* text) {
            T number{};
            if (!parse_number(text, number) || number < min || number > max) return false;
            field = number;
            return true;
          }};
}

// Seconds, fractions allowed, above 0, from min (when above 0) to max; with
// zeroForNone, also 0, which means no limit.
Value seconds(double& field, double min, double max, bool zeroForNone);
// One of the names, kept as written.
Value one_of(std::string& field, std::vector<std::string> names);
// A memory model name, as qirn takes it: SC, PC, RC, ScC, TSO, PSO or WMO.
Value model(std::string& field);
// Any text, the empty one too.
Value text(std::string& field);
// A text that is not empty.
Value file_name(std::string& field);
// A value that is accepted and then ignored.
Value ignored();
// No value; the option sets field.
Value flag(bool& field);

struct Option {
  char letter;                     // '\0' for an option with long names only
  std::vector<std::string> names;  // long names; messages use the first
  Value value;
};

enum class Action { Run, Help, Version, Fail };

struct CommandLine {
  Action action = Action::Run;
  std::string error;  // what was wrong, when action is Fail

  // Makes the command line wrong for the reason given, unless it is already
  // answered otherwise: wrong before, or asking for the version. An empty
  // reason changes nothing.
  void refuse(const std::string& reason);
};

// Reads argv by the table with getopt_long; may be called more than once.
// -h and --help ask for the usage text, and --version anywhere before "--"
// for the version, which then answers the whole command line. The words left
// after the options go to operands; without operands they are an error.
CommandLine parse(int argc, char** argv, const std::vector<Option>& table,
                  std::vector<std::string>* operands = nullptr);

// Checks and stores one option's value (nullptr for a flag); returns the
// error, empty when the value was taken.
std::string apply(const Option& option, const char* text);

// Whether an argument before any "--" is --version.
bool asks_version(int argc, char** argv);

// How a tool answers a command line that it does not run.
struct Tool {
  const char* name;
  std::string usage;
  int wrongStatus;      // exit status of a wrong command line
  bool usageWhenWrong;  // a wrong command line gets the usage text rather than a hint
};

// Prints the version, the usage text or the error, as line's action (any but
// Run) asks; returns the exit status.
int answer(const CommandLine& line, const Tool& tool);

}  // namespace qirn_tools
