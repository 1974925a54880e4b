// Command line: options into the run settings, and the usage text.
#pragma once

// Applies every option in command-line order. Returns 1 when the run must stop
// (help or the version was printed, or the model name was rejected), else 0.
int deal_argv(int argc, char** argv);

void print_help();
