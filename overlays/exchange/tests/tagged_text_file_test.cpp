// The tagged text file: export and import of whole files, the order and linking of records,
// the code page on disk, and lines other programs write.
#include "overlays/exchange/tagged_text_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "overlays/category.h"
#include "overlays/icon_library.h"
#include "overlays/obj_route.h"
#include "overlays/obj_text.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/exchange/tests/exchange_test_support.h"
#include "overlays/tests/overlay_test_objects.h"
#include "overlays/undo_ring.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ReleaseAll;

template <class T>
std::vector<T*> OfClass(const ObjectList& list) {
  return vd::test::ObjectsOf<T>(list);
}

class TaggedTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
    app.temp_folder = dir.path();
    app.document = &doc;
  }
  void TearDown() override {
    ReleaseAll(read);
    ReleaseAll(doc.objects);
    CObjRoute::SetCurrent(nullptr);
  }

  CObjWaypoint* Mark(const std::string& name, double lat, double lon) {
    return doc.AddMark(name, lat, lon);
  }
  CObjRoute* Route(const std::string& name, const std::vector<CObjWaypoint*>& marks) {
    return doc.AddRoute(name, marks);
  }
  // Writes the bytes as a file and reads it.
  ExchangeRead ReadBytes(const std::string& bytes, const ObjectList* document_list = nullptr) {
    const std::string path = dir.File("in.csv");
    EXPECT_TRUE(vd::os::SaveFileAtomically(path, bytes));
    return ReadTextFile(path, read, document_list);
  }
  std::string FileBytes(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(vd::os::ReadWholeFile(path, bytes));
    return bytes;
  }

  vd::test::TempDir dir;
  vd::test::FakeApp app;
  vd::test::FakeDoc doc;
  CCurrentOwnerScope owner{&doc};
  ObjectList read;
};

TEST_F(TaggedTextTest, ExportAndImportKeepEveryKindOfObject) {
  CObjWaypoint* free_mark = Mark("Café, \"quay\"", 51.5, -0.125);
  free_mark->comment = "line one, with comma\nline two \"quoted\" 100% Café";
  free_mark->SetCategory("Harbours");
  free_mark->radius = 50.0f;
  free_mark->circle_mode = CObjWaypoint::kProximityAlarm;

  // Both route marks share a name: their short names must come out distinct and the route
  // must find each again.
  CObjWaypoint* buoy_a = Mark("Buoy", 50.0, 1.0);
  CObjWaypoint* buoy_b = Mark("Buoy", 50.1, 1.1);
  CObjRoute* route = Route("Passage", {buoy_a, buoy_b});
  route->leg_labels = true;

  CObjTrack* track = doc.Add(new CObjTrack);
  track->name = "Walk";
  track->AddPoint(10.0, 20.0, 1'000'000, 12.5f, 90, 3);
  track->AddPoint(10.01, 20.01, 1'000'060, 13.5f, 95, 4);

  CObjText* note = doc.Add(new CObjText);
  note->name = "Note";
  note->text = "Watch out: rocks, «shoals»";
  note->position = {45.0, 7.0};
  note->edit_state = CObjText::kNormal;

  const std::string path = dir.File("out.csv");
  std::string error;
  ASSERT_TRUE(ExportTextFile(path, doc.objects, &error)) << error;

  // Windows-1252 and CR LF on disk; route marks come just before their route.
  const std::string bytes = FileBytes(path);
  EXPECT_NE(bytes.find("Caf\xE9"), std::string::npos);
  EXPECT_EQ(bytes.find("Café"), std::string::npos);
  // The comment's characters are encoded from the same code page as the names.
  EXPECT_NE(bytes.find("100%25+Caf%e9"), std::string::npos) << bytes;
  EXPECT_EQ(bytes.find("%c3%a9"), std::string::npos);
  EXPECT_NE(bytes.find("\r\n"), std::string::npos);
  EXPECT_EQ(bytes.find("\n", 0), bytes.find("\r\n") + 1);
  EXPECT_LT(bytes.find("\"BUOY1\""), bytes.find("RT01,"));
  EXPECT_NE(buoy_a->short_name, buoy_b->short_name);

  const ExchangeRead result = ReadTextFile(path, read, nullptr);
  ASSERT_TRUE(result.error.empty()) << result.error;
  EXPECT_EQ(result.count, 6);

  const auto marks = OfClass<CObjWaypoint>(read);
  ASSERT_EQ(marks.size(), 3u);
  const CObjWaypoint* cafe = marks[0];
  EXPECT_EQ(cafe->name, free_mark->name);
  EXPECT_EQ(cafe->comment, free_mark->comment);
  EXPECT_DOUBLE_EQ(cafe->position.lat, 51.5);
  EXPECT_DOUBLE_EQ(cafe->position.lon, -0.125);
  EXPECT_EQ(CCategory::GetNameOr(cafe->category()), "Harbours");
  EXPECT_FLOAT_EQ(cafe->radius, 50.0f);
  EXPECT_EQ(cafe->circle_mode, CObjWaypoint::kProximityAlarm);

  const auto routes = OfClass<CObjRoute>(read);
  ASSERT_EQ(routes.size(), 1u);
  EXPECT_EQ(routes[0]->name, "Passage");
  EXPECT_TRUE(routes[0]->leg_labels);
  ASSERT_EQ(routes[0]->points().size(), 2u);
  EXPECT_EQ(routes[0]->points()[0], marks[1]);
  EXPECT_EQ(routes[0]->points()[1], marks[2]);
  EXPECT_DOUBLE_EQ(routes[0]->points()[1]->position.lat, 50.1);

  const auto tracks = OfClass<CObjTrack>(read);
  ASSERT_EQ(tracks.size(), 1u);
  ASSERT_EQ(tracks[0]->points().size(), 2u);
  EXPECT_EQ(tracks[0]->points()[1].time, 1'000'060);
  EXPECT_EQ(tracks[0]->points()[1].heart_rate, 95);
  EXPECT_GT(tracks[0]->total_distance, 0.0);  // totals computed after reading

  const auto notes = OfClass<CObjText>(read);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0]->text, note->text);
}

TEST_F(TaggedTextTest, RouteRecordsLinkThisFilesMarksBeforeTheDocuments) {
  // The document already has a mark of the same short name: the file's own mark wins.
  CObjWaypoint* old_mark = Mark("Old", 1.0, 1.0);
  old_mark->short_name = "HOME";
  CObjWaypoint* only_in_doc = Mark("Doc", 2.0, 2.0);
  only_in_doc->short_name = "DOC";

  const ExchangeRead result = ReadBytes(
      "WP05,10.0,20.0,0,\"Home\",\"\",\"\",0.0,0,\"HOME\",1,0,\"Marks\",0,#0000ff\r\n"
      "RT01,\"First\",\"Routes\",1,0,3,0\r\n"
      "RP01,HOME\r\n"
      "RP01,DOC\r\n"
      "RP01,NOWHERE\r\n"
      "WP05,30.0,40.0,0,\"Home 2\",\"\",\"\",0.0,0,\"HOME\",1,0,\"Marks\",0,#0000ff\r\n"
      "RT01,\"Second\",\"Routes\",1,0,1,0\r\n"
      "RP01,HOME\r\n",
      &doc.objects);
  EXPECT_EQ(result.count, 4);
  EXPECT_EQ(result.error, "Not all of " + dir.File("in.csv") +
                              " could be read:\nline 5: a route point naming no mark read "
                              "before it: \"RP01,NOWHERE\"\n"
                              "line 2: the route \"First\" declares 3 points; 2 were kept");
  const auto marks = OfClass<CObjWaypoint>(read);
  const auto routes = OfClass<CObjRoute>(read);
  ASSERT_EQ(marks.size(), 2u);
  ASSERT_EQ(routes.size(), 2u);
  EXPECT_EQ(routes[0]->points(), (std::vector<CObjWaypoint*>{marks[0], only_in_doc}));
  // The latest mark of the name is the one written with this route.
  EXPECT_EQ(routes[1]->points(), (std::vector<CObjWaypoint*>{marks[1]}));
}

TEST_F(TaggedTextTest, ReadsLinesAsOtherWritersProduceThem) {
  const std::string long_comment(10000, 'x');
  const ExchangeRead result = ReadBytes(
      // An older mark without colour takes its symbol's default colour.
      "WP04,10.5,20.5,0,\"Old\",\"caf%E9\",\"\",0.0,0,\"OLD\",1,0,\"Marks\",0\n"
      // Out of range and unreadable positions make no mark.
      "WP05,90.0,20.0,0,\"Pole\"\n"
      "WP05,10.0,370.0,0,\"Far\"\n"
      "WPxx,abc,def\n"
      // Points before any track are ignored.
      "TP03,1.0,1.0,0.0,0,0,0,0,0\n"
      "TK02,\"T\",\"Tracks\",1,0,2,0,255,3600,300,15,10,\"\",1.0\n"
      "TP03,0.000000,0.000000,0.0,100,0,0,0,0\n"
      "TP03,5.0,6.0,7.0,200,0,0,0,0\n"
      "some other line\n"
      "WP05|11.0|21.0|0|\"Long\"|\"" + long_comment + "\"\n"
      "WP05,\t12.0, 22.0,0,\"Tabbed\"");
  // The lines left out are named, and the rest is read.
  EXPECT_EQ(result.error,
            "Not all of " + dir.File("in.csv") + " could be read:\n"
            "line 2: a mark without a valid position: \"WP05,90.0,20.0,0,\"Pole\"\"\n"
            "line 3: a mark without a valid position: \"WP05,10.0,370.0,0,\"Far\"\"\n"
            "line 4: a mark without a valid position: \"WPxx,abc,def\"\n"
            "line 5: a point with no track or route before it: \"TP03,1.0,1.0,0.0,0,0,0,0,0\"\n"
            "line 9: not a record of this file: \"some other line\"\n"
            "line 6: the track \"T\" declares 2 points; 1 was kept");
  const auto marks = OfClass<CObjWaypoint>(read);
  ASSERT_EQ(marks.size(), 3u);
  EXPECT_EQ(marks[0]->colour, CIconLibrary::SymbolDefaultColour(0));
  EXPECT_EQ(marks[0]->comment, "café");  // Windows-1252 bytes in the encoded comment
  EXPECT_EQ(marks[1]->comment, long_comment);
  EXPECT_DOUBLE_EQ(marks[2]->position.lat, 12.0);
  const auto tracks = OfClass<CObjTrack>(read);
  ASSERT_EQ(tracks.size(), 1u);
  ASSERT_EQ(tracks[0]->points().size(), 1u);  // the point at 0/0 is dropped
  EXPECT_EQ(tracks[0]->points()[0].time, 200);
  EXPECT_EQ(result.count, 4);
}

// Files cut short or not of this kind at all are named with what was read of them; track
// points off the globe are refused with their line.
TEST_F(TaggedTextTest, TruncatedAndJunkFilesSayWhatWasRead) {
  const std::string path = dir.File("in.csv");
  struct Case {
    const char* what;
    std::string bytes;
    int count;
    std::string error;
  };
  const Case cases[] = {
      {"cut inside a track", "TK02,\"T\",\"Tracks\",1,0,2,0,255,3600,300,15,10,\"\",1.0\r\n"
                             "TP03,5.0,6.0,7.0,200,0,0,0,0\r\nTP03,5.",
       1, "Not all of " + path + " could be read:\nline 3: a track point without a valid "
          "position: \"TP03,5.\"\nline 1: the track \"T\" declares 2 points; 1 was kept"},
      {"points off the globe", "TK02,\"T\"\nTP03,95.0,6.0,7.0,200\nTP03,5.0,400.0,7.0,300\n",
       1, "Not all of " + path + " could be read:\n"
          "line 2: a track point without a valid position: \"TP03,95.0,6.0,7.0,200\"\n"
          "line 3: a track point without a valid position: \"TP03,5.0,400.0,7.0,300\""},
      {"not this kind of file", std::string("\x89PNG\r\n\x1a\n\0\0", 10), 0,
       "Nothing could be read from " + path + ":\nline 1: not a record of this file: "
       "\"\xE2\x80\xB0PNG\"\nline 2: not a record of this file: \"?\"\n"
       "line 3: not a record of this file: \"??\""},
      {"empty", "", 0, "No objects found in " + path},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ExchangeRead result = ReadBytes(c.bytes);
    EXPECT_EQ(result.count, c.count);
    EXPECT_EQ(result.error, c.error);
    ReleaseAll(read);
  }
  // Many bad lines: the first ten are listed, the rest counted.
  std::string many;
  for (int i = 0; i < 25; ++i) many += "XX01,junk\n";
  const ExchangeRead result = ReadBytes(many);
  EXPECT_TRUE(result.error.ends_with("line 10: not a record of this file: \"XX01,junk\"\n"
                                     "(15 more like these)"))
      << result.error;
}

// Comments and names come back exactly as they were written: the comment's bytes are taken
// in the file's code page, never guessed from what they look like.
TEST_F(TaggedTextTest, CommentsAndNamesComeBackAsWritten) {
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"ASCII", "Anchor here at high water"},
      {"Latin-1 letters", "Caf\u00e9 \u00d8resund \u00bd mile, na\u00efve"},
      {"Windows-1252 bytes that form UTF-8", "\u00c3\u00a9 and \u00e2\u20ac\u2122"},
      {"percent and quotes", "100% \"sure\", 50%25 + a+b, 'single'"},
      {"line breaks and separators", "one,two|three\tfour\nfive\r\nsix"},
  };
  for (const auto& c : cases) {
    CObjWaypoint* mark = Mark(c.text, 50.0, -1.0);
    mark->comment = c.text;
  }
  const std::string path = dir.File("comments.csv");
  ASSERT_TRUE(ExportTextFile(path, doc.objects, nullptr));
  // The encoded comment is the Windows-1252 bytes: "\u00c3\u00a9" is written as its two bytes.
  EXPECT_NE(FileBytes(path).find("%c3%a9+and+%e2%80%99"), std::string::npos);
  const ExchangeRead result = ReadTextFile(path, read, nullptr);
  EXPECT_EQ(result.error, "");
  const auto marks = OfClass<CObjWaypoint>(read);
  ASSERT_EQ(marks.size(), std::size(cases));
  for (size_t i = 0; i < marks.size(); ++i) {
    SCOPED_TRACE(cases[i].what);
    EXPECT_EQ(marks[i]->comment, cases[i].text);
    EXPECT_EQ(marks[i]->name, cases[i].text);
  }
}

// A name of any kind of object comes back as it was written, line breaks and '%' included: each
// record stays one line of the file.
TEST_F(TaggedTextTest, NamesOfEveryKindComeBackWithTheirLineBreaks) {
  const std::string names[] = {
      "Plain",
      "two\nlines",
      "windows\r\nbreak",
      "lone\rreturn",
      "\nWP05,1.0,2.0,0,\"Injected\"",  // a record of its own, were the break written as is
      "100% sure, 50%25 and %0a as typed",
      "quote \" comma, bar | tab\tend",
      "Caf\u00e9",
  };
  for (const std::string& name : names) {
    Mark(name, 50.0, -1.0);
    CObjWaypoint* a = Mark("A", 50.1, -1.1);
    CObjWaypoint* b = Mark("B", 50.2, -1.2);
    Route(name, {a, b});
    CObjTrack* track = doc.Add(new CObjTrack);
    track->name = name;
    track->AddPoint(50.3, -1.3, 1700000000, 0.0f, 0, 0);
    auto* note = doc.Add(new CObjText);
    note->name = name;
    note->position = {50.4, -1.4};
    note->text = "note";
    note->edit_state = CObjText::kNormal;
  }
  const std::string path = dir.File("names.csv");
  ASSERT_TRUE(ExportTextFile(path, doc.objects, nullptr));
  // Every line of the file is a record.
  const std::string bytes = FileBytes(path);
  size_t lines = 0;
  for (size_t start = 0; start < bytes.size();) {
    const size_t end = bytes.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    const std::string tag = bytes.substr(start, 2);
    EXPECT_TRUE(tag == "WP" || tag == "RT" || tag == "RP" || tag == "TK" || tag == "TP" ||
                tag == "TX")
        << bytes.substr(start, end - start);
    EXPECT_EQ(bytes.find('\r', start), end);  // no lone return inside a record
    start = end + 2;
    ++lines;
  }
  EXPECT_EQ(lines, std::size(names) * (3 + 3 + 2 + 1));

  const ExchangeRead result = ReadTextFile(path, read, nullptr);
  EXPECT_EQ(result.error, "");
  std::vector<std::string> marks, routes, tracks, notes;
  for (const COstrelObject* object : read) {
    if (dynamic_cast<const CObjWaypoint*>(object)) {
      if (object->name != "A" && object->name != "B") marks.push_back(object->name);
    } else if (const auto* route = dynamic_cast<const CObjRoute*>(object)) {
      EXPECT_EQ(route->points().size(), 2u) << route->name;
      routes.push_back(object->name);
    } else if (dynamic_cast<const CObjTrack*>(object)) {
      tracks.push_back(object->name);
    } else {
      notes.push_back(object->name);
    }
  }
  const std::vector<std::string> expected(std::begin(names), std::end(names));
  EXPECT_EQ(marks, expected);
  EXPECT_EQ(routes, expected);
  EXPECT_EQ(tracks, expected);
  EXPECT_EQ(notes, expected);

  // A name another program wrote with '%' of its own reads as it stands.
  ReleaseAll(read);
  EXPECT_EQ(ReadBytes("WP05,10.0,20.0,0,\"50% off %41\"\r\n").error, "");
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read.front()->name, "50% off %41");
}

// Input that is plainly wrong is told with the file, the line and what was kept of it; nothing
// that the file does not hold is made up.
TEST_F(TaggedTextTest, BadInputIsToldWithItsLineAndWhatWasKept) {
  const std::string path = dir.File("in.csv");
  const std::string heading = "Not all of " + path + " could be read:\n";
  const std::string huge_name(3'000'000, 'N');
  struct Case {
    const char* what;
    std::string bytes;
    std::string error;
    std::vector<std::string> kept;  // what the objects read are, in order
  };
  const Case cases[] = {
      {"a longitude beyond 180 and a latitude beyond 90",
       "WP05,10.0,200.0,0,\"East\"\r\nWP05,95.0,20.0,0,\"North\"\r\n",
       heading + "line 1: a mark at longitude 200.000000, kept at -160.000000 (the same meridian)\n"
                 "line 2: a mark without a valid position: \"WP05,95.0,20.0,0,\"North\"\"",
       {"mark East 10.000000 -160.000000"}},
      {"a file cut short inside a track",
       "TX01,\"Note\",\"Notes\",1,0,10.0,20.0,\"Tide\",\"Arial\",13\r\n"
       "TK02,\"Run\",\"Tracks\",1,0,3,0\r\n"
       "TP03,5.0,6.0,7.0,200,0,0,0,0\r\n"
       "TP03,5.1",
       heading + "line 4: a track point without a valid position: \"TP03,5.1\"\n"
                 "line 2: the track \"Run\" declares 3 points; 1 was kept",
       {"note Note", "track Run 1"}},
      {"point counts that are plainly wrong",
       "WP05,10.0,20.0,0,\"A\",\"\",\"\",0,0,\"A\"\r\n"
       "WP05,10.1,20.1,0,\"B\",\"\",\"\",0,0,\"B\"\r\n"
       "RT01,\"Ferry\",\"Routes\",1,0,-5,0\r\nRP01,A\r\nRP01,B\r\n"
       "TK02,\"Log\",\"Tracks\",1,0,2147483647,0\r\n"
       "TP03,5.0,6.0,7.0,200,0,0,0,0\r\nTP03,5.1,6.1,7.0,300,0,0,0,0\r\n",
       heading + "line 3: the route \"Ferry\" declares -5 points; 2 were kept\n"
                 "line 6: the track \"Log\" declares 2147483647 points; 2 were kept",
       {"mark A 10.000000 20.000000", "mark B 10.100000 20.100000", "route Ferry 2",
        "track Log 2"}},
      {"a name of megabytes",
       "WP05,10.0,20.0,0,\"" + huge_name + "\"\r\n",
       heading + "line 1: a name of 3000000 bytes; its first 1024 were kept",
       {"mark " + huge_name.substr(0, 1024) + " 10.000000 20.000000"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ExchangeRead result = ReadBytes(c.bytes);
    EXPECT_EQ(result.error, c.error);
    std::vector<std::string> kept;
    for (const COstrelObject* object : read) {
      if (const auto* mark = dynamic_cast<const CObjWaypoint*>(object)) {
        kept.push_back(vd::os::FormatC("mark %s %.6f %.6f", mark->name.c_str(),
                                       mark->position.lat, mark->position.lon));
      } else if (const auto* route = dynamic_cast<const CObjRoute*>(object)) {
        kept.push_back("route " + route->name + " " + std::to_string(route->points().size()));
      } else if (const auto* track = dynamic_cast<const CObjTrack*>(object)) {
        kept.push_back("track " + track->name + " " + std::to_string(track->points().size()));
      } else {
        kept.push_back("note " + object->name);
      }
    }
    EXPECT_EQ(kept, c.kept);
    EXPECT_EQ(result.count, static_cast<int>(c.kept.size()));
    ReleaseAll(read);
  }
}

TEST_F(TaggedTextTest, TrainerHeaderHandsTheRestToOneTrack) {
  const ExchangeRead result = ReadBytes(
      "WP05,10.0,20.0,0,\"Before\"\r\n"
      "[Timex Trainer Data File]\r\n"
      "description=Morning run^\r\n"
      "WP05,30.0,40.0,0,\"Trainer text, not a mark\"\r\n");
  EXPECT_EQ(result.count, 2);
  EXPECT_EQ(OfClass<CObjWaypoint>(read).size(), 1u);
  const auto tracks = OfClass<CObjTrack>(read);
  ASSERT_EQ(tracks.size(), 1u);
  EXPECT_EQ(tracks[0]->name, "Morning run");
}

TEST_F(TaggedTextTest, FailuresNameThePathAndLeaveNothingBehind) {
  Mark("A", 1.0, 2.0);
  const std::string missing_folder = dir.File("no/such/folder/out.csv");
  std::string error;
  EXPECT_FALSE(ExportTextFile(missing_folder, doc.objects, &error));
  EXPECT_EQ(error, "Failed to open export file: " + missing_folder);

  const std::string missing = dir.File("missing.csv");
  EXPECT_EQ(ReadTextFile(missing, read, nullptr).error, "Failed to open import file: " + missing);
  EXPECT_TRUE(read.empty());
  error.clear();
  EXPECT_EQ(ImportTextFile(missing, doc, &error), 0);
  EXPECT_EQ(error, "Failed to open import file: " + missing);

  // A mark still being placed writes nothing, and the export says so, but the rest is saved.
  CObjWaypoint* placing = doc.Add(new CObjWaypoint);
  placing->name = "Placing";
  const std::string path = dir.File("partial.csv");
  EXPECT_FALSE(ExportTextFile(path, doc.objects, nullptr));
  EXPECT_NE(FileBytes(path).find("\"A\""), std::string::npos);
}

// A file of one long line moves the bar while it is read and converted, not only between lines;
// a stop in any phase reads nothing and says nothing.
TEST_F(TaggedTextTest, ProgressMovesThroughOneLongLineAndStopsAnywhere) {
  const std::string comment(8 << 20, 'c');
  const std::string path = dir.File("long.csv");
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, "WP05,10.0,20.0,0,\"Long\"," + comment + "\r\n"));
  std::vector<double> seen;  // fractions of the whole
  const ExchangeRead whole = ReadTextFile(path, read, nullptr, [&](int64_t done, int64_t total) {
    seen.push_back(static_cast<double>(done) / static_cast<double>(total));
    return true;
  });
  EXPECT_EQ(whole.error, "");
  ASSERT_EQ(whole.count, 1);
  ASSERT_EQ(OfClass<CObjWaypoint>(read).size(), 1u);
  EXPECT_EQ(OfClass<CObjWaypoint>(read)[0]->comment, comment);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_GE(std::count_if(seen.begin(), seen.end(), [](double f) { return f > 0 && f < 0.67; }),
            12)
      << "the bar moves before the line is taken apart";

  for (const double stop_at : {0.1, 0.5, 0.9}) {
    SCOPED_TRACE(stop_at);
    ObjectList part;
    const ExchangeRead stopped = ReadTextFile(path, part, nullptr, [&](int64_t done, int64_t total) {
      return static_cast<double>(done) < stop_at * static_cast<double>(total);
    });
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(stopped.error, "");
    EXPECT_EQ(part.empty(), stop_at < 0.66) << "the line is taken apart in the last phase";
    ReleaseAll(part);
  }
}

TEST_F(TaggedTextTest, ImportIntoDocumentAppendsWithOneUndoStepAndTellsTheViews) {
  std::vector<vd::test::ChangeRecord> log;
  doc.log = &log;
  const std::string path = dir.File("doc.csv");
  ASSERT_TRUE(vd::os::SaveFileAtomically(
      path, "WP05,10.0,20.0,0,\"One\"\r\nWP05,11.0,21.0,0,\"Two\"\r\n"));
  const int32_t step_before = CUndoRing::Program().undo_step();

  EXPECT_EQ(ImportTextFile(path, doc), 2);
  ASSERT_EQ(doc.objects.size(), 2u);
  for (COstrelObject* object : doc.objects) {
    EXPECT_EQ(object->ref_count(), 1);
    EXPECT_EQ(object->document(), &doc);
    EXPECT_EQ(object->undo_stamp, CUndoRing::Program().undo_step());
  }
  EXPECT_EQ(CUndoRing::Program().undo_step(), step_before + 1);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), (vd::test::ChangeRecord{vd::test::ChangeRecord::kViews, 0, nullptr}));
  doc.log = nullptr;
}

}  // namespace
