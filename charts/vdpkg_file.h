#pragma once
// Map package descriptors (".vdpkg"): a server, a directory on it and a list of files, each
// with its size and a byte sum for every 1 MiB block. The descriptor is read with the binary
// field stream (wide strings); the files belong next to it, in the descriptor's folder.
//
//   int32 magic, string host ("name" or "name:port"), string directory, string title,
//   int64 total bytes, int32 file count, then per file: string name, int64 size,
//   ceil(size / 1 MiB) int32 sums (block bytes as unsigned values added into 32 bits).
//
// Every count and size is checked against the bytes the file holds, and a file name that
// would leave the package folder (absolute, drive-prefixed, "..", "\" or NUL) makes the
// descriptor malformed.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/type_file_in.h"

struct VdPkgEntry {
  std::string name;           // relative to the package folder, '/' between sub-folders
  int64_t size = 0;
  std::vector<int32_t> sums;  // one per block
};

class CVdPkgFile {
 public:
  static constexpr int32_t kMagic = 0x319E8613;
  static constexpr int64_t kBlockSize = 1048576;

  // Opens the descriptor and reads its header; ok() tells whether it is a package.
  explicit CVdPkgFile(const std::string& path);

  bool ok() const { return ok_; }
  // Why the descriptor was refused or an entry could not be read; "" while all is well.
  const std::string& error() const { return error_; }

  // The descriptor's folder with a trailing '/'.
  const std::string& folder() const { return folder_; }
  const std::string& host() const { return host_; }
  const std::string& directory() const { return directory_; }
  const std::string& title() const { return title_; }
  int64_t total() const { return total_; }
  int32_t count() const { return count_; }

  // The next entry with its sums. False after the last one, and when the entry is malformed
  // (then ok() turns false and error() says why; nothing after it is read).
  bool NextEntry(VdPkgEntry& entry);

  std::string LocalPath(const VdPkgEntry& entry) const { return folder_ + entry.name; }
  std::string ServerPath(const VdPkgEntry& entry) const { return directory_ + "/" + entry.name; }

  static int64_t BlockCount(int64_t size) { return (size + kBlockSize - 1) / kBlockSize; }
  // The block sum of the bytes.
  static int32_t ByteSum(const uint8_t* data, size_t length);
  // True for a non-empty relative name whose parts are neither empty, "." nor "..", without
  // '\', NUL or a drive prefix.
  static bool IsSafeName(const std::string& name);

 private:
  bool Fail(std::string why);
  int64_t BytesLeft() const;

  std::unique_ptr<CTypeFileIn> in_;
  int64_t file_size_ = 0;
  bool ok_ = false;
  std::string error_;
  std::string folder_, host_, directory_, title_;
  int64_t total_ = 0;
  int32_t count_ = 0;
  int32_t read_ = 0;  // entries read so far
};

// Title of the package; "" when the descriptor can't be read or is not a package.
std::string ReadPackageTitle(const std::string& package_path);
// Local path of the package's first file; "" when not a package or it has no files.
std::string ReadPackageInfo(const std::string& package_path);
// Appends the local path of every file, in descriptor order; false when the descriptor is not
// a package or is malformed (the paths read before the fault stay appended).
bool ReadPackageFileList(const std::string& package_path, std::vector<std::string>& paths);
// Total size of the files that are not present locally (existence only); -1 when the
// descriptor can't be read, is not a package or is malformed.
int64_t GetPackageMissingBytes(const std::string& package_path);
