#include "gps/nmea_sentence.h"

#include <cstring>

#include "app/nmea_fields.h"
#include "gps/nmea_gps_sentences.h"
#include "gps/nmea_pvdq.h"
#include "platform/os/numbers.h"

CNMEASentenceType::CNMEASentenceType(int32_t name_offset, const char* name, bool proprietary)
    : next_(first_), name_offset_(name_offset), name_(name), proprietary_(proprietary) {
  first_ = this;
}

CNMEASentenceType::~CNMEASentenceType() {
  while (CNMEASentence* sentence = pool_) {
    pool_ = sentence->next_in_pool_;
    delete sentence;
  }
  for (CNMEASentenceType** link = &first_; *link; link = &(*link)->next_) {
    if (*link == this) {
      *link = next_;
      break;
    }
  }
}

bool CNMEASentenceType::Matches(const char* line) const {
  if (proprietary_) {
    proprietary_seen_ = true;
    if (!proprietary_allowed_) return false;
  }
  // The line must reach the name offset before the comparison starts.
  for (int32_t i = 0; i < name_offset_; ++i) {
    if (line[i] == '\0') return false;
  }
  const char* text = line + name_offset_;
  for (const char* n = name_; *n; ++n, ++text) {
    if (*text != *n) return false;
  }
  return true;
}

CNMEASentenceType* CNMEASentenceType::FindType(const char* line) {
  for (CNMEASentenceType* type = first_; type; type = type->next_) {
    if (type->Matches(line)) return type;
  }
  return nullptr;
}

CNMEASentence* CNMEASentenceType::Obtain() {
  if (CNMEASentence* sentence = pool_) {
    pool_ = sentence->next_in_pool_;
    sentence->next_in_pool_ = nullptr;
    return sentence;
  }
  return Create();
}

void CNMEASentenceType::Release(CNMEASentence* sentence) {
  if (--sentence->use_count > 0) return;
  sentence->use_count = 0;
  sentence->source = nullptr;
  CNMEASentenceType* type = sentence->type_;
  sentence->next_in_pool_ = type->pool_;
  type->pool_ = sentence;
}

void NMEASplitFields(int count, char* text, char** fields) {
  static char empty[1] = {'\0'};
  char* p = text;
  bool data_ended = false;
  for (int i = 0; i < count; ++i) {
    if (data_ended || *p == '\0') {
      // Every field after the data's end is the same empty text.
      fields[i] = empty;
      continue;
    }
    fields[i] = p;
    while (*p != '\0' && *p != ',' && *p != '*') ++p;
    if (*p == '*') data_ended = true;
    if (*p != '\0') *p++ = '\0';
  }
}

void NMEAAppendChecksum(std::string& sentence) {
  unsigned sum = 0;
  for (size_t i = 1; i < sentence.size(); ++i) sum ^= static_cast<unsigned char>(sentence[i]);
  static constexpr char kHex[] = "0123456789ABCDEF";
  sentence += '*';
  sentence += kHex[(sum >> 4) & 0xF];
  sentence += kHex[sum & 0xF];
}

namespace {

int TwoDigits(const char* text) {
  if (text[0] < '0' || text[0] > '9' || text[1] < '0' || text[1] > '9') return -1;
  return (text[0] - '0') * 10 + (text[1] - '0');
}

// "d...dmm.mmm" with the "." at `point`: the digits before the minutes are the degrees.
double DegreesAndMinutes(const char* field, size_t point) {
  if (std::strlen(field) <= point || field[point] != '.') return 0.0;
  double degrees = 0.0;
  for (size_t i = 0; i + 2 < point; ++i) {
    if (field[i] < '0' || field[i] > '9') return 0.0;
    degrees = degrees * 10 + (field[i] - '0');
  }
  if (TwoDigits(field + point - 2) < 0) return 0.0;
  double minutes = 0.0;
  if (!vd::os::ParseDouble(field + point - 2, minutes)) return 0.0;
  return degrees + minutes / 60.0;
}

}  // namespace

double NMEAFieldLatitude(const char* field, const char* hemisphere) {
  const double value = DegreesAndMinutes(field, 4);
  return hemisphere[0] == 'S' ? -value : value;
}

double NMEAFieldLongitude(const char* field, const char* hemisphere) {
  const double value = DegreesAndMinutes(field, 5);
  return hemisphere[0] == 'W' ? -value : value;
}

int NMEAFieldTime(const char* field) {
  if (std::strlen(field) < 6) return 0;
  const int hours = TwoDigits(field);
  const int minutes = TwoDigits(field + 2);
  const int seconds = TwoDigits(field + 4);
  if (hours < 0 || minutes < 0 || seconds < 0) return 0;
  return hours * 3600 + minutes * 60 + seconds;
}

int64_t NMEAFieldDate(const char* field) {
  if (field[0] == '\0') return 0;
  // The last date seen, per thread: a feed repeats the same date all day.
  thread_local int last_text_value = -1;
  thread_local int64_t last_result = 0;
  const int value = NMEAFieldInt(field);
  if (value == last_text_value) return last_result;
  const int64_t day = UtcDayStart(value % 100, value / 100 % 100, value / 10000);
  last_text_value = value;
  last_result = day < 0 ? 0 : day;
  return last_result;
}

double NMEAFieldDouble(const char* field) {
  double value = 0.0;
  return vd::os::ParseDouble(field, value) ? value : 0.0;
}

int NMEAFieldInt(const char* field) {
  int64_t value = 0;
  if (!vd::os::ParseInt64(field, value) || value < INT32_MIN || value > INT32_MAX) return 0;
  return static_cast<int>(value);
}

// The standard sentences and the acknowledge sentence register themselves from their own files,
// which a program need not otherwise reference: naming them here links them into every program
// that looks types up.
[[gnu::used]] static CNMEASentenceType* const kBuiltInTypes[] = {
    &CNMEA_GPS::RMC::Type, &CNMEA_GPS::GGA::Type, &CNMEA_GPS::VTG::Type,
    &CNMEA_GPS::GSA::Type, &CNMEA_GPS::GSV::Type, &NMEA_PVDQ::AcknowledgeNotifications::Type};
