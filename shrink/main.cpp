// qirn-shrink: cuts a trace set that qirn rejects down to a smallest one that
// it rejects the same way.
#include <cstdio>
#include <filesystem>

#include "shrink/interrupt.h"
#include "shrink/options.h"
#include "shrink/shrinker.h"
#include "tools/option_text.h"

namespace {

namespace fs = std::filesystem;

// The qirn named on the command line, or the one beside this executable, as
// an absolute path (qirn runs in another folder).
std::string qirn_path(const std::string& named) {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  const fs::path qirn = named.empty() ? self.parent_path() / "qirn" : fs::path(named);
  return fs::absolute(qirn, error).string();
}

}  // namespace

int main(int argc, char** argv) {
  if (qirn_tools::printed_version("qirn-shrink", argc, argv)) return 0;
  const qirn_shrink::ShrinkOptions options = qirn_shrink::parse_options(argc, argv);
  if (!options.error.empty()) {
    std::fprintf(stderr, "qirn-shrink: %s\n%s", options.error.c_str(), qirn_shrink::kShrinkUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(qirn_shrink::kShrinkUsage, stdout);
    return 0;
  }
  qirn_shrink::end_cleanly_on_interrupt();
  return qirn_shrink::shrink(options, qirn_path(options.qirn));
}
