// Line reading and the line classes shared by the trace and bound readers.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Reads the next line whole, keeping its newline; false at end of file.
bool read_whole_line(FILE* file, std::string& line);

// A comment has "#" in its first column; a "#" after blanks does not count.
bool is_comment_line(const std::string& line);

// Zero or more spaces (no tabs, no carriage returns) and then the newline.
bool is_blank_line(const std::string& line);

// Opens the file "%s.%d" of processor p for reading; null when it cannot.
FILE* open_processor_file(const std::string& prefix, int processor);

// Files opened for reading, all closed when the list goes away, also when a
// fatal stop unwinds past it.
class OpenFiles {
 public:
  OpenFiles() = default;
  OpenFiles(const OpenFiles&) = delete;
  OpenFiles& operator=(const OpenFiles&) = delete;
  ~OpenFiles() {
    for (FILE* file : files_) std::fclose(file);
  }
  void add(FILE* file) { files_.push_back(file); }
  FILE* operator[](std::size_t i) const { return files_[i]; }

 private:
  std::vector<FILE*> files_;
};
