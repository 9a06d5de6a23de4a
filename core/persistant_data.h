#pragma once
// Self-registering settings records. A subsystem that owns settings derives a nested class
// X::Persistant from PersistantData, defines one static instance and lists its fields once in
// Exchange(); the same Exchange() reads the fields from the settings file and writes them to it.
//
//   struct CMarkManager::Persistant : PersistantData {
//     Persistant() : PersistantData("CMarkManager") {}
//     void Exchange() override { ExchangeInt("sort", sort); ExchangeBool("flag", flag); }
//   };
//
// A field is stored under "section:name"; a string set or list stores its count under
// "section:name:n" and element i under "section:name[i]". The settings file is
// ConfigFolder()/Vardune/<base name>.ini, a CKeyValueFile whose text values are in the Windows
// code page. While the base name is empty nothing is read or written and every record keeps the
// values its owner gave it. Records are used on the UI thread only.
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class CKeyValueFile;

class PersistantData {
 public:
  explicit PersistantData(std::string section);
  virtual ~PersistantData();
  PersistantData(const PersistantData&) = delete;
  PersistantData& operator=(const PersistantData&) = delete;

  // Reads or writes every field through the Exchange* operations, in a fixed order.
  virtual void Exchange() = 0;

  const std::string& section() const { return section_; }
  PersistantData* next() const { return next_; }
  // Owners mark their record after changing one of its values, then call SaveAll().
  void MarkDirty() { dirty_ = true; }
  bool IsDirty() const { return dirty_; }

  // Typed exchange of one field under section() + ":" + name. Reading leaves the variable
  // unchanged when the key is absent or its text does not parse. Outside SaveAll and LoadAll
  // they do nothing.
  void ExchangeInt(std::string_view name, int& value);    // "0x%x" of the 32-bit pattern
  void ExchangeBool(std::string_view name, bool& value);  // "0" or "1"; any non-zero int is true
  void ExchangeString(std::string_view name, std::string& value);
  // "%02x" per byte; reading fills at most len bytes, as many as the stored text holds.
  void ExchangeBytes(std::string_view name, void* data, int len);
  // The value's bytes, least significant first, as 16 (double) or 8 (float) hexadecimal digits.
  // A stored text that is not exactly that is read as a decimal number ("3.5", "1e5").
  void ExchangeDouble(std::string_view name, double& value);
  void ExchangeFloat(std::string_view name, float& value);
  // "#AARRGGBB"; reading also takes "#RGB", "#ARGB" (a digit d gives the byte d*16) and
  // "#RRGGBB" (alpha 0xFF when not given).
  void ExchangeColour(std::string_view name, uint32_t& argb);
  // Count under "name:n", elements under "name[i]" in set or list order. Reading replaces the
  // contents when the count is stored, with the elements present below the count in index
  // order; empty texts are not stored, so they do not come back.
  void ExchangeStringSet(std::string_view name, std::set<std::string>& values);
  void ExchangeStringList(std::string_view name, std::vector<std::string>& values);

  // The newest record; walk on with next().
  static PersistantData* Head();

  static void SetBaseName(std::string base_name);
  static const std::string& BaseName();
  // ConfigFolder()/Vardune/<base name>.ini; empty while the base name is.
  static std::string SettingsFilePath();

  // Writes every dirty record into the settings file, keeping the keys of the other records and
  // keys no record names, and clears their dirty flags. Does nothing and returns false while the
  // base name is empty; returns false and leaves the file and the flags alone when the existing
  // file can't be read or the new one can't be written.
  static bool SaveAll();
  // Reads every record from the settings file; false when the base name is empty or the file
  // can't be read (the records keep their values).
  static bool LoadAll();

  // For Exchange() operations that need more than the typed exchange: the direction, and the
  // key map being read or written (null outside SaveAll and LoadAll).
  static bool IsSaving();
  static CKeyValueFile* CurrentMap();

 private:
  std::string Key(std::string_view name) const;
  template <class Container>
  void ExchangeStrings(std::string_view name, Container& values);
  template <class Bits, class Value>
  void ExchangeHexNumber(std::string_view name, Value& value);

  std::string section_;
  PersistantData* next_ = nullptr;
  bool dirty_ = false;
};
