#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "platform/ui/help_pages.h"
#include "platform/ui/message_box.h"
#include "platform/ui/window_messages.h"
#include "platform/ui/responder.h"
#include "tests/temp_dir.h"

namespace vd::ui {
namespace {

// Keeps the texts of the message boxes instead of showing them.
struct RecordingResponder : DialogResponder {
  int MessageBox(const MessageBoxRequest& request) override {
    texts.push_back(request.text);
    return kIdOk;
  }
  std::vector<std::string> texts;
};

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
  RecordingResponder told_;
  ScopedResponder scope_{&told_};
};

TEST_F(HelpPagesTest, TopicOpensItsPageInTheHelpFolder) {
  EXPECT_TRUE(OpenHelpTopic("options"));
  EXPECT_EQ(opened_, std::vector<std::string>{dir_.File("options.html")});
}

TEST_F(HelpPagesTest, TopicsNamedAsOlderPageNamesFindTheirPage) {
  EXPECT_TRUE(OpenHelpTopic("options.htm"));
  EXPECT_TRUE(OpenHelpTopic("options.html"));
  EXPECT_EQ(opened_, (std::vector<std::string>{dir_.File("options.html"), dir_.File("options.html")}));
  EXPECT_TRUE(told_.texts.empty());
}

// A missing page, or a name that would leave the folder, opens the index and says why; without
// an index the user hears that the help is not installed, and nothing opens.
TEST_F(HelpPagesTest, MissingPagesOpenTheIndexWithAWord) {
  std::ofstream(dir_.path() + "/../outside.html") << "x";
  for (const std::string topic : {"missing", "", "../outside", "a/b", ".hidden", "x y", "..htm"}) {
    EXPECT_FALSE(OpenHelpTopic(topic)) << topic;
  }
  EXPECT_TRUE(opened_.empty());
  ASSERT_EQ(told_.texts.size(), 7u);
  EXPECT_NE(told_.texts[0].find("help pages are not installed"), std::string::npos);
  EXPECT_EQ(HelpPagePath("../outside"), "");
  EXPECT_EQ(HelpPagePath("../outside.htm"), "");

  std::ofstream(dir_.File("index.html")) << "<html></html>";
  told_.texts.clear();
  for (const std::string topic : {"missing", "../outside"}) {
    EXPECT_FALSE(OpenHelpTopic(topic)) << topic;
  }
  EXPECT_EQ(opened_, (std::vector<std::string>{dir_.File("index.html"), dir_.File("index.html")}));
  ASSERT_EQ(told_.texts.size(), 2u);
  EXPECT_EQ(told_.texts[0], "There is no help page for \"missing\". The help index opens instead.");
  std::remove((dir_.path() + "/../outside.html").c_str());
}

TEST_F(HelpPagesTest, AMissingHelpFolderIsToldNotOpened) {
  SetHelpFolder(dir_.File("no such folder"));
  EXPECT_FALSE(OpenHelpTopic("options"));
  EXPECT_TRUE(opened_.empty());
  ASSERT_EQ(told_.texts.size(), 1u);
  EXPECT_NE(told_.texts[0].find("no such folder"), std::string::npos);
}

}  // namespace
}  // namespace vd::ui
