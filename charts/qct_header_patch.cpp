#include "charts/qct_header_patch.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/string_utils.h"
#include "platform/os/codepage.h"

namespace {

constexpr size_t kCopyBlock = 1 << 20;
constexpr uint64_t kOutlinePointBytes = 2 * sizeof(double);

bool CopyInto(vd::os::File& from, vd::os::File& to, uint64_t size) {
  std::vector<uint8_t> block(kCopyBlock);
  for (uint64_t done = 0; done < size;) {
    const size_t part = size_t(std::min<uint64_t>(kCopyBlock, size - done));
    if (from.PRead(block.data(), part, done) != int64_t(part) ||
        !to.PWrite(block.data(), part, done)) {
      return false;
    }
    done += part;
  }
  return true;
}

template <class T>
std::span<const uint8_t> BytesOf(const T& value) {
  return {reinterpret_cast<const uint8_t*>(&value), sizeof value};
}

}  // namespace

bool QctHeaderPatch::Open(const std::string& path) {
  vd::os::File in;
  std::vector<uint8_t> bytes(kQctHeaderSize);
  if (!in.Open(path, vd::os::File::Mode::Read) || !in.ReadExact(bytes.data(), bytes.size()) ||
      !header_.FromBytes(bytes) || !IsQctMagic(header_.magic)) {
    return false;
  }
  const int64_t size = in.Size();
  if (size < 0 || !out_.Open(path) || !CopyInto(in, out_.file(), uint64_t(size))) return false;
  size_ = uint64_t(size);
  extension_ = QuickChartExtension();
  // A block past the end counts as none.
  if (header_.extension != 0 &&
      !(Holds(header_.extension, kQctExtensionSize) &&
        in.PRead(&extension_, sizeof extension_, header_.extension) ==
            int64_t(kQctExtensionSize))) {
    header_.extension = 0;
    extension_ = QuickChartExtension();
  }
  writer_ = std::make_unique<QctWriter>(out_.file(), size_);
  return true;
}

bool QctHeaderPatch::Holds(uint64_t offset, uint64_t count) const {
  return offset != 0 && offset <= size_ && count <= size_ - offset;
}

std::string QctHeaderPatch::ReadText(uint32_t offset, size_t max_bytes) {
  if (!Holds(offset, 1)) return "";
  std::string bytes(size_t(std::min<uint64_t>(max_bytes, size_ - offset)), '\0');
  const int64_t got = out_.file().PRead(bytes.data(), bytes.size(), offset);
  bytes.resize(got > 0 ? size_t(got) : 0);
  return vd::os::Cp1252ToUtf8(bytes.substr(0, bytes.find('\0')));
}

bool QctHeaderPatch::WriteOutline(std::span<const GeoPoint> points) {
  if (points.empty()) return false;
  const uint64_t old_count = uint64_t(std::max(header_.outline_count, 0));
  std::vector<double> values;
  const bool in_place = old_count >= points.size() &&
                        Holds(header_.outline, old_count * kOutlinePointBytes);
  const size_t slots = in_place ? size_t(old_count) : points.size();
  for (size_t i = 0; i < slots; ++i) {
    const GeoPoint& p = points[i < points.size() ? i : 0];
    values.push_back(p.lat);
    values.push_back(p.lon);
  }
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(values.data()),
                                       values.size() * sizeof(double));
  if (in_place) {
    writer_->WriteAt(header_.outline, bytes);
  } else {
    writer_->Align8();
    header_.outline = writer_->Append(bytes);
    header_.outline_count = int32_t(points.size());
  }
  return writer_->ok();
}

void QctHeaderPatch::WriteDatumShift(const QctDatumShift& shift) {
  if (header_.extension == 0) {
    writer_->Align8();
    header_.extension = writer_->AppendZeros(kQctExtensionSize);
  }
  if (Holds(extension_.datum_shift, sizeof shift)) {
    writer_->WriteAt(extension_.datum_shift, BytesOf(shift));
  } else {
    writer_->Align8();
    extension_.datum_shift = writer_->Append(BytesOf(shift));
  }
}

void QctHeaderPatch::WriteText(QctTextField field, const std::string& text) {
  header_.SetTextOffset(field, EqualsNoCase(text, "none") ? 0 : QctAppendString(text, *writer_));
}

bool QctHeaderPatch::Commit() {
  if (!writer_) return false;
  writer_->WriteAt(0, header_.Bytes());
  if (header_.extension != 0) writer_->WriteAt(header_.extension, extension_.Bytes());
  if (!writer_->PadToWord() || !out_.Commit()) {
    out_.Discard();
    return false;
  }
  return true;
}

bool QctWriteOutline(const std::string& path, std::span<const GeoPoint> points) {
  QctHeaderPatch patch;
  return !points.empty() && patch.Open(path) && patch.WriteOutline(points) && patch.Commit();
}

bool QctWriteDatum(const std::string& path, const std::string& datum, double lat_shift,
                   double lon_shift) {
  QctHeaderPatch patch;
  if (!patch.Open(path)) return false;
  patch.WriteDatumShift({lat_shift, lon_shift});
  patch.WriteText(kQctDatum, datum);
  return patch.Commit();
}

bool QctWriteGeoreference(const std::string& path, const GeorefPolynomial& georef) {
  QctHeaderPatch patch;
  if (!patch.Open(path)) return false;
  patch.header().georef = georef;
  return patch.Commit();
}

bool QctWriteNameString(const std::string& path, const std::string& name) {
  QctHeaderPatch patch;
  if (name.empty() || !patch.Open(path)) return false;
  patch.WriteText(kQctName, name);
  return patch.Commit();
}
