// qirn-shrink: cuts a trace set that qirn rejects down to a smallest one that
// it rejects the same way.
#include <cstdio>
#include <filesystem>

#include "shrink/interrupt.h"
#include "shrink/options.h"
#include "shrink/shrinker.h"

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
  const qirn_shrink::ParsedOptions parsed = qirn_shrink::parse_options(argc, argv);
  if (parsed.line.action != qirn_tools::Action::Run) {
    return qirn_tools::answer(parsed.line, {"qirn-shrink", qirn_shrink::kShrinkUsage, 2, true});
  }
  qirn_shrink::end_cleanly_on_interrupt();
  return qirn_shrink::shrink(parsed.options, qirn_path(parsed.options.qirn));
}
