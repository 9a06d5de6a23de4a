#include "charts/qct_reference_file.h"

#include <sys/stat.h>

#include <cstdio>
#include <vector>

#include "charts/qct_file_view.h"
#include "charts/qct_writer.h"
#include "platform/os/files.h"

static_assert(sizeof(GeoPoint) == 16, "outline points are stored as (lat, lon) f64 pairs");

namespace {

constexpr uint32_t kReferenceVersion = 2;
// The mount table names file systems by label through links in this folder.
constexpr char kLabelFolder[] = "/dev/disk/by-label";

// Link names there escape some bytes as "\xHH".
std::string UnescapeLabel(const std::string& name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned value;
    if (name.compare(i, 2, "\\x") == 0 && i + 4 <= name.size() &&
        std::sscanf(name.substr(i + 2, 2).c_str(), "%2x", &value) == 1) {
      out.push_back(char(value));
      i += 3;
    } else {
      out.push_back(name[i]);
    }
  }
  return out;
}

}  // namespace

std::string VolumeLabelOf(const std::string& path) {
  struct stat file;
  std::vector<vd::os::DirEntry> labels;
  if (::stat(path.c_str(), &file) != 0 || !vd::os::ListFolder(kLabelFolder, labels)) return "";
  for (const vd::os::DirEntry& label : labels) {
    struct stat device;
    const std::string link = std::string(kLabelFolder) + "/" + label.name;
    if (::stat(link.c_str(), &device) == 0 && S_ISBLK(device.st_mode) &&
        device.st_rdev == file.st_dev) {
      return UnescapeLabel(label.name);
    }
  }
  return "";
}

bool QctMakeReferenceFile(const std::string& source, const std::string& new_path) {
  vd::os::MappedFile mapping;
  if (!mapping.Open(source)) return false;
  const QctFileView file(std::span<const uint8_t>(mapping.data(), mapping.size()));
  QuickChartHeader original;
  if (!file.ReadHeader(original) || !IsQctMagic(original.magic)) return false;
  // The original must be a chart that opens by itself: a tiled chart with its tiles (not a
  // reference file) or a chunk-store chart.
  const QctVersionKind kind = ClassifyQctVersion(original.version);
  if (kind == QctVersionKind::kTiled) {
    if (!file.HoldsTileIndex(original) || file.FirstIndexEntry().value_or(0) == 0) return false;
  } else if (kind != QctVersionKind::kChunkStore) {
    return false;
  }
  const QuickChartExtension original_extension =
      file.ReadExtension(original).value_or(QuickChartExtension{});
  const std::vector<GeoPoint> outline = file.ReadOutline(original).value_or(std::vector<GeoPoint>{});

  vd::os::AtomicFileWriter out;
  if (!out.Open(new_path)) return false;
  QctWriter writer(out.file());
  // Header, the first two index words (0: a reference file) and the extension block.
  writer.AppendZeros(kQctHeaderSize + 8 + kQctExtensionSize);
  QuickChartHeader header;
  header.version = kReferenceVersion;
  header.extension = uint32_t(kQctHeaderSize + 8);
  writer.Align8();
  if (!outline.empty()) {
    header.outline_count = int32_t(outline.size());
    header.outline = writer.Append(std::span(reinterpret_cast<const uint8_t*>(outline.data()),
                                             outline.size() * sizeof(GeoPoint)));
  }
  QuickChartExtension extension;
  const auto copy = [&](QctTextField field) {
    header.SetTextOffset(field, QctAppendString(file.HeaderText(original, field), writer));
  };
  extension.map_type = QctAppendString(file.Text(original_extension.map_type), writer);
  for (QctTextField field : {kQctIdentifier, kQctName, kQctTitle, kQctDescription}) copy(field);
  header.SetTextOffset(kQctOriginalName, QctAppendString(source, writer));
  extension.disk_label = QctAppendString(VolumeLabelOf(source), writer);
  for (QctTextField field : {kQctEdition, kQctUpdate, kQctScale, kQctDatum, kQctCopyright,
                             kQctHeightUnits, kQctDepthUnits, kQctProjection}) {
    copy(field);
  }
  if (const std::optional<QctDatumShift> shift = file.ReadDatumShift(original_extension)) {
    writer.Align8();
    extension.datum_shift =
        writer.Append(std::span(reinterpret_cast<const uint8_t*>(&*shift), sizeof *shift));
  }
  header.georef = original.georef;
  writer.WriteAt(0, header.Bytes());
  writer.WriteAt(header.extension, extension.Bytes());
  return writer.PadToWord() && out.Commit();
}
