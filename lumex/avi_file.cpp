#include "lumex/avi_file.h"

#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kOptionsRecordBytes = sizeof(AviCompressOptions);
constexpr uint32_t kMaxOptionBlockBytes = 1 << 20;
constexpr uint32_t kBitmapInfoBytes = 40;
constexpr uint32_t kIndexEntryBytes = 16;
constexpr uint32_t kKeyFrameFlag = 0x10;     // index entry: the chunk is a key frame
constexpr uint32_t kAviHasIndexFlag = 0x10;  // main header: the file ends with an index
constexpr int kDefaultJpegQuality = 75;

// Header block sizes: RIFF tag, size, form (12); LIST hdrl (12); avih chunk (8 + 56); LIST strl
// (12); strh chunk (8 + 56); strf chunk (8 + 40); LIST movi header (12).
constexpr uint32_t kMainHeaderBytes = 56;
constexpr uint32_t kStreamHeaderBytes = 56;
constexpr uint32_t kStrlBytes = 4 + 8 + kStreamHeaderBytes + 8 + kBitmapInfoBytes;
constexpr uint32_t kHdrlBytes = 4 + 8 + kMainHeaderBytes + 8 + kStrlBytes;
constexpr uint32_t kHeaderBytes = 12 + 8 + kHdrlBytes + 12;  // up to the first frame chunk

class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}
  void U16(uint32_t v) {
    out_.push_back(static_cast<uint8_t>(v));
    out_.push_back(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
  void Tag(const char (&code)[5]) { U32(MakeFourCC(code)); }

 private:
  std::vector<uint8_t>& out_;
};

uint32_t DibImageBytes(int width, int height) {
  return static_cast<uint32_t>((width * 24 + 31) / 32 * 4) * static_cast<uint32_t>(height);
}

void AppendBitmapInfo(ByteWriter& out, int width, int height, uint32_t compression) {
  out.U32(kBitmapInfoBytes);
  out.U32(static_cast<uint32_t>(width));
  out.U32(static_cast<uint32_t>(height));
  out.U16(1);   // planes
  out.U16(24);  // bits per pixel
  out.U32(compression);
  out.U32(DibImageBytes(width, height));
  for (int i = 0; i < 4; ++i) out.U32(0);  // resolution, colours used and important
}

const uint32_t* RowOf(const VideoFrame& frame, int y) { return frame.pixels + frame.stride * y; }

bool IsMjpeg(uint32_t handler) {
  // Compressor codes come in either case.
  uint32_t upper = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const auto c = static_cast<uint8_t>(handler >> shift);
    upper |= static_cast<uint32_t>(c >= 'a' && c <= 'z' ? c - 32 : c) << shift;
  }
  return upper == kAviHandlerMjpeg;
}

int JpegQuality(uint32_t quality) {
  if (quality > kAviQualityMax) return kDefaultJpegQuality;
  return std::max(1, static_cast<int>(quality / 100));
}

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void JumpOnJpegError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

// The frame as one baseline JPEG; false when the library fails. No C++ object with a
// destructor lives between setjmp and the library calls that may jump back to it.
bool CompressJpeg(const VideoFrame& frame, int quality, uint8_t*& data, unsigned long& size,
                  uint8_t* row) {
  jpeg_compress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = JumpOnJpegError;
  if (setjmp(error.jump)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &data, &size);
  info.image_width = static_cast<JDIMENSION>(frame.width);
  info.image_height = static_cast<JDIMENSION>(frame.height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  for (int y = 0; y < frame.height; ++y) {
    const uint32_t* src = RowOf(frame, y);
    for (int x = 0; x < frame.width; ++x) {
      row[3 * x] = static_cast<uint8_t>(src[x] >> 16);
      row[3 * x + 1] = static_cast<uint8_t>(src[x] >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(src[x]);
    }
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

std::vector<uint8_t> EncodeJpeg(const VideoFrame& frame, int quality) {
  std::vector<uint8_t> row(static_cast<size_t>(frame.width) * 3);
  uint8_t* data = nullptr;
  unsigned long size = 0;
  std::vector<uint8_t> out;
  if (CompressJpeg(frame, quality, data, size, row.data())) out.assign(data, data + size);
  std::free(data);
  return out;
}

// Splits a path into everything before the extension and the extension itself.
std::pair<std::string, std::string> SplitExtension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return {folder + "/" + name, ""};
  return {folder + "/" + name.substr(0, dot), name.substr(dot)};
}

}  // namespace

std::vector<uint8_t> BitmapToPackedDib(const VideoFrame& frame) {
  std::vector<uint8_t> out;
  if (frame.width <= 0 || frame.height <= 0 || frame.pixels == nullptr) return out;
  const size_t row_bytes = static_cast<size_t>((frame.width * 24 + 31) / 32 * 4);
  out.reserve(kBitmapInfoBytes + row_bytes * static_cast<size_t>(frame.height));
  ByteWriter header(out);
  AppendBitmapInfo(header, frame.width, frame.height, 0);
  out.resize(kBitmapInfoBytes + row_bytes * static_cast<size_t>(frame.height));
  uint8_t* bits = out.data() + kBitmapInfoBytes;
  for (int y = frame.height - 1; y >= 0; --y, bits += row_bytes) {
    const uint32_t* src = RowOf(frame, y);
    for (int x = 0; x < frame.width; ++x) {
      bits[3 * x] = static_cast<uint8_t>(src[x]);
      bits[3 * x + 1] = static_cast<uint8_t>(src[x] >> 8);
      bits[3 * x + 2] = static_cast<uint8_t>(src[x] >> 16);
    }
  }
  return out;
}

std::string AviPartPath(const std::string& output_path, int number) {
  const auto [base, extension] = SplitExtension(output_path);
  return number > 0 ? base + "_" + std::to_string(number) + extension : base + extension;
}

CAVIFile::CAVIFile(const std::string& output_path, int width, int height, int frame_rate,
                   const ChooseCompression& choose, const std::string& options_path,
                   uint64_t max_file_bytes)
    : output_path_(output_path),
      width_(width),
      height_(height),
      frame_rate_(frame_rate),
      max_file_bytes_(max_file_bytes) {
  // Sizes that the 32-bit fields of the headers can't describe are refused with the rest.
  if (width <= 0 || height <= 0 || frame_rate <= 0 ||
      static_cast<uint64_t>(DibImageBytes(width, 1)) * static_cast<uint64_t>(height) >
          kMaxFileBytes) {
    ok_ = false;
    return;
  }
  if (!LoadOptions(options_path, choice_)) {
    choice_ = {};
    choice_.options.handler = kAviHandlerDib;
    choice_.options.flags = kAviCompressValid;
  }
  if (choose) {
    if (!choose(choice_)) {
      ok_ = false;
      return;
    }
    SaveOptions(options_path, choice_);
  }
  // Later files of the recording keep this choice even if the options file changes meanwhile.
  mjpeg_ = IsMjpeg(choice_.options.handler);
  ok_ = Open();
}

CAVIFile::~CAVIFile() {
  if (open_) Close();
}

bool CAVIFile::Open() {
  open_ = writer_.Open(AviPartPath(output_path_, file_number_));
  if (!open_) return false;
  movi_bytes_ = 0;
  largest_chunk_ = 0;
  index_.clear();
  frames_ = 0;
  // The headers are written again with their final counts by Close.
  const std::vector<uint8_t> headers = Headers();
  if (writer_.file().Write(headers.data(), headers.size())) return true;
  writer_.Discard();
  open_ = false;
  return false;
}

std::vector<uint8_t> CAVIFile::Headers() const {
  const uint64_t riff_bytes = kHeaderBytes - 8 + movi_bytes_ + 8 + index_.size();
  const uint32_t handler = mjpeg_ ? kAviHandlerMjpeg : kAviHandlerDib;
  std::vector<uint8_t> out;
  out.reserve(kHeaderBytes);
  ByteWriter w(out);
  w.Tag("RIFF");
  w.U32(static_cast<uint32_t>(riff_bytes));
  w.Tag("AVI ");
  w.Tag("LIST");
  w.U32(kHdrlBytes);
  w.Tag("hdrl");

  w.Tag("avih");
  w.U32(kMainHeaderBytes);
  w.U32(static_cast<uint32_t>(1000000 / frame_rate_));         // microseconds per frame
  w.U32(largest_chunk_ * static_cast<uint32_t>(frame_rate_));  // most bytes per second
  w.U32(0);                                                    // padding granularity
  w.U32(kAviHasIndexFlag);
  w.U32(frames_);
  w.U32(0);  // initial frames
  w.U32(1);  // streams
  w.U32(largest_chunk_);
  w.U32(static_cast<uint32_t>(width_));
  w.U32(static_cast<uint32_t>(height_));
  for (int i = 0; i < 4; ++i) w.U32(0);

  w.Tag("LIST");
  w.U32(kStrlBytes);
  w.Tag("strl");
  w.Tag("strh");
  w.U32(kStreamHeaderBytes);
  w.U32(kAviStreamVideo);
  w.U32(handler);
  w.U32(0);  // flags
  w.U16(0);  // priority
  w.U16(0);  // language
  w.U32(0);  // initial frames
  w.U32(1);  // scale: rate / scale frames per second
  w.U32(static_cast<uint32_t>(frame_rate_));
  w.U32(0);  // start
  w.U32(frames_);
  w.U32(largest_chunk_);
  w.U32(0);  // quality
  w.U32(0);  // sample size: frames vary
  w.U16(0);  // frame rectangle
  w.U16(0);
  w.U16(static_cast<uint32_t>(width_));
  w.U16(static_cast<uint32_t>(height_));
  w.Tag("strf");
  w.U32(kBitmapInfoBytes);
  AppendBitmapInfo(w, width_, height_, mjpeg_ ? kAviHandlerMjpeg : 0);

  w.Tag("LIST");
  w.U32(static_cast<uint32_t>(4 + movi_bytes_));
  w.Tag("movi");
  return out;
}

std::vector<uint8_t> CAVIFile::EncodeFrame(const VideoFrame& frame) const {
  if (mjpeg_) return EncodeJpeg(frame, JpegQuality(choice_.options.quality));
  std::vector<uint8_t> dib = BitmapToPackedDib(frame);
  dib.erase(dib.begin(), dib.begin() + kBitmapInfoBytes);
  return dib;
}

bool CAVIFile::AddFrame(const VideoFrame& frame) {
  if (!ok_) return false;
  if (frame.width != width_ || frame.height != height_ || frame.pixels == nullptr) return false;
  std::vector<uint8_t> payload = EncodeFrame(frame);
  if (payload.empty()) {
    ok_ = false;
    return false;
  }
  const uint64_t chunk_bytes = 8 + payload.size() + (payload.size() & 1);
  const uint64_t file_bytes_after =
      kHeaderBytes + movi_bytes_ + chunk_bytes + 8 + index_.size() + kIndexEntryBytes;
  if (frames_ > 0 && file_bytes_after > max_file_bytes_) {
    const bool closed = Close();
    ++file_number_;
    if (!closed || !Open()) {
      ok_ = false;
      return false;
    }
  }
  if (!WriteChunk(payload)) {
    writer_.Discard();
    open_ = false;
    ok_ = false;
    return false;
  }
  return true;
}

bool CAVIFile::WriteChunk(const std::vector<uint8_t>& payload) {
  const auto size = static_cast<uint32_t>(payload.size());
  std::vector<uint8_t> head;
  ByteWriter h(head);
  if (mjpeg_) {
    h.Tag("00dc");
  } else {
    h.Tag("00db");
  }
  h.U32(size);
  static constexpr uint8_t kPad = 0;
  vd::os::File& file = writer_.file();
  if (!file.Write(head.data(), head.size()) || !file.Write(payload.data(), payload.size()) ||
      ((size & 1) != 0 && !file.Write(&kPad, 1))) {
    return false;
  }
  ByteWriter entry(index_);
  entry.U32(MakeFourCC(mjpeg_ ? "00dc" : "00db"));
  entry.U32(kKeyFrameFlag);
  entry.U32(static_cast<uint32_t>(4 + movi_bytes_));  // from the "movi" tag
  entry.U32(size);
  movi_bytes_ += 8 + size + (size & 1);
  largest_chunk_ = std::max(largest_chunk_, size);
  ++frames_;
  return true;
}

bool CAVIFile::Close() {
  open_ = false;
  std::vector<uint8_t> tail;
  ByteWriter t(tail);
  t.Tag("idx1");
  t.U32(static_cast<uint32_t>(index_.size()));
  tail.insert(tail.end(), index_.begin(), index_.end());
  vd::os::File& file = writer_.file();
  const std::vector<uint8_t> headers = Headers();
  if (!file.Write(tail.data(), tail.size()) || !file.PWrite(headers.data(), headers.size(), 0)) {
    writer_.Discard();
    return false;
  }
  return writer_.Commit();
}

bool CAVIFile::SaveOptions(const std::string& path, const AviCompressChoice& choice) {
  AviCompressOptions record = choice.options;
  record.params_size = static_cast<uint32_t>(choice.params.size());
  record.format_size = static_cast<uint32_t>(choice.format.size());
  record.params_pointer = 0;
  record.format_pointer = 0;
  std::string bytes(reinterpret_cast<const char*>(&record), sizeof(record));
  bytes.append(choice.params.begin(), choice.params.end());
  bytes.append(choice.format.begin(), choice.format.end());
  return vd::os::SaveFileAtomically(path, bytes);
}

bool CAVIFile::LoadOptions(const std::string& path, AviCompressChoice& choice) {
  std::string bytes;
  if (!vd::os::ReadWholeFile(path, bytes) || bytes.size() < kOptionsRecordBytes) return false;
  AviCompressOptions record;
  std::memcpy(&record, bytes.data(), sizeof(record));
  if (record.params_size > kMaxOptionBlockBytes || record.format_size > kMaxOptionBlockBytes ||
      kOptionsRecordBytes + record.params_size + record.format_size > bytes.size()) {
    return false;
  }
  const auto* params = reinterpret_cast<const uint8_t*>(bytes.data()) + kOptionsRecordBytes;
  const uint8_t* format = params + record.params_size;
  choice.params.assign(params, params + record.params_size);
  choice.format.assign(format, format + record.format_size);
  record.params_pointer = 0;
  record.format_pointer = 0;
  choice.options = record;
  return true;
}
