#pragma once
// Numbers as files, URLs and settings hold them: always in the C locale (decimal point '.'),
// whatever locale the process runs in.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vd::os {

// printf formatting in the C locale; the result may have any length.
std::string FormatC(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string VFormatC(const char* fmt, va_list args);

// sscanf in the C locale; returns what sscanf returns.
int ScanC(const char* text, const char* fmt, ...) __attribute__((format(scanf, 2, 3)));

// Reads a number from the start of text as strtod does in the C locale: leading blanks, an
// optional sign, digits with an optional fraction and exponent, "inf" and "nan". Reading stops
// at the first character that does not belong; *used receives the characters consumed
// (blanks included), 0 on failure. Fails when no number starts the text or its magnitude is
// too large for a double; too small a magnitude reads as 0 or a denormal.
bool ParseDouble(std::string_view text, double& out, size_t* used = nullptr);

// Reads an integer as strtoll does: leading blanks, an optional sign, then digits of base
// (2..36); base 0 takes C prefixes ("0x" hexadecimal, a leading "0" octal, else decimal).
// *used as for ParseDouble. Fails when no digit follows or the value overflows int64_t.
bool ParseInt64(std::string_view text, int64_t& out, int base = 10, size_t* used = nullptr);

// The value of a hexadecimal digit (either case), or -1 for any other character.
int HexDigit(char c);

// The shortest text that reads back as exactly v ("inf", "-inf", "nan" for those).
std::string FormatDouble(double v);

}  // namespace vd::os
