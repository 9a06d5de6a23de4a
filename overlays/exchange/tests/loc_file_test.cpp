// LOC files: the cache code or a unique short name as the id, and reading back.
#include "overlays/exchange/loc_file.h"

#include <gtest/gtest.h>

#include <string>

#include "overlays/category.h"
#include "overlays/exchange/gpx_xml_check.h"
#include "overlays/exchange/tests/gpx_test_world.h"

namespace {

using vd::test::GpxWorld;

TEST(LocFile, IdsAreCacheCodesOrUniqueShortNames) {
  GpxWorld world;
  CObjWaypoint* cache = world.Mark("Old <mill> & pond", 51.5, -0.125);
  cache->comment = "GC12AB";
  cache->link = "http://example.org/?id=1&x=\"y\"";
  CObjWaypoint* first = world.Mark("Harbour wall east side", 52.0, 1.0);
  CObjWaypoint* second = world.Mark("harbour wall east side", 52.1, 1.1);
  second->comment = "this comment is far too long for a code";
  CObjWaypoint* one_letter = world.Mark("Q", 53.0, 2.0);
  one_letter->comment = "X";

  int marks = 0;
  const std::string text = MakeLocDocument(world.doc.objects, marks);
  EXPECT_EQ(marks, 4);
  EXPECT_EQ(CheckXmlWellFormed(text), "");
  EXPECT_NE(text.find("<name id=\"GC12AB\"><![CDATA[Old <mill> & pond]]></name>\n"
                      "<coord lat=\"51.5000000000\" lon=\"-0.1250000000\" />\n"
                      "<type>geocache</type>\n"
                      "<link text=\"Details\">http://example.org/?id=1&amp;x=&quot;y&quot;</link>"),
            std::string::npos);
  EXPECT_EQ(first->short_name, "HARBOURWALLE");
  EXPECT_EQ(second->short_name, "HARBOURWALL1");
  EXPECT_EQ(one_letter->short_name, "Q");
  EXPECT_NE(text.find("<name id=\"HARBOURWALL1\">harbour wall east side</name>"),
            std::string::npos);

  const ObjectList read = world.Read("caches.LOC", text);
  const auto back = GpxWorld::OfClass<CObjWaypoint>(read);
  ASSERT_EQ(back.size(), 4u);
  EXPECT_EQ(back[0]->name, "Old <mill> & pond");
  EXPECT_EQ(back[0]->comment, "GC12AB");
  EXPECT_DOUBLE_EQ(back[0]->position.lat, 51.5);
  EXPECT_DOUBLE_EQ(back[0]->position.lon, -0.125);
  EXPECT_EQ(back[0]->link, cache->link);
  EXPECT_EQ(back[0]->symbol, 23);
  EXPECT_TRUE(back[0]->locked);
  EXPECT_FALSE(back[0]->being_placed);
  EXPECT_EQ(CCategory::GetNameOr(back[0]->category()), "geocache");
  EXPECT_EQ(back[3]->comment, "Q");
}

TEST(LocFile, WaypointsWithoutNameOrCoordAreSkipped) {
  GpxWorld world;
  const ObjectList read = world.Read(
      "partial.loc",
      "<?xml version=\"1.0\"?><loc version=\"1.0\" src=\"other\">"
      "<waypoint><name id=\"A1\">No position</name></waypoint>"
      "<waypoint><coord lat=\"1\" lon=\"2\"/></waypoint>"
      "<waypoint><name id=\"B2\">Kept</name><coord lat=\"3\" lon=\"4\"/></waypoint></loc>");
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read.front()->name, "Kept");
}

}  // namespace
