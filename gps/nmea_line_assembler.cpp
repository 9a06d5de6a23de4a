#include "gps/nmea_line_assembler.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool IsSpecial(char c) { return c == '\n' || c == '\r' || c == '$'; }

// The first line end or "$" in data[from, size), or size.
size_t FindSpecial(const char* data, size_t from, size_t size) {
  // Line ends come in pairs and lines start with "$": often the very first byte is one.
  if (from < size && IsSpecial(data[from])) return from;
#if defined(__SSE2__)
  // Sixteen bytes at a time.
  const __m128i line_feed = _mm_set1_epi8('\n');
  const __m128i carriage_return = _mm_set1_epi8('\r');
  const __m128i dollar = _mm_set1_epi8('$');
  for (; from + 16 <= size; from += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from));
    const __m128i found = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(bytes, line_feed), _mm_cmpeq_epi8(bytes, carriage_return)),
        _mm_cmpeq_epi8(bytes, dollar));
    if (const int mask = _mm_movemask_epi8(found))
      return from + static_cast<size_t>(std::countr_zero(static_cast<unsigned>(mask)));
  }
#endif
  while (from < size && !IsSpecial(data[from])) ++from;
  return from;
}

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
  size_t pos = 0;
  if (length_ > 0 || overflow_) {
    // First the end of the line that earlier bytes began.
    const size_t run = FindSpecial(data, 0, size);
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
    pos = data[run] == '$' ? run : run + 1;
  }
  // Lines that lie wholly in data are handed out where they are.
  size_t begin = pos;
  while (pos < size) {
    const size_t run = FindSpecial(data, pos, size);
    if (run == size) break;
    pos = run + 1;
    if (data[run] == '$') {
      begin = run;
      continue;
    }
    const size_t length = run - begin;
    if (length > 0 && length <= kMaxLineLength) {
      line_ = {data + begin, length};
      line_complete = true;
      return pos;
    }
    begin = pos;
  }
  Carry(data + begin, size - begin);
  return size;
}
