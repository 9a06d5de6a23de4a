#pragma once
// Text helpers shared by the whole program: formatting, trimming, case, wildcard and natural
// comparison, splitting, line-end conversion, byte-size texts and numbered names.
//
// Text is UTF-8. Case rules are those of the C locale: only the ASCII letters have a case, so
// bytes of other characters pass untouched.
#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// In place, ASCII letters only.
void StringToLower(std::string& text);
void StringToUpper(std::string& text);

// printf formatting in the C locale, any length: StringFormat replaces the content of `out`,
// StringAppendFormat appends to it.
void StringFormat(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void StringAppendFormat(std::string& out, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// True when the texts are equal apart from the case of ASCII letters.
bool EqualsNoCase(std::string_view a, std::string_view b);

// Removes space, tab, line feed and carriage return at both ends.
void StringTrim(std::string& text);

// Only ASCII letters, digits and "_-.+" are kept, at most 25 of them.
std::string SanitizeToken(std::string_view text);

// '?' matches any one character (a whole UTF-8 sequence), '*' any run of characters, also an
// empty one; everything else matches itself. The whole text must match.
bool WildcardMatch(std::string_view text, std::string_view pattern);
// The same, ASCII letters compared without regard to case.
bool WildcardMatchNoCase(std::string_view text, std::string_view pattern);

// Orders names as people expect: letters without regard to case, and a run of digits by its
// value, so "item9" < "item19" < "item100". Runs of equal value ("07" and "7") count as equal and
// the comparison goes on after them. Other bytes compare by value after ASCII upper-casing; a
// text that is a prefix of the other sorts first. Returns -1, 0 or 1.
int CompareNatural(std::string_view a, std::string_view b);

// The pieces between the delimiter characters; empty pieces between adjacent delimiters are
// kept, an empty text gives none.
std::vector<std::string> SplitString(std::string_view text, std::string_view delimiters);

// The text from its first character that is not a tab, line feed, carriage return or space.
std::string_view SkipSpaces(std::string_view text);

std::string RemoveCarriageReturns(std::string_view text);
// Every line feed written as carriage return + line feed; carriage returns of the input dropped.
std::string ToCrLf(std::string_view text);
void ReplaceCharInString(std::string& text, char from, char to);
std::string AppendChar(std::string_view text, char c);
// A new string: a followed by b.
std::string StringConcat(std::string_view a, std::string_view b);
// The `length` bytes at `bytes` as a string, NUL bytes included; empty when there are none.
std::string StringFromBytes(const void* bytes, size_t length);

bool IsAsciiAlnum(char c);
// 0..15 for a hexadecimal digit of either case, 0 for any other character.
int HexDigitValue(char c);

// Sizes for people: "1.5GB", "20.0MB", "3.0KB" from 1024 bytes up, else "512 Bytes"; empty for a
// negative size.
std::string FormatByteSize(int64_t bytes);
// Longer form: "1.25GB", "20.0MB", "3.0kB", "512Bytes"; a unit is used only above its size.
std::string FormatByteSizeLong(int64_t bytes);

// The name with its trailing decimal number raised by one: "Route" gives "Route1", "Route9"
// "Route10", "Route007" "Route8". Numbers of any length are counted exactly.
std::string IncrementTrailingNumber(std::string_view name);
