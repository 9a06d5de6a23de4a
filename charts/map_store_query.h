#pragma once
// A search of the online map store: one binary request to the store's CGI program, answered by
// a list of catalogue items (maps and map packages). Two searches: the maps covering an area
// (the points of a polygon) and the maps matching a keyword near a position. The constructor
// sends the request and reads the whole reply; a failed search leaves an empty result.
//
// Wire format: fields of a CWebBinaryCGI stream, numbers little-endian, a string an int32
// length followed by that many Windows-1252 bytes.
//   area request:    101, version 5, n, n x (latitude, longitude) doubles, filter string ""
//   keyword request: 102, version 5, keyword string, latitude double, longitude double
//   reply:           status (0 = results follow), [area only: k, k x int32 identifiers],
//                    m, m x item, more (matches that were not sent)
//   item:            name string, rank float, category string, address string, id int32
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "charts/map_store_item.h"
#include "charts/map_store_node.h"
#include "geodesy/geo_point.h"

class CTypeSerializer;
class CWebBinaryCGI;

class CMapStoreQuery {
 public:
  static constexpr char kCgiPath[] = "cgi-bin/mapstore3.cgi";
  static constexpr int32_t kAreaRequest = 101;
  static constexpr int32_t kKeywordRequest = 102;
  static constexpr int32_t kProtocolVersion = 5;
  // The store server, an address kept under this profile setting: "scheme://host[:port]" (a
  // bare host is reached over HTTPS).
  static constexpr char kServerSetting[] = "map_store_server";
  static constexpr char kDefaultServer[] = "https://mapstore.vardune.com";
  // Profile setting: non-zero orders the items by rank, 0 by name (numbers by value).
  static constexpr char kSortSetting[] = "sort_by";

  // Searches the area of the polygon. Nothing is sent when a point lies outside latitude
  // -90..90 or longitude -400..400, or points is null with count above 0.
  CMapStoreQuery(const GeoPoint* points, int count);
  // Searches by keyword near a position (0, 0 when there is none).
  CMapStoreQuery(const std::string& keyword, double lat, double lon);
  // Reads a reply already received, as a search does once its request is answered (area
  // replies carry the identifiers). For checking the reader on replies made up by hand.
  CMapStoreQuery(CTypeSerializer& reply, bool with_identifiers);

  // The catalogue tree of the items; `expanded` holds the category paths shown open.
  std::unique_ptr<CMapStoreNode> BuildTree(const std::set<std::string>& expanded) const {
    return CMapStoreNode::BuildTree(items_, expanded);
  }

  // The items kept, in display order: by rank, or by name when the sort setting is 0; equal
  // keys keep the order of the reply. Items whose name the hide list hides are left out.
  const std::vector<MapStoreItem>& items() const { return items_; }
  // The number of further matching items the store did not send.
  int32_t more() const { return more_; }
  // The identifiers of an area reply.
  const std::set<int32_t>& identifiers() const { return identifiers_; }
  // True when every field of the reply was read.
  bool ok() const { return ok_; }

  // The store server of the setting.
  static void StoreServer(bool& secure, std::string& host);

 private:
  // Sends the request written so far and reads the reply.
  void Run(CWebBinaryCGI& cgi, bool with_identifiers);
  bool ReadReply(CTypeSerializer& reply, bool with_identifiers);
  // After the reply: no count of further items from a failed one, and the display order.
  void Finish();

  std::vector<MapStoreItem> items_;
  int32_t more_ = 0;
  std::set<int32_t> identifiers_;
  bool ok_ = false;
};

// The address of the map package the store offers for a position (an area search at the
// position); "" when it names none or can't be asked.
std::string MapStore_FindPackageAt(double lat, double lon);

// The hide list: the chart view settings' "kvx_hide" texts as the settings file was last loaded.
const std::vector<std::string>& MapStoreHideList();
// True when a non-empty entry of the list occurs in the name (same letter case).
bool IsHiddenStoreItem(std::string_view name, const std::vector<std::string>& hide_list);
bool IsHiddenStoreItem(std::string_view name);
