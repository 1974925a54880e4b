// Bound files: per processor, the range of operations around each scan.
#pragma once

#include <string>

#include "qirn.h"
#include "trace/text_lines.h"

// First pass: the scan count of every processor from the last line of its
// bound file, and their maximum in NSCAN.
void calculate_scan();
// Second pass: fills the scan table from the data lines of every bound file.
int_t read_bound_res();
// Gives every operation the number of the scan interval it lies in.
void calculateScanNo();

// The leading number of a bound file's last line ("%d:%s"), 0 when it has
// none; a number outside int_t gives the largest int_t.
int_t parse_scan_count(const std::string& line);
// Parses a data line with "%d:%d,%d".
ScannedItems parse_bound_line(const std::string& line, int_t& index, int_t& lb, int_t& ub);
