// The data-pane base: the placement text and its round trip through a docking host, the
// pane's look, the bitmap file, printing, the pane list and closing through the dock.
#include "gps/ui/data_pane.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDockWidget>
#include <QImage>
#include <QMainWindow>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "gps/ui/dock_widget_host.h"
#include "overlays/tests/overlay_test_objects.h"
#include "platform/os/files.h"
#include "platform/ui/message_box.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/print_document.h"
#include "platform/ui/responder.h"
#include "platform/ui/surface.h"
#include "platform/ui/window_messages.h"
#include "tests/temp_dir.h"

namespace {

using vd::ui::Rect;

constexpr char kKey[] = "test_pane";
constexpr int kPaneId = 4711;

// Draws a 2 x 1 black block at the top-left corner and a large "M" in the text colour.
class BlockPane : public CDataPane {
 public:
  explicit BlockPane(std::string key = kKey, int menu = 0)
      : CDataPane(kPaneId, std::move(key), Placement{}, menu) {}
  void Draw(vd::ui::Surface& dc) override {
    dc.FillRect({0, 0, 2, 1}, 0);
    if (with_text) dc.TextOut({4, 4}, "MMM");
  }
  bool with_text = false;
};

class OtherPane : public CDataPane {
 public:
  OtherPane() : CDataPane(kPaneId + 1, "", Placement{}) {}
};

void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

Rect ScreenRect(const QWidget& w) {
  const QPoint at = w.mapToGlobal(QPoint(0, 0));
  return {at.x(), at.y(), at.x() + w.width(), at.y() + w.height()};
}

class DataPaneTest : public ::testing::Test {
 protected:
  void SetUp() override { vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path()); }
  void TearDown() override {
    app.CloseAllDataWindows();
    FlushDeletes();
  }
  std::optional<std::string> Stored(const std::string& key) const {
    return vd::OpenAppProfile().GetString(vd::kSettingsSection, key);
  }
  void Store(const std::string& key, const std::string& text) {
    vd::OpenAppProfile().SetString(vd::kSettingsSection, key, text);
  }

  vd::test::TempDir dir;
  vd::test::FakeApp app;
};

TEST(PlacementText, FormatsTheOuterRectangleAndParsesWhatItWrote) {
  EXPECT_EQ(CDataPane::FormatPlacement({100, 200, 300, 400}), "95:178:210:227");
  struct Case {
    const char* text;
    std::optional<CDataPane::Placement> expected;
  };
  const Case cases[] = {
      {"95:178:210:227", CDataPane::Placement{95, 178, 210, 227}},
      {"95:178:210:227:", CDataPane::Placement{95, 178, 210, 227}},
      {"-10:-20:30:40:", CDataPane::Placement{-10, -20, 30, 40}},
      {"1:2:3", std::nullopt},
      {"", std::nullopt},
      {"a:b:c:d", std::nullopt},
      {"1;2;3;4", std::nullopt},
      {"1:2:0:5", std::nullopt},
      {"1:2:5:-5", std::nullopt},
  };
  for (const Case& c : cases) {
    CDataPane::Placement placement{7, 8, 9, 10};
    EXPECT_EQ(CDataPane::ParsePlacement(c.text, placement), c.expected.has_value()) << c.text;
    EXPECT_EQ(placement, c.expected.value_or(CDataPane::Placement{7, 8, 9, 10})) << c.text;
  }
}

TEST_F(DataPaneTest, PlacementRoundTripsThroughTheDockingHost) {
  QMainWindow window;
  window.show();
  CDockWidgetHost host(window);
  CDockingHost* previous = InstallDockingHost(&host);
  Store(kKey, "95:178:210:227");

  auto* pane = new BlockPane;
  ASSERT_TRUE(pane->CreatePane("Pane title"));
  EXPECT_TRUE(pane->attached());
  QDockWidget* dock = host.FindDock(kPaneId);
  ASSERT_NE(dock, nullptr);
  EXPECT_EQ(dock->windowTitle().toStdString(), "Pane title");
  EXPECT_EQ(ScreenRect(*pane), (Rect{100, 200, 300, 400}));
  pane->SetPaneTitle("Renamed");
  EXPECT_EQ(dock->windowTitle().toStdString(), "Renamed");

  pane->DestroyWindow();
  FlushDeletes();
  EXPECT_EQ(Stored(kKey), "95:178:210:227");
  EXPECT_EQ(host.FindDock(kPaneId), nullptr);
  EXPECT_TRUE(app.data_windows().empty());
  InstallDockingHost(previous);
}

TEST_F(DataPaneTest, ClosingTheDockDestroysThePaneAndSavesWhereItWas) {
  QMainWindow window;
  window.show();
  CDockWidgetHost host(window);
  CDockingHost* previous = InstallDockingHost(&host);

  QPointer<BlockPane> pane = new BlockPane;
  ASSERT_TRUE(pane->CreatePane("Pane"));
  QDockWidget* dock = host.FindDock(kPaneId);
  ASSERT_NE(dock, nullptr);
  dock->move(dock->x() + 30, dock->y() + 40);
  const Rect at = ScreenRect(*pane);
  dock->close();
  // The window's layout, saved before the dock is deleted, no longer holds it.
  static std::vector<std::string> warnings;
  warnings.clear();
  const QtMessageHandler previous_handler = qInstallMessageHandler(
      [](QtMsgType, const QMessageLogContext&, const QString& text) {
        warnings.push_back(text.toStdString());
      });
  window.saveState();
  qInstallMessageHandler(previous_handler);
  EXPECT_TRUE(warnings.empty()) << testing::PrintToString(warnings);
  FlushDeletes();
  EXPECT_TRUE(pane.isNull());
  EXPECT_TRUE(app.data_windows().empty());
  EXPECT_EQ(Stored(kKey), CDataPane::FormatPlacement(at));
  InstallDockingHost(previous);
}

TEST_F(DataPaneTest, PanesGoWithTheMainWindowAndSaveTheirPlacement) {
  auto window = std::make_unique<QMainWindow>();
  window->show();
  CDockWidgetHost host(*window);
  CDockingHost* previous = InstallDockingHost(&host);
  Store(kKey, "95:178:210:227");
  auto* pane = new BlockPane;
  ASSERT_TRUE(pane->CreatePane("Pane"));
  Store(kKey, "");
  window.reset();  // deletes the dock and the pane in it
  EXPECT_TRUE(app.data_windows().empty());
  EXPECT_EQ(Stored(kKey), "95:178:210:227");
  InstallDockingHost(previous);
}

TEST_F(DataPaneTest, WithoutKeyOrHostThePaneOpensAtTheDefaultPlacementAndStoresNothing) {
  Store(kKey, "300:300:300:300");
  auto* pane = new BlockPane("");
  ASSERT_TRUE(pane->CreatePane("Pane"));
  EXPECT_FALSE(pane->attached());
  // (0, 43), 75 x 75 outside; the window inside the caption and borders.
  EXPECT_EQ(ScreenRect(*pane), (Rect{5, 65, 70, 113}));
  pane->DestroyWindow();
  FlushDeletes();
  EXPECT_EQ(Stored(kKey), "300:300:300:300");
}

TEST_F(DataPaneTest, PaintsPaleYellowAndRedTextOnlyOnceAfterHighlight) {
  auto* pane = new BlockPane;
  pane->with_text = true;
  ASSERT_TRUE(pane->CreatePane("Pane"));
  auto count = [](const QImage& image, auto predicate) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) n += predicate(QColor(image.pixel(x, y))) ? 1 : 0;
    }
    return n;
  };
  auto red = [](const QColor& c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; };
  auto black = [](const QColor& c) { return c.red() < 60 && c.green() < 60 && c.blue() < 60; };

  pane->SetHighlight();
  const QImage first = pane->grab().toImage();
  EXPECT_EQ(QColor(first.pixel(first.width() - 1, first.height() - 1)), QColor(255, 255, 220));
  EXPECT_GT(count(first, red), 0);
  const QImage second = pane->grab().toImage();
  EXPECT_EQ(count(second, red), 0);
  EXPECT_GT(count(second, black), 2);  // more than the block: the text
}

TEST_F(DataPaneTest, BitmapFileHasTheHeadersAndBottomUpRows) {
  auto* pane = new BlockPane;
  ASSERT_TRUE(pane->CreatePane("Pane"));
  pane->resize(7, 3);
  const std::string path = dir.File("pane.bmp");
  ASSERT_TRUE(pane->SaveAsBitmap(path));
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(path, bytes));
  const std::string expected_headers(
      "BM\x8A\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00"
      "\x28\x00\x00\x00\x07\x00\x00\x00\x03\x00\x00\x00\x01\x00\x20\x00"
      "\x00\x00\x00\x00\x54\x00\x00\x00\x64\x00\x00\x00\x64\x00\x00\x00"
      "\x00\x00\x00\x00\x00\x00\x00\x00",
      54);
  ASSERT_EQ(bytes.size(), 7u * 3u * 4u + 54u);
  EXPECT_EQ(bytes.substr(0, 54), expected_headers);
  auto pixel = [&](int x, int file_row) { return bytes.substr(54 + (file_row * 7 + x) * 4, 4); };
  const std::string white("\xFF\xFF\xFF\x00", 4);
  const std::string black("\x00\x00\x00\x00", 4);
  // The file's last row is the pane's top row with the block.
  EXPECT_EQ(pixel(0, 2), black);
  EXPECT_EQ(pixel(1, 2), black);
  EXPECT_EQ(pixel(2, 2), white);
  EXPECT_EQ(pixel(0, 0), white);
  // Another reader agrees on the orientation.
  const QImage image(QString::fromStdString(path));
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(QColor(image.pixel(0, 0)), QColor(Qt::black));
  EXPECT_EQ(QColor(image.pixel(0, 2)), QColor(Qt::white));
}

struct RecordingResponder : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    texts.push_back(request.text);
    return vd::ui::kIdOk;
  }
  std::vector<std::string> texts;
};

TEST_F(DataPaneTest, PrintsOnePageOrTellsWhyNot) {
  auto* pane = new BlockPane;
  ASSERT_TRUE(pane->CreatePane("Pane"));
  RecordingResponder responder;
  vd::ui::ScopedResponder scope(&responder);

  const std::string pdf = dir.File("pane.pdf");
  vd::ui::PrintDocument good(pdf, 210, 297, 72);
  EXPECT_TRUE(pane->PrintTo(good));
  EXPECT_TRUE(vd::os::FileExists(pdf));
  EXPECT_TRUE(responder.texts.empty());

  vd::ui::PrintDocument bad(dir.File("bad.pdf"), 0, 0, 72);
  EXPECT_FALSE(pane->PrintTo(bad));
  EXPECT_EQ(responder.texts, std::vector<std::string>{"Printer wouldn't initalize"});
}

TEST_F(DataPaneTest, FindsPanesByClassAfterACursor) {
  auto* first = new BlockPane("");
  auto* other = new OtherPane;
  auto* second = new BlockPane("");
  EXPECT_EQ(CDataPane::FindNextDataWnd<BlockPane>(), first);
  EXPECT_EQ(CDataPane::FindNextDataWnd<BlockPane>(first), second);
  EXPECT_EQ(CDataPane::FindNextDataWnd<BlockPane>(second), nullptr);
  EXPECT_EQ(CDataPane::FindNextDataWnd<OtherPane>(first), other);
  EXPECT_EQ(CDataPane::FindNextDataWnd<CDataPane>(other), second);
}

TEST_F(DataPaneTest, ContextMenuOnlyForPanesThatHaveOne) {
  BlockPane plain("");
  EXPECT_EQ(plain.LoadContextMenu(), nullptr);
  BlockPane with_menu("", 99);
  auto menu = with_menu.LoadContextMenu();
  ASSERT_NE(menu, nullptr);
  ASSERT_NE(menu->FindEnabledItem(CDataPane::kPrintCommand), nullptr);
  EXPECT_EQ(menu->FindEnabledItem(CDataPane::kPrintCommand)->text, "Print...");
}

}  // namespace
