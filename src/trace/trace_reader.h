// Trace files: one per processor, one operation per line, in program order.
#pragma once

#include <string>

#include "qirn.h"

enum class TraceLine { Comment, Blank, Acquire, Release, Access };

// "acquire" anywhere in a line makes it an acquire line, before "release".
TraceLine classify_trace_line(const std::string& line);

// Parses "%s%d" and returns the number of items read (-1 for none at all).
int parse_lock_line(const std::string& line, int_t& lock);

// Parses "%s%d%d" and returns the number of items read (-1 for none at all).
int parse_access_line(const std::string& line, std::string& word, int_t& addr, int_t& val);

// First pass: counts the operation lines of every processor into `procOpNum`.
void get_proc_op_num();

// Second pass: fills kind, address and value of every node.
int_t read_result();

// Sets `addrNum` and `lockNum` from the largest address and acquired lock.
void get_addr_lock_num();
