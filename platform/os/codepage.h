#pragma once
// Conversion between UTF-8, the text of this program, and Windows-1252, the code page of stored
// formats that keep single-byte text on disk.
#include <string>
#include <string_view>

namespace vd::os {

// Every byte has a character: the five bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) become the C1 controls of the same value, so Utf8ToCp1252 gives the bytes back.
std::string Cp1252ToUtf8(std::string_view bytes);
// The same into out, reusing its room (a reader filling the fields of many objects).
void Cp1252ToUtf8(std::string_view bytes, std::string& out);

// Characters with no Windows-1252 byte become '?', and so does each byte that is not part of a
// well-formed UTF-8 sequence.
std::string Utf8ToCp1252(std::string_view utf8);

}  // namespace vd::os
