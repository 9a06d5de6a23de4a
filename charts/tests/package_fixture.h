#pragma once
// Map package descriptors written field by field for the tests, and file contents that differ
// from block to block.
#include <cstdint>
#include <algorithm>
#include <string>
#include <vector>

#include "charts/vdpkg_file.h"
#include "core/type_file_out.h"

namespace vd::test {

struct PackageFileSpec {
  std::string name;
  std::string bytes;
};

// Bytes whose block sums differ from one block and one seed to the next.
inline std::string PackageBytes(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (char& c : bytes) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 23);
  }
  return bytes;
}

inline std::vector<int32_t> BlockSums(const std::string& bytes) {
  std::vector<int32_t> sums;
  for (size_t at = 0; at < bytes.size(); at += CVdPkgFile::kBlockSize) {
    const size_t length = std::min<size_t>(CVdPkgFile::kBlockSize, bytes.size() - at);
    sums.push_back(
        CVdPkgFile::ByteSum(reinterpret_cast<const uint8_t*>(bytes.data() + at), length));
  }
  return sums;
}

// Writes a descriptor listing the files with their true sizes and sums.
inline bool WritePackage(const std::string& path, const std::string& host,
                         const std::string& directory, const std::string& title,
                         const std::vector<PackageFileSpec>& files) {
  CTypeFileOut out(path);
  int32_t magic = CVdPkgFile::kMagic;
  out.Int32(magic);
  std::string text = host;
  out.String(text);
  text = directory;
  out.String(text);
  text = title;
  out.String(text);
  int64_t total = 0;
  for (const auto& file : files) total += static_cast<int64_t>(file.bytes.size());
  out.Int64(total);
  int32_t count = static_cast<int32_t>(files.size());
  out.Int32(count);
  for (const auto& file : files) {
    text = file.name;
    out.String(text);
    int64_t size = static_cast<int64_t>(file.bytes.size());
    out.Int64(size);
    for (int32_t sum : BlockSums(file.bytes)) out.Int32(sum);
  }
  return out.Close();
}

}  // namespace vd::test
