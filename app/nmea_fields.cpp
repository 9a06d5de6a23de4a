#include "app/nmea_fields.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/os/numbers.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void SkipComma(NmeaCursor& c, bool skip) {
  if (skip && c.Peek() == ',') ++c.pos;
}

// Up to max_digits digits; count receives how many there were.
int ReadDigits(NmeaCursor& c, int max_digits, int& count) {
  const char* p = c.pos;
  int value = 0;
  count = 0;
  for (; count < max_digits && p < c.end && IsDigit(*p); ++count) value = value * 10 + (*p++ - '0');
  c.pos = p;
  return value;
}

struct Number {
  double value = 0.0;
  bool has_digits = false;
  bool has_point = false;
};

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

constexpr double kInversePowersOfTen[] = {1e0,   1e-1,  1e-2,  1e-3,  1e-4,  1e-5,  1e-6,
                                          1e-7,  1e-8,  1e-9,  1e-10, 1e-11, 1e-12, 1e-13,
                                          1e-14, 1e-15, 1e-16, 1e-17, 1e-18};

#if defined(__SSE2__)
// A block whose first n bytes (0 to 16) are all ones and the rest zero.
__m128i FirstBytes(size_t n) {
  static constexpr unsigned char kOnesThenZeros[32] = {
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(kOnesThenZeros + 16 - n));
}
#endif

double PowerOfTen(int n) { return n < 23 ? kPowersOfTen[n] : std::pow(10.0, n); }

// Any number: signs, and more digits than a double can hold.
[[gnu::noinline]] Number ReadAnyNumber(NmeaCursor& c, bool skip_comma) {
  Number n;
  const char* p = c.pos;
  const char* const end = c.end;
  if (p < end && *p == '+') ++p;
  bool negative = false;
  if (p < end && *p == '-') {
    negative = true;
    ++p;
  }
  // Digits past the 18th add nothing a double can hold; before the point they still scale.
  uint64_t mantissa = 0;
  int kept = 0, fraction_digits = 0, dropped_integer_digits = 0;
  for (; p < end; ++p) {
    const unsigned digit = static_cast<unsigned>(*p - '0');
    if (digit < 10) {
      if (kept < 18) {
        mantissa = mantissa * 10 + digit;
        ++kept;
        fraction_digits += n.has_point;
      } else if (!n.has_point) {
        ++dropped_integer_digits;
      }
    } else if (*p == '.' && !n.has_point) {
      n.has_point = true;
    } else {
      break;
    }
  }
  n.has_digits = kept > 0;
  double v = static_cast<double>(mantissa);
  // Multiplying by the inverse is at most one unit in the last place off, far below what
  // any field carries, and much faster than dividing.
  v *= kInversePowersOfTen[fraction_digits];
  if (dropped_integer_digits) {
    v *= PowerOfTen(dropped_integer_digits);
    // Every field ends up in a float, which can't hold this (converting it would be undefined):
    // such a field reads as no number.
    if (v > std::numeric_limits<float>::max()) {
      v = 0.0;
      n.has_digits = false;
    }
  }
  n.value = negative ? -v : v;
  if (skip_comma && p < end && *p == ',') ++p;
  c.pos = p;
  return n;
}

// The usual field, unsigned with at most 18 digits, in a short loop the callers can inline;
// anything else goes to ReadAnyNumber, which gives the same for these.
inline Number ReadNumber(NmeaCursor& c, bool skip_comma) {
  const char* p = c.pos;
  const char* const end = c.end;
  uint64_t mantissa = 0;
  auto digits = [&] {
    const char* const first = p;
    for (unsigned digit; p < end && (digit = static_cast<unsigned>(*p - '0')) < 10; ++p)
      mantissa = mantissa * 10 + digit;
    return static_cast<int>(p - first);
  };
  int count = digits();
  int fraction_digits = 0;
  const bool has_point = p < end && *p == '.';
  if (has_point) {
    ++p;
    fraction_digits = digits();
    count += fraction_digits;
  }
  if (count > 18 || (count == 0 && p < end && (*p == '+' || *p == '-')))
    return ReadAnyNumber(c, skip_comma);
  if (skip_comma && p < end && *p == ',') ++p;
  c.pos = p;
  return {static_cast<double>(mantissa) * kInversePowersOfTen[fraction_digits], count > 0,
          has_point};
}

// Degrees ("dd" or "ddd"), minutes and the hemisphere letter of one axis.
bool ReadAxis(NmeaCursor& c, int degree_digits, char positive, char negative, double limit,
              double& out) {
  int count = 0;
  int degrees = ReadDigits(c, degree_digits, count);
  Number minutes = ReadNumber(c, true);
  char hemisphere = NMEAGetChar(c, true);
  out = degrees + minutes.value / 60.0;
  if (hemisphere == negative) out = -out;
  return (count > 0 || minutes.has_digits) && (hemisphere == positive || hemisphere == negative) &&
         minutes.value >= 0.0 && minutes.value < 60.0 && std::fabs(out) <= limit;
}

}  // namespace

float NMEAGetFloat(NmeaCursor& cursor, bool skip_comma) {
  return static_cast<float>(ReadNumber(cursor, skip_comma).value);
}

bool NMEAGetNumber(NmeaCursor& cursor, double& out, bool skip_comma) {
  Number n = ReadNumber(cursor, skip_comma);
  out = n.value;
  return n.has_digits;
}

void NMEAGetString(NmeaCursor& cursor, std::string& out) {
  const char* start = cursor.pos;
  while (!cursor.AtEnd() && *cursor.pos != ',' && *cursor.pos != '*') ++cursor.pos;
  out.assign(start, cursor.pos);
  SkipComma(cursor, true);
}

void NMEASkipFields(NmeaCursor& cursor, int count) {
#if defined(__SSE2__)
  // The commas of sixteen bytes at once: a loop over the characters would have its end
  // mispredicted at one field or another of a run of fields of differing lengths.
  for (const char* p = cursor.pos; count > 0 && cursor.end - p >= 16; p += 16) {
    unsigned commas = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), _mm_set1_epi8(','))));
    for (; commas && count > 1; --count) commas &= commas - 1;
    if (commas) {
      cursor.pos = p + std::countr_zero(commas) + 1;
      return;
    }
    cursor.pos = p + 16;
  }
#endif
  for (; count > 0; --count) NMEASkipField(cursor);
}

bool NMEAGetLatLon(NmeaCursor& cursor, GeoPoint& out) {
  double lat = 0.0, lon = 0.0;
  bool ok = ReadAxis(cursor, 2, 'N', 'S', 90.0, lat);
  ok = ReadAxis(cursor, 3, 'E', 'W', 180.0, lon) && ok;
  out = ok ? GeoPoint{lat, lon} : GeoPoint{};
  return ok;
}

int NMEAGetTime(NmeaCursor& cursor, bool* has_fraction) {
  int hour_digits = 0, minute_digits = 0;
  int hours = ReadDigits(cursor, 2, hour_digits);
  int minutes = ReadDigits(cursor, 2, minute_digits);
  Number seconds = ReadNumber(cursor, true);
  if (has_fraction) *has_fraction = seconds.has_point;
  if (hour_digits < 2 || minute_digits < 2 || !seconds.has_digits || hours > 23 || minutes > 59 ||
      seconds.value < 0.0 || seconds.value >= 61.0)
    return -1;
  return hours * 3600 + minutes * 60 + static_cast<int>(seconds.value);
}

int64_t NMEAGetDate(NmeaCursor& cursor) {
  int day_digits = 0, month_digits = 0, year_digits = 0;
  int day = ReadDigits(cursor, 2, day_digits);
  int month = ReadDigits(cursor, 2, month_digits);
  int year = ReadDigits(cursor, 2, year_digits);
  SkipComma(cursor, true);
  if (day_digits < 2 || month_digits < 2 || year_digits < 2) return -1;
  return UtcDayStart(year, month, day);
}

int64_t UtcDayStart(int year, int month, int day) {
  if (year < 100)
    year += 2000;
  else if (year < 200)
    year += 1900;
  static constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1970 || month < 1 || month > 12 || day < 1) return -1;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (day > kDaysInMonth[month - 1] + (month == 2 && leap ? 1 : 0)) return -1;
  // Days since 1970-01-01 of the proleptic Gregorian calendar, as timegm counts them, with
  // the year taken to start in March so that the leap day comes last.
  const int y = month <= 2 ? year - 1 : year;
  const int era = y / 400;
  const int year_of_era = y - era * 400;
  const int day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  const int64_t days = int64_t{era} * 146097 + day_of_era - 719468;
  return days * 86400;
}

// The verdict once the "*" and the exclusive-or of the characters before it are known.
inline NmeaChecksum ChecksumAt(std::string_view line, size_t star, unsigned sum) {
  if (star == std::string_view::npos || star + 2 >= line.size()) return {star, false};
  const int high = HexDigit(line[star + 1]), low = HexDigit(line[star + 2]);
  return {star, high >= 0 && low >= 0 && sum == static_cast<unsigned>(high * 16 + low)};
}

NmeaChecksum NMEACheckChecksum(std::string_view line) {
  if (line.size() < 2) return {std::string_view::npos, false};
#if defined(__SSE2__)
  // Nearly every line ends in "*hh". Its "*" is then the first one unless another comes before
  // it, which one test at the end tells, so sixteen bytes at a time are folded and checked for a
  // "*" with no branch on what they hold, and no step waits for where the "*" is.
  if (line.size() >= 20 && line[line.size() - 3] == '*') {
    const size_t star = line.size() - 3;
    const char* const data = line.data();
    const __m128i asterisk = _mm_set1_epi8('*');
    __m128i folded = _mm_setzero_si128(), stars = _mm_setzero_si128();
    auto take = [&](__m128i bytes) {
      folded = _mm_xor_si128(folded, bytes);
      stars = _mm_or_si128(stars, _mm_cmpeq_epi8(bytes, asterisk));
    };
    size_t at = 1;
    for (; at + 16 <= star; at += 16)
      take(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at)));
    // The rest as the last sixteen bytes before the "*", less those already taken: no read
    // leaves the line.
    if (at < star) {
      const size_t start = star - 16;
      take(_mm_andnot_si128(FirstBytes(at - start),
                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + start))));
    }
    if (_mm_movemask_epi8(stars) == 0) {
      folded = _mm_xor_si128(folded, _mm_srli_si128(folded, 8));
      folded = _mm_xor_si128(folded, _mm_srli_si128(folded, 4));
      folded = _mm_xor_si128(folded, _mm_srli_si128(folded, 2));
      folded = _mm_xor_si128(folded, _mm_srli_si128(folded, 1));
      return ChecksumAt(line, star, static_cast<unsigned>(_mm_cvtsi128_si32(folded)) & 0xFF);
    }
  }
#endif
  // Any line: the first "*", then the characters before it eight at a time.
  const size_t star = line.find('*', 1);
  const size_t end = star == std::string_view::npos ? line.size() : star;
  uint64_t words = 0;
  size_t i = 1;
  for (; i + 8 <= end; i += 8) {
    uint64_t word;
    std::memcpy(&word, line.data() + i, 8);
    words ^= word;
  }
  words ^= words >> 32;
  words ^= words >> 16;
  words ^= words >> 8;
  unsigned sum = static_cast<unsigned>(words & 0xFF);
  for (; i < end; ++i) sum ^= static_cast<unsigned char>(line[i]);
  return ChecksumAt(line, star, sum);
}

bool NMEAChecksumOK(std::string_view line) { return NMEACheckChecksum(line).ok; }

int NMEAAppendChecksumCRLF(std::string& sentence) {
  unsigned sum = 0;
  for (size_t i = 1; i < sentence.size(); ++i) sum ^= static_cast<unsigned char>(sentence[i]);
  static constexpr char kHex[] = "0123456789ABCDEF";
  sentence += '*';
  sentence += kHex[sum >> 4];
  sentence += kHex[sum & 15];
  sentence += "\r\n";
  return static_cast<int>(sum);
}

void FormatNMEALatLon(std::string& out, const GeoPoint& position) {
  auto axis = [&out](double value, int degree_digits, char positive, char negative) {
    // Thousandths of a minute, rounded before splitting into degrees and minutes.
    const int64_t thousandths = std::llround(std::fabs(value) * 60000.0);
    out += vd::os::FormatC("%0*lld%02lld.%03lld,%c,", degree_digits,
                           static_cast<long long>(thousandths / 60000),
                           static_cast<long long>(thousandths % 60000 / 1000),
                           static_cast<long long>(thousandths % 1000),
                           value < 0.0 && thousandths != 0 ? negative : positive);
  };
  double lon = position.lon;
  if (lon > 180.0)
    lon -= 360.0;
  else if (lon < -180.0)
    lon += 360.0;
  axis(position.lat, 2, 'N', 'S');
  axis(lon, 3, 'E', 'W');
}
