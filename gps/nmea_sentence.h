#pragma once
// Registered NMEA sentence types. Each sentence class has one static type object that links
// itself into a program-wide list when the program starts; a line dispatcher finds the type
// whose name a line carries, takes a sentence object from the type's pool, parses the line into
// it and fires it to the subscribers of that class (Listener<Class>). Sentence objects are
// reused: a subscriber that keeps one beyond the delivery adds to its use count.
//
// No locks: the list, the pools and the flags are used from one thread at a time.
#include <cstdint>
#include <cstring>
#include <string>

#include "core/listener.h"

class CNMEASentenceType;

class CNMEASentence {
 public:
  explicit CNMEASentence(CNMEASentenceType* type) : type_(type) {}
  virtual ~CNMEASentence() = default;
  CNMEASentence(const CNMEASentence&) = delete;
  CNMEASentence& operator=(const CNMEASentence&) = delete;

  // Fills the fields from the whole sentence text ("$" first, checksum and line end allowed).
  virtual bool Parse(const char* sentence) = 0;

  CNMEASentenceType* type() const { return type_; }

  // The object the line came from (a data connection), or null.
  void* source = nullptr;
  // Deliveries and subscribers holding the object; it returns to its pool at 0.
  int32_t use_count = 0;

 private:
  friend class CNMEASentenceType;
  CNMEASentenceType* type_;
  CNMEASentence* next_in_pool_ = nullptr;
};

class CNMEASentenceType {
 public:
  // name_offset: where in the line the name is compared (3 after "$" and a two-letter talker,
  // 1 after "$" for proprietary sentences). The type links itself at the head of the list.
  CNMEASentenceType(int32_t name_offset, const char* name, bool proprietary);
  // Deletes the pooled objects and leaves the list.
  virtual ~CNMEASentenceType();
  CNMEASentenceType(const CNMEASentenceType&) = delete;
  CNMEASentenceType& operator=(const CNMEASentenceType&) = delete;

  // A new sentence object of the class, linked to this type.
  virtual CNMEASentence* Create() = 0;
  // Whether anybody listens to sentences of this type.
  virtual bool HasSubscribers() const = 0;
  // Fires the sentence to the subscribers of its class.
  virtual void Fire(CNMEASentence& sentence) = 0;

  // The line carries this type's name at the name offset (it may go on after it). Trying a
  // proprietary type notes that proprietary sentences were seen; it matches only while they
  // are allowed.
  bool Matches(const char* line) const;
  // The first type of the list, newest first, that matches; null when none does.
  static CNMEASentenceType* FindType(const char* line);
  // An idle object from the pool, or a new one.
  CNMEASentence* Obtain();
  // Takes back one use of the sentence; at 0 the object goes back to its type's pool.
  static void Release(CNMEASentence* sentence);

  static CNMEASentenceType* First() { return first_; }
  CNMEASentenceType* next() const { return next_; }
  int32_t name_offset() const { return name_offset_; }
  const char* name() const { return name_; }
  bool proprietary() const { return proprietary_; }

  static void SetProprietaryAllowed(bool allowed) { proprietary_allowed_ = allowed; }
  static bool ProprietaryAllowed() { return proprietary_allowed_; }
  static bool ProprietarySeen() { return proprietary_seen_; }
  static void ClearProprietarySeen() { proprietary_seen_ = false; }

 private:
  CNMEASentenceType* next_ = nullptr;
  int32_t name_offset_;
  const char* name_;
  CNMEASentence* pool_ = nullptr;
  bool proprietary_;

  static inline CNMEASentenceType* first_ = nullptr;
  static inline bool proprietary_allowed_ = false;
  static inline bool proprietary_seen_ = false;
};

// The type object of sentence class T (constructed as T(CNMEASentenceType*)), whose
// subscribers are the Listener<T>s.
template <class T>
class CNMEASentenceTypeOf final : public CNMEASentenceType {
 public:
  using CNMEASentenceType::CNMEASentenceType;
  CNMEASentence* Create() override { return new T(this); }
  bool HasSubscribers() const override {
    const EventList* list = Listener<T>::List();
    return list && !list->empty();
  }
  void Fire(CNMEASentence& sentence) override { Listener<T>::Fire(static_cast<T&>(sentence)); }
};

// Splits text in place into count fields at "," and "*": each field ends with a NUL and
// fields[i] points at it. A "*" ends the data, so the fields after it are empty; so are those
// beyond the end of the text.
void NMEASplitFields(int count, char* text, char** fields);
// A copy of a sentence (its first 255 characters) split into N fields, on the stack.
template <int N>
struct NMEAFields {
  explicit NMEAFields(const char* sentence) {
    const size_t length = strnlen(sentence, sizeof text - 1);
    std::memcpy(text, sentence, length);
    text[length] = '\0';
    NMEASplitFields(N, text, f);
  }
  // The fields point into text: never copied (returning a new one is fine).
  NMEAFields(const NMEAFields&) = delete;
  NMEAFields& operator=(const NMEAFields&) = delete;
  char text[256];
  char* f[N];
};

// Appends "*" and the exclusive-or of every character after the leading "$" as two upper-case
// hexadecimal digits (no line end).
void NMEAAppendChecksum(std::string& sentence);

// The field readers of the sentence classes (empty or malformed fields give 0).
// "ddmm.mmm" with its hemisphere: the "." must stand at index 4; "S" negates.
double NMEAFieldLatitude(const char* field, const char* hemisphere);
// "dddmm.mmm" with its hemisphere: the "." must stand at index 5; "W" negates.
double NMEAFieldLongitude(const char* field, const char* hemisphere);
// "hhmmss[.ss]": whole seconds of the day.
int NMEAFieldTime(const char* field);
// "ddmmyy": seconds since 1970 of midnight UTC of that date (years below 100 are 2000 + yy,
// 100 to 199 are 1900 + yy). The last date read is remembered, so a repeated date is free.
int64_t NMEAFieldDate(const char* field);
// Decimal numbers in the C locale; 0 for an empty or malformed field.
double NMEAFieldDouble(const char* field);
int NMEAFieldInt(const char* field);
