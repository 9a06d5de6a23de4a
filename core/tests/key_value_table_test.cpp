#include "core/key_value_table.h"

#include <gtest/gtest.h>

#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

TEST(KeyValueTableTest, SplitsAtTheFirstEqualsSign) {
  vd::test::TempDir dir;
  std::string path = dir.File("chart.jpr");
  ASSERT_TRUE(vd::os::SaveFileAtomically(path,
                                         "// comment = ignored\n"
                                         "; also = ignored\n"
                                         "no equals sign here\n"
                                         "rp1 =  50.5, -1.25, 10, 20\r\n"
                                         "Key = a=b\n"
                                         "proj=+proj=utm +zone=30 +datum=WGS84\n"
                                         "  spaced key\t = value with trailing blank \n"
                                         "empty=\n"
                                         "RP1 = second entry with the same key\n"
                                         "last=no line feed"));
  CKeyValueTable table;
  ASSERT_TRUE(table.Load(path));
  const std::pair<const char*, const char*> cases[] = {
      {"rp1", "50.5, -1.25, 10, 20"},  // the first of two keys equal without case
      {"KEY", "a=b"},                  // a value may hold '='
      {"proj", "+proj=utm +zone=30 +datum=WGS84"},
      {"  spaced key", "value with trailing blank "},
      {"empty", ""},
      {"last", "no line feed"},
  };
  for (const auto& [key, value] : cases) {
    const std::string* found = table.Lookup(key);
    ASSERT_NE(found, nullptr) << key;
    EXPECT_EQ(*found, value) << key;
  }
  EXPECT_EQ(table.Lookup("// comment"), nullptr);
  EXPECT_EQ(table.Lookup("; also"), nullptr);
  EXPECT_EQ(table.Lookup("no equals sign here"), nullptr);
  EXPECT_EQ(table.Lookup("spaced key"), nullptr);  // leading blanks of a key are part of it

  table.Clear();
  EXPECT_EQ(table.Lookup("rp1"), nullptr);
}

TEST(KeyValueTableTest, LoadReplacesAndReportsMissingFiles) {
  vd::test::TempDir dir;
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("a"), "x=1\n"));
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("b"), "y=2\n"));
  CKeyValueTable table;
  ASSERT_TRUE(table.Load(dir.File("a")));
  ASSERT_TRUE(table.Load(dir.File("b")));
  EXPECT_EQ(table.Lookup("x"), nullptr);
  ASSERT_NE(table.Lookup("y"), nullptr);
  EXPECT_FALSE(table.Load(dir.File("missing")));
  EXPECT_EQ(table.Lookup("y"), nullptr);
}

TEST(KeyValueTableTest, ReadsLinesOfAnyLength) {
  vd::test::TempDir dir;
  std::string long_value(5000, 'v');
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("long"), "k=" + long_value + "\nnext=1\n"));
  CKeyValueTable table;
  ASSERT_TRUE(table.Load(dir.File("long")));
  ASSERT_NE(table.Lookup("k"), nullptr);
  EXPECT_EQ(*table.Lookup("k"), long_value);
  EXPECT_NE(table.Lookup("next"), nullptr);
}

}  // namespace
