#pragma once
// A fresh folder under the system temporary folder, removed with everything in it when the
// object goes away. Tests use it for every file they write.
#include <string>

namespace vd::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

}  // namespace vd::test
