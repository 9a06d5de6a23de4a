#include "gps/nmea_line_assembler.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool IsSpecial(char c) { return c == '\n' || c == '\r' || c == '$'; }

// Hands out the line ends and "$" of a buffer in order. It classifies sixteen bytes at a time
// and keeps the bits of the block it is in, so a line costs one pass over its bytes however many
// line ends and "$" lie close together.
class SpecialFinder {
 public:
  SpecialFinder(const char* data, size_t size) : data_(data), size_(size), bits_(Bits(0)) {}

  // The position of the next line end or "$", or the buffer's size when there is none.
  size_t Next() {
    while (bits_ == 0) {
      block_ += 16;
      if (block_ >= size_) return size_;
      bits_ = Bits(block_);
    }
    const size_t at = block_ + static_cast<size_t>(std::countr_zero(bits_));
    bits_ &= bits_ - 1;
    return at;
  }

 private:
  // Bit i set when data_[at + i] is a line end or "$", for the bytes before size_.
  unsigned Bits(size_t at) const {
#if defined(__SSE2__)
    if (at + 16 <= size_) return Bits16(data_ + at);
    // The last block of the buffer is read as its last sixteen bytes, the ones before `at`
    // shifted out: no read leaves the buffer.
    if (size_ >= 16) return Bits16(data_ + size_ - 16) >> (at - (size_ - 16));
#endif
    unsigned bits = 0;
    for (size_t i = 0; i < 16 && at + i < size_; ++i)
      if (IsSpecial(data_[at + i])) bits |= 1u << i;
    return bits;
  }

#if defined(__SSE2__)
  static unsigned Bits16(const char* p) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i found = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')),
                                                    _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r'))),
                                       _mm_cmpeq_epi8(bytes, _mm_set1_epi8('$')));
    return static_cast<unsigned>(_mm_movemask_epi8(found));
  }
#endif

  const char* data_;
  size_t size_;
  size_t block_ = 0;
  unsigned bits_;
};

}  // namespace

void NmeaLineAssembler::Carry(const char* bytes, size_t count) {
  if (overflow_) return;
  if (count > kMaxLineLength - length_) {
    overflow_ = true;
    return;
  }
  std::memcpy(buffer_ + length_, bytes, count);
  length_ += count;
}

size_t NmeaLineAssembler::Feed(const char* data, size_t size, bool& line_complete) {
  line_complete = false;
  SpecialFinder specials(data, size);
  size_t begin = 0;  // where the line being cut out of data starts
  if (length_ > 0 || overflow_) {
    // First the end of the line that earlier bytes began.
    const size_t run = specials.Next();
    Carry(data, run);
    if (run == size) return size;
    const bool whole = data[run] != '$' && !overflow_;
    const size_t length = length_;
    length_ = 0;
    overflow_ = false;
    if (whole) {
      line_ = {buffer_, length};
      line_complete = true;
      return run + 1;
    }
    begin = data[run] == '$' ? run : run + 1;
  }
  // Lines that lie wholly in data are handed out where they are.
  for (size_t run; (run = specials.Next()) < size;) {
    if (data[run] == '$') {
      begin = run;
      continue;
    }
    const size_t length = run - begin;
    if (length > 0 && length <= kMaxLineLength) {
      line_ = {data + begin, length};
      line_complete = true;
      return run + 1;
    }
    begin = run + 1;
  }
  Carry(data + begin, size - begin);
  return size;
}
