#pragma once
// Reads single bits from an array of u32 words, least significant bit of each word first.
#include <cstdint>

class BitReader {
 public:
  BitReader() = default;
  // Words [next, end); the first ReadBit loads *next.
  BitReader(const uint32_t* next, const uint32_t* end) : next_(next), end_(end) {}

  // The next bit. Past the last word it returns 0 and sets overrun().
  uint32_t ReadBit() {
    if (bits_left_ > 0) {
      --bits_left_;
      word_ >>= 1;
      return word_ & 1u;
    }
    if (next_ == end_) {
      overrun_ = true;
      return 0;
    }
    word_ = *next_++;
    bits_left_ = 31;
    return word_ & 1u;
  }

  bool overrun() const { return overrun_; }

 private:
  uint32_t word_ = 0;
  const uint32_t* next_ = nullptr;
  const uint32_t* end_ = nullptr;
  int bits_left_ = 0;
  bool overrun_ = false;
};
