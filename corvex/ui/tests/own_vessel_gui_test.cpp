// The own vessel as the chart program draws it in a chart window: its GPS icon at the fix,
// grey without a fix, at every zoom; a plain symbol and one message when the icons can't be
// loaded.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <algorithm>
#include <string>

#include "charts/old_quick_chart.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "corvex/ui/chart_view_widget.h"
#include "corvex/ui/tests/corvex_home.h"
#include "corvex/ui/tests/corvex_program.h"
#include "corvex/ui/tests/program_chart_window.h"
#include "overlays/obj_current_position.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "tests/chart_fixture.h"

namespace {

using vd::test::CorvexHome;
using vd::test::ProcessEventsUntil;
using vd::test::Program;
using vd::test::ScriptedAnswers;

using vd::test::PlainChart;

bool Reddish(QColor c) { return c.red() > 200 && c.green() < 70 && c.blue() < 70; }
bool Greyish(QColor c) {
  return std::abs(c.red() - c.green()) < 20 && std::abs(c.green() - c.blue()) < 20 &&
         c.red() > 90 && c.red() < 170;
}

// How many pixels of a square of `radius` round the point satisfy the test.
template <typename Test>
int CountAround(const QImage& image, vd::ui::Point at, int radius, Test test) {
  int count = 0;
  for (int y = at.y - radius; y <= at.y + radius; ++y) {
    for (int x = at.x - radius; x <= at.x + radius; ++x) {
      if (x >= 0 && y >= 0 && x < image.width() && y < image.height())
        count += test(image.pixelColor(x, y));
    }
  }
  return count;
}

class OwnVesselTest : public testing::Test {
 protected:
  void SetUp() override {
    responder_ = std::make_unique<vd::ui::ScopedResponder>(&answers);
    CObjCurrentPosition::ForgetMissingIconsReport();
  }
  void TearDown() override { CObjCurrentPosition::ForgetMissingIconsReport(); }

  COstrelView* OpenChart(Program& program, const CorvexHome& where) {
    return vd::test::OpenPlainChartWindow(*program.document(), where);
  }

  // The window's pixels once its tiles are drawn, and where the fix is in them.
  QImage Screen(COstrelView& view, vd::ui::Point& fix_client) {
    const QImage image = vd::test::WindowPixels(view);
    fix_client = vd::test::ClientOf(view, fix_lat, fix_lon);
    return image;
  }

  void Feed(COstrelDoc& doc, bool valid) {
    GPS_position_info fix;
    fix.valid = valid ? 1 : 0;
    fix.position = {fix_lat, fix_lon};
    fix.time = 1700000000 + ++fixes;
    doc.UpdateGPSPosition(fix);
    vd::test::DrainEvents();
  }

  CorvexHome home;
  ScriptedAnswers answers;
  std::unique_ptr<vd::ui::ScopedResponder> responder_;
  double fix_lat = PlainChart::Lat(128);
  double fix_lon = PlainChart::Lon(128);
  int fixes = 0;
};

TEST_F(OwnVesselTest, IconAtTheFixGreyWithoutOneAtEveryZoom) {
  Program program;
  ASSERT_TRUE(program.started());
  COstrelView* view = OpenChart(program, home);
  ASSERT_NE(view, nullptr);
  COstrelDoc& doc = *program.document();

  for (int zoom_steps : {0, 1, 2}) {
    SCOPED_TRACE(zoom_steps);
    for (int i = 0; i < zoom_steps; ++i) view->ZoomIn();
    view->CentreKeepingZoom(fix_lat, fix_lon);
    Feed(doc, true);  // each valid fix shows the other icon of the two
    vd::ui::Point c;
    const QImage screen = Screen(*view, c);
    ASSERT_TRUE(c.x > 10 && c.y > 10 && c.x < screen.width() - 10 && c.y < screen.height() - 10)
        << "the fix is off the window at " << c.x << "," << c.y;
    EXPECT_GT(CountAround(screen, c, 8, Reddish), 12) << "no icon at " << c.x << "," << c.y;
    // Beside the icon the chart shows as it is.
    EXPECT_EQ(CountAround(screen, {c.x + 14, c.y + 14}, 2, Reddish), 0);
  }
  ASSERT_NE(doc.PeekCurrentPosition(), nullptr);
  EXPECT_TRUE(doc.PeekCurrentPosition()->HasIcons());

  // The fix is lost: the vessel stays where it was, in grey.
  Feed(doc, false);
  vd::ui::Point c;
  const QImage screen = Screen(*view, c);
  EXPECT_GT(CountAround(screen, c, 8, Greyish), 12) << "no grey icon at " << c.x << "," << c.y;
  EXPECT_EQ(CountAround(screen, c, 8, Reddish), 0);
  EXPECT_TRUE(answers.asked.empty());
}

// A program whose icon files are missing or are not images still shows its vessel, and says
// so once.
TEST_F(OwnVesselTest, MissingOrBrokenIconsGiveAPlainSymbolAndOneMessage) {
  // A program folder of its own beside the real one: the icons are what the test makes them.
  for (const char* icon_bytes : {"", "not a picture"}) {
    SCOPED_TRACE(icon_bytes);
    CObjCurrentPosition::ForgetMissingIconsReport();
    answers.asked.clear();
    CorvexHome case_home;  // no own vessel saved by an earlier run
    Program program;
    ASSERT_TRUE(program.started());
    const std::string icons = case_home.File("program");
    ASSERT_TRUE(vd::os::MakeFolders(icons + "/Icons"));
    if (*icon_bytes) {
      for (const char* name : {"gps_icon1.png", "gps_icon2.png"})
        ASSERT_TRUE(vd::os::SaveFileAtomically(icons + "/Icons/" + name, icon_bytes));
    }
    const std::string real_folder = program.app().program_folder;
    program.app().program_folder = icons;
    COstrelView* view = OpenChart(program, case_home);
    ASSERT_NE(view, nullptr);
    COstrelDoc& doc = *program.document();
    Feed(doc, true);
    Feed(doc, true);
    program.app().program_folder = real_folder;
    CObjCurrentPosition* own = doc.PeekCurrentPosition();
    ASSERT_NE(own, nullptr);
    EXPECT_FALSE(own->HasIcons());
    vd::ui::Point c;
    const QImage screen = Screen(*view, c);
    EXPECT_GT(CountAround(screen, c, 8, Reddish), 12) << "no symbol at " << c.x << "," << c.y;
    vd::test::DrainEvents();
    const auto told = std::count_if(answers.asked.begin(), answers.asked.end(),
                                    [](const std::string& text) {
                                      return text.find("vessel icon") != std::string::npos;
                                    });
    EXPECT_EQ(told, 1);
  }
}

}  // namespace
