#include "overlays/exchange/shapefile.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/path_utils.h"
#include "core/string_utils.h"
#include "geodesy/projection.h"
#include "overlays/exchange/dbase_file.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/undo_ring.h"
#include "platform/os/atomic_file_set.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"

namespace {

constexpr int32_t kFileCode = 9994;
constexpr int32_t kVersion = 1000;
constexpr size_t kHeaderSize = 100;
constexpr size_t kRecordHeaderSize = 8;
constexpr int32_t kPoint = 1;
constexpr int32_t kPolyline = 3;
constexpr int32_t kPolygon = 5;
constexpr int kNameFieldLength = 127;

struct XY {
  double x, y;  // longitude, latitude
};
struct Shape {
  std::vector<XY> points;
  std::string name;
};

// ---- Byte order ----

void PutBe32(std::string& out, int32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(v >> shift);
}
void PutLe32(std::string& out, int32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>(v >> shift);
}
void PutDouble(std::string& out, double v) {
  char bytes[8];
  std::memcpy(bytes, &v, 8);  // little-endian hosts only, as the file is
  out.append(bytes, 8);
}
int32_t Be32(const uint8_t* p) {
  return static_cast<int32_t>(uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3]);
}
int32_t Le32(const uint8_t* p) {
  return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24);
}
double LeDouble(const uint8_t* p) {
  double v;
  std::memcpy(&v, p, 8);
  return v;
}

// ---- Export ----

struct Box {
  double xmin = 0, ymin = 0, xmax = 0, ymax = 0;
  bool empty = true;
  void Add(const XY& p) {
    if (empty) {
      xmin = xmax = p.x;
      ymin = ymax = p.y;
      empty = false;
      return;
    }
    xmin = std::min(xmin, p.x);
    xmax = std::max(xmax, p.x);
    ymin = std::min(ymin, p.y);
    ymax = std::max(ymax, p.y);
  }
  void Write(std::string& out) const {
    for (const double v : {xmin, ymin, xmax, ymax}) PutDouble(out, v);
  }
};

void WriteFileHeader(std::string& out, size_t total_size, int32_t shape_type, const Box& box) {
  PutBe32(out, kFileCode);
  out.append(20, '\0');
  PutBe32(out, static_cast<int32_t>(total_size / 2));
  PutLe32(out, kVersion);
  PutLe32(out, shape_type);
  box.Write(out);
  out.append(32, '\0');  // Z and M ranges
}

// Reverses a ring that runs anticlockwise (x east, y north): outer rings run clockwise.
void MakeClockwise(std::vector<XY>& ring) {
  double twice_area = 0;
  for (size_t i = 0; i + 1 < ring.size(); ++i) {
    twice_area += ring[i].x * ring[i + 1].y - ring[i + 1].x * ring[i].y;
  }
  if (twice_area > 0) std::reverse(ring.begin(), ring.end());
}

// The shapes of one kind, in list order; lines of fewer than 2 points and rings of fewer than
// 3 corners are left out.
std::vector<Shape> CollectShapes(const ObjectList& list, ShapeExportKind kind) {
  std::vector<Shape> shapes;
  for (COstrelObject* object : list) {
    Shape shape;
    shape.name = object->name;
    bool ring = false;
    if (auto* mark = dynamic_cast<CObjWaypoint*>(object)) {
      if (kind != kShapeFreeMarks || mark->HasRoutes()) continue;
      shape.points.push_back({mark->position.lon, mark->position.lat});
    } else if (auto* route = dynamic_cast<CObjRoute*>(object)) {
      ring = route->IsClosed();
      if (kind != (ring ? kShapeClosedRoutes : kShapeOpenRoutes)) continue;
      for (const CObjWaypoint* mark : route->points()) {
        shape.points.push_back({mark->position.lon, mark->position.lat});
      }
    } else if (auto* track = dynamic_cast<CObjTrack*>(object)) {
      ring = track->closed;
      if (track->points().empty() || kind != (ring ? kShapeClosedTracks : kShapeOpenTracks)) {
        continue;
      }
      for (const CTrackpoint& p : track->points()) {
        shape.points.push_back({p.position.lon, p.position.lat});
      }
      if (ring) shape.points.push_back(shape.points.front());
    } else {
      continue;
    }
    if (kind != kShapeFreeMarks && shape.points.size() < (ring ? 4u : 2u)) continue;
    if (ring) MakeClockwise(shape.points);
    shapes.push_back(std::move(shape));
  }
  return shapes;
}

int KindsPresent(const ObjectList& list) {
  int bits = 0;
  for (COstrelObject* object : list) {
    if (auto* mark = dynamic_cast<CObjWaypoint*>(object)) {
      if (!mark->HasRoutes()) bits |= ShapeKindBit(kShapeFreeMarks);
    } else if (auto* route = dynamic_cast<CObjRoute*>(object)) {
      bits |= ShapeKindBit(route->IsClosed() ? kShapeClosedRoutes : kShapeOpenRoutes);
    } else if (auto* track = dynamic_cast<CObjTrack*>(object)) {
      if (!track->points().empty()) {
        bits |= ShapeKindBit(track->closed ? kShapeClosedTracks : kShapeOpenTracks);
      }
    }
  }
  return bits;
}

bool WriteTable(const std::string& path, const std::vector<Shape>& shapes) {
  CDBaseFile table;
  if (!table.Create(path, 2) || !table.AddNumericField("ID") ||
      !table.AddCharField("NAME", kNameFieldLength)) {
    return false;
  }
  bool ok = true;
  for (size_t i = 0; i < shapes.size(); ++i) {
    ok &= table.WriteInt(static_cast<int64_t>(i) + 1);
    ok &= table.WriteString(shapes[i].name);
  }
  return table.Close() && ok;
}

bool WriteWhole(const std::string& path, const std::string& bytes) {
  vd::os::File file;
  return file.Open(path, vd::os::File::Mode::CreateTruncate) &&
         file.Write(bytes.data(), bytes.size());
}

void SetError(std::string* error, const char* text) {
  if (error) *error = text;
}

// ---- Import ----

// The records of the main file: where each one's content starts and how long it is, walking
// from the header while whole records remain.
class RecordWalker {
 public:
  RecordWalker(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  // False at the end of the file or at a record whose length the file can't hold.
  bool Next(int32_t& number, const uint8_t*& content, size_t& length) {
    if (at_ + kRecordHeaderSize > size_) return false;
    number = Be32(data_ + at_);
    const int32_t words = Be32(data_ + at_ + 4);
    if (words < 0 || static_cast<uint64_t>(words) * 2 > size_ - at_ - kRecordHeaderSize) {
      return false;
    }
    content = data_ + at_ + kRecordHeaderSize;
    length = static_cast<size_t>(words) * 2;
    at_ += kRecordHeaderSize + length;
    return true;
  }
  // Where the walk stopped (or the next record starts) and whether bytes remain there that
  // hold no whole record.
  size_t at() const { return at_; }
  bool CutShort() const { return at_ < size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = kHeaderSize;
};

// The mapped main file and its header check.
struct MainFile {
  vd::os::MappedFile mapped;
  int32_t shape_type = 0;
  std::string error;

  explicit MainFile(const std::string& path) {
    // A save of the set cut short is finished first.
    vd::os::AtomicFileSet::Recover(ShapefileSetPaths(path));
    if (vd::os::IsDirectory(path) || !mapped.Open(path)) {
      error = "Failed to open Shapefile";
    } else if (mapped.size() < 4 || Be32(mapped.data()) != kFileCode) {
      error = "Shapefile has unexpected File Code";
    } else if (mapped.size() >= kHeaderSize) {
      shape_type = Le32(mapped.data() + 32);
    }
  }
  RecordWalker Records() const { return RecordWalker(mapped.data(), mapped.size()); }
  // The file's length as its header gives it, in bytes (0 when there is no header).
  uint64_t StoredLength() const {
    return mapped.size() >= kHeaderSize ? uint64_t(uint32_t(Be32(mapped.data() + 24))) * 2 : 0;
  }
};

bool IsGeographic(double lat, double lon) {
  return lat >= -90.0 && lat <= 90.0 && lon >= -180.0 && lon <= 180.0;
}

std::string PositionText(double lat, double lon) {
  return vd::os::FormatC("latitude %.9g, longitude %.9g is outside -90..90 / -180..180", lat,
                         lon);
}

// While it lives, edits save no undo steps: an import is undone by its one empty step.
class NoUndoSteps {
 public:
  NoUndoSteps() : saved_(COstrelObject::UndoHook()) {
    COstrelObject::SetUndoHook({saved_.current_step, nullptr, nullptr});
  }
  ~NoUndoSteps() { COstrelObject::SetUndoHook(saved_); }
  NoUndoSteps(const NoUndoSteps&) = delete;
  NoUndoSteps& operator=(const NoUndoSteps&) = delete;

 private:
  OverlayUndoHook saved_;
};

// Joins the new tracks end to end while any two lie close enough; returns the joins made.
int JoinTracks(ObjectList& list, const std::vector<CObjTrack*>& made, int32_t join_distance) {
  NoUndoSteps no_undo;
  std::vector<CObjTrack*> tracks = made;
  for (CObjTrack* track : tracks) track->update_distance = join_distance / 3;
  int joins = 0;
  for (bool joined = true; joined;) {
    joined = false;
    for (CObjTrack* track : tracks) {
      if (track->JoinNearest(track->points().back().position, list) ||
          track->JoinNearest(track->points().front().position, list)) {
        ++joins;
        joined = true;
        break;
      }
    }
    // Keep only the tracks the list still holds (a joined track has gone).
    std::erase_if(tracks, [&](CObjTrack* track) {
      return std::find(list.begin(), list.end(), track) == list.end();
    });
  }
  return joins;
}

}  // namespace

int ShapeKindBit(ShapeExportKind kind) {
  switch (kind) {
    case kShapeFreeMarks: return 1;
    case kShapeOpenRoutes: return 2;
    case kShapeOpenTracks: return 4;
    case kShapeClosedRoutes: return 8;
    case kShapeClosedTracks: return 16;
  }
  return 0;
}

bool ExportShapefiles(const std::string& path, const ObjectList& list,
                      const ShapeKindChooser& choose_kind, std::string* error) {
  const int present = KindsPresent(list);
  ShapeExportKind kind = kShapeFreeMarks;
  if (present != 0 && (present & (present - 1)) == 0) {
    for (const ShapeExportKind k : {kShapeFreeMarks, kShapeOpenRoutes, kShapeClosedRoutes,
                                    kShapeOpenTracks, kShapeClosedTracks}) {
      if (ShapeKindBit(k) == present) kind = k;
    }
  } else if (present != 0) {
    const std::optional<ShapeExportKind> chosen = choose_kind ? choose_kind(present) : std::nullopt;
    if (!chosen) return false;
    kind = *chosen;
  }
  const std::vector<Shape> shapes = CollectShapes(list, kind);
  const int32_t shape_type = kind == kShapeFreeMarks                                  ? kPoint
                             : kind == kShapeOpenRoutes || kind == kShapeOpenTracks ? kPolyline
                                                                                     : kPolygon;
  std::string records;
  std::string index;
  Box file_box;
  for (size_t i = 0; i < shapes.size(); ++i) {
    const Shape& shape = shapes[i];
    std::string content;
    PutLe32(content, shape_type);
    if (shape_type == kPoint) {
      PutDouble(content, shape.points[0].x);
      PutDouble(content, shape.points[0].y);
      file_box.Add(shape.points[0]);
    } else {
      Box box;
      for (const XY& p : shape.points) box.Add(p);
      box.Write(content);
      PutLe32(content, 1);  // parts
      PutLe32(content, static_cast<int32_t>(shape.points.size()));
      PutLe32(content, 0);  // the part starts at the first point
      for (const XY& p : shape.points) {
        PutDouble(content, p.x);
        PutDouble(content, p.y);
        file_box.Add(p);
      }
    }
    PutBe32(index, static_cast<int32_t>((kHeaderSize + records.size()) / 2));
    PutBe32(index, static_cast<int32_t>(content.size() / 2));
    PutBe32(records, static_cast<int32_t>(i + 1));
    PutBe32(records, static_cast<int32_t>(content.size() / 2));
    records += content;
  }
  std::string main_file;
  WriteFileHeader(main_file, kHeaderSize + records.size(), shape_type, file_box);
  std::string index_file;
  WriteFileHeader(index_file, kHeaderSize + index.size(), shape_type, file_box);

  // The three files replace the old set together: a set mixed from two saves would still read,
  // with the wrong names on the shapes.
  const std::vector<std::string> targets = ShapefileSetPaths(path);
  vd::os::AtomicFileSet::Recover(targets);
  vd::os::AtomicFileSet set(targets);
  if (!set.Open() || !WriteWhole(set.TempPath(0), main_file + records) ||
      !WriteWhole(set.TempPath(1), index_file + index)) {
    SetError(error, "Failed to open output shapefile");
    return false;
  }
  if (!WriteTable(set.TempPath(2), shapes)) {
    SetError(error, "Failed to create database file");
    return false;
  }
  if (!set.Commit()) {
    SetError(error, "Failed to open output shapefile");
    return false;
  }
  return true;
}

std::vector<std::string> ShapefileSetPaths(const std::string& shp_path) {
  return {shp_path, ReplaceFileExtension(shp_path, ".shx"),
          ReplaceFileExtension(shp_path, ".dbf")};
}

ShapefileSummary ReadShapefileSummary(const std::string& path) {
  ShapefileSummary summary;
  const MainFile file(path);
  summary.error = file.error;
  if (!file.error.empty()) return summary;
  summary.shape_type = file.shape_type;
  RecordWalker walker = file.Records();
  int32_t number = 0;
  const uint8_t* content = nullptr;
  size_t length = 0;
  while (walker.Next(number, content, length)) ++summary.record_count;
  return summary;
}

std::string ExpandShapeTemplate(const std::string& text, const std::string& file_title,
                                int32_t record, CDBaseFile* table) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t open = text.find('%', pos);
    const size_t close = open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos) {
      out.append(text, pos);
      break;
    }
    out.append(text, pos, open - pos);
    const std::string key = text.substr(open + 1, close - open - 1);
    if (key.empty()) {
      out += '%';
    } else if (key == "Filename") {
      out += file_title;
    } else if (key == "Index") {
      out += std::to_string(record);
    } else if (const int field = table ? table->FindField(key) : -1; field >= 0) {
      std::string value;
      if (table->ReadField(record - 1, field, value)) out += value;
    }
    pos = close + 1;
  }
  return out;
}

ExchangeRead ImportShapefile(const std::string& path, ObjectList& list,
                             const ShapefileImportOptions& options, const CProjection& projection,
                             const ProgressFn& progress) {
  ExchangeRead result;
  const MainFile file(path);
  result.error = file.error;
  if (!file.error.empty()) return result;

  CDBaseFile table_file;
  CDBaseFile* table =
      table_file.Open(ReplaceFileExtension(path, ".dbf")) ? &table_file : nullptr;
  const std::string title = GetPathTitle(path);
  CImportUndoStep step;

  ReadProblems problems;
  const auto problem = [&](int32_t record, const std::string& what) {
    problems.Add(vd::os::FormatC("record %d: ", record) + what);
  };
  std::vector<CObjTrack*> tracks;
  RecordWalker walker = file.Records();
  int32_t number = 0;
  int64_t records = 0;
  const uint8_t* content = nullptr;
  size_t length = 0;
  ProgressSteps steps(progress, static_cast<int64_t>(file.mapped.size()));
  while (walker.Next(number, content, length)) {
    if (!steps(static_cast<int64_t>(walker.at()))) {
      result.cancelled = true;
      return result;
    }
    ++records;
    if (number < options.first_record || number > options.last_record) continue;
    if (length < 4) {
      problem(number, "too short to hold a shape type");
      continue;
    }
    const auto fill = [&](const std::string& text) {
      return ExpandShapeTemplate(text, title, number, table);
    };
    const std::string category = fill(options.category_template);
    if (!options.filter.empty() && !WildcardMatchNoCase(category, options.filter)) continue;
    const int32_t type = Le32(content);
    double lat = 0, lon = 0;
    if (type == 1 || type == 11 || type == 21) {
      if (length < 20) {
        problem(number, "a point record too short for its coordinates");
        continue;
      }
      const double x = LeDouble(content + 4), y = LeDouble(content + 12);
      if (!projection.Inverse(x, y, lat, lon)) {
        problem(number, vd::os::FormatC("the position %.9g, %.9g cannot be converted", x, y));
        continue;
      }
      if (!IsGeographic(lat, lon)) {
        problem(number, PositionText(lat, lon));
        continue;
      }
      auto* mark = new CObjWaypoint;
      mark->AddRef();
      list.push_back(mark);
      mark->name = fill(options.name_template);
      mark->comment = fill(options.comment_template);
      mark->link = fill(options.link_template);
      if (!category.empty()) mark->SetCategory(category);
      mark->position = {lat, lon};
      mark->being_placed = false;
      mark->locked = true;
      ++result.count;
    } else if (type == kPolyline || type == kPolygon) {
      constexpr size_t kPartsAt = 44;  // after the type, the box and the two counts
      if (length < kPartsAt) {
        problem(number, "a line record too short for its counts");
        continue;
      }
      const int32_t parts = Le32(content + 36);
      const int32_t points = Le32(content + 40);
      if (parts < 0 || points < 0 ||
          kPartsAt + 4 * uint64_t(parts) + 16 * uint64_t(points) > length) {
        problem(number, vd::os::FormatC("%d parts and %d points do not fit its %zu bytes", parts,
                                        points, length));
        continue;
      }
      const uint8_t* xy = content + kPartsAt + 4 * size_t(parts);
      const std::string name = fill(options.name_template);
      bool refused = false;
      for (int32_t part = 0; part < parts; ++part) {
        const int32_t first = std::clamp(Le32(content + kPartsAt + 4 * size_t(part)), 0, points);
        const int32_t end =
            part + 1 < parts
                ? std::clamp(Le32(content + kPartsAt + 4 * size_t(part + 1)), first, points)
                : points;
        auto* track = new CObjTrack;
        track->AddRef();
        list.push_back(track);
        tracks.push_back(track);
        ++result.count;
        track->name = part == 0 ? name : vd::os::FormatC("%s_%d", name.c_str(), part);
        if (!category.empty()) track->SetCategory(category);
        track->colour = options.track_colour;
        for (int32_t i = first; i < end; ++i) {
          if (!projection.Inverse(LeDouble(xy + 16 * size_t(i)),
                                  LeDouble(xy + 16 * size_t(i) + 8), lat, lon)) {
            continue;
          }
          if (!IsGeographic(lat, lon)) {
            // One report a record: a projection that does not fit gives many.
            if (!refused) problem(number, "point " + std::to_string(i + 1) + ": " +
                                              PositionText(lat, lon));
            refused = true;
            continue;
          }
          track->AddPoint(lat, lon, 0, 0.0f, 0, 0);
        }
        track->locked = true;
        track->RecomputeTotals();
      }
    } else if (type != 0) {  // 0: a null shape, nothing to read
      problem(number, vd::os::FormatC("shape type %d is not imported", type));
    }
  }
  // Tracks without points can't be joined (and show nothing); the rest may be.
  std::erase_if(tracks, [](CObjTrack* track) { return track->points().empty(); });
  if (options.join) result.count -= JoinTracks(list, tracks, options.join_distance);

  // What the whole set says of itself.
  std::vector<std::string> set_faults;
  const size_t size = file.mapped.size();
  if (walker.CutShort()) {
    set_faults.push_back(vd::os::FormatC(
        "the file ends inside the record at byte %zu (%zu bytes); the records before it were read",
        walker.at(), size));
  } else if (file.StoredLength() > size) {
    set_faults.push_back(vd::os::FormatC("the file has %zu bytes where its header gives %llu",
                                         size, static_cast<unsigned long long>(file.StoredLength())));
  }
  const std::string index_path = ReplaceFileExtension(path, ".shx");
  const std::optional<uint64_t> index_size = vd::os::FileSize(index_path);
  const int64_t index_records =
      index_size && *index_size >= kHeaderSize ? int64_t((*index_size - kHeaderSize) / 8) : -1;
  const int64_t table_records = table ? table->record_count() : -1;
  if ((index_records >= 0 && index_records != records) ||
      (table_records >= 0 && table_records != records)) {
    std::string counts = vd::os::FormatC("%lld shapes in the .shp file", (long long)records);
    if (index_records >= 0) counts += vd::os::FormatC(", %lld in the .shx", (long long)index_records);
    if (table_records >= 0) counts += vd::os::FormatC(", %lld records in the .dbf", (long long)table_records);
    set_faults.push_back("the files of the set do not agree: " + counts +
                         "; they may come from different saves, and names may belong to other shapes");
  }
  if (!set_faults.empty() || !problems.empty()) {
    std::string text = "Not all of the shapefile " + path + " could be read:";
    for (const std::string& fault : set_faults) text += "\n" + fault;
    result.error = problems.Text(text);
  }
  step.Save();
  return result;
}
