#include "charts/vdpkg_file.h"

#include <string_view>
#include <utility>

#include "core/file_utils.h"
#include "core/path_utils.h"

namespace {

// A name, a size and no sums: the least an entry takes.
constexpr int64_t kMinEntryBytes = 4 + 8;

}  // namespace

CVdPkgFile::CVdPkgFile(const std::string& path) {
  const std::string directory = GetPathDirectory(path);
  folder_ = directory + "/";
  if (IsDirectory(path)) {
    Fail("not a file");
    return;
  }
  file_size_ = static_cast<int64_t>(GetFileLength(path));
  in_ = std::make_unique<CTypeFileIn>(path);
  if (!in_->ok()) {
    Fail("can't be opened");
    return;
  }
  int32_t magic = 0;
  if (!in_->Int32(magic) || magic != kMagic) {
    Fail("not a map package");
    return;
  }
  in_->String(host_);
  in_->String(directory_);
  in_->String(title_);
  in_->Int64(total_);
  in_->Int32(count_);
  if (!in_->ok()) {
    Fail("the package header is cut short");
    return;
  }
  if (total_ < 0 || count_ < 0 || count_ > BytesLeft() / kMinEntryBytes) {
    Fail("the package header is damaged");
    return;
  }
  ok_ = true;
}

bool CVdPkgFile::Fail(std::string why) {
  ok_ = false;
  error_ = std::move(why);
  return false;
}

int64_t CVdPkgFile::BytesLeft() const { return file_size_ - in_->position(); }

bool CVdPkgFile::NextEntry(VdPkgEntry& entry) {
  if (!ok_ || read_ >= count_) return false;
  ++read_;
  entry = VdPkgEntry();
  in_->String(entry.name);
  in_->Int64(entry.size);
  if (!in_->ok()) return Fail("the package's file list is cut short");
  if (!IsSafeName(entry.name)) return Fail("the package names a file outside its folder");
  // A file larger than the whole package can't be right, and its sums would have to be
  // trusted to find the next entry.
  if (entry.size < 0 || entry.size > total_) return Fail("the package's file list is damaged");
  const int64_t blocks = BlockCount(entry.size);
  if (blocks > BytesLeft() / 4) return Fail("the package's file list is cut short");
  entry.sums.resize(static_cast<size_t>(blocks));
  for (int32_t& sum : entry.sums) in_->Int32(sum);
  if (!in_->ok()) return Fail("the package's file list is cut short");
  return true;
}

int32_t CVdPkgFile::ByteSum(const uint8_t* data, size_t length) {
  uint32_t sum = 0;
  for (size_t i = 0; i < length; ++i) sum += data[i];
  return static_cast<int32_t>(sum);
}

bool CVdPkgFile::IsSafeName(const std::string& name) {
  if (name.empty() || !IsRelativePath(name)) return false;
  if (name.find('\0') != std::string::npos || name.find('\\') != std::string::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string_view part(name.data() + start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

std::string ReadPackageTitle(const std::string& package_path) {
  CVdPkgFile package(package_path);
  return package.ok() ? package.title() : std::string();
}

std::string ReadPackageInfo(const std::string& package_path) {
  CVdPkgFile package(package_path);
  VdPkgEntry entry;
  return package.NextEntry(entry) ? package.LocalPath(entry) : std::string();
}

bool ReadPackageFileList(const std::string& package_path, std::vector<std::string>& paths) {
  CVdPkgFile package(package_path);
  VdPkgEntry entry;
  while (package.NextEntry(entry)) paths.push_back(package.LocalPath(entry));
  return package.ok();
}

int64_t GetPackageMissingBytes(const std::string& package_path) {
  CVdPkgFile package(package_path);
  int64_t missing = 0;
  VdPkgEntry entry;
  while (package.NextEntry(entry)) {
    if (!FileExists(package.LocalPath(entry))) missing += entry.size;
  }
  return package.ok() ? missing : -1;
}
