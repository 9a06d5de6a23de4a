// File copies under their progress window: the title names both files, and Cancel stops the
// copy leaving no part of it behind.
#include "core/ui/copy_progress_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <string>
#include <vector>

#include "core/file_utils.h"
#include "core/ui/progress_template.h"
#include "platform/os/files.h"
#include "platform/ui/dialog_window.h"
#include "tests/temp_dir.h"

namespace {

// The progress window open now, null when none.
vd::ui::DialogWindow* OpenProgressWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = dynamic_cast<vd::ui::DialogWindow*>(widget);
    if (dialog && dialog->isVisible() && dialog->ControlAs<QLabel>(kProgressMessageControl)) {
      return dialog;
    }
  }
  return nullptr;
}

struct CopyProgressWindowTest : testing::Test {
  void SetUp() override {
    InstallCopyProgressWindow();
    for (int i = 0; i < 300000; ++i) bytes += char(i * 13 + i / 251);
    ASSERT_TRUE(vd::os::SaveFileAtomically(source, bytes));
  }
  void TearDown() override { SetCopyProgressWindow(nullptr); }

  std::vector<std::string> FilesInFolder() const {
    std::vector<vd::os::DirEntry> entries;
    vd::os::ListFolder(dir.path(), entries);
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(entry.name);
    return names;
  }

  vd::test::TempDir dir;
  const std::string source = dir.File("chart.qct");
  const std::string target = dir.File("copy.qct");
  std::string bytes;
};

TEST_F(CopyProgressWindowTest, CopyShowsItsFilesAndCancelLeavesNothingBehind) {
  // Seen while the copy runs, then Cancel.
  std::string seen;
  QTimer::singleShot(0, [&] {
    vd::ui::DialogWindow* window = OpenProgressWindow();
    if (!window) return;
    seen = window->ControlAs<QLabel>(kProgressMessageControl)->text().toStdString();
    window->ControlAs<QPushButton>(vd::ui::kIdCancel)->click();
  });
  EXPECT_FALSE(CopyFileWithProgress(source, target));
  EXPECT_EQ(seen, "Copying " + source + " To " + target);
  EXPECT_EQ(FilesInFolder(), std::vector<std::string>{"chart.qct"});
  std::string after;
  ASSERT_TRUE(vd::os::ReadWholeFile(source, after));
  EXPECT_EQ(after, bytes);
  EXPECT_EQ(OpenProgressWindow(), nullptr) << "the window goes with the copy";

  // Left alone, the copy completes and its window closes.
  EXPECT_TRUE(CopyFileWithProgress(source, target));
  std::string copied;
  ASSERT_TRUE(vd::os::ReadWholeFile(target, copied));
  EXPECT_EQ(copied, bytes);
  EXPECT_EQ(OpenProgressWindow(), nullptr);
}

}  // namespace
