#include "geodesy/angle_text.h"

#include <cmath>

#include "platform/os/numbers.h"

namespace {

constexpr char kDegreeSign[] = "°";
// Beyond this an angle is garbage; it is written as a plain number instead of being split
// into degrees and minutes.
constexpr double kLargestSplitAngle = 1e7;
// Minutes or seconds this close below the rounding point of the printed figure carry too, so
// that a value computed a few ulps short of 59.9995' does not print as 59°60.000'.
constexpr double kCarrySlack = 1e-9;

// Removes every occurrence of mark when mark followed by '.' occurs after the first character.
bool DropMarkBeforeDot(std::string& text, std::string_view mark) {
  const std::string pair = std::string(mark) + '.';
  const size_t at = text.find(pair);
  if (at == std::string::npos || at == 0) return false;
  for (size_t pos = text.find(mark); pos != std::string::npos; pos = text.find(mark, pos)) {
    text.erase(pos, mark.size());
  }
  return true;
}

// Length of the UTF-8 sequence starting with byte b (1 for a byte that starts none).
size_t CharLength(unsigned char b) {
  if (b >= 0xF0 && b < 0xF8) return 4;
  if (b >= 0xE0) return b < 0xF0 ? 3 : 1;
  if (b >= 0xC0) return 2;
  return 1;
}

// A finite number at text[pos...] as scanf's "%lf" would read it; pos moves past it.
bool ReadNumber(std::string_view text, size_t& pos, double& value) {
  size_t used = 0;
  double v = 0.0;
  if (pos >= text.size() || !vd::os::ParseDouble(text.substr(pos), v, &used) || !std::isfinite(v)) {
    return false;
  }
  pos += used;
  value = v;
  return true;
}

// One separator character at text[pos...]; false at the end of the text, or at a comma when
// commas end the value.
bool ReadSeparator(std::string_view text, size_t& pos, bool comma_ends_value) {
  if (pos >= text.size()) return false;
  if (comma_ends_value && text[pos] == ',') return false;
  pos += CharLength(static_cast<unsigned char>(text[pos]));
  return true;
}

char HemisphereLetter(std::string_view text) {
  for (const char c : text) {
    const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    if (upper >= 'A' && upper <= 'Z' && upper != 'D' && upper != 'E') return upper;
  }
  return 0;
}

}  // namespace

std::string FormatAngleText(double degrees, const char* letters, AngleTextType type) {
  if (type == kAngleSigned || !std::isfinite(degrees) || std::fabs(degrees) > kLargestSplitAngle) {
    return vd::os::FormatC("%8.5f", degrees);
  }
  const char letter = degrees < 0.0 ? letters[1] : letters[0];
  const double v = std::fabs(degrees);
  std::string text;
  if (type == kAngleDegrees) {
    text = vd::os::FormatC("%8.5f%s", v, kDegreeSign);
  } else if (type == kAngleDegMin) {
    int d = static_cast<int>(std::floor(v));
    double m = (v - d) * 60.0;
    if (m >= 59.9995 - kCarrySlack) {
      ++d;
      m = 0.0;
    }
    text = vd::os::FormatC("%d%s%06.3f'", d, kDegreeSign, m);
  } else {
    int d = static_cast<int>(std::floor(v));
    const double minutes = (v - d) * 60.0;
    int m = static_cast<int>(std::floor(minutes));
    double s = (minutes - m) * 60.0;
    if (s >= 59.95 - kCarrySlack) {
      s = 0.0;
      if (++m == 60) {
        m = 0;
        ++d;
      }
    }
    text = vd::os::FormatC("%d%s%d'%04.1f\"", d, kDegreeSign, m, s);
  }
  text += letter;
  return text;
}

DegreesText ScanDegreesText(std::string_view text, bool comma_ends_value) {
  std::string work(text);
  if (!DropMarkBeforeDot(work, "’")) DropMarkBeforeDot(work, "'");

  DegreesText result;
  result.hemisphere = HemisphereLetter(text);

  size_t pos = 0;
  double degrees = 0.0;
  if (!ReadNumber(work, pos, degrees)) return result;
  double minutes = 0.0;
  double seconds = 0.0;
  if (ReadSeparator(work, pos, comma_ends_value) && ReadNumber(work, pos, minutes) &&
      ReadSeparator(work, pos, comma_ends_value)) {
    ReadNumber(work, pos, seconds);
  }
  const double magnitude = std::fabs(degrees) + minutes / 60.0 + seconds / 3600.0;
  result.value = std::signbit(degrees) ? -magnitude : magnitude;
  return result;
}

bool ParseAngleText(std::string_view text, AngleAxis axis, bool comma_ends_value, double& value) {
  const DegreesText read = ScanDegreesText(text, comma_ends_value);
  if (!read.value) return false;
  const bool latitude = axis == AngleAxis::kLatitude;
  const double limit = latitude ? 90.0 : 360.0;
  if (std::fabs(*read.value) > limit) return false;
  const char towards_negative = latitude ? 'S' : 'W';
  const bool other_axis =
      latitude ? read.hemisphere == 'W' : (read.hemisphere == 'N' || read.hemisphere == 'S');
  if (other_axis) return false;
  // The letter names the side; a typed minus as well does not turn it round again.
  value = read.hemisphere == towards_negative ? -std::fabs(*read.value) : *read.value;
  return true;
}

bool SplitLatLonText(std::string_view text,
                     const std::function<bool(std::string_view, std::string_view)>& parse_halves) {
  constexpr std::string_view kBeforeBlank = "nNsS0123456789.";
  const auto try_at = [&](size_t i) { return parse_halves(text.substr(0, i), text.substr(i + 1)); };
  // A comma is the separator the user meant whenever there is one ("-12 30, 5 15"), so the
  // commas are tried before the blanks.
  for (size_t i = text.find(','); i != text.npos; i = text.find(',', i + 1)) {
    if (try_at(i)) return true;
  }
  for (size_t i = 1; i < text.size(); ++i) {
    if (text[i] == ' ' && kBeforeBlank.find(text[i - 1]) != kBeforeBlank.npos && try_at(i)) {
      return true;
    }
  }
  return false;
}
