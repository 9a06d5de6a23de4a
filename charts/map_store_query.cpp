#include "charts/map_store_query.h"

#include <algorithm>
#include <cmath>

#include "charts/quick_chart_view_settings.h"
#include "core/path_utils.h"
#include "core/persistant_data.h"
#include "core/persistent_value.h"
#include "core/string_utils.h"
#include "core/url_utils.h"
#include "core/web_binary_cgi.h"

namespace {

bool InSearchRange(const GeoPoint& point) {
  return point.lat >= -90.0 && point.lat <= 90.0 && point.lon >= -400.0 && point.lon <= 400.0;
}

bool ReadCount(CTypeSerializer& cgi, int32_t& count) { return cgi.ReadInt32(count) && count >= 0; }

bool ReadItem(CTypeSerializer& cgi, MapStoreItem& item) {
  return cgi.ReadString(item.name) && cgi.Float(item.rank) && cgi.ReadString(item.category) &&
         cgi.ReadString(item.address) && cgi.Int32(item.id);
}

// A rank that is not a number sorts after every other, so that the order stays a strict one.
bool RankBefore(const MapStoreItem& a, const MapStoreItem& b) {
  if (std::isnan(a.rank) || std::isnan(b.rank)) return !std::isnan(a.rank) && std::isnan(b.rank);
  return a.rank < b.rank;
}

bool NameBefore(const MapStoreItem& a, const MapStoreItem& b) {
  return CompareNatural(a.name, b.name) < 0;
}

CWebBinaryCGI StoreChannel() {
  bool secure = true;
  std::string host;
  CMapStoreQuery::StoreServer(secure, host);
  return CWebBinaryCGI(host, CMapStoreQuery::kCgiPath, secure);
}

// The store's strings are one byte per character.
void StartRequest(CWebBinaryCGI& cgi, int32_t code) {
  cgi.SetWideStrings(false);
  cgi.Tag(code);
  cgi.Tag(CMapStoreQuery::kProtocolVersion);
}

}  // namespace

const std::vector<std::string>& MapStoreHideList() {
  return CQuickChartViewSettings::Global().kvx_hide;
}

bool IsHiddenStoreItem(std::string_view name, const std::vector<std::string>& hide_list) {
  return std::any_of(hide_list.begin(), hide_list.end(), [name](const std::string& hide) {
    return !hide.empty() && name.find(hide) != std::string_view::npos;
  });
}

bool IsHiddenStoreItem(std::string_view name) {
  return IsHiddenStoreItem(name, MapStoreHideList());
}

void CMapStoreQuery::StoreServer(bool& secure, std::string& host) {
  std::string address =
      vd::OpenAppProfile().GetString(vd::kSettingsSection, kServerSetting).value_or("");
  if (address.empty()) address = kDefaultServer;
  std::string scheme;
  std::string path;
  SplitUrl(address + "/", scheme, host, path);
  if (scheme.empty()) host = address.substr(0, address.find('/'));
  secure = scheme.empty() || scheme == "https";
}

CMapStoreQuery::CMapStoreQuery(const GeoPoint* points, int count) {
  if (count > 0 && (points == nullptr || !std::all_of(points, points + count, InSearchRange)))
    return;
  CWebBinaryCGI cgi = StoreChannel();
  StartRequest(cgi, kAreaRequest);
  int32_t n = count;
  cgi.Int32(n);
  if (count > 0) {
    for (int i = 0; i < count; ++i) {
      double lat = points[i].lat;
      double lon = points[i].lon;
      cgi.Double(lat);
      cgi.Double(lon);
    }
  } else {
    int32_t ids = static_cast<int32_t>(identifiers_.size());
    cgi.Int32(ids);
    for (int32_t id : identifiers_) cgi.Int32(id);
  }
  cgi.WriteString("");  // the filter
  Run(cgi, true);
}

CMapStoreQuery::CMapStoreQuery(const std::string& keyword, double lat, double lon) {
  CWebBinaryCGI cgi = StoreChannel();
  StartRequest(cgi, kKeywordRequest);
  cgi.WriteString(keyword);
  cgi.Double(lat);
  cgi.Double(lon);
  Run(cgi, false);
}

CMapStoreQuery::CMapStoreQuery(CTypeSerializer& reply, bool with_identifiers) {
  ok_ = ReadReply(reply, with_identifiers);
  Finish();
}

void CMapStoreQuery::Run(CWebBinaryCGI& cgi, bool with_identifiers) {
  ok_ = cgi.Send() && ReadReply(cgi, with_identifiers);
  Finish();
}

void CMapStoreQuery::Finish() {
  if (!ok_) more_ = 0;
  const int sort_by = vd::OpenAppProfile().GetInt(vd::kSettingsSection, kSortSetting).value_or(1);
  std::stable_sort(items_.begin(), items_.end(), sort_by != 0 ? RankBefore : NameBefore);
}

bool CMapStoreQuery::ReadReply(CTypeSerializer& cgi, bool with_identifiers) {
  int32_t status = -1;
  if (!cgi.ReadInt32(status) || status != 0) return false;
  int32_t count = 0;
  if (with_identifiers) {
    if (!ReadCount(cgi, count)) return false;
    for (int32_t i = 0; i < count; ++i) {
      int32_t id = 0;
      if (!cgi.ReadInt32(id)) return false;
      identifiers_.insert(id);
    }
  }
  if (!ReadCount(cgi, count)) return false;
  // Each read fails once the reply is used up, so a count larger than the reply ends there.
  for (int32_t i = 0; i < count; ++i) {
    MapStoreItem item;
    if (!ReadItem(cgi, item)) return false;
    if (!IsHiddenStoreItem(item.name)) items_.push_back(std::move(item));
  }
  return cgi.ReadInt32(more_) && cgi.ok();
}

std::string MapStore_FindPackageAt(double lat, double lon) {
  const GeoPoint point{lat, lon};
  const CMapStoreQuery query(&point, 1);
  for (const MapStoreItem& item : query.items()) {
    if (PathHasExtension(item.address, "vdpkg")) return item.address;
  }
  return {};
}
