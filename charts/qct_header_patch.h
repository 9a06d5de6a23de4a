#pragma once
// Changes to the header of an existing chart file (outline, datum, georeference, name) and the
// edit they share. The change never touches the file in place: the file is copied to a temporary
// file beside it, new parts are appended to the copy's end and its header rewritten, and the copy
// replaces the file by rename only when all of it was written. A reader that has the old file
// mapped keeps reading the old bytes.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "charts/qct_writer.h"
#include "charts/quick_chart_header.h"
#include "geodesy/geo_point.h"
#include "geodesy/georef_polynomial.h"
#include "platform/os/files.h"

class QctHeaderPatch {
 public:
  QctHeaderPatch() = default;
  QctHeaderPatch(const QctHeaderPatch&) = delete;
  QctHeaderPatch& operator=(const QctHeaderPatch&) = delete;

  // Copies the chart file at `path` for the change. False when it can't be read or copied, is
  // shorter than the header or has neither magic.
  bool Open(const std::string& path);

  QuickChartHeader& header() { return header_; }
  // The extension block; all zero while the file has none.
  QuickChartExtension& extension() { return extension_; }
  bool has_extension() const { return header_.extension != 0; }
  // The text at a file offset (UTF-8), at most max_bytes of it; empty for 0 or past the end.
  std::string ReadText(uint32_t offset, size_t max_bytes);
  // Appends at the end of the copy.
  QctWriter& writer() { return *writer_; }

  // Writes an outline of (lat, lon) points in the chart's own datum. More points than the file
  // holds go to its end (8-aligned) and the count becomes theirs; otherwise they go over the old
  // points, the count is kept and the slots after them repeat the first point. False for no
  // points.
  bool WriteOutline(std::span<const GeoPoint> points);
  // Writes the datum shift where the extension block points (or at the 8-aligned end when it
  // points nowhere) and references it; a file without an extension block gets one.
  void WriteDatumShift(const QctDatumShift& shift);
  // Stores `text` at the end and its offset in the field; "none" (any case) and "" store 0.
  void WriteText(QctTextField field, const std::string& text);

  // Writes the header and the extension block and replaces the file. False (the file unchanged)
  // when anything failed.
  bool Commit();

 private:
  // Whether `count` bytes at `offset` lie within the original file.
  bool Holds(uint64_t offset, uint64_t count) const;

  vd::os::AtomicFileWriter out_;
  std::unique_ptr<QctWriter> writer_;
  QuickChartHeader header_;
  QuickChartExtension extension_;
  uint64_t size_ = 0;
};

// The header changes of the chart properties commands. Each returns false, leaving the file as
// it was, when the file can't be read, is no chart file or can't be written.
// Points are (lat, lon) in the chart's own datum.
bool QctWriteOutline(const std::string& path, std::span<const GeoPoint> points);
// The datum text ("none" or "" store no text) and its shift in degrees.
bool QctWriteDatum(const std::string& path, const std::string& datum, double lat_shift,
                   double lon_shift);
bool QctWriteGeoreference(const std::string& path, const GeorefPolynomial& georef);
// False for an empty name; "none" stores no name.
bool QctWriteNameString(const std::string& path, const std::string& name);
