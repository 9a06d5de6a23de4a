#pragma once
// Configuration documents (".vdn") written byte by byte from the file layout: the version, the
// chart outlines as archived objects of class "CChartOutline", the user-data path, the two flag
// bytes, view records and any other tags, and the end tag.
#include <cstdint>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

#include "corvex/chart_view_link.h"
#include "geodesy/geo_point.h"
#include "overlays/tests/archive_test_objects.h"

namespace vd::test {

// One chart outline: its base record (no category) and the outline record of schema 26.
struct VdnOutline {
  std::string name = "Chart";
  int32_t created = 1500000000;
  int32_t modified = 1500000100;
  int32_t style = 0x0A000000;
  uint64_t id = 0x0000000700000011;
  std::vector<GeoPoint> points = {{51, -6}, {51, -4}, {49, -4}, {49, -6}};
  std::string map_type = "NAVC";
  std::string chart_id = "ID-1";
  std::string header_text_24;
  std::string chart_path;  // as stored: relative to the document's folder, or absolute
  std::string source_path;
  std::string title = "Chart";
  std::string description = "Scale: 1:50000";
  bool no_tiles = false;
  double scale = 0.01;
  bool datum_shift = false;
  double shift_lat = 0.0;
  double shift_lon = 0.0;
  int32_t reserved = 0;
  int32_t version = 4;
};

// A tag other than a view record or the end: read and skipped.
struct VdnOtherTag {
  int32_t tag;
};

struct VdnFixture {
  int32_t version = 8;
  std::vector<VdnOutline> outlines;
  std::string user_data_path;
  uint8_t show_alt_view_outline = 0;
  uint8_t read_out_at_cursor = 0;
  std::vector<std::variant<CViewPlacement, VdnOtherTag>> records;

  std::string Bytes() const {
    ArchiveBytes b;
    b.I32(version);
    b.U16(static_cast<uint16_t>(outlines.size()));
    bool class_written = false;
    for (const VdnOutline& o : outlines) {
      // The class is number 1 once written; objects take the numbers after it.
      if (class_written) {
        b.U16(0x8001);
      } else {
        b.NewClass("CChartOutline");
        class_written = true;
      }
      b.Str(o.name).I32(o.created).I32(o.modified).U8(0).U8(1).I32(o.style);
      b.U16(0).I32(0).I32(0).Id(o.id);  // no category, undo and redo stamps 0
      b.Str("").I32(static_cast<int32_t>(o.points.size()));
      for (const GeoPoint& p : o.points) {
        F64(b, p.lat);
        F64(b, p.lon);
      }
      b.Str(o.map_type).Str(o.chart_id).Str(o.header_text_24).Str(o.chart_path);
      b.Str(o.source_path).Str(o.title).Str(o.description).U8(o.no_tiles ? 1 : 0);
      F64(b, o.scale);
      b.U8(o.datum_shift ? 1 : 0);
      F64(b, o.shift_lat);
      F64(b, o.shift_lon);
      b.I32(o.reserved).I32(o.version);
    }
    b.Str(user_data_path);
    if (version > 7) b.U8(show_alt_view_outline).U8(read_out_at_cursor);
    for (const auto& record : records) {
      if (const auto* other = std::get_if<VdnOtherTag>(&record)) {
        b.I32(other->tag);
        continue;
      }
      const auto& p = std::get<CViewPlacement>(record);
      b.I32(0).Str(p.chart_path);
      F64(b, p.lat);
      F64(b, p.lon);
      F64(b, p.scale);
      b.I32(p.lock).I32(p.reserved);
      const CWindowPlacement& w = p.window;
      for (int32_t v : {w.flags, w.show_cmd, w.min_x, w.min_y, w.max_x, w.max_y, w.left, w.top,
                        w.right, w.bottom}) {
        b.I32(v);
      }
    }
    b.I32(2);
    return b.data;
  }

  static void F64(ArchiveBytes& b, double v) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    b.U32(static_cast<uint32_t>(bits)).U32(static_cast<uint32_t>(bits >> 32));
  }
};

}  // namespace vd::test
