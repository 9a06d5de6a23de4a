#pragma once
// Angles as users type and read them: "50°30.500'N", "1°20'30.0\"W", "-12 30", "51.50000°N".
// The position formats of the units record and the position entry of the application both
// build on these, so typed text reads the same everywhere. Texts are UTF-8; numbers are read
// and written in the C locale.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// How an angle is written: 0 decimal degrees "%8.5f°", 1 degrees and decimal minutes
// "%d°%06.3f'", 2 degrees, minutes and seconds "%d°%d'%04.1f\"", each followed by the
// hemisphere letter; 3 signed decimal degrees "%8.5f" with no letter.
enum AngleTextType { kAngleDegrees = 0, kAngleDegMin = 1, kAngleDegMinSec = 2, kAngleSigned = 3 };

// `letters` is "NS" or "EW": the first for values >= 0, the second for negative values, which
// are written by their magnitude. Minutes or seconds that would print as 60 carry into the
// next minute or degree. A value that is not finite (or absurdly large) is written "%8.5f".
std::string FormatAngleText(double degrees, const char* letters, AngleTextType type);

struct DegreesText {
  std::optional<double> value;  // nothing when no number could be read
  char hemisphere = 0;          // see ScanDegreesText
};

// Reads typed degrees: a number, then optionally one separator character (any character,
// blanks included, e.g. '°' or ' ') and minutes, then optionally one more separator and
// seconds. A minute mark followed by '.' ("30'.5", "30’.5") loses its marks first, so the
// decimal part stays with the minutes. With comma_ends_value a ',' in a separator's place ends
// the value there ("12,30" is 12). A leading minus applies to the whole value ("-12 30" is
// -12.5). The hemisphere is the first letter A-Z of the text, upper-cased, other than 'D' and
// 'E' (0 when there is none).
DegreesText ScanDegreesText(std::string_view text, bool comma_ends_value);

enum class AngleAxis { kLatitude, kLongitude };

// A latitude (limit 90, 'S' makes it southern) or a longitude (limit 360, 'W' makes it
// western). Fails, leaving value unchanged, when no number is read, the value is out of range
// or the text carries the other axis's hemisphere letter ('W' in a latitude, 'N' or 'S' in a
// longitude).
bool ParseAngleText(std::string_view text, AngleAxis axis, bool comma_ends_value, double& value);

// Typed latitude/longitude divide at a ',' or at a blank that follows one of
// "nNsS0123456789.": the latitude before it, the longitude after it. Each such place is tried
// in turn, the commas first, and the first for which parse_halves(latitude text, longitude
// text) succeeds wins; false when none does. Trying the later places lets "50 30.5N 1 20W"
// divide after the 'N', and "-12 30, 5 15" at its comma.
bool SplitLatLonText(std::string_view text,
                     const std::function<bool(std::string_view, std::string_view)>& parse_halves);
