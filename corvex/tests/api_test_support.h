#pragma once
// Test support for the inter-program API: an environment override, transaction-file bytes
// built and taken apart field by field (independently of CVD_transaction), and a host over a
// plain object list that records what the requests asked of it.
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/gps_position_info.h"
#include "corvex/api_executor.h"
#include "corvex/api_handle_table.h"
#include "overlays/obj_current_position.h"
#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"
#include "overlays/tests/overlay_test_objects.h"
#include "platform/os/environment.h"

namespace vd::test {

// Sets an environment variable for the object's life.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::string& value)
      : name_(std::move(name)), old_(vd::os::GetEnv(name_)) {
    vd::os::SetEnv(name_, value);
  }
  ~ScopedEnv() {
    if (old_) {
      vd::os::SetEnv(name_, *old_);
    } else {
      vd::os::UnsetEnv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Transaction-file bytes, little-endian, in the order appended.
class WireWriter {
 public:
  WireWriter& I32(int32_t value) { return Raw(&value, 4); }
  WireWriter& H(ApiHandle value) { return Raw(&value, 4); }
  WireWriter& F64(double value) { return Raw(&value, 8); }
  // Length and bytes as given (already Windows-1252).
  WireWriter& Str(std::string_view bytes) {
    I32(static_cast<int32_t>(bytes.size()));
    bytes_.append(bytes);
    return *this;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  WireWriter& Raw(const void* data, size_t size) {
    static_assert(std::endian::native == std::endian::little);
    bytes_.append(static_cast<const char*>(data), size);
    return *this;
  }
  std::string bytes_;
};

// Takes reply bytes apart; a field beyond the end reads as zero and clears ok().
class WireReader {
 public:
  explicit WireReader(std::string bytes) : bytes_(std::move(bytes)) {}
  int32_t I32() { return Take<int32_t>(); }
  ApiHandle H() { return Take<ApiHandle>(); }
  double F64() { return Take<double>(); }
  std::string Str() {
    const int32_t length = I32();
    if (length < 0 || static_cast<size_t>(length) > bytes_.size() - at_) {
      ok_ = false;
      return {};
    }
    std::string text = bytes_.substr(at_, static_cast<size_t>(length));
    at_ += static_cast<size_t>(length);
    return text;
  }
  bool ok() const { return ok_; }
  size_t left() const { return bytes_.size() - at_; }

 private:
  template <class T>
  T Take() {
    T value{};
    if (bytes_.size() - at_ < sizeof(T)) {
      ok_ = false;
      return value;
    }
    std::memcpy(&value, bytes_.data() + at_, sizeof(T));
    at_ += sizeof(T);
    return value;
  }
  std::string bytes_;
  size_t at_ = 0;
  bool ok_ = true;
};

// A document that also records the charts it was asked to show, and keeps its own vessel as
// the program's document does: the vessel clears the pointer when it goes.
class ApiFakeDoc : public FakeDoc, public CCurrentPositionDocument {
 public:
  CObjCurrentPosition* PeekCurrentPosition() const override { return own; }
  void SetCurrentPosition(CObjCurrentPosition* position) override { own = position; }
  CObjCurrentPosition* own = nullptr;

  // Releases the live list one by one: a route going away deletes the marks it leaves
  // orphaned, which takes them out of the list.
  ~ApiFakeDoc() override {
    while (!objects.empty()) {
      COstrelObject* object = objects.front();
      objects.pop_front();
      object->Release();
    }
  }
  struct ShowRequest {
    double lat, lon, scale, factor;
    int mode;
  };
  void OpenBestChartAt(double lat, double lon, double scale, double factor, int mode) override {
    shown.push_back({lat, lon, scale, factor, mode});
  }
  std::vector<ShowRequest> shown;
};

// The host of the tests: the document above, the own vessel made on demand, and a record of
// every other call.
class FakeApiHost : public CApiHost {
 public:
  struct RenderCall {
    std::string chart, output;
    int32_t zoom_shift, x, y, width, height;
  };

  COstrelDocBase& Document() override { return doc; }
  CApiHandleTable& Handles() override { return handles; }
  CObjCurrentPosition* PeekCurrentPosition() override { return doc.own; }
  CObjCurrentPosition* GetCurrentPositionObject() override {
    if (!own) {
      const CCurrentOwnerScope owner(&doc);
      own = doc.Add(new CObjCurrentPosition);
    }
    return own;
  }
  // As the program's document: the own vessel takes the fix.
  void UpdateGPSPosition(const GPS_position_info& fix) override {
    fixes.push_back(fix);
    GetCurrentPositionObject()->UpdateFromFix(fix);
  }
  bool GetGPSViewArea(double& north, double& south, double& east, double& west) override {
    if (!gps_view) return false;
    north = gps_view->at(0);
    south = gps_view->at(1);
    east = gps_view->at(2);
    west = gps_view->at(3);
    return true;
  }
  void SyncViewsTo(double lat, double lon) override { synced.push_back({lat, lon}); }
  COstrelObject* GetViewTargetObject() override { return view_target; }
  void SetPositionMarkerInViews(double lat, double lon) override { markers.push_back({lat, lon}); }
  int RenderChartAreaToDDS(const std::string& chart, const std::string& output, int32_t zoom_shift,
                           int32_t x, int32_t y, int32_t width, int32_t height) override {
    renders.push_back({chart, output, zoom_shift, x, y, width, height});
    return render_result;
  }
  bool GetNavigationTarget(CApiNavigationTarget& target) override {
    if (!navigation) return false;
    target = *navigation;
    return true;
  }
  bool ShowGotoMark(CObjWaypoint& mark) override {
    navigated.push_back(&mark);
    return true;
  }
  bool ShowFollowRoute(CObjRoute& route) override {
    navigated.push_back(&route);
    return true;
  }
  bool HasFinishedStarting() override { return started; }

  ApiFakeDoc doc;
  CApiHandleTable handles;
  // The document's own vessel, null again once it is deleted.
  CObjCurrentPosition*& own = doc.own;
  std::vector<GPS_position_info> fixes;
  std::optional<std::vector<double>> gps_view;  // north, south, east, west
  std::vector<CLatLon> synced;
  std::vector<CLatLon> markers;
  COstrelObject* view_target = nullptr;
  std::vector<RenderCall> renders;
  int render_result = 0;
  std::optional<CApiNavigationTarget> navigation;
  std::vector<COstrelObject*> navigated;
  bool started = false;
};

}  // namespace vd::test
