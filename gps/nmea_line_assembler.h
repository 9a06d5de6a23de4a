#pragma once
// Cuts a stream of bytes from an NMEA device into lines. CR or LF ends a line; a "$" starts a
// new one, dropping whatever came before it on the line (a sentence broken off by noise or by
// a restart of the device). A line longer than kMaxLineLength characters is dropped whole,
// up to its line end or the next "$". Empty lines are not reported.
#include <cstddef>
#include <string_view>

class NmeaLineAssembler {
 public:
  static constexpr size_t kMaxLineLength = 256;

  // Takes bytes from data until a line is complete or the bytes run out; returns how many it
  // took. When a line is complete it sets line_complete, and line() holds the line (without
  // its line end) until the next call; it may point into data, which must stay as it is until
  // then.
  size_t Feed(const char* data, size_t size, bool& line_complete);
  std::string_view line() const { return line_; }

  // Forgets a partial line.
  void Reset() { length_ = 0, overflow_ = false, line_ = {}; }

 private:
  // Adds bytes to the line carried over to the next call, or marks it overlong.
  void Carry(const char* bytes, size_t count);

  char buffer_[kMaxLineLength];
  size_t length_ = 0;      // bytes of a line begun by earlier calls
  bool overflow_ = false;  // that line is too long and is being skipped
  std::string_view line_;
};
