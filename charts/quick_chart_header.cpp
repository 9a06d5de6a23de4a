#include "charts/quick_chart_header.h"

#include <cstring>

QctVersionKind ClassifyQctVersion(uint32_t version) {
  if (version <= 5) return QctVersionKind::kTiled;
  switch (version >> 28) {
    case 0:
      return (version >> 24) == 0x01 ? QctVersionKind::kNewChunkStore : QctVersionKind::kNewerTiled;
    case 1:
      return QctVersionKind::kOtherChunkStore;
    case 2:
      return QctVersionKind::kChunkStore;
    default:
      return QctVersionKind::kUnknown;
  }
}

uint32_t QuickChartHeader::TextOffset(QctTextField field) const {
  uint32_t offset;
  std::memcpy(&offset, Bytes().data() + field, sizeof offset);
  return offset;
}

void QuickChartHeader::SetTextOffset(QctTextField field, uint32_t offset) {
  std::memcpy(reinterpret_cast<uint8_t*>(this) + field, &offset, sizeof offset);
}

bool QuickChartHeader::HasGeoreference() const {
  const CubicPolynomial& x = georef.forward.first;
  return x[0] != 0.0 || x[1] != 0.0 || x[2] != 0.0;
}

std::span<const uint8_t, kQctHeaderSize> QuickChartHeader::Bytes() const {
  return std::span<const uint8_t, kQctHeaderSize>(reinterpret_cast<const uint8_t*>(this),
                                                  kQctHeaderSize);
}

bool QuickChartHeader::FromBytes(std::span<const uint8_t> bytes) {
  if (bytes.size() < kQctHeaderSize) return false;
  std::memcpy(static_cast<void*>(this), bytes.data(), kQctHeaderSize);
  return true;
}

std::span<const uint8_t, kQctExtensionSize> QuickChartExtension::Bytes() const {
  return std::span<const uint8_t, kQctExtensionSize>(reinterpret_cast<const uint8_t*>(this),
                                                     kQctExtensionSize);
}
