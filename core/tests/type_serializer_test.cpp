#include "core/type_serializer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/type_file_in.h"
#include "core/type_file_out.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(v);
  return bytes;
}

class TypeSerializerTest : public ::testing::Test {
 protected:
  std::string Written(bool wide, const std::function<void(CTypeSerializer&)>& fields) {
    const std::string path = dir_.File("out.bin");
    {
      CTypeFileOut out(path);
      out.SetWideStrings(wide);
      fields(out);
      EXPECT_TRUE(out.Close());
    }
    std::string bytes;
    EXPECT_TRUE(vd::os::ReadWholeFile(path, bytes));
    return bytes;
  }

  std::string Fixture(const std::string& bytes) {
    const std::string path = dir_.File("in.bin");
    EXPECT_TRUE(vd::os::SaveFileAtomically(path, bytes));
    return path;
  }

  vd::test::TempDir dir_;
};

TEST_F(TypeSerializerTest, FieldsAreWrittenLittleEndianWithWideOrNarrowStrings) {
  struct Case {
    const char* name;
    bool wide;
    std::function<void(CTypeSerializer&)> fields;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"wide ab", true, [](CTypeSerializer& s) { s.WriteString("ab"); },
       Bytes({2, 0, 0, 0, 0x61, 0, 0x62, 0})},
      {"wide e-acute", true, [](CTypeSerializer& s) { s.WriteString("\xC3\xA9"); },
       Bytes({1, 0, 0, 0, 0xE9, 0xFF})},
      {"narrow ab", false, [](CTypeSerializer& s) { s.WriteString("ab"); },
       Bytes({2, 0, 0, 0, 0x61, 0x62})},
      {"narrow euro", false, [](CTypeSerializer& s) { s.WriteString("\xE2\x82\xAC"); },
       Bytes({1, 0, 0, 0, 0x80})},
      {"empty", true, [](CTypeSerializer& s) { s.WriteString(""); }, Bytes({0, 0, 0, 0})},
      {"tag", true, [](CTypeSerializer& s) { s.Tag(0x319E8613); }, Bytes({0x13, 0x86, 0x9E, 0x31})},
      {"numbers", true,
       [](CTypeSerializer& s) {
         int64_t big = -2;
         double half = 0.5;
         float one = 1.0f;
         s.Int64(big);
         s.Double(half);
         s.Float(one);
       },
       Bytes({0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0,    0,
              0,    0,    0,    0,    0xE0, 0x3F, 0,    0,    0x80, 0x3F})},
  };
  for (const Case& c : cases) EXPECT_EQ(Written(c.wide, c.fields), c.bytes) << c.name;
}

TEST_F(TypeSerializerTest, ReadsStringsAndRefusesOverlongOnes) {
  struct Case {
    const char* name;
    bool wide;
    std::string bytes;
    bool ok;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"wide", true, Bytes({2, 0, 0, 0, 0x61, 0, 0x62, 0}), true, "ab"},
      {"sign-extended byte", true, Bytes({1, 0, 0, 0, 0xE9, 0xFF}), true, "\xC3\xA9"},
      {"high byte ignored", true, Bytes({1, 0, 0, 0, 0xE9, 0x00}), true, "\xC3\xA9"},
      {"narrow", false, Bytes({3, 0, 0, 0, 0x61, 0x80, 0x62}), true,
       "a\xE2\x82\xAC"
       "b"},
      {"characters missing", true, Bytes({3, 0, 0, 0, 0x61, 0, 0x62, 0}), false, ""},
      {"length cut", true, Bytes({3, 0}), false, ""},
      {"too long", true, Bytes({0xA1, 0x86, 0x01, 0x00}) + std::string(8, 'a'), false,
       ""},  // 100,001
      {"negative", true, Bytes({0xFF, 0xFF, 0xFF, 0xFF}) + std::string(8, 'a'), false, ""},
  };
  for (const Case& c : cases) {
    CTypeFileIn in(Fixture(c.bytes));
    in.SetWideStrings(c.wide);
    std::string text = "previous";
    EXPECT_EQ(in.String(text), c.ok) << c.name;
    EXPECT_EQ(in.ok(), c.ok) << c.name;
    EXPECT_EQ(text, c.text) << c.name;
  }

  // The longest string taken.
  std::string longest = Bytes({0xA0, 0x86, 0x01, 0x00});  // 100,000
  longest += std::string(2 * CTypeSerializer::kMaxStringLength, 'z');
  CTypeFileIn in(Fixture(longest));
  std::string text;
  EXPECT_TRUE(in.ReadString(text));
  EXPECT_EQ(text.size(), CTypeSerializer::kMaxStringLength);
  EXPECT_EQ(in.position(), static_cast<int64_t>(longest.size()));
}

TEST_F(TypeSerializerTest, TagMismatchKeepsOkButShortReadsStick) {
  CTypeFileIn in(Fixture(Bytes({1, 0, 0, 0, 2, 0, 0, 0, 9})));
  EXPECT_FALSE(in.Tag(5));
  EXPECT_TRUE(in.ok());
  EXPECT_TRUE(in.Tag(2));
  EXPECT_EQ(in.position(), 8);
  int32_t value = 0;
  EXPECT_FALSE(in.Int32(value));  // one byte left
  EXPECT_FALSE(in.ok());
  char byte = 0;
  EXPECT_FALSE(in.Bytes(&byte, 1));  // later reads fail too
  EXPECT_FALSE(in.ok());

  CTypeFileIn missing(dir_.File("absent.bin"));
  EXPECT_FALSE(missing.ok());
  EXPECT_FALSE(missing.Tag(0));
}

TEST_F(TypeSerializerTest, RecordRoundTripsThroughFiles) {
  // One layout for both directions, as records use it.
  struct Record {
    int32_t count = 0;
    int64_t total = 0;
    double lat = 0;
    float scale = 0;
    std::string title, host;
    char raw[5] = {};
    bool Exchange(CTypeSerializer& s) {
      if (!s.Tag(0x319E8613)) return false;
      s.Int32(count);
      s.String(title);
      s.Int64(total);
      s.Double(lat);
      s.Float(scale);
      s.Bytes(raw, sizeof raw);
      s.SetWideStrings(false);
      s.String(host);
      return s.ok();
    }
  };
  Record out{7,
             1LL << 40,
             -33.865143,
             0.25f,
             "Caf\xC3\xA9 \xE2\x82\xAC",
             "maps.example:8080",
             {'a', 0, 'b', '\xFF', 'c'}};
  const std::string path = dir_.File("record.bin");
  int64_t written = 0;
  {
    CTypeFileOut file(path);
    ASSERT_TRUE(out.Exchange(file));
    written = file.position();
    ASSERT_TRUE(file.Close());
  }
  Record in;
  CTypeFileIn file(path);
  ASSERT_TRUE(in.Exchange(file));
  EXPECT_EQ(file.position(), written);
  EXPECT_EQ(in.count, out.count);
  EXPECT_EQ(in.total, out.total);
  EXPECT_EQ(in.lat, out.lat);
  EXPECT_EQ(in.scale, out.scale);
  EXPECT_EQ(in.title, out.title);
  EXPECT_EQ(in.host, out.host);
  EXPECT_EQ(std::string(in.raw, 5), std::string(out.raw, 5));
  EXPECT_EQ(vd::os::FileSize(path), static_cast<uint64_t>(written));
}

TEST_F(TypeSerializerTest, FailedOutputLeavesTheOldFile) {
  const std::string path = dir_.File("keep.bin");
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, "old"));
  {
    CTypeFileOut out(path);
    int32_t value = 1;
    out.Int32(value);
    EXPECT_FALSE(out.ReadInt32(value));  // a file being written cannot be read
    EXPECT_FALSE(out.ok());
    EXPECT_FALSE(out.Close());
  }
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(path, bytes));
  EXPECT_EQ(bytes, "old");
  std::vector<vd::os::DirEntry> entries;
  ASSERT_TRUE(vd::os::ListFolder(dir_.path(), entries));
  EXPECT_EQ(entries.size(), 1u);  // no temporary file left

  CTypeFileOut nowhere(dir_.File("no/such/folder/file.bin"));
  EXPECT_FALSE(nowhere.ok());
}

}  // namespace
