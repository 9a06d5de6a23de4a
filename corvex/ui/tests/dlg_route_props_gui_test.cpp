// The route window and its route card: the point list, renaming, Reverse, the line style,
// Cancel and OK; the card's placeholders, escaping and repeated block.
#include "corvex/ui/dlg_route_props.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QTreeWidget>
#include <fstream>

#include "corvex/ui/line_style_controls.h"
#include "corvex/ui/route_card_writer.h"
#include "corvex/ui/tests/props_test_world.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/files.h"
#include "platform/ui/message_box.h"
#include "platform/ui/responder.h"

namespace {

using D = CDlgRouteProps;
using L = CLineStyleControls;

class RoutePropsTest : public ::testing::Test, public vd::test::PropsWorld {
 public:
  // A route north along the meridian through marks named as given, one minute apart.
  CObjRoute* NewRoute(std::initializer_list<const char*> names) {
    CObjRoute* route = doc.Add(new CObjRoute);
    route->name = "R<1>";
    double lat = 50.0;
    for (const char* name : names) {
      CObjWaypoint* mark = doc.Add(new CObjWaypoint);
      mark->Set(lat, 0.0, name, "", 0, 0);
      mark->name = name;
      route->LinkWaypoint(mark);
      lat += 1.0 / 60.0;
    }
    route->EndEditing();
    route->RecomputeLength();
    doc.notices.clear();
    return route;
  }
  static std::vector<std::string> Names(const CObjRoute& route) {
    std::vector<std::string> names;
    for (const CObjWaypoint* p : route.points()) names.push_back(p->name);
    return names;
  }
  std::string Expand(CObjRoute& route, const std::string& text, RouteCardData data = {},
                     bool xml = false) {
    data.distance = "2 NM";
    return CRouteCardWriter(route, data).Expand(text, xml);
  }
};

TEST_F(RoutePropsTest, ListShowsPointsWithTheLegToTheNext) {
  CObjRoute* route = NewRoute({"A", "B", "C"});
  D dialog(route, &parent);
  auto* list = qobject_cast<QTreeWidget*>(dialog.GetItem(D::kPointList));
  ASSERT_EQ(list->topLevelItemCount(), 3);
  EXPECT_EQ(list->topLevelItem(0)->text(0), "A");
  EXPECT_EQ(list->topLevelItem(0)->text(2).toStdString(), app.FormatBearing(0.0));
  EXPECT_EQ(list->topLevelItem(1)->text(3).toStdString(),
            app.FormatDistance(route->DistanceBetween(1, 2)));
  EXPECT_EQ(list->topLevelItem(2)->text(3), "");
  EXPECT_EQ(Text(dialog, D::kDistanceText), app.FormatDistance(route->length));
  // At the default 3 knots.
  EXPECT_EQ(Text(dialog, D::kTimeText),
            CAppCommon::FormatDuration(static_cast<int64_t>(route->length * 1200.0)));

  // Renaming in the list renames the mark; an empty label does not.
  list->topLevelItem(1)->setText(0, "Bee");
  EXPECT_EQ(route->points()[1]->name, "Bee");
  EXPECT_TRUE(doc.Told(kChangeModified, route));
  EXPECT_TRUE(doc.Told(kChangeModified, route->points()[1]));
  list->topLevelItem(1)->setText(0, "");
  EXPECT_EQ(route->points()[1]->name, "Bee");
}

TEST_F(RoutePropsTest, StyleReverseAndLabelsStayAfterCancelAndOk) {
  for (const bool cancel : {true, false}) {
    CObjRoute* route = NewRoute({"A", "B", "C"});
    D dialog(route, &parent);
    Choose(dialog, L::kWidthCombo, 3);
    Choose(dialog, L::kStyleCombo, 4);
    Choose(dialog, L::kTransparencyCombo, 2);
    EXPECT_EQ(route->thickness, 3);
    EXPECT_EQ(route->line_style, 4);
    EXPECT_EQ(route->transparency, 2);
    EXPECT_TRUE(doc.Told(kChangeModified, route));
    Click(dialog, D::kReverseButton);
    EXPECT_EQ(Names(*route), (std::vector<std::string>{"C", "B", "A"}));
    qobject_cast<QTreeWidget*>(dialog.GetItem(D::kPointList))->topLevelItem(0)->setText(0, "Sea");
    Click(dialog, D::kLabelLegsCheck);
    EXPECT_TRUE(route->leg_labels);
    Click(dialog, cancel ? vd::ui::kIdCancel : D::kKeepButton);
    EXPECT_TRUE(dialog.closed());
    EXPECT_EQ(Names(*route), (std::vector<std::string>{"Sea", "B", "A"}));
    EXPECT_EQ(route->thickness, 3);
    EXPECT_TRUE(route->leg_labels);
  }
}

TEST_F(RoutePropsTest, SaveDefaultStyleWritesTheRouteSettings) {
  CObjRoute* route = NewRoute({"A", "B"});
  D dialog(route, &parent);
  Choose(dialog, L::kWidthCombo, 2);
  Click(dialog, L::kSaveDefault);
  EXPECT_EQ(Setting("route_thickness"), 2);
  EXPECT_EQ(Setting("route_color"), static_cast<int32_t>(route->colour));
  EXPECT_EQ(Setting("route_style"), 0);
  EXPECT_EQ(Setting("route_trans"), 0);
}

TEST_F(RoutePropsTest, CardFillsHeaderAndRepeatsTheBlockPerPoint) {
  CObjRoute* route = NewRoute({"A", "B&B", "C"});
  route->points()[1]->comment = "see <here>";
  EXPECT_EQ(Expand(*route, "%N %D 100%% %z|%^[%#:%n:%c:%d]%$|%n."),
            "R&lt;1&gt; 2 NM 100% %z|[0:A::][1:B&amp;B:see &lt;here&gt;:" +
                app.FormatDistance(route->DistanceBetween(0, 1)) + "][2:C::" +
                app.FormatDistance(route->DistanceBetween(1, 2)) + "]|.");
  // Without a block each "%#" moves one point on; a '%' ending the template stays.
  EXPECT_EQ(Expand(*route, "%n %#%n %#%n %#%n %"), "A 1B&amp;B 2C 3 %");
}

TEST_F(RoutePropsTest, CardBlockCanSkipPointsWithHiddenNames) {
  CObjRoute* route = NewRoute({"A", "B", "C", "D"});
  route->points()[1]->label_mode = CObjWaypoint::kLabelSymbolOnly;
  route->points()[3]->label_mode = CObjWaypoint::kLabelSymbolOnly;
  RouteCardData data;
  data.only_labelled = true;
  // The leg to C spans the skipped point; the last point always comes.
  EXPECT_EQ(Expand(*route, "%^%n(%d) %$", data),
            "A() C(" + app.FormatDistance(route->DistanceBetween(0, 2)) + ") D(" +
                app.FormatDistance(route->DistanceBetween(2, 3)) + ") ");
}

TEST_F(RoutePropsTest, CardValuesAreUtf8AndPictureLinksEncoded) {
  CObjRoute* route = NewRoute({"Quai Sud", "B"});
  route->points()[0]->comment = "18°C\x01 \xc3\xa9t\xc3\xa9";
  route->points()[0]->link = "/photos/my \"boat\".JPG";
  route->points()[1]->link = "/docs/notes.txt";
  EXPECT_EQ(Expand(*route, "%c", {}, true), "18°C \xc3\xa9t\xc3\xa9");
  EXPECT_EQ(Expand(*route, "%^%i;%$"),
            "<img src=\"/photos/my%20%22boat%22.JPG\" height=70>;;");
  RouteCardData without;
  without.thumbnails = false;
  EXPECT_EQ(Expand(*route, "%i", without), "");
}

TEST_F(RoutePropsTest, CardIsWrittenBesideTheTemporaryFilesOrFailsWithItsMessage) {
  struct Recorder : vd::ui::DialogResponder {
    int MessageBox(const vd::ui::MessageBoxRequest& request) override {
      texts.push_back(request.text);
      return vd::ui::kIdOk;
    }
    std::vector<std::string> texts;
  } recorder;
  vd::ui::ScopedResponder scope(&recorder);
  CObjRoute* route = NewRoute({"A", "B"});
  D dialog(route, nullptr);
  EXPECT_FALSE(dialog.WriteRouteCard());
  ASSERT_EQ(recorder.texts.size(), 1u);
  EXPECT_EQ(recorder.texts[0], "Failed to open route card template (see Settings...)");

  const std::string card = dir.path() + "/card.XML";
  std::ofstream(card) << "<r n=\"%N\">%T</r>";
  vd::OpenAppProfile().SetString("settings", "rt_template2", card);
  // A link planted at the card's name is replaced, and what it points to left as it was.
  const std::string victim = dir.path() + "/victim.txt";
  ASSERT_TRUE(vd::os::SaveFileAtomically(victim, "not to be touched"));
  ASSERT_EQ(::symlink(victim.c_str(), (dir.path() + "/route.XML").c_str()), 0);
  const auto written = dialog.WriteRouteCard();
  ASSERT_TRUE(written);
  EXPECT_EQ(*written, dir.path() + "/route.XML");
  std::string text;
  ASSERT_TRUE(vd::os::ReadWholeFile(*written, text));
  EXPECT_EQ(text, "<r n=\"R&lt;1&gt;\">" + dialog.totals().time + "</r>");
  ASSERT_TRUE(vd::os::ReadWholeFile(victim, text));
  EXPECT_EQ(text, "not to be touched");
}

}  // namespace
