#pragma once
// What a reader of an exchange file (tagged text, NMEA log, shapefile) reports besides the
// objects it appended to the caller's list.
#include <string>
#include <vector>

#include "core/work_progress.h"

struct ExchangeRead {
  int count = 0;  // objects made (a shapefile import minus the tracks joined away)
  // Empty when the whole file was read; else the text to show the user. The objects read
  // before or around a fault are still appended.
  std::string error;
  // The reading stopped because its progress asked it to (the user cancelled); the objects
  // read so far are appended all the same, for the caller to drop.
  bool cancelled = false;
};

// progress passed on, with stopped set once it asks to stop. Empty when progress is.
inline ProgressFn WatchForStop(const ProgressFn& progress, bool& stopped) {
  if (!progress) return {};
  return [&progress, &stopped](int64_t done, int64_t total) {
    if (progress(done, total)) return true;
    stopped = true;
    return false;
  };
}

// The faults a reader met in a file it went on reading, each as "line 12: what was read" (or
// "record 3: ..."). The first kListed are shown; the rest only counted.
class ReadProblems {
 public:
  static constexpr size_t kListed = 10;

  void Add(std::string text) {
    if (listed_.size() < kListed) {
      listed_.push_back(std::move(text));
    } else {
      ++more_;
    }
  }
  bool empty() const { return listed_.empty(); }
  // The heading, then one fault a line and "(N more like these)" when some were not listed.
  std::string Text(const std::string& heading) const {
    std::string text = heading;
    for (const std::string& line : listed_) text += "\n" + line;
    if (more_ > 0) text += "\n(" + std::to_string(more_) + " more like these)";
    return text;
  }

 private:
  std::vector<std::string> listed_;
  size_t more_ = 0;
};

// Object names an import takes in full; a longer one (a damaged or hostile file) would be
// shown, saved and exported at that length.
constexpr size_t kMaxImportedNameBytes = 1024;

// Cuts name to at most kMaxImportedNameBytes, not inside a UTF-8 character. Returns the length
// the name had when it was cut, else 0.
inline size_t CutImportedName(std::string& name) {
  if (name.size() <= kMaxImportedNameBytes) return 0;
  const size_t had = name.size();
  size_t keep = kMaxImportedNameBytes;
  while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  name.resize(keep);
  return had;
}
