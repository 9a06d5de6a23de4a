#pragma once
// The fly-through video writer: one RIFF AVI file with one video stream, every frame a key
// frame, either uncompressed 24-bit DIB frames ("DIB ") or one JPEG per frame ("MJPG").
//
// File layout: RIFF "AVI " { LIST "hdrl" { "avih", LIST "strl" { "strh", "strf" } },
// LIST "movi" { "00db" or "00dc" frame chunks }, "idx1" }. Chunks are padded to even sizes;
// index offsets count from the "movi" tag. The headers' frame counts and sizes are written when
// a file is finished.
//
// A recording is a series of numbered files (flight.avi, flight_1.avi, flight_2.avi, ...): the
// next file starts before a frame would take the current one past the size limit (1 GiB). Each
// file is written under a temporary name in its folder and appears under its own name only when
// it is complete, so a reader never sees a half-written video.
//
// The compressor choice survives between recordings in a small options file of raw bytes:
//   0   44            the options record (AviCompressOptions below, eleven u32 fields)
//   44  params_size   the compressor's parameter bytes
//   ..  format_size   the format bytes
// The two pointer fields of the record are stored as 0 and ignored on reading.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/os/files.h"

// Four-character codes as they are stored: the first character in the lowest byte.
constexpr uint32_t MakeFourCC(const char (&code)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(code[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(code[3])) << 24;
}

inline constexpr uint32_t kAviHandlerDib = MakeFourCC("DIB ");
inline constexpr uint32_t kAviHandlerMjpeg = MakeFourCC("MJPG");
inline constexpr uint32_t kAviStreamVideo = MakeFourCC("vids");
// Flag of AviCompressOptions::flags: the record holds a choice.
inline constexpr uint32_t kAviCompressValid = 8;
// Quality runs 0..10000; anything above asks for the compressor's default.
inline constexpr uint32_t kAviQualityMax = 10000;

// The compressor choice, field for field as the options file stores it.
struct AviCompressOptions {
  uint32_t type = 0;
  uint32_t handler = 0;  // four-character code of the compressor
  uint32_t key_frame_every = 0;
  uint32_t quality = 0;  // 0..10000
  uint32_t bytes_per_second = 0;
  uint32_t flags = 0;
  uint32_t format_pointer = 0;  // meaningless outside the program that chose; stored as 0
  uint32_t format_size = 0;
  uint32_t params_pointer = 0;  // likewise
  uint32_t params_size = 0;
  uint32_t interleave_every = 0;
};
static_assert(sizeof(AviCompressOptions) == 44);

// An options record with the bytes it points at.
struct AviCompressChoice {
  AviCompressOptions options;
  std::vector<uint8_t> params;
  std::vector<uint8_t> format;
};

// A frame as the view renders it: 32-bit pixels 0xAARRGGBB (alpha ignored), `stride` pixels
// from one row to the next, `pixels` pointing at the top row. A negative stride reads an image
// stored bottom row first (as GL reads it back) with `pixels` at its top row.
struct VideoFrame {
  const uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  ptrdiff_t stride = 0;
};

// The frame as a packed 24-bit DIB: the 40-byte bitmap info header (width, height, 1 plane,
// 24 bits, no compression, image size ((width * 24 + 31) / 32) * 4 * height) followed by the
// rows bottom first, blue-green-red, each padded to 4 bytes. Empty for an empty frame.
std::vector<uint8_t> BitmapToPackedDib(const VideoFrame& frame);

// The path of file `number` of a recording to `output_path`: the folder (up to the last '/',
// "." without one), the file name without its extension, "_<number>" for numbers above 0 and
// the extension (from the file name's last dot; none without a dot).
std::string AviPartPath(const std::string& output_path, int number);

class CAVIFile {
 public:
  // Shows the user the compressor choice, starting from `choice`; false when the user cancels.
  using ChooseCompression = std::function<bool(AviCompressChoice& choice)>;

  static constexpr uint64_t kMaxFileBytes = uint64_t{1} << 30;

  // Opens file 0 of a recording of width x height frames at frame_rate frames per second.
  // The compressor comes from the options file; when it can't be read (or names a compressor
  // this writer lacks) frames are stored uncompressed. With `choose`, the user is shown the
  // choice first: confirmed, it is saved to the options file (a failure to save is not
  // reported); cancelled, the writer is not ok. Any failure leaves IsOK() false.
  // `max_file_bytes` bounds each file of the recording (at least one frame goes in each).
  CAVIFile(const std::string& output_path, int width, int height, int frame_rate,
           const ChooseCompression& choose, const std::string& options_path,
           uint64_t max_file_bytes = kMaxFileBytes);
  // Finishes the current file.
  ~CAVIFile();
  CAVIFile(const CAVIFile&) = delete;
  CAVIFile& operator=(const CAVIFile&) = delete;

  // Appends a frame as a key frame. False at once when the writer is not ok; false, with the
  // writer still ok, for a frame whose size is not the video's; false and not ok when the file
  // can't be written (the unfinished file is removed; earlier files of the recording stay).
  bool AddFrame(const VideoFrame& frame);
  bool IsOK() const { return ok_; }

  // The options file: record, parameter bytes, format bytes. Load fails (leaving `choice`
  // as it was) on a missing file, a short one, or sizes above 1 MiB or past the file's end.
  static bool SaveOptions(const std::string& path, const AviCompressChoice& choice);
  static bool LoadOptions(const std::string& path, AviCompressChoice& choice);

 private:
  bool Open();
  // Writes the index and the final headers and gives the file its name.
  bool Close();
  bool WriteChunk(const std::vector<uint8_t>& payload);
  std::vector<uint8_t> Headers() const;
  std::vector<uint8_t> EncodeFrame(const VideoFrame& frame) const;

  std::string output_path_;
  int width_;
  int height_;
  int frame_rate_;
  uint64_t max_file_bytes_;
  AviCompressChoice choice_;
  bool mjpeg_ = false;
  int file_number_ = 0;
  bool ok_ = true;

  // The file being written.
  vd::os::AtomicFileWriter writer_;
  bool open_ = false;
  uint64_t movi_bytes_ = 0;     // chunk bytes after the "movi" tag
  uint32_t largest_chunk_ = 0;  // payload bytes
  std::vector<uint8_t> index_;  // "idx1" entries, 16 bytes each
  uint32_t frames_ = 0;         // frames in this file
};
