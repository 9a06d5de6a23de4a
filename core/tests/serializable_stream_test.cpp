#include "core/serializable_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

using Status = CSerializableStream::RecordStatus;

constexpr int32_t kPointType = 9101;
constexpr int32_t kTrackType = 9102;
constexpr int32_t kShelfType = 9103;
constexpr int32_t kNewNoteType = 9104;   // read as version 2 of the note
constexpr int32_t kOldNoteType = 9105;   // read as version 1 of the note
constexpr int32_t kUnbalancedType = 9106;
constexpr int32_t kNestType = 9107;      // read as version 2 of the nest
constexpr int32_t kBinType = 9108;
constexpr int32_t kStrangerType = 9199;  // never registered

// Records of the tests describe themselves, so that what was read can be compared with what
// was written.
class TestRecord : public CSerializable {
 public:
  virtual std::string Describe() const = 0;
};

class TestPoint : public TestRecord {
 public:
  static const TypeOf<TestPoint> cType;

  int32_t id = -1;
  std::string name = "unnamed";
  double lat = 0.0;
  double lon = 0.0;
  bool flag = false;
  uint32_t colour = 0xFF000000;

  bool Serialize(CSerializableStream& s) override {
    CSerializableStream::Block block(s);
    return block.ok() && s.ExchangeRaw(&id, sizeof id) && s.ExchangeString(name) &&
           s.ExchangeRaw(&lat, sizeof lat) && s.ExchangeRaw(&lon, sizeof lon) &&
           s.ExchangeBool(flag) && s.ExchangeColour(colour);
  }
  int32_t GetTypeId() const override { return kPointType; }
  std::string Describe() const override {
    std::ostringstream out;
    out << std::hexfloat << "point " << id << " " << name << " " << lat << " " << lon << " " << flag
        << " " << std::hex << colour;
    return out.str();
  }
};
const CSerializable::TypeOf<TestPoint> TestPoint::cType{kPointType};

// A fixed-size element of arrays, like a track point.
struct Item {
  double a = 0, b = 0, c = 0;
  int64_t d = 0;
};
static_assert(sizeof(Item) == 32);

class TestTrack : public TestRecord {
 public:
  static const TypeOf<TestTrack> cType;
  static constexpr uint32_t kMaxItems = 64;

  std::vector<Item> items;

  bool Serialize(CSerializableStream& s) override {
    CSerializableStream::Block block(s);
    uint32_t count = static_cast<uint32_t>(items.size());
    if (!block.ok() || !s.ExchangeRaw(&count, sizeof count) || count > kMaxItems) return false;
    items.resize(count);
    return s.ExchangeArray(items.data(), count);
  }
  int32_t GetTypeId() const override { return kTrackType; }
  std::string Describe() const override {
    std::ostringstream out;
    out << std::hexfloat << "track";
    for (const Item& i : items) out << " " << i.a << "," << i.b << "," << i.c << "," << i.d;
    return out.str();
  }
};
const CSerializable::TypeOf<TestTrack> TestTrack::cType{kTrackType};

// Holds typed records inside its own block, as a manager object holds its items.
class TestShelf : public TestRecord {
 public:
  static const TypeOf<TestShelf> cType;

  std::vector<std::unique_ptr<CSerializable>> records;

  bool Serialize(CSerializableStream& s) override {
    CSerializableStream::Block block(s);
    uint32_t count = static_cast<uint32_t>(records.size());
    if (!block.ok() || !s.ExchangeRaw(&count, sizeof count)) return false;
    if (s.IsWriting()) {
      for (auto& r : records) {
        if (!s.WriteRecord(*r)) return false;
      }
      return true;
    }
    records.clear();
    for (uint32_t i = 0; i < count; ++i) {
      CSerializableStream::RecordResult r = s.ReadRecord();
      if (r.status == Status::kEnd) return false;
      if (r.object) records.push_back(std::move(r.object));
    }
    return true;
  }
  int32_t GetTypeId() const override { return kShelfType; }
  std::string Describe() const override {
    std::string text = "shelf {";
    for (const auto& r : records) text += " " + static_cast<const TestRecord&>(*r).Describe() + ";";
    return text + " }";
  }
};
const CSerializable::TypeOf<TestShelf> TestShelf::cType{kShelfType};

// Holds typed records in its block with no count: reading takes them to the block's end.
class TestBin : public TestRecord {
 public:
  static const TypeOf<TestBin> cType;

  std::vector<std::unique_ptr<CSerializable>> records;

  bool Serialize(CSerializableStream& s) override {
    CSerializableStream::Block block(s);
    if (!block.ok()) return false;
    if (s.IsWriting()) {
      for (auto& r : records) {
        if (!s.WriteRecord(*r)) return false;
      }
      return true;
    }
    records.clear();
    for (;;) {
      CSerializableStream::RecordResult r = s.ReadRecord();
      if (r.status == Status::kEnd) return !s.Failed();
      if (r.object) records.push_back(std::move(r.object));
    }
  }
  int32_t GetTypeId() const override { return kBinType; }
  std::string Describe() const override {
    std::string text = "bin {";
    for (const auto& r : records) text += " " + static_cast<const TestRecord&>(*r).Describe() + ";";
    return text + " }";
  }
};
const CSerializable::TypeOf<TestBin> TestBin::cType{kBinType};

// A record whose type no reader knows, by default larger than the stream's buffer.
class Stranger : public CSerializable {
 public:
  explicit Stranger(size_t size = 100000) : size_(size) {}
  bool Serialize(CSerializableStream& s) override {
    CSerializableStream::Block block(s);
    std::string text(size_, 's');
    return block.ok() && s.ExchangeString(text);
  }
  int32_t GetTypeId() const override { return kStrangerType; }

 private:
  size_t size_;
};

// Two versions of one record: version 2 adds a nested block and a string at the end.
template <int32_t kId>
class NoteV1 : public TestRecord {
 public:
  int32_t a = 0;
  std::string b = "b default";

  bool Serialize(CSerializableStream& s) override {
    CSerializableStream::Block block(s);
    return block.ok() && s.ExchangeRaw(&a, sizeof a) && s.ExchangeString(b);
  }
  int32_t GetTypeId() const override { return kId; }
  std::string Describe() const override { return "note " + std::to_string(a) + " " + b; }
};

template <int32_t kId>
class NoteV2 : public NoteV1<kId> {
 public:
  double c = -1.0;
  std::string d = "d default";

  bool Serialize(CSerializableStream& s) override {
    CSerializableStream::Block block(s);
    if (!block.ok() || !s.ExchangeRaw(&this->a, sizeof this->a) || !s.ExchangeString(this->b)) {
      return false;
    }
    {
      CSerializableStream::Block inner(s);
      if (!inner.ok() || !s.ExchangeRaw(&c, sizeof c)) return false;
    }
    return s.ExchangeString(d);
  }
  std::string Describe() const override {
    return NoteV1<kId>::Describe() + " " + std::to_string(c) + " " + d;
  }
};
const CSerializable::TypeOf<NoteV2<kNewNoteType>> kNewNoteRegistration{kNewNoteType};
const CSerializable::TypeOf<NoteV1<kOldNoteType>> kOldNoteRegistration{kOldNoteType};

// Versions of a record with a block in its block. Version 1 has x and, inside, y; version 2 adds
// z after the inner block, version 3 also w in the inner block. Fixed-size fields: bytes read
// past the end of a block would pass for them.
template <int kVersion>
class Nest : public TestRecord {
 public:
  int32_t x = -1, y = -1, w = -1, z = -1;

  bool Serialize(CSerializableStream& s) override {
    CSerializableStream::Block block(s);
    if (!block.ok() || !s.ExchangeRaw(&x, sizeof x)) return false;
    {
      CSerializableStream::Block inner(s);
      if (!inner.ok() || !s.ExchangeRaw(&y, sizeof y)) return false;
      if (kVersion >= 3 && !s.ExchangeRaw(&w, sizeof w)) return false;
    }
    return kVersion < 2 || s.ExchangeRaw(&z, sizeof z);
  }
  int32_t GetTypeId() const override { return kNestType; }
  std::string Describe() const override {
    return "nest " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(w) + " " +
           std::to_string(z);
  }
};
const CSerializable::TypeOf<Nest<2>> kNestRegistration{kNestType};

template <int kVersion>
std::unique_ptr<Nest<kVersion>> MakeNest() {
  auto n = std::make_unique<Nest<kVersion>>();
  n->x = 1;
  n->y = 2;
  n->w = 3;
  n->z = 4;
  return n;
}

// Reads its block and then misuses the stream as its mode says: 0 closes more blocks than it
// opened, 1 leaves blocks open. The records around it must not notice.
class Unbalanced : public TestRecord {
 public:
  static const TypeOf<Unbalanced> cType;

  int32_t mode = -1;

  bool Serialize(CSerializableStream& s) override {
    if (s.IsWriting()) {
      CSerializableStream::Block block(s);
      return block.ok() && s.ExchangeRaw(&mode, sizeof mode);
    }
    if (!s.BeginBlock() || !s.ExchangeRaw(&mode, sizeof mode)) return false;
    if (mode == 1) return s.BeginBlock();
    // Its own block closes; the reader's blocks around the record stay open.
    return s.EndBlock() && !s.EndBlock() && !s.EndBlock();
  }
  int32_t GetTypeId() const override { return kUnbalancedType; }
  std::string Describe() const override { return "unbalanced " + std::to_string(mode); }
};
const CSerializable::TypeOf<Unbalanced> Unbalanced::cType{kUnbalancedType};

std::unique_ptr<Unbalanced> MakeUnbalanced(int32_t mode) {
  auto u = std::make_unique<Unbalanced>();
  u->mode = mode;
  return u;
}

std::unique_ptr<TestPoint> MakePoint(int32_t id, std::string name) {
  auto p = std::make_unique<TestPoint>();
  p->id = id;
  p->name = std::move(name);
  p->lat = 51.5 + id * 1e-3;
  p->lon = -0.125 - id * 1e-3;
  p->flag = id % 2 == 1;
  p->colour = 0x80FF4000u + static_cast<uint32_t>(id & 0xFF);
  return p;
}

std::unique_ptr<TestTrack> MakeTrack(int items) {
  auto t = std::make_unique<TestTrack>();
  for (int i = 0; i < items; ++i) t->items.push_back(Item{i * 0.5, -i * 0.25, 1e10 + i, i * 1000});
  return t;
}

std::vector<std::unique_ptr<CSerializable>> SampleRecords() {
  std::vector<std::unique_ptr<CSerializable>> records;
  records.push_back(MakePoint(1, "first"));
  records.push_back(MakeTrack(3));
  auto shelf = std::make_unique<TestShelf>();
  shelf->records.push_back(MakePoint(2, "on the shelf"));
  shelf->records.push_back(MakeTrack(1));
  records.push_back(std::move(shelf));
  records.push_back(MakePoint(3, ""));
  return records;
}

bool WriteRecords(const std::string& path,
                  const std::vector<std::unique_ptr<CSerializable>>& records, size_t count) {
  CSerializableStream out;
  if (!out.OpenWrite(path)) return false;
  for (size_t i = 0; i < count; ++i) {
    if (!out.WriteRecord(*records[i])) return false;
  }
  return out.Close();
}

struct ReadOutcome {
  std::vector<Status> statuses;  // the kEnd at the end included
  std::vector<std::string> records;
  bool failed = false;
  bool skipped = false;
};

ReadOutcome ReadAll(const std::string& path) {
  ReadOutcome outcome;
  CSerializableStream in;
  if (!in.OpenRead(path)) {
    ADD_FAILURE() << "cannot open " << path;
    return outcome;
  }
  for (int guard = 0; guard < 10000; ++guard) {
    CSerializableStream::RecordResult r = in.ReadRecord();
    outcome.statuses.push_back(r.status);
    if (r.object) outcome.records.push_back(static_cast<TestRecord&>(*r.object).Describe());
    if (r.status == Status::kEnd) break;
  }
  outcome.failed = in.Failed();
  outcome.skipped = in.Skipped();
  return outcome;
}

std::vector<std::string> Describe(const std::vector<std::unique_ptr<CSerializable>>& records) {
  std::vector<std::string> texts;
  for (const auto& r : records) texts.push_back(static_cast<const TestRecord&>(*r).Describe());
  return texts;
}

TEST(SerializableStream, RecordsOfSeveralTypesRoundTrip) {
  vd::test::TempDir dir;
  auto records = SampleRecords();
  // Enough data to pass the 64 KiB buffer several times: a block whose header is filled in
  // after its start went to the file, and a string larger than the buffer.
  auto big_shelf = std::make_unique<TestShelf>();
  for (int i = 0; i < 3000; ++i)
    big_shelf->records.push_back(MakePoint(i, "point " + std::to_string(i)));
  records.push_back(std::move(big_shelf));
  records.push_back(MakePoint(4, std::string(200000, 'x')));
  records.push_back(MakeTrack(TestTrack::kMaxItems));

  ASSERT_TRUE(WriteRecords(dir.File("all.bin"), records, records.size()));
  ReadOutcome got = ReadAll(dir.File("all.bin"));
  EXPECT_EQ(got.records, Describe(records));
  EXPECT_EQ(got.statuses.back(), Status::kEnd);
  EXPECT_FALSE(got.failed);
  EXPECT_FALSE(got.skipped);
}

TEST(SerializableStream, UnknownRecordTypeIsSkipped) {
  vd::test::TempDir dir;
  {
    CSerializableStream out;
    ASSERT_TRUE(out.OpenWrite(dir.File("s.bin")));
    Stranger stranger;
    auto before = MakePoint(1, "before");
    auto after = MakeTrack(2);
    ASSERT_TRUE(out.WriteRecord(*before));
    ASSERT_TRUE(out.WriteRecord(stranger));
    ASSERT_TRUE(out.WriteRecord(*after));
    ASSERT_TRUE(out.Close());
  }
  ReadOutcome got = ReadAll(dir.File("s.bin"));
  EXPECT_EQ(got.statuses, (std::vector<Status>{Status::kRecord, Status::kSkipped, Status::kRecord,
                                               Status::kEnd}));
  EXPECT_EQ(got.records, (std::vector<std::string>{MakePoint(1, "before")->Describe(),
                                                   MakeTrack(2)->Describe()}));
  EXPECT_TRUE(got.skipped);
  EXPECT_FALSE(got.failed);
}

TEST(SerializableStream, VersionsReadEachOthersRecords) {
  vd::test::TempDir dir;
  const std::string path = dir.File("v.bin");
  auto tail = MakePoint(9, "after the note");

  // An older writer: the newer reader keeps its defaults for what is missing, nested block
  // included, and has skipped nothing.
  NoteV1<kNewNoteType> old_note;
  old_note.a = 7;
  old_note.b = "seven";
  {
    CSerializableStream out;
    ASSERT_TRUE(out.OpenWrite(path));
    ASSERT_TRUE(out.WriteRecord(old_note));
    ASSERT_TRUE(out.WriteRecord(*tail));
    ASSERT_TRUE(out.Close());
  }
  NoteV2<kNewNoteType> expected_new;
  expected_new.a = 7;
  expected_new.b = "seven";
  ReadOutcome got = ReadAll(path);
  EXPECT_EQ(got.records, (std::vector<std::string>{expected_new.Describe(), tail->Describe()}));
  EXPECT_FALSE(got.skipped);
  EXPECT_FALSE(got.failed);

  // A newer writer: the older reader takes its fields, passes over the rest and says so.
  NoteV2<kOldNoteType> new_note;
  new_note.a = 8;
  new_note.b = "eight";
  new_note.c = 2.5;
  new_note.d = "dee";
  {
    CSerializableStream out;
    ASSERT_TRUE(out.OpenWrite(path));
    ASSERT_TRUE(out.WriteRecord(new_note));
    ASSERT_TRUE(out.WriteRecord(*tail));
    ASSERT_TRUE(out.Close());
  }
  got = ReadAll(path);
  EXPECT_EQ(got.records, (std::vector<std::string>{"note 8 eight", tail->Describe()}));
  EXPECT_TRUE(got.skipped);
  EXPECT_FALSE(got.failed);
}

TEST(SerializableStream, RecordThatMisusesBlocksLeavesTheOthersIntact) {
  vd::test::TempDir dir;
  std::vector<std::unique_ptr<CSerializable>> records;
  records.push_back(MakeUnbalanced(0));
  records.push_back(MakeUnbalanced(1));
  auto shelf = std::make_unique<TestShelf>();
  shelf->records.push_back(MakeUnbalanced(0));
  shelf->records.push_back(MakeUnbalanced(1));
  shelf->records.push_back(MakePoint(1, "in the shelf"));
  records.push_back(std::move(shelf));
  records.push_back(MakePoint(2, "after the shelf"));
  ASSERT_TRUE(WriteRecords(dir.File("u.bin"), records, records.size()));

  ReadOutcome got = ReadAll(dir.File("u.bin"));
  EXPECT_EQ(got.records, Describe(records));
  EXPECT_FALSE(got.failed);
  EXPECT_FALSE(got.skipped);
}

// Every prefix of a valid file gives exactly the records that are whole in it; a prefix that
// ends inside a record is a failure, one that ends between records a clean end.
TEST(SerializableStream, StreamCutAtEveryOffset) {
  vd::test::TempDir dir;
  const std::string path = dir.File("cut.bin");
  auto records = SampleRecords();
  const std::vector<std::string> texts = Describe(records);
  std::vector<uint64_t> boundaries;
  for (size_t k = 0; k <= records.size(); ++k) {
    ASSERT_TRUE(WriteRecords(path, records, k));
    boundaries.push_back(vd::os::FileSize(path).value_or(0));
  }
  const uint64_t size = boundaries.back();
  ASSERT_GT(size, 100u);

  vd::os::File file;
  ASSERT_TRUE(file.Open(path, vd::os::File::Mode::ReadWrite));
  for (uint64_t cut = size + 1; cut-- > 0;) {
    ASSERT_TRUE(file.Truncate(cut));
    size_t whole = 0;
    while (whole + 1 < boundaries.size() && boundaries[whole + 1] <= cut) ++whole;
    const bool at_boundary = boundaries[whole] == cut;

    ReadOutcome got = ReadAll(path);
    std::vector<Status> expected(whole, Status::kRecord);
    expected.push_back(Status::kEnd);
    EXPECT_EQ(got.statuses, expected) << "cut at " << cut;
    EXPECT_EQ(got.records, std::vector<std::string>(texts.begin(), texts.begin() + whole))
        << "cut at " << cut;
    EXPECT_EQ(got.failed, !at_boundary) << "cut at " << cut;
  }
}

// Two points "alpha" with this layout (offsets in the file):
//   0 type, 4 record length 51, 8 marker, 9 block length 51, 13 id, 17 name length 5,
//   21 name, 26 lat, 34 lon, 42 flag, 43 colour (16 bytes); the second point starts at 59.
struct Corruption {
  const char* what;
  size_t offset;
  std::vector<uint8_t> bytes;
  std::vector<Status> statuses;
  bool failed;
};

std::vector<uint8_t> U32(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

TEST(SerializableStream, CorruptLengthsFailCleanly) {
  const std::vector<Status> framing_error = {Status::kEnd};
  const std::vector<Status> first_dropped = {Status::kSkipped, Status::kRecord, Status::kEnd};
  const Corruption cases[] = {
      {"record length 0", 4, U32(0), framing_error, true},
      {"record length negative", 4, U32(0xFFFFFFFF), framing_error, true},
      {"record length beyond the file", 4, U32(0x7FFFFFFF), framing_error, true},
      {"record length one beyond the file", 4, U32(51 + 59 + 1), framing_error, true},
      {"block marker", 8, {0x00}, framing_error, true},
      {"block length 0", 9, U32(0), framing_error, true},
      {"block length 4", 9, U32(4), framing_error, true},
      {"block length huge", 9, U32(0xFFFFFFFF), framing_error, true},
      {"block length one beyond its record", 9, U32(52), framing_error, true},
      {"string length huge", 17, U32(0xFFFFFFFF), first_dropped, false},
      {"string length one beyond its block", 17, U32(59 - 21 + 1), first_dropped, false},
  };
  vd::test::TempDir dir;
  const std::string path = dir.File("c.bin");
  std::vector<std::unique_ptr<CSerializable>> records;
  records.push_back(MakePoint(1, "alpha"));
  records.push_back(MakePoint(2, "alpha"));
  ASSERT_TRUE(WriteRecords(path, records, 2));
  std::string good;
  ASSERT_TRUE(vd::os::ReadWholeFile(path, good));
  ASSERT_EQ(good.size(), 118u);

  for (const Corruption& c : cases) {
    std::string bad = good;
    std::memcpy(bad.data() + c.offset, c.bytes.data(), c.bytes.size());
    ASSERT_TRUE(vd::os::SaveFileAtomically(path, bad));
    ReadOutcome got = ReadAll(path);
    EXPECT_EQ(got.statuses, c.statuses) << c.what;
    EXPECT_EQ(got.failed, c.failed) << c.what;
    if (!c.failed) {
      EXPECT_EQ(got.records, std::vector<std::string>{MakePoint(2, "alpha")->Describe()}) << c.what;
    }
  }

  // A block shorter than the fields is not an error: the fields past its end are absent and
  // the bytes after it, inside the record, are passed over.
  std::string short_block = good;
  std::memcpy(short_block.data() + 9, U32(9).data(), 4);
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, short_block));
  TestPoint only_id;
  only_id.id = 1;
  ReadOutcome got = ReadAll(path);
  EXPECT_EQ(got.records,
            (std::vector<std::string>{only_id.Describe(), MakePoint(2, "alpha")->Describe()}));
  EXPECT_TRUE(got.skipped);
  EXPECT_FALSE(got.failed);
}

// Reading takes shortcuts for what lies wholly in the buffer and the long way for what straddles
// its end. Records read the same wherever the end of the buffer falls in them: intact ones of
// every kind, and damaged ones.
TEST(SerializableStream, SameResultsWhereverTheBufferEnds) {
  // The records, and what a reader makes of them.
  std::vector<std::unique_ptr<CSerializable>> records;
  std::vector<std::string> read;
  records.push_back(MakePoint(1, "alpha"));
  read.push_back(MakePoint(1, "alpha")->Describe());
  auto old_note = std::make_unique<NoteV1<kNewNoteType>>();
  old_note->a = 7;
  records.push_back(std::move(old_note));
  NoteV2<kNewNoteType> new_reader;
  new_reader.a = 7;
  read.push_back(new_reader.Describe());
  auto new_note = std::make_unique<NoteV2<kOldNoteType>>();
  new_note->a = 8;
  new_note->c = 2.5;
  records.push_back(std::move(new_note));
  read.push_back("note 8 b default");
  records.push_back(MakeNest<1>());
  read.push_back("nest 1 2 -1 -1");
  records.push_back(MakeNest<3>());
  read.push_back("nest 1 2 -1 4");
  records.push_back(std::make_unique<Stranger>(20));
  for (int mode : {0, 1}) {
    records.push_back(MakeUnbalanced(mode));
    read.push_back(MakeUnbalanced(mode)->Describe());
  }
  auto shelf = std::make_unique<TestShelf>();
  shelf->records.push_back(MakePoint(2, "on the shelf"));
  shelf->records.push_back(MakeTrack(2));
  read.push_back(shelf->Describe());
  records.push_back(std::move(shelf));
  auto bin = std::make_unique<TestBin>();
  bin->records.push_back(MakePoint(4, "in the bin"));
  bin->records.push_back(MakeNest<3>());
  read.push_back("bin { " + MakePoint(4, "in the bin")->Describe() + "; nest 1 2 -1 4; }");
  records.push_back(std::move(bin));
  records.push_back(MakeTrack(3));
  read.push_back(MakeTrack(3)->Describe());
  records.push_back(MakePoint(3, ""));
  read.push_back(MakePoint(3, "")->Describe());

  // Offsets in the first point as laid out in CorruptLengthsFailCleanly.
  struct Damage {
    const char* what;
    size_t offset;
    std::vector<uint8_t> bytes;
    std::vector<std::string> read;
    bool failed;
  };
  const Damage damages[] = {
      {"intact", 0, {}, read, false},
      {"flag byte 2, read as true", 42, {2}, read, false},
      {"string length one beyond its block", 17, U32(59 - 21 + 1),
       std::vector<std::string>(read.begin() + 1, read.end()), false},
      {"block length one beyond its record", 9, U32(52), {}, true},
  };

  vd::test::TempDir dir;
  const std::string path = dir.File("slide.bin");
  std::string intact;
  ASSERT_TRUE(WriteRecords(path, records, records.size()));
  ASSERT_TRUE(vd::os::ReadWholeFile(path, intact));
  ASSERT_GT(intact.size(), 200u);
  const auto put = [](std::string& bytes, size_t offset, const std::vector<uint8_t>& value) {
    std::copy(value.begin(), value.end(), bytes.begin() + static_cast<ptrdiff_t>(offset));
  };
  // Another point before them moves them in the file: 54 bytes and its name, with the lengths
  // of record, block and name at 4, 9 and 17 and the name at 21.
  std::string point;
  {
    std::vector<std::unique_ptr<CSerializable>> first;
    first.push_back(MakePoint(0, ""));
    ASSERT_TRUE(WriteRecords(path, first, 1));
    ASSERT_TRUE(vd::os::ReadWholeFile(path, point));
    ASSERT_EQ(point.size(), 54u);
  }
  // The outcome of reading the damaged records behind a point with a name of name_length bytes.
  const auto read_behind = [&](size_t name_length, const Damage& damage) {
    std::string bytes = point;
    bytes.insert(21, name_length, 'm');
    const auto body_length = static_cast<uint32_t>(bytes.size() - 8);
    put(bytes, 4, U32(body_length));
    put(bytes, 9, U32(body_length));
    put(bytes, 17, U32(static_cast<uint32_t>(name_length)));
    const size_t others = bytes.size();
    bytes += intact;
    put(bytes, others + damage.offset, damage.bytes);
    // Rewritten in place: emptying a file before writing it again can make the file system
    // flush it to disk at every round.
    vd::os::File file;
    EXPECT_TRUE(file.Open(path, vd::os::File::Mode::ReadWrite) &&
                file.PWrite(bytes.data(), bytes.size(), 0) && file.Truncate(bytes.size()));
    file.Close();
    ReadOutcome got = ReadAll(path);
    EXPECT_EQ(got.statuses.front(), Status::kRecord);
    got.statuses.erase(got.statuses.begin());
    if (!got.records.empty()) got.records.erase(got.records.begin());
    return got;
  };

  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    // Far from the buffer's end: the whole file is in the buffer.
    const ReadOutcome expected = read_behind(0, damage);
    EXPECT_EQ(expected.records, damage.read);
    EXPECT_EQ(expected.failed, damage.failed);
    EXPECT_EQ(expected.skipped, !damage.failed);
    // The buffer's end at every byte of the others, from their end to their start.
    const size_t last = CSerializableStream::kBufferSize - point.size();
    for (size_t name_length = last - intact.size(); name_length <= last; ++name_length) {
      const ReadOutcome got = read_behind(name_length, damage);
      const size_t at = last - name_length;
      ASSERT_EQ(got.statuses, expected.statuses) << "buffer ends " << at << " bytes in";
      ASSERT_EQ(got.records, expected.records) << "buffer ends " << at << " bytes in";
      ASSERT_EQ(got.failed, expected.failed) << "buffer ends " << at << " bytes in";
      ASSERT_EQ(got.skipped, expected.skipped) << "buffer ends " << at << " bytes in";
    }
  }
}

TEST(SerializableStream, WrongMarkerFailsEveryLaterRead) {
  vd::test::TempDir dir;
  const std::string path = dir.File("m.bin");
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, std::string("\x42\x09\0\0\0\x01\x02\x03\x04", 9)));
  CSerializableStream in;
  ASSERT_TRUE(in.OpenRead(path));
  {
    CSerializableStream::Block block(in);
    EXPECT_FALSE(block.ok());
    int32_t value = 5;
    EXPECT_FALSE(in.ExchangeRaw(&value, sizeof value));
    EXPECT_EQ(value, 5);
  }
  CSerializableStream::Block again(in);
  EXPECT_FALSE(again.ok());
  EXPECT_TRUE(in.Failed());
  EXPECT_EQ(in.ReadRecord().status, Status::kEnd);
}

// A tag is checked on reading: only the stored value passes, and a block that ends before it
// holds none. A path is a string: length, then its bytes as they are.
TEST(SerializableStream, TagsCheckAndPathsRoundTrip) {
  vd::test::TempDir dir;
  const std::string path = dir.File("t.bin");
  constexpr uint32_t kTag = 0x8E5672CE;
  std::string chart = "/charts/Solent \xc3\xa9t\xc3\xa9.qct";
  {
    CSerializableStream out;
    ASSERT_TRUE(out.OpenWrite(path));
    {
      CSerializableStream::Block block(out);
      ASSERT_TRUE(out.ExchangeTag(kTag));
      ASSERT_TRUE(out.ExchangePath(chart));
      ASSERT_TRUE(out.ExchangeTag(kTag));
    }
    {
      CSerializableStream::Block empty(out);
    }
    ASSERT_TRUE(out.Close());
  }
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(path, bytes));
  const std::string length("\x18\0\0\0", 4);  // 24 bytes of path
  EXPECT_EQ(bytes.substr(5, 4 + 4 + 24 + 4), "\xce\x72\x56\x8e" + length + chart + "\xce\x72\x56\x8e");

  const struct {
    uint32_t first, second;
    bool first_ok, second_ok;
  } cases[] = {
      {kTag, kTag, true, true},
      {kTag, kTag ^ 1, true, false},
      {0xCE72568E, kTag, false, true},  // the same bytes the other way round
  };
  for (const auto& c : cases) {
    CSerializableStream in;
    ASSERT_TRUE(in.OpenRead(path));
    {
      CSerializableStream::Block block(in);
      ASSERT_TRUE(block.ok());
      EXPECT_EQ(in.ExchangeTag(c.first), c.first_ok);
      std::string read = "stale";
      ASSERT_TRUE(in.ExchangePath(read));
      EXPECT_EQ(read, chart);
      EXPECT_EQ(in.ExchangeTag(c.second), c.second_ok);
    }
    CSerializableStream::Block empty(in);
    ASSERT_TRUE(empty.ok());
    EXPECT_FALSE(in.ExchangeTag(kTag)) << "no tag in an empty block";
    std::string kept = "kept";
    EXPECT_TRUE(in.ExchangePath(kept));  // an absent path leaves the text
    EXPECT_EQ(kept, "kept");
  }
}

// Elements stored with another size than the reader's: larger ones are cut (and the rest
// passed over), smaller ones fill the front of each slot.
template <size_t kSize>
struct Stored {
  uint8_t bytes[kSize];
};

template <size_t kSize>
void CheckArrayOfStoredSize(bool expect_skipped) {
  SCOPED_TRACE(kSize);
  vd::test::TempDir dir;
  const std::string path = dir.File("a.bin");
  Stored<kSize> written[3];
  for (size_t i = 0; i < 3; ++i) std::memset(written[i].bytes, int(0x10 * (i + 1)), kSize);
  int32_t sentinel = 0x5E471E1;
  {
    CSerializableStream out;
    ASSERT_TRUE(out.OpenWrite(path));
    {
      CSerializableStream::Block block(out);
      ASSERT_TRUE(out.ExchangeArray(written, 3));
      ASSERT_TRUE(out.ExchangeRaw(&sentinel, sizeof sentinel));
    }
    ASSERT_TRUE(out.Close());
  }
  Stored<32> slots[3];
  std::memset(slots, 0xEE, sizeof slots);
  CSerializableStream in;
  ASSERT_TRUE(in.OpenRead(path));
  CSerializableStream::Block block(in);
  ASSERT_TRUE(in.ExchangeArray(slots, 3));
  int32_t got_sentinel = 0;
  ASSERT_TRUE(in.ExchangeRaw(&got_sentinel, sizeof got_sentinel));
  EXPECT_EQ(got_sentinel, sentinel);
  for (size_t i = 0; i < 3; ++i) {
    for (size_t b = 0; b < 32; ++b) {
      ASSERT_EQ(slots[i].bytes[b], b < kSize ? 0x10 * (i + 1) : 0xEE) << i << " " << b;
    }
  }
  EXPECT_EQ(in.Skipped(), expect_skipped);
}

TEST(SerializableStream, ArrayElementSizeDiffers) {
  CheckArrayOfStoredSize<40>(true);
  CheckArrayOfStoredSize<24>(false);
  CheckArrayOfStoredSize<32>(false);
}

TEST(SerializableStream, ColoursRoundTripAndBadChannelsClamp) {
  vd::test::TempDir dir;
  const std::string path = dir.File("col.bin");
  std::vector<uint32_t> colours;
  for (uint32_t v = 0; v < 256; ++v)
    colours.push_back(v << 24 | v << 16 | (255 - v) << 8 | (v ^ 0x5A));
  const float bad[4] = {std::numeric_limits<float>::quiet_NaN(), -3.0f, 1e30f, 0.5f};
  {
    CSerializableStream out;
    ASSERT_TRUE(out.OpenWrite(path));
    {
      CSerializableStream::Block block(out);
      for (uint32_t& c : colours) ASSERT_TRUE(out.ExchangeColour(c));
      float raw[4];
      std::memcpy(raw, bad, sizeof raw);
      ASSERT_TRUE(out.ExchangeRaw(raw, sizeof raw));
    }
    ASSERT_TRUE(out.Close());
  }
  CSerializableStream in;
  ASSERT_TRUE(in.OpenRead(path));
  CSerializableStream::Block block(in);
  for (uint32_t expected : colours) {
    uint32_t c = 0;
    ASSERT_TRUE(in.ExchangeColour(c));
    ASSERT_EQ(c, expected);
  }
  uint32_t c = 0;
  ASSERT_TRUE(in.ExchangeColour(c));
  EXPECT_EQ(c, 0x7F0000FFu);  // red NaN -> 0, green negative -> 0, blue huge -> 255, alpha 0.5
  // At the block end the field is absent and the colour keeps its value.
  ASSERT_TRUE(in.ExchangeColour(c));
  EXPECT_EQ(c, 0x7F0000FFu);
}

TEST(SerializableStream, FailedWriteLeavesTheOldFile) {
  vd::test::TempDir dir;
  const std::string path = dir.File("keep.bin");
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, "old contents"));
  {
    // A string a reader would refuse fails the save.
    CSerializableStream out;
    ASSERT_TRUE(out.OpenWrite(path));
    auto point = MakePoint(1, std::string(CSerializableStream::kMaxStringLength + 1, 'y'));
    EXPECT_FALSE(out.WriteRecord(*point));
    EXPECT_TRUE(out.Failed());
    EXPECT_FALSE(out.WriteRecord(*MakePoint(2, "later")));
    EXPECT_FALSE(out.Close());
  }
  {
    // A stream given up before Close.
    CSerializableStream out;
    ASSERT_TRUE(out.OpenWrite(path));
    ASSERT_TRUE(out.WriteRecord(*MakePoint(3, "never committed")));
  }
  std::string contents;
  ASSERT_TRUE(vd::os::ReadWholeFile(path, contents));
  EXPECT_EQ(contents, "old contents");
  std::vector<vd::os::DirEntry> entries;
  ASSERT_TRUE(vd::os::ListFolder(dir.path(), entries));
  EXPECT_EQ(entries.size(), 1u);  // no temporary file left behind
}

TEST(SerializableStream, RegistrationLeavesTheRegistryWhenDestroyed) {
  EXPECT_NE(CSerializable::Type::Find(kPointType), nullptr);
  EXPECT_EQ(CSerializable::Type::Find(kStrangerType), nullptr);
  {
    // The newest registration of an id wins while it exists.
    const CSerializable::TypeOf<TestTrack> shadow{kPointType};
    EXPECT_EQ(CSerializable::Type::Find(kPointType), &shadow);
  }
  EXPECT_EQ(CSerializable::Type::Find(kPointType), &TestPoint::cType);
}

// A record of kBytes bytes aligned to kAlign, filled with one value.
template <size_t kBytes, size_t kAlign>
class Filler : public CSerializable {
 public:
  explicit Filler(uint8_t fill) : fill_(fill) { std::memset(bytes_, fill, sizeof bytes_); }
  bool Serialize(CSerializableStream&) override { return true; }
  bool Intact() const {
    return reinterpret_cast<uintptr_t>(this) % kAlign == 0 &&
           std::all_of(std::begin(bytes_), std::end(bytes_), [&](uint8_t b) { return b == fill_; });
  }

 private:
  uint8_t fill_;
  alignas(kAlign) uint8_t bytes_[kBytes];
};

// Records take their memory from short per-thread lists of freed records, or from the heap.
// Whatever the order of creation and destruction and the thread that frees them, records alive
// at the same time never share memory and keep their contents and alignment.
template <size_t kBytes, size_t kAlign = alignof(std::max_align_t)>
void CheckRecordMemory() {
  using Record = Filler<kBytes, kAlign>;
  SCOPED_TRACE(sizeof(Record));
  std::vector<std::unique_ptr<CSerializable>> live;
  uint8_t fill = 0;
  auto add = [&](int count) {
    for (int i = 0; i < count; ++i) live.push_back(std::make_unique<Record>(++fill));
  };
  auto drop_every = [&](size_t step) {
    std::vector<std::unique_ptr<CSerializable>> dropped;
    for (size_t i = 0; i < live.size(); i += step) dropped.push_back(std::move(live[i]));
    std::erase(live, nullptr);
    return dropped;
  };

  add(100);  // more than a list keeps
  drop_every(2);
  add(100);
  std::thread([dropped = drop_every(3)]() mutable { dropped.clear(); }).join();
  add(100);

  std::vector<uintptr_t> starts;
  for (const auto& r : live) {
    ASSERT_TRUE(static_cast<const Record&>(*r).Intact());
    starts.push_back(reinterpret_cast<uintptr_t>(r.get()));
  }
  std::sort(starts.begin(), starts.end());
  for (size_t i = 1; i < starts.size(); ++i) ASSERT_GE(starts[i] - starts[i - 1], sizeof(Record));
}

TEST(SerializableStream, RecordMemoryIsReusedSafely) {
  static_assert(sizeof(Filler<1, 1>) == 16 && sizeof(Filler<88, 8>) == 104 &&
                sizeof(Filler<96, 8>) == 112 && sizeof(Filler<240, 16>) == 256);
  CheckRecordMemory<1, 1>();    // the smallest size kept
  CheckRecordMemory<88, 8>();   // kept in one list ...
  CheckRecordMemory<96, 8>();   // ... with these
  CheckRecordMemory<240>();     // the largest size kept
  CheckRecordMemory<300>();     // too large to keep
  CheckRecordMemory<40, 64>();  // over-aligned
}

}  // namespace
