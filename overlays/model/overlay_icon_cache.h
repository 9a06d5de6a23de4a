#pragma once
// The program's cache of mark icon images, one entry per (normalised icon name, colour), added
// on first request. Loading the images is the drawing side's work: an entry without an image
// asks the caller to fall back to another icon.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>

namespace vd::ui {
class Image;
}

class COverlayIconCache {
 public:
  struct Entry {
    std::shared_ptr<const vd::ui::Image> image;  // null until the drawing side loads it
    float width = 15.0f;
    float height = 15.0f;
  };

  static COverlayIconCache& Global();

  // The entry of (name, colour), added when missing.
  Entry& Lookup(const std::string& name, uint32_t colour);
  // Forgets every entry; entries found before are not to be used any more.
  void Clear() {
    entries_.clear();
    ++generation_;
  }
  // Changes at every Clear.
  uint64_t generation() const { return generation_; }

 private:
  std::map<std::pair<std::string, uint32_t>, Entry> entries_;
  uint64_t generation_ = 0;
};
