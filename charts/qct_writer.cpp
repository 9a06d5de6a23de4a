#include "charts/qct_writer.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "charts/quick_chart_header.h"
#include "platform/os/codepage.h"

QctWriter::QctWriter(vd::os::File& file, uint64_t position) : file_(file), position_(position) {}

uint32_t QctWriter::Start() {
  if (position_ > std::numeric_limits<uint32_t>::max()) ok_ = false;
  return ok_ ? uint32_t(position_) : 0;
}

void QctWriter::Write(const void* data, size_t count) {
  if (!ok_ || count == 0) return;
  if (file_.PWrite(data, count, position_)) {
    position_ += count;
  } else {
    ok_ = false;
  }
}

void QctWriter::WriteZeros(size_t count) {
  static constexpr std::array<uint8_t, 4096> kZeros{};
  while (ok_ && count > 0) {
    const size_t part = std::min(count, kZeros.size());
    Write(kZeros.data(), part);
    count -= part;
  }
}

uint32_t QctWriter::Append(std::span<const uint8_t> bytes) {
  const uint32_t offset = Start();
  Write(bytes.data(), bytes.size());
  return ok_ ? offset : 0;
}

uint32_t QctWriter::AppendZeros(size_t count) {
  const uint32_t offset = Start();
  WriteZeros(count);
  return ok_ ? offset : 0;
}

uint32_t QctWriter::Align8() {
  WriteZeros(size_t(QctAlign8(position_) - position_));
  return Start();
}

uint32_t QctWriter::AppendTile(std::span<const uint8_t, kTilePixels> pixels) {
  std::vector<uint8_t> bytes;
  EncodeTile(pixels, bytes);
  return Append(bytes);
}

void QctWriter::WriteAt(uint64_t offset, std::span<const uint8_t> bytes) {
  if (ok_ && !file_.PWrite(bytes.data(), bytes.size(), offset)) ok_ = false;
}

bool QctWriter::PadToWord() {
  WriteZeros(size_t((4 - position_ % 4) % 4));
  return ok_;
}

uint32_t QctAppendString(std::string_view text, QctWriter& out) {
  if (text.empty()) return 0;
  std::string stored = vd::os::Utf8ToCp1252(text);
  stored.push_back('\0');
  return out.Append(std::span(reinterpret_cast<const uint8_t*>(stored.data()), stored.size()));
}
