#pragma once
// Short names as GPS devices store them: fixed-width fields of letters and digits.
#include <string_view>

// Copies the letters and digits of text, and any character of extra, into buffer: at most
// length characters, upper-cased when upper is set, padded with blanks to length when pad is
// set, always NUL-terminated (buffer holds at least length + 1 bytes). Other characters,
// including every byte of a non-ASCII character, are left out. Returns the characters written.
int CopyPacketName(char* buffer, int length, std::string_view text, std::string_view extra,
                   bool pad, bool upper);

// Ends a fixed-width name of length characters (buffer holds at least length + 1 bytes) at its
// first NUL and drops its trailing blanks; NUL-terminates it and returns its new length.
int TrimPacketName(char* buffer, int length);
