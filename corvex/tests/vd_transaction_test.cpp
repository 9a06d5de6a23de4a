#include "corvex/vd_transaction.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "corvex/tests/api_test_support.h"
#include "platform/os/files.h"
#include "platform/os/profile_store.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::WireReader;
using vd::test::WireWriter;

class TransactionTest : public ::testing::Test {
 protected:
  std::string FileBytes() const {
    std::string bytes;
    vd::os::ReadWholeFile(path, bytes);
    return bytes;
  }
  void SetFile(const std::string& bytes) const { ASSERT_TRUE(vd::os::SaveFileAtomically(path, bytes)); }

  vd::test::TempDir dir;
  std::string path = dir.File("VDAPI2.dat");
};

TEST_F(TransactionTest, EveryFieldKindRoundTripsWithItsWireBytes) {
  {
    CVD_transaction t(path);
    EXPECT_EQ(t.WriteInt(-5), kApiOk);
    EXPECT_EQ(t.WriteUInt(0xFFFFFFFEu), kApiOk);
    EXPECT_EQ(t.WriteInt(2), kApiOk);  // read back as a boolean
    EXPECT_EQ(t.WriteDouble(-1234.5678), kApiOk);
    EXPECT_EQ(t.WriteDouble(1.1), kApiOk);  // read back as a float
    EXPECT_EQ(t.WriteHandle(static_cast<ApiHandle>(0x01020304)), kApiOk);
    EXPECT_EQ(t.WriteString("Ærø"), kApiOk);
    EXPECT_EQ(t.WriteString(""), kApiOk);
  }
  const std::string expected = WireWriter()
                                   .I32(-5)
                                   .I32(-2)
                                   .I32(2)
                                   .F64(-1234.5678)
                                   .F64(1.1)
                                   .I32(0x01020304)
                                   .Str("\xC6r\xF8")
                                   .I32(0)
                                   .bytes();
  EXPECT_EQ(FileBytes(), expected);

  CVD_transaction t(path);
  int32_t i = 0;
  uint32_t u = 0;
  bool b = false;
  double d = 0;
  float f = 0;
  ApiHandle h{};
  std::string s1, s2 = "stale";
  EXPECT_EQ(t.ReadInt(i), kApiOk);
  EXPECT_EQ(t.ReadUInt(u), kApiOk);
  EXPECT_EQ(t.ReadBool(b), kApiOk);
  EXPECT_EQ(t.ReadDouble(d), kApiOk);
  EXPECT_EQ(t.ReadFloat(f), kApiOk);
  EXPECT_EQ(t.ReadHandle(h), kApiOk);
  EXPECT_EQ(t.ReadString(s1), kApiOk);
  EXPECT_EQ(t.ReadString(s2), kApiOk);
  EXPECT_EQ(i, -5);
  EXPECT_EQ(u, 0xFFFFFFFEu);
  EXPECT_TRUE(b);
  EXPECT_EQ(d, -1234.5678);
  EXPECT_EQ(f, 1.1f);
  EXPECT_EQ(h, static_cast<ApiHandle>(0x01020304));
  EXPECT_EQ(s1, "Ærø");
  EXPECT_EQ(s2, "");
  // Nothing is left: the next field is a short transfer.
  EXPECT_EQ(t.ReadInt(i), kApiIoError);
}

TEST_F(TransactionTest, StringLengthsAreCheckedAgainstLimitAndBytes) {
  const std::string longest(CVD_transaction::kMaxStringLength, 'x');
  struct Case {
    const char* what;
    std::string bytes;
    int result;
    std::string text;
  };
  const Case cases[] = {
      {"zero length", WireWriter().I32(0).bytes(), kApiOk, ""},
      {"longest allowed", WireWriter().Str(longest).bytes(), kApiOk, longest},
      {"one beyond the limit", WireWriter().I32(100000).bytes() + longest + "x", kApiIoError, ""},
      {"negative length", WireWriter().I32(-1).bytes() + "abc", kApiIoError, ""},
      {"text cut short", WireWriter().I32(10).bytes() + "abc", kApiIoError, ""},
      {"length cut short", std::string("\x05\x00", 2), kApiIoError, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetFile(c.bytes);
    CVD_transaction t(path);
    std::string text;
    EXPECT_EQ(t.ReadString(text), c.result);
    if (c.result == kApiOk) {
      EXPECT_EQ(text, c.text);
    }
  }

  // A text the reader would refuse is not written either.
  CVD_transaction t(path);
  EXPECT_EQ(t.WriteString(longest + "x"), kApiIoError);
}

TEST_F(TransactionTest, ShortNumbersFail) {
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {{"int of 3 bytes", std::string(3, '\1')}, {"double of 7 bytes", std::string(7, '\1')}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetFile(c.bytes);
    CVD_transaction t(path);
    int32_t i = 0;
    double d = 0;
    EXPECT_EQ(c.bytes.size() == 3 ? t.ReadInt(i) : t.ReadDouble(d), kApiIoError);
  }
}

TEST_F(TransactionTest, FirstWriteAfterReadsLeavesOnlyTheResults) {
  SetFile(WireWriter().Str("Harbour").F64(50.5).F64(-4.25).I32(7).bytes());
  {
    CVD_transaction t(path);
    std::string name;
    double lat = 0, lon = 0;
    int32_t symbol = 0;
    ASSERT_EQ(t.ReadString(name), kApiOk);
    ASSERT_EQ(t.ReadDouble(lat), kApiOk);
    ASSERT_EQ(t.ReadDouble(lon), kApiOk);
    ASSERT_EQ(t.ReadInt(symbol), kApiOk);
    EXPECT_EQ(t.WriteHandle(static_cast<ApiHandle>(42)), kApiOk);
  }
  EXPECT_EQ(FileBytes(), WireWriter().I32(42).bytes());

  // A read after writing starts at the beginning of what was written.
  CVD_transaction t(path);
  ASSERT_EQ(t.WriteInt(7), kApiOk);
  ASSERT_EQ(t.WriteInt(8), kApiOk);
  int32_t value = 0;
  ASSERT_EQ(t.ReadInt(value), kApiOk);
  EXPECT_EQ(value, 7);
}

// The reply is never written through a link planted at the file's name: the write fails and
// what the link points to is untouched.
TEST_F(TransactionTest, ReplyIsNotWrittenThroughALink) {
  const std::string victim = dir.File("victim");
  ASSERT_TRUE(vd::os::SaveFileAtomically(victim, "kept"));
  ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);
  {
    CVD_transaction t(path);
    EXPECT_EQ(t.WriteInt(7), kApiIoError);
  }
  std::string kept;
  ASSERT_TRUE(vd::os::ReadWholeFile(victim, kept));
  EXPECT_EQ(kept, "kept");
}

TEST_F(TransactionTest, MissingFileFailsEveryRead) {
  CVD_transaction t(dir.File("absent.dat"));
  int32_t i = 0;
  std::string s;
  EXPECT_EQ(t.ReadInt(i), kApiIoError);
  EXPECT_EQ(t.ReadString(s), kApiIoError);
}

TEST_F(TransactionTest, FileNameComesFromTheTempFolderValue) {
  vd::test::TempDir config;
  const vd::test::ScopedEnv env("XDG_CONFIG_HOME", config.path());

  // Without the value every operation of the program's transaction fails.
  CVD_transaction::InitApiTransactionFileName();
  EXPECT_EQ(CVD_transaction::ApiTransactionFileName(), "");
  {
    CVD_transaction t;
    int32_t i = 0;
    EXPECT_EQ(t.WriteInt(1), kApiIoError);
    EXPECT_EQ(t.ReadInt(i), kApiIoError);
  }

  ASSERT_TRUE(vd::os::ProfileStore("Software\\Vardune").SetString("", "temp_folder", dir.path()));
  CVD_transaction::InitApiTransactionFileName();
  EXPECT_EQ(CVD_transaction::ApiTransactionFileName(), path);
  {
    CVD_transaction t;
    EXPECT_EQ(t.WriteInt(1), kApiOk);
  }
  EXPECT_EQ(FileBytes(), WireWriter().I32(1).bytes());
}

}  // namespace
