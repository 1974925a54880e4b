// Ending qirn-shrink on SIGINT or SIGTERM without leaving anything behind:
// the qirn runs it started end with it, and its temporary folder is removed.
#pragma once

#include <string>
#include <vector>

namespace qirn_shrink {

// Makes every child started from now on die with this process, and ends this
// process on SIGINT or SIGTERM with status 128 + the signal's number after
// removing the temporary folder, if one is open.
void end_cleanly_on_interrupt();

// A folder of its own under the system's temporary folder, for trace sets of
// up to `processors` processors. It and those files go when it is destroyed,
// or when an interrupt ends the process.
class TemporaryFolder {
 public:
  explicit TemporaryFolder(int processors);
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  // Empty when the folder could not be made.
  const std::string& path() const { return path_; }
  // The paths of the files that may be written into it.
  const std::vector<std::string>& files() const { return files_; }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

}  // namespace qirn_shrink
