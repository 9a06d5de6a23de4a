#pragma once
// The attribute table of a shapefile: a dBASE III file (".dbf", no memo file).
//
// Layout: a 32-byte header (version 3, date of last update as year - 1900, month, day, record
// count, header length, record length), 32 bytes per field descriptor (name of up to 10
// characters, type letter, length), 0x0D, then the records: a deletion flag (' ') and each
// field's characters; 0x1A ends the file. Texts are Windows-1252 on disk, UTF-8 here.
//
// Reading trusts nothing of the file: the stored header and record lengths are used only where
// they leave room for the fields, and records are read only where the file holds them.
// Writing goes to a temporary file that Close renames over the target.
#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/os/files.h"

class CDBaseFile {
 public:
  static constexpr int kNumericFieldLength = 10;
  static constexpr int kMaxFieldLength = 255;

  CDBaseFile() = default;
  CDBaseFile(const CDBaseFile&) = delete;
  CDBaseFile& operator=(const CDBaseFile&) = delete;

  // ---- Reading ----
  // Reads the field descriptors; false when the file can't be opened or has no fields.
  bool Open(const std::string& path);
  // The first field whose name contains text (case-sensitive); -1 when none does.
  int FindField(const std::string& text) const;
  // Null for an index out of range.
  const std::string* GetFieldName(int index) const;
  int field_count() const { return static_cast<int>(fields_.size()); }
  // The records the file holds (the stored count, lowered to what the file's size allows).
  int64_t record_count() const { return record_count_; }
  // The field of the record (both from 0) without its leading and trailing spaces; false for
  // a record or field out of range or a failed read.
  bool ReadField(int64_t record, int field, std::string& out);

  // ---- Writing ----
  // Starts a new table of field_count fields, written once the last field is added.
  bool Create(const std::string& path, int field_count);
  // Type "N", length 10; refused (false) beyond the fields given to Create or for an empty name.
  bool AddNumericField(const std::string& name);
  // Type "C"; a length outside 1..255 is refused.
  bool AddCharField(const std::string& name, int length);
  // The next field of the record, in order; the deletion flag goes before each record's first
  // field. False (nothing written) when the next field is of the other type.
  bool WriteInt(int64_t value);
  // Cut to the field's length.
  bool WriteString(const std::string& text);
  // Finishes a created table: the end byte, the header with the date of now (local time) and
  // the descriptors; then the file replaces the target. True when every write succeeded.
  bool Close();

  // The three date bytes of the header for a local time.
  static std::array<uint8_t, 3> UpdateDate(const std::tm& local);

 private:
  struct Field {
    std::string name;
    char type = 'C';
    int length = 0;
    int offset = 0;  // in the record, after the deletion flag
  };

  bool AddField(const std::string& name, char type, int length);
  // Appends the field's text (already of the field's length) at the write position.
  bool WriteFieldText(char type, const std::string& text);

  std::vector<Field> fields_;
  int record_length_ = 1;
  int64_t header_length_ = 0;
  int64_t record_count_ = 0;

  vd::os::File file_;  // reading
  vd::os::AtomicFileWriter writer_;
  int planned_fields_ = 0;
  size_t next_field_ = 0;  // writing: the field the next value goes into
  bool write_failed_ = false;
  bool creating_ = false;
};
