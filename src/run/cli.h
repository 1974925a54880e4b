// Command line: options into the run settings, and the usage text.
#pragma once

#include <string>

#include "qirn.h"

// Applies every option in command-line order. Returns 1 when the run must stop
// (help or the version was printed, or the model name was rejected), else 0.
int deal_argv(int argc, char** argv);

void print_help();

// Sets the model named; returns 1, after printing why, when no model has that
// name.
int set_model(const char* name);

// Reads the traces from PREFIXtfres.N and the bounds from PREFIXboundgt.N;
// with `countProcessors`, the processor count becomes that of the trace files
// when there are any.
void read_traces_at(const std::string& prefix, bool countProcessors);
