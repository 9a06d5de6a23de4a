// Saves of several files together: all or none are replaced, and a commit cut short after its
// journal is finished by the next Recover.
#include "platform/os/atomic_file_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

using vd::os::AtomicFileSet;

class AtomicFileSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    targets = {dir.File("a.shp"), dir.File("a.shx"), dir.File("a.dbf")};
    for (const std::string& target : targets) Put(target, "old");
  }
  void Put(const std::string& path, const std::string& bytes) {
    ASSERT_TRUE(vd::os::SaveFileAtomically(path, bytes));
  }
  std::string Get(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(vd::os::ReadWholeFile(path, bytes)) << path;
    return bytes;
  }
  std::vector<std::string> Names() {
    std::vector<vd::os::DirEntry> entries;
    EXPECT_TRUE(vd::os::ListFolder(dir.path(), entries));
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name);
    return names;
  }
  std::vector<std::string> Contents() {
    std::vector<std::string> contents;
    for (const std::string& target : targets) contents.push_back(Get(target));
    return contents;
  }

  vd::test::TempDir dir;
  std::vector<std::string> targets;
  const std::vector<std::string> kOnlyTheSet{"a.dbf", "a.shp", "a.shx"};
};

TEST_F(AtomicFileSetTest, CommitReplacesEveryFileAndDiscardNone) {
  {
    AtomicFileSet set(targets);
    ASSERT_TRUE(set.Open());
    for (size_t i = 0; i < targets.size(); ++i) Put(set.TempPath(i), "new " + std::to_string(i));
    EXPECT_EQ(Contents(), (std::vector<std::string>{"old", "old", "old"}));
    ASSERT_TRUE(set.Commit());
  }
  EXPECT_EQ(Contents(), (std::vector<std::string>{"new 0", "new 1", "new 2"}));
  EXPECT_EQ(Names(), kOnlyTheSet);
  {
    AtomicFileSet set(targets);
    ASSERT_TRUE(set.Open());
    Put(set.TempPath(0), "dropped");
  }
  EXPECT_EQ(Contents(), (std::vector<std::string>{"new 0", "new 1", "new 2"}));
  EXPECT_EQ(Names(), kOnlyTheSet);

  AtomicFileSet elsewhere({dir.File("a.shp"), dir.File("sub/a.shx")});
  EXPECT_FALSE(elsewhere.Open());
  EXPECT_EQ(Names(), kOnlyTheSet);
}

// The state a process leaves when it dies after writing the journal and doing some of the
// renames: the journal, the temporaries not yet renamed, and stale temporaries of a save that
// never got as far.
TEST_F(AtomicFileSetTest, RecoverFinishesACommitCutShortAndClearsStaleTemporaries) {
  const std::vector<std::string> temps = {".a.shp.0000000a.part", ".a.shx.0000000b.part",
                                          ".a.dbf.0000000c.part"};
  std::string journal("VDSET1\0", 7);
  for (size_t i = 0; i < temps.size(); ++i) {
    journal += temps[i] + '\0' + targets[i].substr(targets[i].rfind('/') + 1) + '\0';
  }
  for (size_t renamed = 0; renamed <= temps.size(); ++renamed) {
    SCOPED_TRACE(renamed);
    for (size_t i = 0; i < temps.size(); ++i) {
      Put(i < renamed ? targets[i] : dir.File(temps[i]), "new " + std::to_string(i));
      if (i >= renamed) Put(targets[i], "old");
    }
    Put(AtomicFileSet::JournalPath(targets[0]), journal);
    Put(dir.File(".a.dbf.12345678.part"), "stale");
    Put(dir.File("..a.dbf.12345678.part.9abcdef0.tmp"), "stale, written through a temporary");
    Put(dir.File(".a.dbf.not-ours.part"), "someone else's");
    EXPECT_TRUE(AtomicFileSet::Recover(targets));
    EXPECT_EQ(Contents(), (std::vector<std::string>{"new 0", "new 1", "new 2"}));
    EXPECT_EQ(Names(), (std::vector<std::string>{".a.dbf.not-ours.part", "a.dbf", "a.shp",
                                                 "a.shx"}));
    ASSERT_TRUE(vd::os::RemoveFile(dir.File(".a.dbf.not-ours.part")));
  }

  // A journal whose names lead out of the folder or to other files is not followed.
  Put(dir.File("other"), "other");
  std::string hostile("VDSET1\0", 7);
  hostile += std::string("../a.shp.00000001.part") + '\0' + "a.shp" + '\0';
  hostile += std::string(".a.shx.00000002.part") + '\0' + "../a.shx" + '\0';
  hostile += std::string("other") + '\0' + "a.dbf" + '\0';
  Put(AtomicFileSet::JournalPath(targets[0]), hostile);
  EXPECT_TRUE(AtomicFileSet::Recover(targets));
  EXPECT_EQ(Contents(), (std::vector<std::string>{"new 0", "new 1", "new 2"}));
  EXPECT_EQ(Get(dir.File("other")), "other");
}

}  // namespace
