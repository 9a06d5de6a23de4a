#pragma once
// A key=value text file: one "key=value" line per entry, values URL-style encoded. It holds the
// settings records' values (see persistant_data.h) and parses query texts of the form a=b&c=d.
//
// Values are kept as the bytes stored in the file; callers that keep text in them convert
// between UTF-8 and the Windows code page themselves.
#include <cstddef>
#include <map>
#include <string>
#include <string_view>

class CKeyValueFile {
 public:
  // False when the file can't be read; otherwise every line is parsed into the map (entries
  // already present are kept unless a line replaces them). Line rules: only a line feed (or the
  // end of the file) ends a line; carriage returns and NUL bytes are dropped; a line longer than
  // kMaxLine bytes is skipped; blank lines and lines whose first non-blank character is '#' are
  // skipped; every other line goes through ParseLine.
  bool Load(const std::string& path);
  // Writes the entries in key order, "key=encoded value\n", skipping empty keys and values. The
  // file is replaced atomically; false when it could not be written.
  bool Save(const std::string& path) const;

  // Splits `line` at every '&' into pairs; in each pair the first '=' separates key and value.
  // Key and value are trimmed of blanks, the value decoded; pairs with an empty key or an empty
  // decoded value are ignored, the others set (a later pair wins).
  void ParseLine(std::string_view line);

  std::string GetStringOr(const std::string& key, const std::string& default_value) const;
  // The value read as a C integer ("0x" hexadecimal, leading-zero octal or decimal, an optional
  // sign); the low 32 bits are kept, so "0xffffffff" reads as -1. `default_value` when the key
  // is absent or no number starts the value.
  int GetInt(const std::string& key, int default_value) const;
  // The value read as a C-locale decimal number; `default_value` when absent or unparsable.
  double GetDouble(const std::string& key, double default_value) const;
  // Decodes pairs of hexadecimal digits into `buffer`, at most `len` bytes, stopping at the end
  // of the value or at a pair that is not two hexadecimal digits. Returns the bytes decoded; the
  // rest of the buffer is unchanged.
  int GetBytes(const std::string& key, void* buffer, int len) const;
  // Present with a non-empty value.
  bool Has(const std::string& key) const;
  // A pointer to the stored value, or null when the key is absent.
  const std::string* Find(const std::string& key) const;

  void Set(const std::string& key, std::string value);
  void SetInt(const std::string& key, int value);                    // "0x%x"
  void SetBytes(const std::string& key, const void* data, int len);  // "%02x" per byte

  const std::map<std::string, std::string>& entries() const { return entries_; }

  static constexpr size_t kMaxLine = 1000000;

  // The value coding of the file: letters, digits and "$-_.!*'()" stay, a space becomes '+',
  // every other byte "%xx" (lower-case hexadecimal). DecodeValue undoes it: '+' is a space,
  // "%" and two hexadecimal digits (either case) a byte; a '%' followed by anything else stays
  // with the next two characters; a '%' among the last two characters is dropped with what
  // follows it.
  static std::string EncodeValue(std::string_view value);
  static std::string DecodeValue(std::string_view value);

 private:
  std::string Serialise() const;

  std::map<std::string, std::string> entries_;  // byte-wise key order
};
