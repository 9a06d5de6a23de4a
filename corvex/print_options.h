#pragma once
// The print options and relief shading options that printing and image export read from the
// profile (section "settings"): "print_settings", 32 bytes, and "relief_settings", 8 bytes,
// both little-endian; at most that many stored bytes are copied over the defaults. Values out
// of the options dialog's ranges are brought into them, so a damaged record never stalls or
// divides by zero.
#include <array>
#include <cstdint>

#include "platform/ui/colour.h"

struct CPrintOptions {
  // Flag bits.
  static constexpr int32_t kBorderTop = 0x01;
  static constexpr int32_t kBorderRight = 0x02;
  static constexpr int32_t kBorderBottom = 0x04;
  static constexpr int32_t kBorderLeft = 0x08;
  static constexpr int32_t kBorders = 0x0F;
  static constexpr int32_t kFixedScale = 0x10;
  static constexpr int32_t kReliefShading = 0x20;
  static constexpr int32_t kGridLines = 0x40;
  enum Margin { kMarginTop, kMarginBottom, kMarginLeft, kMarginRight };

  int32_t scale = 50000;      // 1:scale, 1000..9000000
  int32_t resolution = 450;   // highest chart pixels per inch of paper, 50..2000
  int32_t flags = 0;
  std::array<int16_t, 4> margins{};  // 1/100 inch, never negative
  vd::ui::ColourRef grid_colour = 0;
  int32_t grid_line_width = 0;  // points, 0..1000
  int32_t copies = 1;           // 1..1000

  static CPrintOptions Load();
  void Save() const;
  std::array<uint8_t, 32> Encode() const;  // the stored record
  bool Has(int32_t flag) const { return (flags & flag) != 0; }
};

struct CReliefOptions {
  int32_t brightness = 80;  // percent
  int32_t contrast = 150;   // its sign is the lighting side: negative = light from the east

  static CReliefOptions Load();
  void Save() const;
};

// The image export's stored choice ("ImageExport", 8 bytes): the output size, as a shift of
// the area's size (0 full size .. 4 a sixteenth), and whether relief shading is added.
struct CImageExportChoice {
  static constexpr int32_t kMaxShift = 4;
  int32_t shift = 0;
  bool relief = false;

  static CImageExportChoice Load();
  void Save() const;
};
