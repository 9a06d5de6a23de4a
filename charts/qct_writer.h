#pragma once
// Writes the parts of a chart file at increasing positions of an open file: a new chart (through
// vd::os::AtomicFileWriter) or an existing one being patched at its end. Offsets in the format
// are 32 bits, so a part that would start past 4 GiB - 1 fails. The first failure is kept: later
// calls write nothing and return 0, and ok() stays false.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "charts/tile_codec.h"
#include "platform/os/files.h"

class QctWriter {
 public:
  // Writing starts at `position` (0 for a new file, the file size to append to a file).
  explicit QctWriter(vd::os::File& file, uint64_t position = 0);

  uint64_t position() const { return position_; }
  bool ok() const { return ok_; }

  // Writes the bytes at the position and moves past them; returns their offset.
  uint32_t Append(std::span<const uint8_t> bytes);
  uint32_t AppendZeros(size_t count);
  // Zero bytes up to the next 8-aligned position; returns that position.
  uint32_t Align8();
  // Encodes a tile (stored row order) at the position; returns its offset.
  uint32_t AppendTile(std::span<const uint8_t, kTilePixels> pixels);
  // Rewrites bytes written earlier (header, tile index, extension); the position is unchanged.
  void WriteAt(uint64_t offset, std::span<const uint8_t> bytes);
  // Zero bytes up to a multiple of 4, so that a reader of whole words in the last tile never
  // passes the end of the file. Returns ok().
  bool PadToWord();

 private:
  // The position as the offset of a new part; a failure past 4 GiB - 1.
  uint32_t Start();
  void Write(const void* data, size_t count);
  void WriteZeros(size_t count);

  vd::os::File& file_;
  uint64_t position_;
  bool ok_ = true;
};

// Writes a text field's string (UTF-8, stored as Windows-1252 with its terminating zero) at the
// writer's position and returns that offset; an empty text writes nothing and returns 0.
uint32_t QctAppendString(std::string_view text, QctWriter& out);
