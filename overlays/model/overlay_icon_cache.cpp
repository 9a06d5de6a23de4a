#include "overlays/model/overlay_icon_cache.h"

COverlayIconCache& COverlayIconCache::Global() {
  static COverlayIconCache cache;
  return cache;
}

COverlayIconCache::Entry& COverlayIconCache::Lookup(const std::string& name, uint32_t colour) {
  return entries_[{name, colour}];
}
