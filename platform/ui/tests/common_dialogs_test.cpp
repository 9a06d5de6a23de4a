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
  int leave_filter = 0;  // the filter the user leaves chosen; 0 says nothing
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override {
    asked = request;
    if (leave_filter && request.chosen_filter_index) *request.chosen_filter_index = leave_filter;
    return path;
  }
};

TEST(CommonDialogsTest, FilterExtensionIsTheFirstPatternsEnding) {
  const std::string filter = "GPX files (*.gpx)|*.gpx;*.xml|All files|*.*|Any|*|Odd|*.g?x|Bare|gpx||";
  const struct {
    int index;
    std::string extension;
  } cases[] = {{1, "gpx"}, {2, ""}, {3, ""}, {4, ""}, {5, ""}, {0, ""}, {-1, ""}, {6, ""}, {99, ""}};
  for (const auto& c : cases) EXPECT_EQ(FilterExtension(filter, c.index), c.extension) << c.index;
}

TEST(CommonDialogsTest, FilterIndexGoesInAndTheUsersChoiceComesBack) {
  Chooser chooser;
  ScopedResponder scope(&chooser);
  const std::string filter = "GPX files (*.gpx)|*.gpx|Overlay file (*.vdo)|*.vdo|All|*.*||";
  const struct {
    std::optional<std::string> chosen;
    int index_in;
    int left_chosen;  // by the user; 0 when the responder does not say
    std::optional<std::string> result;
    int index_out;
  } cases[] = {
      {"/d/marks", 1, 2, "/d/marks.vdo", 2},     // the chosen filter's extension
      {"/d/marks", 2, 1, "/d/marks.gpx", 1},
      {"/d/marks", 2, 3, "/d/marks.gpx", 3},     // "All": the default extension
      {"/d/marks.csv", 2, 2, "/d/marks.csv", 2}, // a typed extension stays
      {"/d/marks", 3, 0, "/d/marks.gpx", 3},     // nothing said: the index stays
      {std::nullopt, 2, 1, std::nullopt, 2},     // cancel changes nothing
  };
  for (const auto& c : cases) {
    chooser.path = c.chosen;
    chooser.leave_filter = c.left_chosen;
    int index = c.index_in;
    EXPECT_EQ(GetSaveFilePath(nullptr, "Export", filter, "gpx", "", &index), c.result);
    EXPECT_EQ(chooser.asked->filter_index, c.index_in);
    EXPECT_EQ(index, c.index_out) << c.index_in << " " << c.left_chosen;
  }
  chooser.path = "/d/a.vdo";
  chooser.leave_filter = 2;
  int index = 1;
  EXPECT_EQ(GetOpenFilePath(nullptr, "Import", filter, "", &index), "/d/a.vdo");
  EXPECT_EQ(index, 2);
}

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
