// The chart program and its temporary folder, where it and the 3D viewer hand files to each
// other: a folder of the user's alone, which the program publishes for the viewer; one that
// someone else could reach is refused at start-up with a message saying why.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "corvex/ui/tests/corvex_home.h"
#include "corvex/ui/tests/corvex_program.h"
#include "platform/os/files.h"
#include "platform/os/profile_store.h"

namespace {

using vd::test::CorvexHome;
using vd::test::Program;
using vd::test::ScriptedAnswers;

TEST(CorvexTempFolder, PrivateFolderInTheSessionIsPublishedForTheViewer) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  const std::string folder = home.File("run") + "/Vardune";
  {
    Program program;
    ASSERT_TRUE(program.started());
    EXPECT_EQ(program.app().temp_folder, folder);
    struct stat st {};
    ASSERT_EQ(lstat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_uid, geteuid());
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // Recorded where the viewer looks for it.
    EXPECT_EQ(vd::os::ProfileStore("Software\\Vardune").GetString("", "temp_folder"), folder);
    EXPECT_TRUE(program.Quit());
  }
  EXPECT_TRUE(answers.asked.empty()) << testing::PrintToString(answers.asked);
}

TEST(CorvexTempFolder, FolderOthersCanReachIsRefusedWithAMessage) {
  struct Case {
    const char* what;
    mode_t mode;
    bool other_owner;
    bool link;
    std::string reason;
  } cases[] = {
      {"open to others", 0755, false, false,
       " can be entered by other users. Make it private to you (chmod 700) or remove it."},
      {"another user's", 0700, true, false,
       " belongs to another user. Remove it, so that a private folder can be made there."},
      {"a link", 0700, false, true,
       " is not a folder but a link. Remove it, so that a private folder can be made there."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.other_owner && geteuid() != 0) continue;  // only root can give a folder away
    CorvexHome home;
    ScriptedAnswers answers;
    vd::ui::ScopedResponder responder(&answers);
    const std::string folder = home.File("run") + "/Vardune";
    if (c.link) {
      ASSERT_TRUE(vd::os::MakeFolders(home.File("elsewhere")));
      ASSERT_EQ(symlink(home.File("elsewhere").c_str(), folder.c_str()), 0);
    } else {
      ASSERT_EQ(mkdir(folder.c_str(), c.mode), 0);
      ASSERT_EQ(chmod(folder.c_str(), c.mode), 0);
      if (c.other_owner) {
        ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
      }
    }
    Program program;
    EXPECT_FALSE(program.started());
    EXPECT_EQ(answers.asked,
              std::vector<std::string>{"The folder for temporary files " + folder + c.reason});
    // Nothing of the program's went there.
    EXPECT_FALSE(vd::os::FileExists(folder + "/VDAPI2.dat"));
  }
}

}  // namespace
