#pragma once
// A stream of typed fields that either writes or reads, so that a record's layout is written
// once: each field operation writes in write mode and reads in read mode. Streams: a file
// being read (CTypeFileIn), a file being written (CTypeFileOut), and a POST to a CGI program
// with its reply (CWebBinaryCGI).
//
// Encodings, all little-endian: numbers as their raw bytes; a string as an int32 count of
// characters, then each character as one Windows-1252 byte, widened to 2 bytes (the byte
// sign-extended, so 0xE9 goes out as E9 FF and reads back from its low byte) while wide strings
// are on, as they are by default. Text is UTF-8 inside the program and converted at the stream.
//
// Reads never throw. A failed read clears the sticky ok flag; later reads still run and fail,
// and the caller tests ok() (or the result of Tag or ReadString) once at the end.
#include <cstdint>
#include <string>

class CTypeSerializer {
 public:
  enum Mode : int32_t { kModeNone = 0, kModeWrite = 1, kModeRead = 2 };
  // Longer strings are refused when reading.
  static constexpr uint32_t kMaxStringLength = 100'000;

  virtual ~CTypeSerializer() = default;
  CTypeSerializer(const CTypeSerializer&) = delete;
  CTypeSerializer& operator=(const CTypeSerializer&) = delete;

  // The stream's own transfer of raw bytes; the field operations below call these.
  virtual void Write(const void* data, int32_t length) = 0;
  virtual bool Read(void* buffer, int32_t length) = 0;

  // Writes the value; reading, true when 4 bytes were read and they hold the expected value
  // (a different value leaves ok set). For magic numbers and versions.
  bool Tag(int32_t expected);
  bool Bytes(void* buffer, int32_t length);
  bool Int32(int32_t& value);
  bool Int64(int64_t& value);
  bool Float(float& value);
  bool Double(double& value);
  bool String(std::string& text);

  void WriteString(const std::string& text);
  // Clears text first. False (and ok cleared) when a read fails or the length is above
  // kMaxStringLength, taken as unsigned.
  bool ReadString(std::string& text);
  bool ReadInt32(int32_t& value);

  Mode mode() const { return mode_; }
  bool ok() const { return ok_; }
  // Bytes exchanged so far.
  int64_t position() const { return position_; }
  bool wide_strings() const { return wide_strings_; }
  // Off: one byte per character, as some records and protocols want.
  void SetWideStrings(bool wide) { wide_strings_ = wide; }

 protected:
  CTypeSerializer(Mode mode, bool ok) : mode_(mode), ok_(ok) {}

  Mode mode_;
  bool ok_;
  bool wide_strings_ = true;
  int64_t position_ = 0;

 private:
  template <class T>
  bool Number(T& value);
  void WriteBlock(const void* data, int32_t length);
  bool ReadBlock(void* buffer, int32_t length);
};
