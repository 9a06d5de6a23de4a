#include "viewer_lib/nmea_line_dispatcher.h"

#include <cstring>
#include <string_view>

#include "core/listener.h"
#include "app/nmea_fields.h"
#include "gps/nmea_sentence.h"
#include "viewer_lib/nmea_debug_capture.h"

bool NMEAChecksumValid(const char* line) { return NMEAChecksumOK(std::string_view(line)); }

void NMEACopyString(char* destination, const char* source, size_t size) {
  if (size == 0) return;
  const size_t length = strnlen(source, size - 1);
  std::memcpy(destination, source, length);
  destination[length] = '\0';
}

namespace {

// The raw record of a line: its text with CR LF, or no text when the line is too long for it.
void FillRaw(CNMEA_Raw& raw, const char* line, CNMEALineSource* source) {
  raw.source = source;
  size_t length = std::strcspn(line, "\r\n");
  if (length > CNMEA_Raw::kMaxText) {
    raw.text[0] = '\0';
    return;
  }
  std::memcpy(raw.text, line, length);
  std::memcpy(raw.text + length, "\r\n", 3);
}

}  // namespace

bool NMEAProcessLine(const char* line, CNMEALineSource* source) {
  const char* start = line;
  while (*start != '\0' && *start != '$' && *start != '!') ++start;
  if (*start == '\0') return false;
  if (source) NMEADebugCapture::Record(start);
  if (!NMEAChecksumValid(start)) return false;
  if (source && !source->AcceptInput(start)) return false;

  const EventList* raw_list = Listener<CNMEA_Raw>::List();
  const bool raw_wanted = source && raw_list && !raw_list->empty();

  bool delivered = false;
  CNMEASentenceType* type = CNMEASentenceType::FindType(start);
  const bool typed = type && type->HasSubscribers();
  if (typed) {
    CNMEASentence* sentence = type->Obtain();
    ++sentence->use_count;
    sentence->source = source;
    if (sentence->Parse(start)) {
      type->Fire(*sentence);
      delivered = true;
    }
    CNMEASentenceType::Release(sentence);
  }
  if (raw_wanted && !typed) {
    CNMEA_Raw raw;
    FillRaw(raw, start, source);
    // A line too long for the record is not offered.
    if (raw.text[0] != '\0') {
      Listener<CNMEA_Raw>::Fire(raw);
      delivered = true;
    }
  }
  return delivered;
}
