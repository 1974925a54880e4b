#include "trace/text_lines.h"

bool read_whole_line(FILE* file, std::string& line) {
  line.clear();
  int c;
  while ((c = std::getc(file)) != EOF) {
    line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return !line.empty();
}

bool is_comment_line(const std::string& line) {
  return !line.empty() && line[0] == '#';
}

bool is_blank_line(const std::string& line) {
  if (line.empty() || line.back() != '\n') return false;
  return line.find_first_not_of(' ') == line.size() - 1;
}

FILE* open_processor_file(const std::string& prefix, int processor) {
  const std::string name = prefix + "." + std::to_string(processor);
  return std::fopen(name.c_str(), "r");
}
