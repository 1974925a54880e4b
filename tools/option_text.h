// Command-line helpers shared by the companion tools (qirn-gen, qirn-batch,
// qirn-shrink, qirn-witness): whole-number parsing, the text of a getopt_long
// error, and --version.
#pragma once

#include <getopt.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

namespace qirn_tools {

// Whether text is a number of type T and nothing else; it is then in value.
template <typename T>
bool parse_whole(const char* text, T& value) {
  const char* end = text + std::strlen(text);
  const auto [stop, error] = std::from_chars(text, end, value);
  return error == std::errc() && stop == end && stop != text;
}

// Names the offending option as it was written: a long option by its word,
// a short one by its letter (it may sit inside a group such as -xb).
inline std::string parser_error(int result, char** argv) {
  const std::string written = argv[optind - 1];
  const std::string word = written.starts_with("--") || optopt == 0
                               ? written.substr(0, written.find('='))
                               : std::string("-") + static_cast<char>(optopt);
  return (result == ':' ? "missing value for " : "unknown option ") + word;
}

// Prints "TOOL VERSION" when an argument before any "--" is --version, which
// then answers the whole command line, as --help does.
inline bool printed_version(const char* tool, int argc, char** argv) {
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--version") != 0) continue;
    std::printf("%s %s\n", tool, QIRN_VERSION);
    return true;
  }
  return false;
}

}  // namespace qirn_tools
