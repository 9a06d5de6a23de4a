#include "overlays/overlay_archive.h"

#include <algorithm>
#include <bit>

#include "core/ui/message_boxes.h"
#include "overlays/category.h"
#include "overlays/ostrel_object.h"
#include "platform/os/clock.h"
#include "platform/os/codepage.h"
#include "platform/os/files.h"
#include "platform/ui/message_box.h"

// Values go to and from the buffers as they lie in memory.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr size_t kBufferSize = 64 * 1024;

constexpr uint16_t kNullTag = 0;
constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kClassTag = 0x8000;
constexpr uint16_t kBigTag = 0x7FFF;
constexpr uint32_t kBigClassTag = 0x80000000u;
// Numbers must stay below the class bit of the 32-bit tag.
constexpr uint32_t kMaxNumber = 0x7FFFFFFEu;

constexpr uint8_t kLongString = 0xFF;
constexpr uint16_t kWideString = 0xFFFE;  // a wide string follows: never written here
constexpr uint16_t kHugeString = 0xFFFF;
constexpr uint16_t kBigCount = 0xFFFF;

// A record nests the records of the objects it refers to first (a mark its routes, a route its
// marks, their routes ...), so a chain of joined routes nests as deep as it is long. This bound
// keeps a hostile file from exhausting the stack.
constexpr int kMaxDepth = 1000;

int g_older_schema = 0;

}  // namespace

COverlayArchiveException::COverlayArchiveException(Cause cause, std::string message)
    : cause_(cause), message_(std::move(message)) {}

int OlderSchemaRead() { return g_older_schema; }
void ResetOlderSchema() { g_older_schema = 0; }

// Class and object pointers to their numbers while storing: open addressing over a table kept
// at most half full. Objects made one after the other lie one after the other in memory, and
// the slot of a pointer follows its address within its 4 KiB page (the pages are scattered by
// a multiplicative hash), so writing a long list touches the table a page at a time instead
// of missing the cache on every object, and no layout of objects piles them into one run.
class COverlayArchive::StoreMap {
 public:
  StoreMap() { Rehash(1024); }

  // Room for `more` keys without a rehash, so that slots found before an insert stay valid.
  void Reserve(size_t more) {
    if ((size_ + more) * 2 > slots_.size()) Rehash(slots_.size() * 2);
  }
  // The slot holding key, or the empty slot where it belongs.
  size_t Probe(const void* key) const {
    size_t i = Home(key);
    while (slots_[i].key && slots_[i].key != key) i = (i + 1) & mask_;
    return i;
  }
  void Prefetch(const void* key) const { __builtin_prefetch(&slots_[Home(key)]); }
  uint32_t Number(size_t slot) const { return slots_[slot].key ? slots_[slot].number : 0; }
  void Set(size_t slot, const void* key, uint32_t number) {
    slots_[slot] = {key, number};
    ++size_;
  }

 private:
  struct Slot {
    const void* key;
    uint32_t number;
  };

  // 256 slots for each 4 KiB page of addresses, the pages scattered over the table.
  size_t Home(const void* key) const {
    const auto address = reinterpret_cast<uintptr_t>(key);
    const uint64_t page = (address >> 12) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>((page >> 40 << 8) | ((address >> 4) & 0xFF)) & mask_;
  }
  void Rehash(size_t capacity) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(capacity, Slot{nullptr, 0});
    mask_ = capacity - 1;
    for (const Slot& slot : old) {
      if (slot.key) slots_[Probe(slot.key)] = slot;
    }
  }

  std::vector<Slot> slots_;
  size_t size_ = 0;
  size_t mask_ = 0;
};

COverlayArchive::COverlayArchive(vd::os::File& file, Mode mode)
    : storing_(mode == Mode::kStore), file_(&file), buffer_(kBufferSize) {
  if (storing_) {
    stored_ = std::make_unique<StoreMap>();
    cur_ = buffer_.data();
    end_ = cur_ + buffer_.size();
  } else {
    const int64_t size = file.Size();
    const int64_t pos = file.Tell();
    file_left_ = size > pos && pos >= 0 ? static_cast<uint64_t>(size - pos) : 0;
    cur_ = end_ = buffer_.data();
    StartLoading();
  }
}

COverlayArchive::COverlayArchive(std::span<const uint8_t> bytes) : storing_(false), file_(nullptr) {
  // Never written through while loading.
  cur_ = const_cast<uint8_t*>(bytes.data());
  end_ = cur_ + bytes.size();
  StartLoading();
}

void COverlayArchive::StartLoading() {
  loaded_.push_back({nullptr, 0, false, Held::kNothing});
  // One clock read for all the objects of the load.
  creation_time_ = static_cast<int32_t>(static_cast<uint32_t>(vd::os::NowSeconds1970()));
}

COverlayArchive::~COverlayArchive() {
  if (!storing_ && !load_finished_) {
    // Nothing was linked; what the records named is let go, so that the objects may be
    // released in any order.
    for (const Loaded& entry : loaded_) {
      if (entry.held == Held::kOverlayObject) OverlayObjectOf(entry)->UnlinkAfterLoad();
    }
  }
  for (CCategory* shared : shared_categories_) shared->Release();
  for (auto it = loaded_.rbegin(); it != loaded_.rend(); ++it) {
    void* object = const_cast<void*>(it->item);
    if (it->held == Held::kOverlayObject) {
      static_cast<COstrelObject*>(static_cast<CArchiveObject*>(object))->Release();
    } else if (it->held == Held::kCategory) {
      static_cast<CCategory*>(static_cast<CArchiveObject*>(object))->Release();
    }
  }
}

void COverlayArchive::Fail(COverlayArchiveException::Cause cause, const char* what) const {
  throw COverlayArchiveException(cause, what);
}

uint64_t COverlayArchive::BytesLeft() const {
  return static_cast<uint64_t>(end_ - cur_) + file_left_;
}

// ---- Storing ----

void COverlayArchive::Flush() {
  if (!storing_) return;
  const size_t used = static_cast<size_t>(cur_ - buffer_.data());
  if (used && !file_->Write(buffer_.data(), used)) {
    Fail(COverlayArchiveException::kWriteFailed, "the file could not be written");
  }
  cur_ = buffer_.data();
}

void COverlayArchive::WriteSlow(const void* data, size_t size) {
  Flush();
  if (size >= buffer_.size()) {
    if (!file_->Write(data, size)) {
      Fail(COverlayArchiveException::kWriteFailed, "the file could not be written");
    }
    return;
  }
  std::memcpy(cur_, data, size);
  cur_ += size;
}

void COverlayArchive::WriteString(const std::string& utf8) {
  const std::string bytes = vd::os::Utf8ToCp1252(utf8);
  const size_t n = bytes.size();
  if (n < kLongString) {
    WriteByte(static_cast<uint8_t>(n));
  } else if (n < kWideString) {
    WriteByte(kLongString);
    WriteUInt16(static_cast<uint16_t>(n));
  } else {
    if (n > UINT32_MAX) Fail(COverlayArchiveException::kBadCount, "string too long to store");
    WriteByte(kLongString);
    WriteUInt16(kHugeString);
    WriteUInt32(static_cast<uint32_t>(n));
  }
  WriteRaw(bytes.data(), n);
}

void COverlayArchive::WriteCount(uint32_t count) {
  if (count < kBigCount) {
    WriteUInt16(static_cast<uint16_t>(count));
  } else {
    WriteUInt16(kBigCount);
    WriteUInt32(count);
  }
}

void COverlayArchive::WriteTag(uint32_t number, bool is_class) {
  if (number < kBigTag) {
    WriteUInt16(static_cast<uint16_t>(is_class ? (kClassTag | number) : number));
  } else {
    WriteUInt16(kBigTag);
    WriteUInt32(is_class ? (kBigClassTag | number) : number);
  }
}

void COverlayArchive::PrefetchObject(const CArchiveObject* object) const {
  if (!stored_ || !object) return;
  stored_->Prefetch(object);
  __builtin_prefetch(object);
}

void COverlayArchive::WriteObject(const CArchiveObject* object) {
  if (!object) {
    WriteUInt16(kNullTag);
    return;
  }
  stored_->Reserve(2);
  const size_t object_slot = stored_->Probe(object);
  if (const uint32_t number = stored_->Number(object_slot)) {
    WriteTag(number, false);
    return;
  }
  if (next_number_ + 1 > kMaxNumber) {
    Fail(COverlayArchiveException::kBadCount, "too many objects for one archive");
  }
  const OverlayClass& cls = object->GetRuntimeClass();
  const size_t class_slot = stored_->Probe(&cls);
  if (const uint32_t number = stored_->Number(class_slot)) {
    WriteTag(number, true);
  } else {
    const size_t name_length = std::strlen(cls.name());
    WriteUInt16(kNewClassTag);
    WriteUInt16(cls.schema());
    WriteUInt16(static_cast<uint16_t>(name_length));
    WriteRaw(cls.name(), name_length);
    stored_->Set(class_slot, &cls, next_number_++);
  }
  // The class's slot may be the one the object's probe found empty: look again.
  stored_->Set(stored_->Probe(object), object, next_number_++);
  const_cast<CArchiveObject*>(object)->Serialize(*this);
}

// ---- Loading ----

bool COverlayArchive::Refill() {
  if (!file_) return false;
  const size_t left = static_cast<size_t>(end_ - cur_);
  std::memmove(buffer_.data(), cur_, left);
  cur_ = buffer_.data();
  end_ = cur_ + left;
  const int64_t n = file_->Read(end_, buffer_.size() - left);
  if (n < 0) Fail(COverlayArchiveException::kReadFailed, "the file could not be read");
  end_ += n;
  file_left_ = n == 0 ? 0 : file_left_ - std::min<uint64_t>(file_left_, static_cast<uint64_t>(n));
  return n > 0;
}

void COverlayArchive::ReadSlow(void* data, size_t size) {
  auto* out = static_cast<uint8_t*>(data);
  while (size) {
    if (cur_ == end_ && !Refill()) {
      Fail(COverlayArchiveException::kEndOfFile, "unexpected end of the archive");
    }
    const size_t n = std::min(size, static_cast<size_t>(end_ - cur_));
    std::memcpy(out, cur_, n);
    cur_ += n;
    out += n;
    size -= n;
  }
}

void ReadArchiveExact(COverlayArchive& archive, void* buffer, size_t length) {
  if (length > archive.BytesLeft()) {
    archive.Fail(COverlayArchiveException::kEndOfFile, "unexpected end of the archive");
  }
  if (length) archive.ReadSlow(buffer, length);
}

std::string COverlayArchive::ReadString() {
  std::string text;
  ReadString(text);
  return text;
}

void COverlayArchive::ReadString(std::string& out) {
  uint64_t length = ReadByte();
  if (length == kLongString) {
    length = ReadUInt16();
    if (length == kHugeString) {
      length = ReadUInt32();
    } else if (length == kWideString) {
      Fail(COverlayArchiveException::kBadString, "wide strings are not used");
    }
  }
  if (length > BytesLeft()) {
    Fail(COverlayArchiveException::kBadCount, "string longer than the archive");
  }
  const size_t n = static_cast<size_t>(length);
  if (static_cast<size_t>(end_ - cur_) >= n) {
    vd::os::Cp1252ToUtf8(std::string_view(reinterpret_cast<const char*>(cur_), n), out);
    cur_ += n;
    return;
  }
  std::string bytes(n, '\0');
  ReadSlow(bytes.data(), n);
  vd::os::Cp1252ToUtf8(bytes, out);
}

uint32_t COverlayArchive::ReadCount(size_t min_bytes_each) {
  uint32_t count = ReadUInt16();
  if (count == kBigCount) count = ReadUInt32();
  if (static_cast<uint64_t>(count) * std::max<size_t>(min_bytes_each, 1) > BytesLeft()) {
    Fail(COverlayArchiveException::kBadCount, "count larger than the archive");
  }
  return count;
}

const OverlayClass& COverlayArchive::ReadNewClass(uint16_t& schema) {
  schema = ReadUInt16();
  const uint16_t length = ReadUInt16();
  if (length > BytesLeft()) {
    Fail(COverlayArchiveException::kEndOfFile, "unexpected end of the archive");
  }
  std::string name(length, '\0');
  ReadSlow(name.data(), length);
  const OverlayClass* cls = OverlayClass::Find(name);
  if (!cls) Fail(COverlayArchiveException::kBadClass, "unknown class in the archive");
  if (schema > cls->schema()) {
    FormatMessageBox(vd::ui::kMbIconError, "%s", kNewerVersionMessage);
    Fail(COverlayArchiveException::kBadSchema, kNewerVersionMessage);
  }
  if (schema < kOverlaySchema) g_older_schema = schema;
  return *cls;
}

COstrelObject* COverlayArchive::OverlayObjectOf(const Loaded& entry) {
  return static_cast<COstrelObject*>(
      static_cast<CArchiveObject*>(const_cast<void*>(entry.item)));
}

COverlayArchive::Held COverlayArchive::Keep(CArchiveObject* object) {
  if (object->IsKindOf(COstrelObject::kClass)) {
    static_cast<COstrelObject*>(object)->AddRef();
    return Held::kOverlayObject;
  }
  if (object->IsKindOf(CCategory::kClass)) {
    static_cast<CCategory*>(object)->AddRef();
    return Held::kCategory;
  }
  return Held::kNothing;  // not reference counted: belongs to the record that reads it
}

CArchiveObject* COverlayArchive::ReadObject(const OverlayClass& wanted) {
  // Number 0 holds no item.
  return static_cast<CArchiveObject*>(const_cast<void*>(loaded_[ReadNumber(wanted)].item));
}

uint32_t COverlayArchive::ReadNumber(const OverlayClass& wanted) {
  const uint16_t tag = ReadUInt16();
  if (tag == kNullTag) return 0;

  const OverlayClass* cls = nullptr;
  uint16_t schema = 0;
  if (tag == kNewClassTag) {
    cls = &ReadNewClass(schema);
    if (loaded_.size() > kMaxNumber) Fail(COverlayArchiveException::kBadCount, "too many objects");
    loaded_.push_back({cls, schema, true, Held::kNothing});
  } else {
    uint32_t number = tag;
    bool is_class = false;
    if (tag == kBigTag) {
      number = ReadUInt32();
      is_class = (number & kBigClassTag) != 0;
      number &= ~kBigClassTag;
    } else if (tag & kClassTag) {
      is_class = true;
      number = tag & ~kClassTag;
    }
    if (number == 0 || number >= loaded_.size()) {
      Fail(COverlayArchiveException::kBadIndex, "reference to a number not yet read");
    }
    const Loaded& entry = loaded_[number];
    if (entry.is_class != is_class) {
      Fail(COverlayArchiveException::kBadIndex, "reference to a class as an object or back");
    }
    if (!is_class) {
      auto* object = static_cast<CArchiveObject*>(const_cast<void*>(entry.item));
      if (!object->IsKindOf(wanted)) {
        Fail(COverlayArchiveException::kBadClass, "object of an unexpected class");
      }
      return number;
    }
    cls = static_cast<const OverlayClass*>(entry.item);
    schema = entry.schema;
  }

  if (!cls->IsDerivedFrom(wanted)) {
    Fail(COverlayArchiveException::kBadClass, "object of an unexpected class");
  }
  CArchiveObject* object;
  {
    const CCreationTimeScope time(creation_time_);  // the record sets the object's times
    object = cls->CreateObject();
  }
  if (!object) Fail(COverlayArchiveException::kBadClass, "class cannot be made from the archive");
  const auto number = static_cast<uint32_t>(loaded_.size());
  loaded_.push_back({object, schema, false, Keep(object)});
  // In the order of the numbers, as they link at the end.
  if (loaded_.back().held == Held::kOverlayObject &&
      static_cast<COstrelObject*>(object)->LinksAfterLoad()) {
    linking_.push_back(number);
  }
  if (loaded_.size() > kMaxNumber) Fail(COverlayArchiveException::kBadCount, "too many objects");

  if (depth_ >= kMaxDepth) Fail(COverlayArchiveException::kTooDeep, "records nested too deeply");
  ++depth_;
  const uint16_t outer_schema = object_schema_;
  object_schema_ = schema;
  object->Serialize(*this);  // a throw ends the archive's use, so nothing is restored then
  object_schema_ = outer_schema;
  --depth_;
  return number;
}

CCategory* COverlayArchive::ReadSharedCategory() {
  const uint32_t number = ReadNumber(CCategory::kClass);
  if (number == 0) return nullptr;
  // The program's category found for a stored one stays the first match of its name while the
  // archive loads (categories only join the program's list at its end), so each stored one is
  // looked up once however many objects name it.
  if (loaded_[number].shared == 0) {
    const auto* stored = static_cast<const CCategory*>(loaded_[number].item);
    shared_categories_.push_back(CCategory::FindOrCreate(stored->name()));
    loaded_[number].shared = static_cast<uint32_t>(shared_categories_.size());
  }
  CCategory* shared = shared_categories_[loaded_[number].shared - 1];
  shared->AddRef();
  return shared;
}

void COverlayArchive::FinishLoad() {
  if (storing_ || load_finished_) return;
  load_finished_ = true;
  // First every object that goes with the archive lets go of the others, then the kept ones
  // link: a kept route then links the marks it names whether they stay or not, and a mark
  // that goes leaves it through the links. Objects that do not LinksAfterLoad have no links
  // yet, so there is nothing to undo in them.
  for (const uint32_t number : linking_) {
    if (OverlayObjectOf(loaded_[number])->ref_count() <= 1) {
      OverlayObjectOf(loaded_[number])->UnlinkAfterLoad();
    }
  }
  for (const uint32_t number : linking_) {
    if (OverlayObjectOf(loaded_[number])->ref_count() > 1) {
      OverlayObjectOf(loaded_[number])->LinkAfterLoad();
    }
  }
}

void COverlayArchive::ReserveObjects(uint32_t count) {
  if (storing_) return;
  // Growing the table step by step to a million objects copies it over and over. The room
  // spare for the few classes and categories a file names keeps them from forcing one more
  // growth at the very end. Every object takes a byte of the archive at least, so a hostile
  // count reserves no more entries than the file has bytes, and untouched room costs only
  // address space.
  constexpr size_t kClassesAndCategories = 256;
  loaded_.reserve(loaded_.size() + std::min<uint64_t>(count, BytesLeft()) +
                  kClassesAndCategories);
}
