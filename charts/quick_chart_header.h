#pragma once
// The fixed header of a chart file (0x45A0 bytes, little-endian), shared by tiled charts
// (".qct"), chunk-store charts (tiles in the companion ".qc3" store) and reference files (a
// header naming an original tiled chart kept elsewhere). The tile index follows the header at
// once: one u32 file offset per tile, row-major. Texts are stored as u32 offsets of
// zero-terminated Windows-1252 strings anywhere in the file, 0 meaning no text.
//
// The structs below have exactly the on-disk layout, so a header is read and written as its
// bytes (the build is little-endian only).
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "geodesy/georef_polynomial.h"

static_assert(std::endian::native == std::endian::little,
              "chart headers are read and written as their little-endian bytes");

inline constexpr uint32_t kQctMagic = 0x1423D5FF;          // the magic written
inline constexpr uint32_t kQctMagicAccepted = 0x1423D5FE;  // read like kQctMagic
inline constexpr size_t kQctHeaderSize = 0x45A0;           // the tile index starts here
inline constexpr size_t kQctPaletteSize = 256 * 4;          // blue, green, red, 0 per entry
inline constexpr int kQctColours = 128;                     // pixels use indices 0..127
inline constexpr size_t kQctBlendTableSize = 128 * 128;
inline constexpr size_t kQctExtensionSize = 32;

// Header flags (other bits are carried unchanged).
inline constexpr uint32_t kQctFlagMerged = 0x04;       // a merge of several charts
inline constexpr uint32_t kQctFlagOwnOutline = 0x10;   // merge tests the outline in own pixels
inline constexpr uint32_t kQctFlagOnline = 0x40;       // chunks fetched only while viewed

// Offsets of the text fields within the header (what GetHeaderString-style calls take).
enum QctTextField : uint32_t {
  kQctTitle = 0x10,         // long name
  kQctName = 0x14,          // short name, the preferred display name
  kQctIdentifier = 0x18,
  kQctEdition = 0x1C,
  kQctUpdate = 0x20,        // revision
  kQctDescription = 0x24,   // kept and carried, never interpreted
  kQctCopyright = 0x28,
  kQctScale = 0x2C,
  kQctDatum = 0x30,
  kQctDepthUnits = 0x34,
  kQctHeightUnits = 0x38,
  kQctProjection = 0x3C,
  kQctOriginalName = 0x44,  // full path of the chart this file was made from
};

// What a version word says about the file.
enum class QctVersionKind {
  kTiled,              // 0 to 5: tiles in the file, all laid out alike
  kNewerTiled,         // 6 to 0x0FFFFFFF except 0x01xxxxxx: a later format this system can't read
  kNewChunkStore,      // 0x01xxxxxx: chunk-store chart of the newer reader family
  kOtherChunkStore,    // 0x1xxxxxxx: a chunk-store kind the older readers don't open
  kChunkStore,         // 0x2xxxxxxx: tiles in the companion chunk store
  kUnknown,            // 0x30000000 and above
};
QctVersionKind ClassifyQctVersion(uint32_t version);

// The first word is kQctMagic or kQctMagicAccepted.
constexpr bool IsQctMagic(uint32_t magic) { return (magic | 1u) == kQctMagic; }
// Top four bits 0: laid out with a tile index after the header (the size rule applies).
constexpr bool HasQctTileIndexLayout(uint32_t version) { return (version >> 28) == 0; }
// 0x10000000 and above: tiles kept in a chunk store (disk-size and readability tests).
constexpr bool IsQctChunkStoreVersion(uint32_t version) { return version >= 0x10000000u; }

// (position + 7) rounded down to a multiple of 8.
constexpr uint64_t QctAlign8(uint64_t position) { return (position + 7) & ~uint64_t{7}; }

struct QuickChartHeader {
  uint32_t magic = kQctMagic;
  uint32_t version = 0;
  int32_t width = 0;   // in 64-pixel tiles
  int32_t height = 0;  // in 64-pixel tiles
  uint32_t title = 0;  // text offsets from here to projection, see QctTextField
  uint32_t name = 0;
  uint32_t identifier = 0;
  uint32_t edition = 0;
  uint32_t update = 0;
  uint32_t description = 0;
  uint32_t copyright = 0;
  uint32_t scale = 0;
  uint32_t datum = 0;
  uint32_t depth_units = 0;
  uint32_t height_units = 0;
  uint32_t projection = 0;
  uint32_t flags = 0;
  uint32_t original_name = 0;  // text
  uint32_t original_size = 0;  // low 32 bits of the original file's size
  uint32_t original_time = 0;  // its modification time, seconds since 1970 (low 32 bits)
  uint32_t reserved = 0;
  uint32_t extension = 0;      // offset of the QuickChartExtension block, 0 = none
  int32_t outline_count = 0;   // 0 = the chart's rectangle is its outline
  uint32_t outline = 0;        // offset of outline_count (lat, lon) f64 pairs
  GeorefPolynomial georef;     // forward (lat, lon -> x, y), inverse (x, y -> lat, lon)
  std::array<uint8_t, kQctPaletteSize> palette{};
  std::array<uint8_t, kQctBlendTableSize> blend{};  // blend[a * 128 + b]: best index for a mix of a and b

  // The offset stored in a text field.
  uint32_t TextOffset(QctTextField field) const;
  void SetTextOffset(QctTextField field, uint32_t offset);
  // Forward coefficients 0, 1 and 2 are not all zero.
  bool HasGeoreference() const;

  // The header as stored; FromBytes needs at least kQctHeaderSize bytes (false when fewer).
  std::span<const uint8_t, kQctHeaderSize> Bytes() const;
  bool FromBytes(std::span<const uint8_t> bytes);
};
static_assert(sizeof(QuickChartHeader) == kQctHeaderSize);
static_assert(offsetof(QuickChartHeader, flags) == 0x40);
static_assert(offsetof(QuickChartHeader, outline) == 0x5C);
static_assert(offsetof(QuickChartHeader, georef) == 0x60);
static_assert(offsetof(QuickChartHeader, palette) == 0x1A0);
static_assert(offsetof(QuickChartHeader, blend) == 0x5A0);

// The 32-byte block at QuickChartHeader::extension.
struct QuickChartExtension {
  uint32_t map_type = 0;       // text; its first four letters name the kind of chart
  uint32_t datum_shift = 0;    // offset of a QctDatumShift (8-aligned), 0 = no shift
  uint32_t disk_label = 0;     // text: volume that held the original (reference files)
  uint32_t reserved_text = 0;  // text, carried to extracted and merged charts
  uint32_t reserved1 = 0;      // carried likewise
  uint32_t reserved2 = 0;      // carried likewise by versions 0-3
  uint32_t aux_text = 0;       // text kept beside the title
  uint32_t online_source = 0;  // offset of a QctOnlineSource block, 0 = none

  std::span<const uint8_t, kQctExtensionSize> Bytes() const;
};
static_assert(sizeof(QuickChartExtension) == kQctExtensionSize);

// Degrees subtracted from a position before the forward polynomials and added after the inverse.
struct QctDatumShift {
  double lat = 0.0;
  double lon = 0.0;
};

// The start of the online-source block: its byte count, then the text offset of the chunk
// source address. Readers keep only the first min(size, 8) bytes of the block.
struct QctOnlineSource {
  uint32_t size = 0;
  uint32_t address = 0;  // text
};
