#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "platform/ui/help_pages.h"
#include "tests/temp_dir.h"

namespace vd::ui {
namespace {

class HelpPagesTest : public testing::Test {
 protected:
  void SetUp() override {
    SetHelpFolder(dir_.path());
    std::ofstream(dir_.File("options.html")) << "<html></html>";
    SetDocumentOpener([this](const std::string& path) {
      opened_.push_back(path);
      return true;
    });
  }
  void TearDown() override { SetDocumentOpener(nullptr); }

  test::TempDir dir_;
  std::vector<std::string> opened_;
};

TEST_F(HelpPagesTest, TopicOpensItsPageInTheHelpFolder) {
  EXPECT_TRUE(OpenHelpTopic("options"));
  EXPECT_EQ(opened_, std::vector<std::string>{dir_.File("options.html")});
}

TEST_F(HelpPagesTest, MissingPagesAndNamesThatLeaveTheFolderOpenNothing) {
  std::ofstream(dir_.path() + "/../outside.html") << "x";
  for (const std::string topic : {"missing", "", "../outside", "a/b", ".hidden", "x y"}) {
    EXPECT_FALSE(OpenHelpTopic(topic)) << topic;
  }
  EXPECT_TRUE(opened_.empty());
  EXPECT_EQ(HelpPagePath("../outside"), "");
  std::remove((dir_.path() + "/../outside.html").c_str());
}

}  // namespace
}  // namespace vd::ui
