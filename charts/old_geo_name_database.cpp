#include "charts/old_geo_name_database.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>

#include "charts/chart_reader_services.h"
#include "geodesy/plane_geometry.h"
#include "platform/os/codepage.h"

namespace {

constexpr size_t kMinRecordLength = 32;
constexpr size_t kWriteChunk = 1 << 20;

template <class T>
T ReadAt(const uint8_t* bytes) {
  T value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

void ShowError(const std::string& text) {
  if (const ChartReaderServices services = GetChartReaderServices(); services.show_error) {
    services.show_error(text);
  }
}

bool IsFoldingCapital(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
}

bool CharMatches(unsigned char text, unsigned char pattern) {
  return text == pattern || (IsFoldingCapital(pattern) && text == pattern + 32);
}

}  // namespace

void AppendGeoNameRecord(std::string& out, int32_t category, double lat, double lon,
                         std::string_view name) {
  name = name.substr(0, name.find('\0'));
  const size_t length = (name.size() + kGeoNameRecordHead + 1 + 7) / 8 * 8;
  const int32_t head[2] = {static_cast<int32_t>(length), category};
  const double position[2] = {lat, lon};
  const size_t start = out.size();
  out.append(reinterpret_cast<const char*>(head), sizeof head);
  out.append(reinterpret_cast<const char*>(position), sizeof position);
  out += name;
  out.resize(start + length, '\0');
}

const char* FindTextNoCase(std::string_view text, std::string_view pattern) {
  const auto found = std::search(text.begin(), text.end(), pattern.begin(), pattern.end(),
                                 [](char t, char p) {
                                   return CharMatches(static_cast<unsigned char>(t),
                                                      static_cast<unsigned char>(p));
                                 });
  if (found == text.end() && !pattern.empty()) return nullptr;
  return text.data() + (found - text.begin());
}

int COldGeoNameDatabase::Open(const std::string& path) {
  Close();
  {
    vd::os::File file;
    if (!file.Open(path, vd::os::File::Mode::Read)) return -1;
    if (file.Size() <= 15) return -1;
  }
  const auto fail = [&] {
    Close();
    ShowError("Could not open file: \"" + path + "\"");
    return -1;
  };
  if (!view_.Open(path) || view_.size() < kGeoNameHeaderSize) return fail();
  const uint8_t* data = view_.data();
  if (ReadAt<int64_t>(data) != kGeoNameMagic) return fail();
  const int32_t categories = ReadAt<int32_t>(data + 8);
  if (categories < 0) return fail();
  end_ = data + view_.size();
  GeoNameCursor record = data + kGeoNameHeaderSize;
  for (int32_t i = 0; i < categories; ++i) {
    if (Checked(record, end_) == nullptr) return fail();
    record += ReadAt<int32_t>(record);
  }
  path_ = path;
  first_place_ = record;
  return 0;
}

void COldGeoNameDatabase::Close() {
  view_.Close();
  path_.clear();
  first_place_ = nullptr;
  end_ = nullptr;
}

GeoNameCursor COldGeoNameDatabase::Checked(GeoNameCursor record, GeoNameCursor end) {
  if (record >= end || static_cast<size_t>(end - record) < kGeoNameRecordHead) return nullptr;
  const int32_t length = ReadAt<int32_t>(record);
  if (length < static_cast<int32_t>(kMinRecordLength) || length % 8 != 0 || length > end - record)
    return nullptr;
  return record;
}

void COldGeoNameDatabase::NextCategory(GeoNameCursor& cursor) const {
  if (!IsOpen()) {
    cursor = nullptr;
    return;
  }
  const GeoNameCursor next =
      cursor == nullptr ? view_.data() + kGeoNameHeaderSize : cursor + ReadAt<int32_t>(cursor);
  cursor = Checked(next, first_place_);
}

void COldGeoNameDatabase::NextPlace(GeoNameCursor& cursor) const {
  if (!IsOpen()) {
    cursor = nullptr;
    return;
  }
  const GeoNameCursor next = cursor == nullptr ? first_place_ : cursor + ReadAt<int32_t>(cursor);
  cursor = next < first_place_ ? nullptr : Checked(next, end_);
}

void COldGeoNameDatabase::FindNext(GeoNameCursor& cursor, int category,
                                   std::string_view text) const {
  const std::string pattern = vd::os::Utf8ToCp1252(text);
  for (NextPlace(cursor); cursor != nullptr; NextPlace(cursor)) {
    if (category != -1 && ReadAt<int32_t>(cursor + 4) != category) continue;
    if (FindTextNoCase(RawName(cursor), pattern) != nullptr) return;
  }
}

std::string_view COldGeoNameDatabase::RawName(GeoNameCursor cursor) {
  const std::string_view text(reinterpret_cast<const char*>(cursor + kGeoNameRecordHead),
                              ReadAt<int32_t>(cursor) - kGeoNameRecordHead);
  return text.substr(0, text.find('\0'));
}

GeoNamePlace COldGeoNameDatabase::Read(GeoNameCursor cursor) {
  GeoNamePlace place;
  place.category = ReadAt<int32_t>(cursor + 4);
  place.lat = ReadAt<double>(cursor + 8);
  place.lon = ReadAt<double>(cursor + 16);
  place.name = vd::os::Cp1252ToUtf8(RawName(cursor));
  return place;
}

int COldGeoNameDatabase::ExportPolygon(const std::string& out_path, const GeoPoint* points,
                                       int count) const {
  if (!IsOpen() || points == nullptr || count < 1) return -1;
  const auto fail_output = [] {
    ShowError("Failed to open index output file");
    return -1;
  };
  // Replacing the file this object has mapped would change the records under its cursors.
  const std::optional<vd::os::FileIdentity> source = vd::os::IdentifyFile(path_);
  if (source && source == vd::os::IdentifyFile(out_path)) return fail_output();
  vd::os::AtomicFileWriter writer;
  if (!writer.Open(out_path)) return fail_output();

  vd::os::File& file = writer.file();
  // The header and the category records as they are, then the places inside.
  if (!file.Write(view_.data(), static_cast<size_t>(first_place_ - view_.data()))) return -1;
  const std::span<const GeoPoint> polygon(points, static_cast<size_t>(count));
  const auto lat_lon = [](const GeoPoint& p) { return PlanePoint{p.lat, p.lon}; };
  int32_t places = 0;
  std::string buffer;
  for (GeoNameCursor cursor = nullptr; NextPlace(cursor), cursor != nullptr;) {
    const double lat = ReadAt<double>(cursor + 8);
    const double lon = ReadAt<double>(cursor + 16);
    if (WindingSum(lat, lon, polygon, lat_lon) == 0) continue;
    buffer.append(reinterpret_cast<const char*>(cursor), static_cast<size_t>(ReadAt<int32_t>(cursor)));
    ++places;
    if (buffer.size() >= kWriteChunk) {
      if (!file.Write(buffer.data(), buffer.size())) return -1;
      buffer.clear();
    }
  }
  if (!file.Write(buffer.data(), buffer.size()) || !file.PWrite(&places, sizeof places, 12) ||
      !writer.Commit()) {
    return -1;
  }
  return 0;
}
