#include "platform/os/volumes.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <charconv>
#include <fstream>
#include <sstream>
#include <vector>

namespace vd::os {

namespace {

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < line.size()) {
    const size_t start = line.find_first_not_of(' ', at);
    if (start == std::string_view::npos) break;
    size_t end = line.find(' ', start);
    if (end == std::string_view::npos) end = line.size();
    words.push_back(line.substr(start, end - start));
    at = end;
  }
  return words;
}

bool ParseUnsigned(std::string_view text, unsigned& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string FileSystemTypeOfDevice(std::string_view mountinfo, uint64_t device) {
  // A line: id, parent id, major:minor, root, mount point, options, optional fields, "-",
  // file system type, source, super options.
  while (!mountinfo.empty()) {
    const size_t end = mountinfo.find('\n');
    const std::string_view line = mountinfo.substr(0, end);
    mountinfo.remove_prefix(end == std::string_view::npos ? mountinfo.size() : end + 1);
    const std::vector<std::string_view> words = Words(line);
    if (words.size() < 3) continue;
    const size_t colon = words[2].find(':');
    unsigned major_number = 0, minor_number = 0;
    if (colon == std::string_view::npos || !ParseUnsigned(words[2].substr(0, colon), major_number) ||
        !ParseUnsigned(words[2].substr(colon + 1), minor_number) ||
        makedev(major_number, minor_number) != device) {
      continue;
    }
    for (size_t i = 6; i + 1 < words.size(); ++i) {
      if (words[i] == "-") return std::string(words[i + 1]);
    }
  }
  return "";
}

bool IsOnOpticalDisc(const std::string& path) {
  struct stat file;
  if (::stat(path.c_str(), &file) != 0) return false;
  std::ifstream table("/proc/self/mountinfo");
  if (!table) return false;
  std::ostringstream text;
  text << table.rdbuf();
  const std::string type = FileSystemTypeOfDevice(text.str(), file.st_dev);
  return type == "iso9660" || type == "udf";
}

}  // namespace vd::os
