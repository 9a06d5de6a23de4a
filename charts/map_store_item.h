#pragma once
// One entry of the map store's catalogue: a map or a map package.
#include <cstdint>
#include <string>

struct MapStoreItem {
  float rank = 0.0f;     // orders the items when sorting by rank
  std::string name;      // title shown in the catalogue
  std::string category;  // category path, levels separated by '|'
  // Where the item is downloaded from: a URL, or a path on the store server. A map package's
  // address ends in ".vdpkg".
  std::string address;
  int32_t id = 0;
};
