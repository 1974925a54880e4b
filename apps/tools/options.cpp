#include "tools/options.h"

#include <getopt.h>

#include <cstdio>

namespace qirn_tools {
namespace {

// getopt_long's value for the option at index i of a table is kFirstEntry + i,
// given by each of its long names, so that aliases are one option to it and
// an abbreviation shared by them is not ambiguous.
constexpr int kFirstEntry = 256;

struct GetoptTables {
  std::string shortOptions = ":h";  // ':' first: a missing value is told apart
  std::vector<option> longOptions = {{"help", no_argument, nullptr, 'h'}};
};

GetoptTables getopt_tables(const std::vector<Option>& table) {
  GetoptTables tables;
  for (size_t i = 0; i < table.size(); ++i) {
    const Option& entry = table[i];
    if (entry.letter != '\0') tables.shortOptions += entry.letter;
    if (entry.letter != '\0' && entry.value.taken) tables.shortOptions += ':';
    for (const std::string& name : entry.names) {
      tables.longOptions.push_back({name.c_str(),
                                    entry.value.taken ? required_argument : no_argument, nullptr,
                                    kFirstEntry + static_cast<int>(i)});
    }
  }
  tables.longOptions.push_back({nullptr, 0, nullptr, 0});
  return tables;
}

const Option& entry_of(const std::vector<Option>& table, int result) {
  if (result >= kFirstEntry) return table[result - kFirstEntry];
  for (const Option& entry : table) {
    if (entry.letter == result) return entry;
  }
  return table.front();  // getopt_long returns no other letter
}

// Names the offending option as it was written: a long option by its word,
// a short one by its letter (it may sit inside a group such as -xb).
std::string parser_error(int result, char** argv) {
  const std::string written = argv[optind - 1];
  const std::string word = written.starts_with("--") || optopt == 0
                               ? written.substr(0, written.find('='))
                               : std::string("-") + static_cast<char>(optopt);
  return (result == ':' ? "missing value for " : "unknown option ") + word;
}

// The shortest decimal text of number, without an exponent.
std::string decimal(double number) {
  char text[400];
  const auto result = std::to_chars(text, text + sizeof text, number, std::chars_format::fixed);
  return std::string(text, result.ptr);
}

}  // namespace

Value seconds(double& field, double min, double max, bool zeroForNone) {
  std::string expected = min > 0 ? "seconds from " + decimal(min) + " to " + decimal(max)
                                 : "seconds above 0 and at most " + decimal(max);
  if (zeroForNone) expected = "0 for no limit, or " + expected;
  return {true, expected, [&field, min, max, zeroForNone](const char* text) {
            double number = 0;
            if (!parse_number(text, number)) return false;
            const bool none = zeroForNone && number == 0;
            if (!none && !(number > 0 && number >= min && number <= max)) return false;
            field = number;
            return true;
          }};
}

Value one_of(std::string& field, std::vector<std::string> names) {
  std::string expected = names.front();
  for (size_t i = 1; i < names.size(); ++i) {
    expected += (i + 1 == names.size() ? " or " : ", ") + names[i];
  }
  return {true, expected, [&field, names](const char* text) {
            for (const std::string& name : names) {
              if (name != text) continue;
              field = name;
              return true;
            }
            return false;
          }};
}

Value model(std::string& field) {
  return one_of(field, {"SC", "PC", "RC", "ScC", "TSO", "PSO", "WMO"});
}

Value text(std::string& field) {
  return {true, "a text", [&field](const char* text) {
            field = text;
            return true;
          }};
}

Value file_name(std::string& field) {
  return {true, "a file name", [&field](const char* text) {
            field = text;
            return !field.empty();
          }};
}

Value ignored() {
  return {true, "anything", [](const char*) { return true; }};
}

Value flag(bool& field) {
  return {false, "no value", [&field](const char*) {
            field = true;
            return true;
          }};
}

void CommandLine::refuse(const std::string& reason) {
  if (reason.empty() || action == Action::Fail || action == Action::Version) return;
  action = Action::Fail;
  error = reason;
}

CommandLine parse(int argc, char** argv, const std::vector<Option>& table,
                  std::vector<std::string>* operands) {
  CommandLine line;
  if (asks_version(argc, argv)) {
    line.action = Action::Version;
    return line;
  }
  const GetoptTables tables = getopt_tables(table);
  optind = 0;  // start the parser afresh, also when called more than once
  opterr = 0;
  int result;
  while (line.action != Action::Fail &&
         (result = getopt_long(argc, argv, tables.shortOptions.c_str(), tables.longOptions.data(),
                               nullptr)) != -1) {
    if (result == 'h') {
      line.action = Action::Help;
    } else if (result == '?' || result == ':') {
      line.refuse(parser_error(result, argv));
    } else {
      line.refuse(apply(entry_of(table, result), optarg));
    }
  }
  if (line.action == Action::Fail) return line;
  if (operands != nullptr) {
    operands->assign(argv + optind, argv + argc);
  } else if (optind < argc) {
    line.refuse(std::string("unexpected argument '") + argv[optind] + "'");
  }
  return line;
}

std::string apply(const Option& option, const char* text) {
  if (option.value.store(text)) return {};
  return "invalid value for --" + option.names.front() + ": '" + text + "' (expected " +
         option.value.expected + ")";
}

bool asks_version(int argc, char** argv) {
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) return true;
  }
  return false;
}

int answer(const CommandLine& line, const Tool& tool) {
  if (line.action == Action::Version) {
    std::printf("%s %s\n", tool.name, QIRN_VERSION);
    return 0;
  }
  if (line.action == Action::Help) {
    std::fputs(tool.usage.c_str(), stdout);
    return 0;
  }
  std::fprintf(stderr, "%s: %s\n", tool.name, line.error.c_str());
  if (tool.usageWhenWrong) {
    std::fputs(tool.usage.c_str(), stderr);
  } else {
    std::fprintf(stderr, "Try '%s --help'.\n", tool.name);
  }
  return tool.wrongStatus;
}

}  // namespace qirn_tools
