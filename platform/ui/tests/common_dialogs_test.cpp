#include <gtest/gtest.h>

#include <optional>

#include "platform/ui/common_dialogs.h"

namespace vd::ui {
namespace {

TEST(CommonDialogsTest, FiltersTakeTheToolkitsForm) {
  const struct {
    std::string filter;
    std::string expected;
  } cases[] = {
      {"Charts (*.qct)|*.qct|All files (*.*)|*.*||",
       "Charts (*.qct *.QCT);;All files (*)"},
      {"Routes|*.gpx;*.Rte||", "Routes (*.gpx *.GPX *.Rte *.rte *.RTE)"},
      {"Anything|*|", "Anything (*)"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ToolkitFilter(c.filter), c.expected) << c.filter;
}

struct Chooser : DialogResponder {
  std::optional<std::string> path;
  std::optional<FileDialogRequest> asked;
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override {
    asked = request;
    return path;
  }
};

TEST(CommonDialogsTest, SaveAppendsTheDefaultExtensionOnlyToANameWithout) {
  Chooser chooser;
  ScopedResponder scope(&chooser);
  const struct {
    std::optional<std::string> chosen;
    std::string extension;
    std::optional<std::string> result;
  } cases[] = {
      {"/data/route", "gpx", "/data/route.gpx"},
      {"/data/route", ".gpx", "/data/route.gpx"},
      {"/data/route.GPX", "gpx", "/data/route.GPX"},
      {"/data/v1.2/route", "gpx", "/data/v1.2/route.gpx"},
      {"/data/route", "", "/data/route"},
      {std::nullopt, "gpx", std::nullopt},
  };
  for (const auto& c : cases) {
    chooser.path = c.chosen;
    EXPECT_EQ(GetSaveFilePath(nullptr, "Save", "Routes|*.gpx||", c.extension), c.result);
  }
  ASSERT_TRUE(chooser.asked);
  EXPECT_TRUE(chooser.asked->save);
  EXPECT_EQ(chooser.asked->filter, "Routes (*.gpx *.GPX)");

  chooser.path = "/data/chart.qct";
  EXPECT_EQ(GetOpenFilePath(nullptr, "Open", "Charts|*.qct||", "/data"), "/data/chart.qct");
  EXPECT_FALSE(chooser.asked->save);
  EXPECT_EQ(chooser.asked->initial_path, "/data");
}

}  // namespace
}  // namespace vd::ui
