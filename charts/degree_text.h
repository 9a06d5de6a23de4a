#pragma once
// Typed degrees as the position entry of the application reads them: "50 30 00 N",
// "12°30'N", "-12 30", "50°30.5'". Texts are UTF-8.
#include <string>

// Degrees, then optionally a separator character and minutes, then optionally another and
// seconds; a ',' in a separator's place ends the value ("12,30" is 12). A leading minus applies
// to the whole value ("-12 30" is -12.5); a minute mark before a '.' ("30'.5") is dropped. value
// is 0 when no number can be read. Returns the hemisphere letter: the first letter A-Z of the
// text, upper-cased, other than 'D' and 'E'; 0 when there is none.
char ParseDegreesText(const std::string& text, double& value);

// Latitude within -90..90, 'S' southern; longitude within -360..360, 'W' western. False (the
// output unchanged) for a text with no number, a value out of range, or the other axis's
// hemisphere letter.
bool ParseLatitudeText(const std::string& text, double& lat);
bool ParseLongitudeText(const std::string& text, double& lon);
