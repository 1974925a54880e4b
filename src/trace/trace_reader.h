// Trace files: one per processor, one operation per line, in program order.
#pragma once

#include <string>

#include "qirn.h"
#include "trace/text_lines.h"

enum class TraceLine { Comment, Blank, Acquire, Release, Access };

// "acquire" anywhere in a line makes it an acquire line, before "release".
TraceLine classify_trace_line(const std::string& line);

// Parses "%s%d": a word and the lock number.
ScannedItems parse_lock_line(const std::string& line, int_t& lock);

// Parses "%s%d%d": the word, the address and the value; after the word
// "rmw", a third number, the value written (`val` is then the value read).
ScannedItems parse_access_line(const std::string& line, std::string& word, int_t& addr, int_t& val,
                               int_t& written);

// Makes the node a fence, which orders its processor's operations before it
// ahead of those after it.
void read_fence(opnode& node);

// First pass: counts the operation lines of every processor into `procOpNum`.
void get_proc_op_num();

// Second pass: fills kind, address and value of every node.
int_t read_result();

// Sets `addrNum` and `lockNum` from the largest address and acquired lock,
// the column counts, every node's column, and `hasRmw`.
void get_addr_lock_num();
