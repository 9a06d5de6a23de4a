#include "corvex/print_options.h"

#include <algorithm>
#include <cstdlib>
#include <cstdint>

#include "core/persistent_value.h"

namespace {

constexpr char kPrintSettingsName[] = "print_settings";
constexpr char kReliefSettingsName[] = "relief_settings";
constexpr size_t kPrintRecordSize = 32;
constexpr size_t kReliefRecordSize = 8;
constexpr char kImageExportName[] = "ImageExport";
constexpr size_t kImageExportRecordSize = 8;

int32_t Get32(const uint8_t* bytes) {
  return int32_t(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                 uint32_t(bytes[3]) << 24);
}

void Put32(uint8_t* bytes, int32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = uint8_t(uint32_t(value) >> (8 * i));
}

}  // namespace

CPrintOptions CPrintOptions::Load() {
  CPrintOptions options;
  std::array<uint8_t, kPrintRecordSize> bytes = options.Encode();
  vd::LoadProfileBinary(kPrintSettingsName, bytes.data(), bytes.size());
  options.scale = std::clamp(Get32(&bytes[0]), 1000, 9000000);
  options.resolution = std::clamp(Get32(&bytes[4]), 50, 2000);
  options.flags = Get32(&bytes[8]);
  for (size_t i = 0; i < 4; ++i) {
    const auto margin = int16_t(uint16_t(bytes[12 + 2 * i] | bytes[13 + 2 * i] << 8));
    options.margins[i] = std::max<int16_t>(margin, 0);
  }
  options.grid_colour = vd::ui::ColourRef(Get32(&bytes[20])) & 0xFFFFFF;
  options.grid_line_width = std::clamp(Get32(&bytes[24]), 0, 1000);
  options.copies = std::clamp(Get32(&bytes[28]), 1, 1000);
  return options;
}

std::array<uint8_t, 32> CPrintOptions::Encode() const {
  std::array<uint8_t, kPrintRecordSize> bytes{};
  Put32(&bytes[0], scale);
  Put32(&bytes[4], resolution);
  Put32(&bytes[8], flags);
  for (size_t i = 0; i < 4; ++i) {
    bytes[12 + 2 * i] = uint8_t(uint16_t(margins[i]) & 0xFF);
    bytes[13 + 2 * i] = uint8_t(uint16_t(margins[i]) >> 8);
  }
  Put32(&bytes[20], int32_t(grid_colour));
  Put32(&bytes[24], grid_line_width);
  Put32(&bytes[28], copies);
  return bytes;
}

void CPrintOptions::Save() const {
  const auto bytes = Encode();
  vd::SaveProfileBinary(kPrintSettingsName, bytes.data(), bytes.size());
}

CReliefOptions CReliefOptions::Load() {
  CReliefOptions options;
  std::array<uint8_t, kReliefRecordSize> bytes{};
  Put32(&bytes[0], options.brightness);
  Put32(&bytes[4], options.contrast);
  vd::LoadProfileBinary(kReliefSettingsName, bytes.data(), bytes.size());
  options.brightness = std::clamp(Get32(&bytes[0]), 50, 100);
  const int32_t contrast = Get32(&bytes[4]);
  const int32_t magnitude = std::clamp(contrast == INT32_MIN ? 10000 : std::abs(contrast), 10, 10000);
  options.contrast = contrast < 0 ? -magnitude : magnitude;
  return options;
}

void CReliefOptions::Save() const {
  std::array<uint8_t, kReliefRecordSize> bytes{};
  Put32(&bytes[0], brightness);
  Put32(&bytes[4], contrast);
  vd::SaveProfileBinary(kReliefSettingsName, bytes.data(), bytes.size());
}

CImageExportChoice CImageExportChoice::Load() {
  CImageExportChoice choice;
  std::array<uint8_t, kImageExportRecordSize> bytes{};
  vd::LoadProfileBinary(kImageExportName, bytes.data(), bytes.size());
  choice.shift = std::clamp(Get32(&bytes[0]), 0, kMaxShift);
  choice.relief = Get32(&bytes[4]) != 0;
  return choice;
}

void CImageExportChoice::Save() const {
  std::array<uint8_t, kImageExportRecordSize> bytes{};
  Put32(&bytes[0], std::clamp(shift, 0, kMaxShift));
  Put32(&bytes[4], relief ? 1 : 0);
  vd::SaveProfileBinary(kImageExportName, bytes.data(), bytes.size());
}
