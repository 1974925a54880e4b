// Line reading and the line classes shared by the trace and bound readers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Reads a file line by line, each line whole with its newline (the last one
// may lack it), NUL bytes included. The file is read in large blocks, so the
// reader must be the file's only reader from where it starts.
class LineReader {
 public:
  explicit LineReader(FILE* file) : file_(file), block_(kBlockSize) {}
  // The next line; false at end of file.
  bool next(std::string& line);
  // Lines returned so far: the number of the last one.
  std::int64_t line_number() const { return lines_; }

 private:
  static constexpr std::size_t kBlockSize = 1 << 16;
  FILE* file_;
  std::vector<char> block_;
  std::size_t at_ = 0;
  std::size_t end_ = 0;
  std::int64_t lines_ = 0;
};

// The file's last line as LineReader would give it last ("" for an empty
// file). A file that can be sought is read from its end, so that a long file
// costs no more than its last line; any other is read through.
std::string last_line(FILE* file);

// A comment has "#" in its first column; a "#" after blanks does not count.
bool is_comment_line(const std::string& line);

// Zero or more spaces (no tabs, no carriage returns) and then the newline.
bool is_blank_line(const std::string& line);

// What a line scan read: the number of items, as sscanf counts them (-1 when
// the line ended before the first), and whether a number lay outside int32_t.
struct ScannedItems {
  int count = 0;
  bool out_of_range = false;
};

// Reads a line's items the way sscanf reads "%s", "%d" and plain characters,
// except that a number outside int32_t is never wrapped: it counts as read,
// its value is clamped, and the result says it was out of range.
class ItemScanner {
 public:
  explicit ItemScanner(const std::string& line) : at_(line.c_str()) {}
  ItemScanner& word(std::string* text = nullptr);
  ItemScanner& number(std::int32_t& value);
  ItemScanner& literal(char c);
  ScannedItems items() const;

 private:
  // Skips white space; false (and the scan stops) at the end of the line.
  bool skip_space();

  const char* at_;
  ScannedItems items_;
  bool stopped_ = false;
  bool ended_ = false;
};

// Opens the file "%s.%d" of processor p for reading; null when it cannot. The
// file becomes the one being read (`state->readingFile`).
FILE* open_processor_file(const std::string& prefix, int processor);
// Makes the file of processor p the one being read, before its first line;
// a reader then keeps `state->readingLine` at the line it has got to.
void note_reading(const std::string& prefix, int processor);
// Nothing is being read any more.
void done_reading();

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
