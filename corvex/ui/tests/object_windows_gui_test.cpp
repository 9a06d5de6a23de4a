// The object property windows in the started program: double-click on the chart and the
// Properties command open the window of every kind of object, windows are modeless and one per
// object, they follow what happens to their object elsewhere, and the route window's
// "Settings..." opens the route settings. Route cards from the shipped templates.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QImageReader>
#include <QXmlStreamReader>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <fstream>
#include <typeinfo>

#include "corvex/command_ids.h"
#include "corvex/ui/dlg_current_position_props.h"
#include "corvex/ui/dlg_mark_props.h"
#include "corvex/ui/dlg_route_props.h"
#include "corvex/ui/dlg_route_props_settings.h"
#include "corvex/ui/dlg_text_props.h"
#include "corvex/ui/dlg_track_props.h"
#include "corvex/ui/props_windows.h"
#include "corvex/ui/tests/program_world.h"
#include "core/persistent_value.h"
#include "platform/os/files.h"
#include "platform/ui/dialog_window.h"

namespace {

class ObjectWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(world.Start()); }
  void TearDown() override { world.Stop(); }

  CPropsWindows& windows() { return world.frame().props_windows(); }

  vd::test::ProgramWorld world;
};

template <class T>
bool WindowIs(CObjectPropsDialog* dialog) {
  return dialog && dynamic_cast<T*>(dialog) != nullptr;
}

TEST_F(ObjectWindowsTest, DoubleClickOpensTheWindowOfEveryKindModelessOnePerObject) {
  struct Case {
    COstrelObject* object;
    bool (*right_kind)(CObjectPropsDialog*);
  } cases[] = {{world.mark, WindowIs<CDlgMarkProps>},
               {world.route, WindowIs<CDlgRouteProps>},
               {world.track, WindowIs<CDlgTrackProps>},
               {world.note, WindowIs<CDlgTextProps>},
               {world.vessel, WindowIs<CDlgCurrentPositionProps>}};
  size_t open = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.object->name);
    world.DoubleClick(world.PointOf(c.object));
    vd::test::DrainEvents();
    CObjectPropsDialog* dialog = windows().Find(c.object);
    ASSERT_TRUE(c.right_kind(dialog));
    EXPECT_TRUE(dialog->widget()->isVisible());
    EXPECT_FALSE(dialog->widget()->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(windows().size(), ++open) << "the other windows stay open";
    // Asked again, the same window comes up.
    world.DoubleClick(world.PointOf(c.object));
    EXPECT_EQ(windows().Find(c.object), dialog);
    EXPECT_EQ(windows().size(), open);
  }
}

TEST_F(ObjectWindowsTest, PropertiesIsAlwaysEnabledAndOpensTheSelectedObjectsWindow) {
  EXPECT_TRUE(world.frame().RouteUpdate(kCmdProperties).enabled);  // nothing selected
  EXPECT_TRUE(world.frame().RouteCommand(kCmdProperties));
  EXPECT_EQ(windows().size(), 0u);
  for (COstrelObject* object : {static_cast<COstrelObject*>(world.note),
                                static_cast<COstrelObject*>(world.vessel),
                                static_cast<COstrelObject*>(world.track)}) {
    object->Select(true);
    ASSERT_TRUE(world.frame().RouteUpdate(kCmdProperties).enabled);
    EXPECT_TRUE(world.frame().RouteCommand(kCmdProperties));
    EXPECT_NE(windows().Find(object), nullptr) << object->name;
  }
}

TEST_F(ObjectWindowsTest, WindowsFollowTheirObjectAndCloseWhenItIsDeleted) {
  world.mark->Select(true);
  world.frame().RouteCommand(kCmdProperties);
  CObjectPropsDialog* dialog = windows().Find(world.mark);
  ASSERT_NE(dialog, nullptr);
  QPointer<QWidget> window = dialog->widget();
  const std::string before = dialog->GetItemText(CDlgMarkProps::kPositionEdit);

  // Moved elsewhere (on the chart, by another window): the window shows the new position.
  world.mark->position.lat += 0.01;
  world.mark->NotifyChange(kChangeModified);
  EXPECT_NE(dialog->GetItemText(CDlgMarkProps::kPositionEdit), before);

  world.mark->Delete(false);
  EXPECT_EQ(windows().Find(world.mark), nullptr);
  ASSERT_TRUE(vd::test::ProcessEventsUntil([&] { return window.isNull(); }));
}

TEST_F(ObjectWindowsTest, RouteWindowSettingsOpensTheRouteSettings) {
  ASSERT_TRUE(world.frame().ShowProperties(world.route));
  CObjectPropsDialog* dialog = windows().Find(world.route);
  ASSERT_NE(dialog, nullptr);
  std::string seen;
  QTimer::singleShot(0, [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      seen = modal->windowTitle().toStdString();
      modal->close();
    }
  });
  dialog->dialog_window()->SendCommand(CDlgRouteProps::kSettingsButton, vd::ui::kBnClicked);
  EXPECT_EQ(seen, "Route Settings");
  EXPECT_NE(windows().Find(world.route), nullptr) << "the route window stays";
}

}  // namespace

namespace {

class RouteCardTest : public ObjectWindowsTest {
 protected:
  // Route Card on the route, as the menu command runs it; the card's path and text.
  std::string WriteCard(const std::string& template_path) {
    if (!template_path.empty())
      vd::OpenAppProfile().SetString(vd::kSettingsSection, "rt_template2", template_path);
    world.route->Select(true);
    world.home.opened_documents.clear();
    EXPECT_TRUE(world.frame().RouteUpdate(kCmdRouteCard).enabled);
    world.frame().RouteCommand(kCmdRouteCard);
    if (world.home.opened_documents.size() != 1) return {};
    path = world.home.opened_documents[0];
    std::string text;
    vd::os::ReadWholeFile(path, text);
    return text;
  }
  std::string Beside(const std::string& name) const {
    return path.substr(0, path.rfind('/') + 1) + name;
  }
  // Pixels of the route's colour (0x00BBGGRR) in the picture.
  static int RouteColoured(const QImage& image, uint32_t colour) {
    const QColor want(colour & 0xFF, colour >> 8 & 0xFF, colour >> 16 & 0xFF);
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QColor c = image.pixelColor(x, y);
        if (std::abs(c.red() - want.red()) < 40 && std::abs(c.green() - want.green()) < 40 &&
            std::abs(c.blue() - want.blue()) < 40)
          ++n;
      }
    return n;
  }

  std::string path;
};

TEST_F(RouteCardTest, ShippedTemplatesGiveTheRowsAndTwoPicturesBesideTheCard) {
  const std::string shipped = vd::os::ProgramFolder() + "/Route_Card_Templates/";
  for (const std::string& name : {std::string(), shipped + "Routecard_template.xml"}) {
    SCOPED_TRACE(name.empty() ? "the default template" : name);
    const std::string card = WriteCard(name);
    ASSERT_FALSE(card.empty()) << "no card was opened";
    EXPECT_EQ(path.substr(path.size() - 4), name.empty() ? ".htm" : ".xml");
    for (const char* row : {"Passage", "Start", "End"})
      EXPECT_NE(card.find(row), std::string::npos) << row;
    EXPECT_NE(card.find("routemap.bmp"), std::string::npos);
    EXPECT_NE(card.find("routeprofile.bmp"), std::string::npos);

    QImageReader map(QString::fromStdString(Beside("routemap.bmp")));
    EXPECT_EQ(map.format().toStdString(), "bmp");
    const QImage overview = map.read();
    ASSERT_FALSE(overview.isNull()) << map.errorString().toStdString();
    EXPECT_GT(RouteColoured(overview, world.route->colour), 20) << "the route's line is drawn";
    QImageReader profile(QString::fromStdString(Beside("routeprofile.bmp")));
    const QImage drawn = profile.read();
    ASSERT_FALSE(drawn.isNull()) << profile.errorString().toStdString();
    EXPECT_EQ(drawn.size(), QSize(CDlgRouteProps::kProfileWidth, CDlgRouteProps::kProfileHeight));
    if (!name.empty()) {
      QXmlStreamReader xml(QByteArray::fromStdString(card));
      while (!xml.atEnd()) xml.readNext();
      EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    }
  }
}

TEST_F(RouteCardTest, UnknownAndUnterminatedPlaceholdersAreWrittenAsTheyStand) {
  const std::string bad = world.home.File("bad.htm");
  std::ofstream(bad) << "%N %q %Z [%^<%n>] %$%$ 50%";
  EXPECT_EQ(WriteCard(bad), "Passage %q %Z [<Start>] <End>]  50%");
  // A block that is never closed is written once.
  std::ofstream(bad, std::ios::trunc) << "%^(%n)";
  EXPECT_EQ(WriteCard(bad), "(Start)");
  // A template that can't be read: the user is told, nothing is opened.
  world.answers.asked.clear();
  EXPECT_EQ(WriteCard(world.home.File("missing.htm")), "");
  ASSERT_EQ(world.answers.asked.size(), 1u);
  EXPECT_EQ(world.answers.asked[0], "Failed to open route card template (see Settings...)");
}

}  // namespace
