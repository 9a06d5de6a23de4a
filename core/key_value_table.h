#pragma once
// A read-only table of "key = value" lines, such as the calibration side files of converted
// charts. Lines starting with '/' or ';' are comments, lines without '=' are skipped. The key is
// the text before the first '=' without trailing blanks, the value the text after it without
// leading blanks (so a value may itself hold '='). Entries keep the order of the file.
#include <string>
#include <utility>
#include <vector>

class CKeyValueTable {
 public:
  // Replaces the entries with those of the file; false (and empty) when it can't be read.
  bool Load(const std::string& path);
  // The value of the first entry whose key equals `key` without regard to ASCII case; null
  // when there is none. Valid until the next Load or Clear.
  const std::string* Lookup(const std::string& key) const;
  void Clear() { entries_.clear(); }

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
};
