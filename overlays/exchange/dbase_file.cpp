#include "overlays/exchange/dbase_file.h"

#include <cstdio>
#include <algorithm>
#include <cstring>

#include "platform/os/codepage.h"

namespace {

constexpr uint8_t kVersion = 3;  // dBASE III without memo
constexpr int64_t kHeaderSize = 32;
constexpr int64_t kDescriptorSize = 32;
constexpr uint8_t kEndOfDescriptors = 0x0D;
constexpr uint8_t kEndOfFile = 0x1A;
constexpr size_t kMaxNameLength = 10;

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

bool CDBaseFile::Open(const std::string& path) {
  fields_.clear();
  record_count_ = 0;
  if (!file_.Open(path, vd::os::File::Mode::Read)) return false;
  const int64_t size = file_.Size();
  uint8_t header[kHeaderSize];
  if (size < kHeaderSize || !file_.ReadExact(header, sizeof header)) return false;

  int64_t computed_record = 1;
  for (int64_t at = kHeaderSize; at + kDescriptorSize <= size; at += kDescriptorSize) {
    uint8_t d[kDescriptorSize];
    if (file_.PRead(d, sizeof d, static_cast<uint64_t>(at)) != kDescriptorSize ||
        d[0] == kEndOfDescriptors) {
      break;
    }
    Field field;
    field.name.assign(reinterpret_cast<const char*>(d), strnlen(reinterpret_cast<const char*>(d),
                                                                kMaxNameLength + 1));
    field.name = vd::os::Cp1252ToUtf8(field.name);
    field.type = static_cast<char>(d[11]);
    field.length = d[16];
    field.offset = static_cast<int>(computed_record - 1);
    computed_record += field.length;
    fields_.push_back(std::move(field));
  }
  if (fields_.empty()) return false;

  // Writers may pad the header or the records; lengths too short for the fields are wrong.
  const int64_t computed_header =
      kHeaderSize + kDescriptorSize * static_cast<int64_t>(fields_.size()) + 1;
  header_length_ = std::max<int64_t>(Le16(header + 8), computed_header);
  record_length_ = static_cast<int>(std::max<int64_t>(Le16(header + 10), computed_record));
  const int64_t room = size > header_length_ ? (size - header_length_) / record_length_ : 0;
  record_count_ = std::min<int64_t>(Le32(header + 4), room);
  return true;
}

int CDBaseFile::FindField(const std::string& text) const {
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i].name.find(text) != std::string::npos) return static_cast<int>(i);
  }
  return -1;
}

const std::string* CDBaseFile::GetFieldName(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= fields_.size()) return nullptr;
  return &fields_[static_cast<size_t>(index)].name;
}

bool CDBaseFile::ReadField(int64_t record, int field, std::string& out) {
  if (record < 0 || record >= record_count_ || field < 0 || field >= field_count()) return false;
  const Field& f = fields_[static_cast<size_t>(field)];
  std::string bytes(static_cast<size_t>(f.length), '\0');
  const int64_t at = header_length_ + record * record_length_ + 1 + f.offset;
  if (file_.PRead(bytes.data(), bytes.size(), static_cast<uint64_t>(at)) !=
      static_cast<int64_t>(bytes.size())) {
    return false;
  }
  bytes.resize(strnlen(bytes.data(), bytes.size()));
  const size_t first = bytes.find_first_not_of(' ');
  if (first == std::string::npos) {
    out.clear();
    return true;
  }
  out = vd::os::Cp1252ToUtf8(bytes.substr(first, bytes.find_last_not_of(' ') + 1 - first));
  return true;
}

bool CDBaseFile::Create(const std::string& path, int field_count) {
  fields_.clear();
  record_length_ = 1;
  record_count_ = 0;
  next_field_ = 0;
  write_failed_ = false;
  planned_fields_ = field_count;
  creating_ = field_count > 0 && writer_.Open(path);
  return creating_;
}

bool CDBaseFile::AddField(const std::string& name, char type, int length) {
  if (!creating_ || static_cast<int>(fields_.size()) >= planned_fields_ || name.empty() ||
      length < 1 || length > kMaxFieldLength) {
    return false;
  }
  Field field;
  field.name = vd::os::Utf8ToCp1252(name).substr(0, kMaxNameLength);
  field.type = type;
  field.length = length;
  field.offset = record_length_ - 1;
  record_length_ += length;
  fields_.push_back(std::move(field));
  if (static_cast<int>(fields_.size()) == planned_fields_) {
    header_length_ = kHeaderSize + kDescriptorSize * planned_fields_ + 1;
    write_failed_ |= !writer_.file().Seek(header_length_, SEEK_SET);
  }
  return true;
}

bool CDBaseFile::AddNumericField(const std::string& name) {
  return AddField(name, 'N', kNumericFieldLength);
}

bool CDBaseFile::AddCharField(const std::string& name, int length) {
  return AddField(name, 'C', length);
}

bool CDBaseFile::WriteFieldText(char type, const std::string& text) {
  if (!creating_ || fields_.empty() || static_cast<int>(fields_.size()) != planned_fields_ ||
      fields_[next_field_].type != type) {
    return false;
  }
  vd::os::File& file = writer_.file();
  if (next_field_ == 0) write_failed_ |= !file.Write(" ", 1);
  write_failed_ |= !file.Write(text.data(), text.size());
  if (++next_field_ == fields_.size()) {
    next_field_ = 0;
    ++record_count_;
  }
  return !write_failed_;
}

bool CDBaseFile::WriteInt(int64_t value) {
  if (next_field_ >= fields_.size()) return false;
  char text[32];
  std::snprintf(text, sizeof text, "%10lld", static_cast<long long>(value));
  std::string field(text);
  // A number too wide for the field keeps its last digits rather than shifting the record.
  const size_t length = static_cast<size_t>(fields_[next_field_].length);
  if (field.size() > length) field.erase(0, field.size() - length);
  return WriteFieldText('N', field);
}

bool CDBaseFile::WriteString(const std::string& text) {
  if (next_field_ >= fields_.size()) return false;
  std::string field = vd::os::Utf8ToCp1252(text);
  field.resize(static_cast<size_t>(fields_[next_field_].length), ' ');
  return WriteFieldText('C', field);
}

std::array<uint8_t, 3> CDBaseFile::UpdateDate(const std::tm& local) {
  return {static_cast<uint8_t>(local.tm_year), static_cast<uint8_t>(local.tm_mon + 1),
          static_cast<uint8_t>(local.tm_mday)};
}

bool CDBaseFile::Close() {
  if (!creating_) {
    file_.Close();
    return true;
  }
  creating_ = false;
  // A record left half-written, or fields never all added, would make a table nobody reads.
  if (next_field_ != 0 || static_cast<int>(fields_.size()) != planned_fields_) {
    writer_.Discard();
    return false;
  }
  vd::os::File& file = writer_.file();
  const uint8_t end = kEndOfFile;
  write_failed_ |= !file.Write(&end, 1);

  std::vector<uint8_t> header(static_cast<size_t>(header_length_), 0);
  header[0] = kVersion;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const std::array<uint8_t, 3> date = UpdateDate(local);
  std::copy(date.begin(), date.end(), header.begin() + 1);
  PutLe32(&header[4], static_cast<uint32_t>(record_count_));
  PutLe16(&header[8], static_cast<uint16_t>(header_length_));
  PutLe16(&header[10], static_cast<uint16_t>(record_length_));
  for (size_t i = 0; i < fields_.size(); ++i) {
    uint8_t* d = &header[kHeaderSize + kDescriptorSize * i];
    std::memcpy(d, fields_[i].name.data(), fields_[i].name.size());
    d[11] = static_cast<uint8_t>(fields_[i].type);
    d[16] = static_cast<uint8_t>(fields_[i].length);
  }
  header.back() = kEndOfDescriptors;
  write_failed_ |= !file.PWrite(header.data(), header.size(), 0);
  if (write_failed_) {
    writer_.Discard();
    return false;
  }
  return writer_.Commit();
}
