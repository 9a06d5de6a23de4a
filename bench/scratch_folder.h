#pragma once
// A fresh folder under the system temporary folder for one benchmark's files, removed with
// everything in it when the object goes away. path() is empty when it could not be made.
#include <stdlib.h>

#include <string>

#include "core/file_utils.h"
#include "platform/os/folders.h"

namespace vd::bench {

class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = vd::os::SystemTempFolder() + "/vdbench-XXXXXX";
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ScratchFolder() {
    if (!path_.empty()) DeleteDirectoryTree(path_);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace vd::bench
