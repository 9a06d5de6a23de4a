#include "gps/packet_name.h"

#include <cstring>

namespace {

bool IsAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

int CopyPacketName(char* buffer, int length, std::string_view text, std::string_view extra,
                   bool pad, bool upper) {
  int n = 0;
  for (char c : text) {
    if (n >= length) break;
    if (!IsAsciiAlnum(c) && extra.find(c) == std::string_view::npos) continue;
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    buffer[n++] = c;
  }
  if (pad) {
    while (n < length) buffer[n++] = ' ';
  }
  buffer[n < 0 ? 0 : n] = '\0';
  return n;
}

int TrimPacketName(char* buffer, int length) {
  int n = length < 0 ? 0 : static_cast<int>(strnlen(buffer, static_cast<size_t>(length)));
  while (n > 0 && buffer[n - 1] == ' ') --n;
  buffer[n] = '\0';
  return n;
}
