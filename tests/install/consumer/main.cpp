// Checks one run with the installed library: the folder or path prefix of
// its trace and bound files is the only argument. Prints what qirn prints
// for it and exits with qirn's status.
#include <cstdio>

#include "api/check.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  qirn::Options options;
  options.prefix = argv[1];
  const qirn::Result result = qirn::check(options);
  std::fputs(result.output.c_str(), stdout);
  std::fflush(stdout);
  std::fputs(result.errors.c_str(), stderr);
  return result.status;
}
