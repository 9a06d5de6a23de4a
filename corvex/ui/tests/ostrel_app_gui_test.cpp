// The chart program from start-up to shutdown, on the offscreen platform with a home folder of
// its own.
#include "corvex/ui/ostrel_app.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <memory>
#include <thread>

#include "charts/chart_conversion.h"
#include "charts/converter_plugins.h"
#include "charts/qct_file_view.h"
#include "overlays/outline/old_chart_outline.h"
#include "core/path_utils.h"
#include "core/persistent_value.h"
#include "corvex/command_ids.h"
#include "corvex/startup_files.h"
#include "corvex/command_ids.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "corvex/tests/api_test_support.h"
#include "corvex/ui/chart_view_maker.h"
#include "corvex/ui/child_frame.h"
#include "corvex/ui/main_frame.h"
#include "corvex/command_ids.h"
#include "corvex/ui/dlg_chart_select.h"
#include "corvex/ui/dlg_register_charts.h"
#include "platform/ui/dialog_window.h"
#include "corvex/ui/splash_wnd.h"
#include "corvex/ui/tests/corvex_home.h"
#include "corvex/ui/tests/corvex_program.h"
#include "corvex/vd_transaction.h"
#include "gps/gps_interface.h"
#include "gps/ui/nav_arrow.h"
#include "gps/ui/navigation_data.h"
#include "app/nmea_fields.h"
#include "gps/nmea_waypoint_sentences.h"
#include "gps/tests/gps_test_support.h"
#include "gps/ui/satellite_data.h"
#include "overlays/obj_current_position.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/overlay_file.h"
#include "overlays/tests/route_link_files.h"
#include "platform/os/folders.h"
#include "platform/os/named_mutex.h"
#include "platform/os/numbers.h"
#include "platform/os/process.h"
#include "platform/ui/surface.h"
#include "tests/chart_fixture.h"
#include "tests/test_converter.h"
#include "tests/child_process.h"
#include "tests/pty_pair.h"

namespace {

using vd::test::CorvexHome;
using vd::test::Program;
using vd::test::ProcessEventsUntil;
using vd::test::ScriptedAnswers;

std::string ReadFile(const std::string& path) {
  std::string bytes;
  vd::os::ReadWholeFile(path, bytes);
  return bytes;
}

// A demo file of RMC sentences, ten seconds and about 110 m apart, heading north.
std::string WriteDemoTrack(const CorvexHome& home, int fixes) {
  std::string text;
  for (int i = 0; i < fixes; ++i) {
    const int seconds = i * 10;
    const double minutes = 7.0 + 0.06 * i;  // latitude 48 deg 7' + i x 0.06'
    text += vd::test::Sentence(vd::os::FormatC("GPRMC,12%02d%02d.00,A,48%06.3f,N,01131.000,E,"
                                               "5.5,0.0,310324,,",
                                               seconds / 60, seconds % 60, minutes)) +
            "\r\n";
  }
  const std::string path = home.File("demo track.nmea");
  vd::os::SaveFileAtomically(path, text);
  return path;
}

void SetGpsPort(const std::string& port) {
  GPSParams params;
  params.type = GPSParams::kNmea;
  params.port = port;
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  SaveGPSParams(profile, params);
}

TEST(CorvexApp, FirstStartMakesItsFilesAndTheNextStartReopensThem) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  std::string document_path;
  {
    Program program;
    ASSERT_TRUE(program.started());
    EXPECT_TRUE(vd::os::IsDirectory(home.DataFolder()));
    EXPECT_TRUE(program.frame().isVisible());
    ASSERT_NE(program.document(), nullptr);
    document_path = program.document()->GetPathName();
    EXPECT_EQ(document_path, home.DataFolder() + "/Vardune-6.vdn");
    EXPECT_EQ(vd::OpenAppProfile().GetString("settings", "default_vdn_file_6"), document_path);
    EXPECT_EQ(vd::os::ProfileStore("Software\\Vardune").GetString("", "temp_folder"),
              vd::os::TempFolder());
    EXPECT_EQ(vd::OpenAppProfile().GetInt("settings", "run_count2"), 1);
    EXPECT_EQ(home.opened_documents.size(), 1u);  // the help topics, on the first run only
    // A chart window exists from the start, even without a chart.
    EXPECT_EQ(program.frame().ChartFrames().size(), 1u);

    CObjWaypoint* mark = program.document()->NewMark();
    mark->name = "Harbour";
    mark->position = CLatLon(50.5, -1.25);
    mark->being_placed = false;
    ASSERT_TRUE(program.Quit());
  }
  // Closing saved both files.
  EXPECT_FALSE(ReadFile(document_path).empty());
  ObjectList saved;
  ASSERT_TRUE(ReadOverlayFileObjects(home.DataFolder() + "/userdata-Vardune-6.vdo", saved));
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved.front()->name, "Harbour");
  for (COstrelObject* object : saved) object->Release();

  Program again;
  ASSERT_TRUE(again.started());
  EXPECT_EQ(again.document()->GetPathName(), document_path);
  EXPECT_EQ(home.opened_documents.size(), 1u);
  const ObjectList& list = *again.document()->GetObjectList();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list.front()->name, "Harbour");
}

TEST(CorvexApp, SecondInstanceHandsItsFileToTheFirstAndEnds) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  // An overlay file with one mark, as the user double-clicks it.
  const std::string file = home.File("shared marks.vdo");
  {
    ObjectList list;
    auto* mark = new CObjWaypoint;
    mark->AddRef();
    mark->name = "Handed over";
    mark->position = CLatLon(10.0, 20.0);
    list.push_back(mark);
    ASSERT_TRUE(SaveObjectsToOverlayFile(file, list, true));
    mark->Release();
  }
  Program first;
  ASSERT_TRUE(first.started());
  // The first window, maximised at start, is in the task bar when the file comes.
  ASSERT_TRUE(first.frame().isMaximized());
  first.frame().showMinimized();
  vd::test::DrainEvents();
  // The second program waits for the first one's answer, which needs this event loop.
  auto second = std::async(std::launch::async, [&] {
    return vd::os::Spawn(vd::os::ProgramFolder() + "/corvex", {"--no-splash", file}, true);
  });
  ASSERT_TRUE(ProcessEventsUntil([&] {
    return second.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }));
  const vd::os::SpawnResult ended = second.get();
  ASSERT_TRUE(ended.started) << ended.error;
  EXPECT_EQ(ended.exit_code, 0);
  const ObjectList& list = *first.document()->GetObjectList();
  EXPECT_TRUE(ProcessEventsUntil([&] {
    return std::any_of(list.begin(), list.end(),
                       [](COstrelObject* o) { return o->name == "Handed over"; });
  }));
  // It comes back as the user left it: maximised.
  EXPECT_FALSE(first.frame().isMinimized());
  EXPECT_TRUE(first.frame().isMaximized());
}

TEST(CorvexApp, DemoFileFixesMoveThePositionAndRecordTheTrack) {
  CorvexHome home;
  ScriptedAnswers answers;
  answers.answers = {{"GPS Demo?", vd::ui::kIdYes}};
  vd::ui::ScopedResponder responder(&answers);
  constexpr int kFixes = 12;
  { Program setup; }  // a first run makes the profile; the GPS is set up afterwards
  SetGpsPort(WriteDemoTrack(home, kFixes));

  auto clock = std::make_shared<vd::test::InstantClock>();
  auto program = std::make_unique<Program>(std::vector<std::string>{"--no-splash"}, clock);
  ASSERT_TRUE(program->started());
  ASSERT_NE(program->frame().gps(), nullptr);
  COstrelDoc& doc = *program->document();
  const double last_lat = 48.0 + (7.0 + 0.06 * (kFixes - 1)) / 60.0;
  ASSERT_TRUE(ProcessEventsUntil([&] {
    CObjCurrentPosition* own = doc.PeekCurrentPosition();
    CObjTrack* track = doc.PeekGPSTrack();
    return own && std::abs(own->position.lat - last_lat) < 1e-6 && track &&
           track->points().size() >= kFixes - 1;
  }));
  EXPECT_EQ(program->frame().gps_status_text().rfind("GPS: ", 0), 0u);
  program->frame().StopGPS();
  EXPECT_EQ(program->frame().gps(), nullptr);
  const size_t recorded = doc.PeekGPSTrack()->points().size();
  ASSERT_TRUE(program->Quit());

  ObjectList saved;
  ASSERT_TRUE(ReadOverlayFileObjects(home.DataFolder() + "/userdata-Vardune-6.vdo", saved));
  const CObjTrack* track = nullptr;
  for (COstrelObject* object : saved)
    if (auto* t = dynamic_cast<CObjTrack*>(object)) track = t;
  ASSERT_NE(track, nullptr);
  EXPECT_EQ(track->points().size(), recorded);
  EXPECT_NEAR(track->points().back().position.lat, last_lat, 1e-6);
  for (COstrelObject* object : saved) object->Release();
}

// Dark pixels per column of rows [top, top + rows) of the image.
std::vector<int> InkColumns(const QImage& image, int top, int rows) {
  std::vector<int> ink(static_cast<size_t>(image.width()), 0);
  for (int y = std::max(top, 0); y < std::min(top + rows, image.height()); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      ink[static_cast<size_t>(x)] += QColor(image.pixel(x, y)).lightness() < 100;
    }
  }
  return ink;
}

// A receiver that sends RMC and GGA but no satellite tables: the satellite pane's bottom line
// still tells the fix. It must look as the text "Standard fix using 8 satellites. HDoP 0.9m"
// does when written in the pane's font at that place.
TEST(CorvexApp, SatellitePaneTellsTheFixWithoutSatelliteTables) {
  CorvexHome home;
  ScriptedAnswers answers;
  answers.answers = {{"GPS Demo?", vd::ui::kIdYes}};
  vd::ui::ScopedResponder responder(&answers);
  { Program setup; }
  std::string text;
  for (int i = 0; i < 12; ++i) {
    const std::string time = vd::os::FormatC("12%02d%02d.00", i * 10 / 60, i * 10 % 60);
    text += vd::test::Sentence("GPRMC," + time + ",A,4807.000,N,01131.000,E,5.5,0.0,310324,,") +
            "\r\n";
    text += vd::test::Sentence("GPGGA," + time +
                               ",4807.000,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") +
            "\r\n";
  }
  const std::string demo = home.File("demo without satellites.nmea");
  ASSERT_TRUE(vd::os::SaveFileAtomically(demo, text));
  SetGpsPort(demo);

  Program program({"--no-splash"}, std::make_shared<vd::test::InstantClock>());
  ASSERT_TRUE(program.started());
  COstrelDoc& doc = *program.document();
  ASSERT_TRUE(ProcessEventsUntil([&] {
    CObjCurrentPosition* own = doc.PeekCurrentPosition();
    return own != nullptr && own->valid;
  }));
  ASSERT_TRUE(program.frame().RouteCommand(32944));
  CSatelliteData* pane = CDataPane::FindNextDataWnd<CSatelliteData>();
  ASSERT_NE(pane, nullptr);
  std::vector<int> shown, expected;
  ASSERT_TRUE(ProcessEventsUntil([&] {
    const QImage image = pane->grab().toImage();
    const int font_height = pane->font_height();
    const int top = CSatelliteData::Baseline(image.height(), font_height) + 1 + font_height;
    // The text written on the pane's background in the pane's font, at the same place.
    QImage reference(image.size(), QImage::Format_RGB32);
    reference.fill(QColor(255, 255, 220));
    {
      QPainter painter(&reference);
      vd::ui::Surface dc(painter);
      dc.SelectFont(pane->pane_font());
      dc.SetBackgroundMode(vd::ui::BackgroundMode::Transparent);
      dc.SetTextColour(vd::ui::MakeColourRef(0, 0, 0));
      dc.SetTextAlign(vd::ui::kTextAlignLeft | vd::ui::kTextAlignTop);
      dc.TextOut({0, top}, "Standard fix using 8 satellites. HDoP 0.9m");
    }
    expected = InkColumns(reference, top, image.height() - top);
    shown = InkColumns(image, top, image.height() - top);
    return shown == expected;
  })) << testing::PrintToString(shown) << "\n" << testing::PrintToString(expected);
  program.frame().StopGPS();
}

// Marks sent to an NMEA device are the free marks only: a route's points go with the routes.
TEST(CorvexApp, SendingMarksToAnNmeaDeviceLeavesRoutePointsOut) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  vd::test::PtyPair pty;
  ASSERT_TRUE(pty.Open());
  { Program setup; }
  SetGpsPort(pty.slave_path());
  auto clock = std::make_shared<vd::test::InstantClock>();
  Program program({"--no-splash"}, clock);
  ASSERT_TRUE(program.started());
  ASSERT_NE(program.frame().gps(), nullptr);
  COstrelDoc& doc = *program.document();
  ObjectList& list = *doc.GetObjectList();
  const auto add_mark = [&](const char* name, double lat) {
    CCurrentOwnerScope owner(&doc);
    auto* mark = new CObjWaypoint;
    mark->name = name;
    mark->position = {lat, -1.0};
    mark->being_placed = false;
    mark->AddRef();
    list.push_back(mark);
    return mark;
  };
  // The route's points come first in the list: sent, they would be the first sentences.
  CObjWaypoint* a = add_mark("Leg A", 50.1);
  CObjWaypoint* b = add_mark("Leg B", 50.2);
  add_mark("Harbour", 50.0);
  {
    CCurrentOwnerScope owner(&doc);
    auto* route = new CObjRoute;
    route->name = "Passage";
    route->AddRef();
    list.push_back(route);
    route->LinkWaypoint(a);
    route->LinkWaypoint(b);
    route->EndEditing();
  }
  ASSERT_TRUE(doc.IsCommandEnabled(kCmdExportGpsMarks));

  std::string expected;
  for (std::string s : MakeMarkSentences({{"Harbour", {50.0, -1.0}}}, 6)) {
    NMEAAppendChecksumCRLF(s);
    expected += s;
  }
  std::string sent;
  std::thread device([&] { sent = pty.ReadFromMaster(expected.size()); });
  doc.OnCommand(kCmdExportGpsMarks);
  device.join();
  EXPECT_EQ(sent, expected);
  EXPECT_TRUE(answers.asked.empty());
}

TEST(CorvexApp, LostPortAsksToRetryAndCancelLeavesTheInputStopped) {
  CorvexHome home;
  ScriptedAnswers answers;
  answers.answers = {{"GPS Demo?", vd::ui::kIdYes}};
  vd::ui::ScopedResponder responder(&answers);
  { Program setup; }
  const std::string demo = WriteDemoTrack(home, 3);
  SetGpsPort(demo);
  auto clock = std::make_shared<vd::test::InstantClock>();
  Program program({"--no-splash"}, clock);
  ASSERT_TRUE(program.started());
  // The file goes away: the input ends, restarts without asking, and then can't open it.
  ASSERT_TRUE(ProcessEventsUntil([&] { return program.document()->PeekCurrentPosition(); }));
  vd::os::RemoveFile(demo);
  ASSERT_TRUE(ProcessEventsUntil([&] {
    return std::any_of(answers.asked.begin(), answers.asked.end(),
                       [](const std::string& text) { return text.rfind("GPS: ", 0) == 0; });
  }));
  EXPECT_NE(program.frame().gps(), nullptr);  // Cancel leaves the interface, without input
  EXPECT_TRUE(program.Quit());
}

TEST(CorvexApp, HalfHourTimerSavesTheDocument) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  Program program;
  ASSERT_TRUE(program.started());
  const std::string user_data = home.DataFolder() + "/userdata-Vardune-6.vdo";
  vd::os::RemoveFile(user_data);
  CObjWaypoint* mark = program.document()->NewMark();
  mark->name = "Timed";
  mark->being_placed = false;
  program.frame().OnTimer(CMainFrame::kSaveTimer);
  ObjectList saved;
  ASSERT_TRUE(ReadOverlayFileObjects(user_data, saved));
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved.front()->name, "Timed");
  for (COstrelObject* object : saved) object->Release();
  EXPECT_TRUE(vd::os::FileExists(program.document()->GetPathName()));
}

std::vector<std::string> NamesOf(const ObjectList& list) {
  std::vector<std::string> names;
  for (const COstrelObject* object : list) names.push_back(object->name);
  return names;
}

// A user-data file whose mark names a route that does not hold it, cut short so that its load
// fails after both were made: the program starts on the backup beside it. The same file whole
// loads, and the mark is saved at the end without a trace of the route.
TEST(CorvexApp, StartsOnTheBackupOfAUserDataFileWithMismatchedLinks) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  ASSERT_TRUE(vd::os::MakeFolders(home.DataFolder()));
  const std::string user_data = home.DataFolder() + "/userdata-Vardune-6.vdo";
  const std::string bad = vd::test::MarkNamingAStrayRouteFile(false);
  ASSERT_TRUE(vd::os::SaveFileAtomically(user_data, bad));
  ASSERT_TRUE(vd::os::SaveFileAtomically(home.DataFolder() + "/backup.vdo",
                                         vd::test::RouteThroughTwoMarksFile()));
  {
    Program program;
    ASSERT_TRUE(program.started());
    EXPECT_EQ(NamesOf(*program.document()->GetObjectList()),
              (std::vector<std::string>{"North", "Passage", "South"}));
    EXPECT_NE(std::find(answers.asked.begin(), answers.asked.end(),
                        "Restored file from backup...\n\n\"" + user_data +
                            "\" could not be read, so its backup took its place. The damaged "
                            "file is kept as \"" + user_data + ".corrupt\"."),
              answers.asked.end())
        << testing::PrintToString(answers.asked);
    EXPECT_EQ(ReadFile(user_data + ".corrupt"), bad);
    ASSERT_TRUE(program.Quit());
  }

  ASSERT_TRUE(vd::os::SaveFileAtomically(user_data, vd::test::MarkNamingAStrayRouteFile(true)));
  {
    Program program;
    ASSERT_TRUE(program.started());
    EXPECT_EQ(NamesOf(*program.document()->GetObjectList()), std::vector<std::string>{"Lone"});
    ASSERT_TRUE(program.Quit());
  }
  ObjectList saved;
  ASSERT_TRUE(ReadOverlayFileObjects(user_data, saved));
  EXPECT_EQ(NamesOf(saved), std::vector<std::string>{"Lone"});
  for (COstrelObject* object : saved) object->Release();
}

bool WasAsked(const ScriptedAnswers& answers, const std::string& start) {
  return std::any_of(answers.asked.begin(), answers.asked.end(),
                     [&](const std::string& text) { return text.starts_with(start); });
}

// Files that cannot be read are named to the user: a configuration document without a backup
// is kept aside before the program starts on a new one, and an overlay file opened with the
// program adds nothing.
TEST(CorvexApp, UnreadableFilesAreNamedToTheUser) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  ASSERT_TRUE(vd::os::MakeFolders(home.DataFolder()));
  const std::string document = home.DataFolder() + "/Vardune-6.vdn";
  const std::string junk("\x07\x00\x00\x00junk", 8);
  ASSERT_TRUE(vd::os::SaveFileAtomically(document, junk));
  ASSERT_FALSE(vd::os::FileExists(home.DataFolder() + "/" + COstrelDoc::kConfigBackupName));
  {
    Program program;
    ASSERT_TRUE(program.started());
    EXPECT_TRUE(WasAsked(answers, "Could not read " + document + "\nIt is damaged"));
    EXPECT_TRUE(std::any_of(answers.asked.begin(), answers.asked.end(), [&](const auto& text) {
      return text.ends_with("It was kept as " + document + ".corrupt");
    }));
    EXPECT_EQ(ReadFile(document + ".corrupt"), junk);
    EXPECT_EQ(program.document()->GetPathName(), document);
    ASSERT_TRUE(program.Quit());
  }

  const std::string overlay = home.File("damaged marks.vdo");
  ASSERT_TRUE(vd::os::SaveFileAtomically(overlay, vd::test::MarkNamingAStrayRouteFile(false)));
  answers.asked.clear();
  Program program({"--no-splash", overlay});
  ASSERT_TRUE(program.started());
  EXPECT_TRUE(WasAsked(answers, "Could not read " + overlay + "\nIt is damaged"));
  EXPECT_TRUE(program.document()->GetObjectList()->empty());
}

// A client in another process, as the 3D viewer is: it holds the API lock for each request,
// writes the arguments, sends the request to the main window and reads the reply.
class ApiClient {
 public:
  // The result code, or -1 when the program did not answer; reply holds the file afterwards.
  int Request(int code, const vd::test::WireWriter& arguments, std::string& reply) {
    vd::os::NamedMutex lock(kApiMutexName);
    if (!lock.Lock(10000)) return -1;
    const std::string path = vd::os::TempFolder() + "/VDAPI2.dat";
    if (!vd::os::SaveFileAtomically(path, arguments.bytes())) return -1;
    auto result = vd::os::IpcSend(kApiWindowClass, vd::os::kUserMessage, kApiRequestNotice, code);
    vd::os::ReadWholeFile(path, reply);
    lock.Unlock();
    return result ? static_cast<int>(*result) : -1;
  }
};

// Runs `client` in a child process while the program answers its requests; the child's exit
// code names the first step that failed (0: none).
void ExpectClientSucceeds(int (*client)()) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(client());
  int status = -1;
  ASSERT_TRUE(ProcessEventsUntil([&] { return waitpid(child, &status, WNOHANG) == child; }));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The client's requests, each step's failure its own exit code.
int RunClient() {
  using vd::test::WireReader;
  using vd::test::WireWriter;
  ApiClient client;
  std::string reply;
  if (client.Request(5, WireWriter().Str("Buoy").F64(50.25).F64(-1.5).I32(3), reply) != 0) return 10;
  const ApiHandle mark = WireReader(reply).H();
  if (client.Request(16, WireWriter(), reply) != 0) return 11;
  const ApiHandle route = WireReader(reply).H();
  if (client.Request(17, WireWriter().H(route).H(mark), reply) != 0) return 12;
  if (client.Request(18, WireWriter().H(route).I32(0), reply) != 0 || WireReader(reply).H() != mark)
    return 13;
  if (client.Request(14, WireWriter().H(mark), reply) != 0) return 14;
  WireReader position(reply);
  if (position.F64() != 50.25 || position.F64() != -1.5) return 15;
  // The own vessel moves: position, course, speed, altitude, valid.
  if (client.Request(4, WireWriter().F64(51.0).F64(-2.0).F64(90).F64(6).F64(0).I32(1), reply) != 0)
    return 16;
  if (client.Request(3, WireWriter(), reply) != 0) return 17;
  WireReader own(reply);
  if (own.F64() != 51.0 || own.F64() != -2.0) return 18;
  // A deleted object's handle is stale.
  if (client.Request(8, WireWriter().H(route), reply) != 0) return 19;
  if (client.Request(7, WireWriter().H(route), reply) != 13) return 20;
  if (client.Request(0x7777, WireWriter(), reply) != 11) return 21;
  if (client.Request(5, WireWriter().Str("Lighthouse").F64(50.5).F64(-1.0).I32(1), reply) != 0)
    return 22;
  return 0;
}

TEST(CorvexApp, RequestsFromAnotherProgramWorkOnTheDocument) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  Program program;
  ASSERT_TRUE(program.started());
  ASSERT_NO_FATAL_FAILURE(ExpectClientSucceeds(RunClient));
  const ObjectList& list = *program.document()->GetObjectList();
  // The route went, and with it the mark only it used; the other mark stays.
  auto named = [&](const char* name) {
    return std::any_of(list.begin(), list.end(), [&](COstrelObject* o) { return o->name == name; });
  };
  EXPECT_TRUE(named("Lighthouse"));
  EXPECT_FALSE(named("Buoy"));
  EXPECT_FALSE(std::any_of(list.begin(), list.end(),
                           [](COstrelObject* o) { return dynamic_cast<CObjRoute*>(o); }));
  CObjCurrentPosition* own = program.document()->PeekCurrentPosition();
  ASSERT_NE(own, nullptr);
  EXPECT_DOUBLE_EQ(own->position.lat, 51.0);
}

// Navigation started from another program: going to a mark, then following a route, each
// read back from the navigation panes; each step's failure its own exit code.
int RunNavigationClient() {
  using vd::test::WireReader;
  using vd::test::WireWriter;
  ApiClient client;
  std::string reply;
  // Nothing to steer for yet: only a 0 handle.
  if (client.Request(40, WireWriter(), reply) != 0) return 10;
  if (WireReader check(reply); check.H() != ApiHandle::kNone || check.left() != 0) return 11;
  // The vessel at 50 N 1 W, heading north at 6 knots.
  if (client.Request(4, WireWriter().F64(50.0).F64(-1.0).F64(0).F64(6).F64(0).I32(1), reply) != 0)
    return 12;
  if (client.Request(5, WireWriter().Str("North Buoy").F64(50.5).F64(-1.0).I32(3), reply) != 0)
    return 13;
  const ApiHandle buoy = WireReader(reply).H();
  if (client.Request(41, WireWriter().H(buoy), reply) != 0) return 14;
  if (client.Request(40, WireWriter(), reply) != 0) return 15;
  {
    WireReader nav(reply);
    if (nav.H() != buoy || nav.H() != ApiHandle::kNone) return 16;
    if (nav.F64() != 50.5 || nav.F64() != -1.0) return 17;
    // Floats travel as doubles.
    const double distance = nav.F64(), bearing = nav.F64();
    nav.F64();  // cross-track error: none without a route
    const double closing = nav.F64();
    if (std::abs(distance - 30.0) > 0.2 || std::abs(bearing) > 0.5) return 18;
    if (std::abs(closing - 6.0) > 0.1) return 19;
    if (nav.Str() != "North Buoy" || !nav.ok()) return 20;
  }
  // A route from the vessel's position to a mark to the east.
  if (client.Request(5, WireWriter().Str("Start").F64(50.0).F64(-1.0).I32(3), reply) != 0) return 21;
  const ApiHandle start = WireReader(reply).H();
  if (client.Request(5, WireWriter().Str("East").F64(50.0).F64(-0.5).I32(3), reply) != 0) return 22;
  const ApiHandle east = WireReader(reply).H();
  if (client.Request(16, WireWriter(), reply) != 0) return 23;
  const ApiHandle route = WireReader(reply).H();
  if (client.Request(17, WireWriter().H(route).H(start), reply) != 0) return 24;
  if (client.Request(17, WireWriter().H(route).H(east), reply) != 0) return 25;
  if (client.Request(41, WireWriter().H(route), reply) != 0) return 26;
  if (client.Request(40, WireWriter(), reply) != 0) return 27;
  {
    WireReader nav(reply);
    const ApiHandle target = nav.H();
    if (nav.H() != route) return 28;
    if (target != east && target != start) return 29;
  }
  // The vessel north of the eastbound leg, heading east: the track lies to its right, which the
  // pane shows as ">>" and the reply as a positive cross-track error. Expected figures from the
  // ellipsoid (GeodSolve): from 50.05 N 0.75 W to 50 N 0.5 W is 18758.0 m (10.129 NM) at
  // 107.15 degrees; the leg is 0.05 degrees of latitude (5561.5 m, 3.003 NM) south.
  if (client.Request(4, WireWriter().F64(50.05).F64(-0.75).F64(90).F64(6).F64(0).I32(1), reply) != 0)
    return 31;
  if (client.Request(40, WireWriter(), reply) != 0) return 32;
  {
    WireReader nav(reply);
    if (nav.H() != east || nav.H() != route) return 33;
    if (nav.F64() != 50.0 || nav.F64() != -0.5) return 34;
    const double distance = nav.F64(), bearing = nav.F64(), cross_track = nav.F64();
    nav.F64();  // speed made good
    if (std::abs(distance - 10.129) > 0.05) return 35;
    if (std::abs(bearing - 107.15) > 0.3) return 36;
    if (std::abs(cross_track - 3.003) > 0.05) return 37;
    if (nav.Str() != "East" || !nav.ok()) return 38;
  }
  // South of the leg the error changes sign.
  if (client.Request(4, WireWriter().F64(49.95).F64(-0.75).F64(90).F64(6).F64(0).I32(1), reply) != 0)
    return 39;
  if (client.Request(40, WireWriter(), reply) != 0) return 40;
  {
    WireReader nav(reply);
    nav.H();
    nav.H();
    nav.F64();
    nav.F64();
    nav.F64();
    nav.F64();
    if (std::abs(nav.F64() + 3.003) > 0.05) return 41;
  }
  // Back north of it, as the panes are then checked.
  if (client.Request(4, WireWriter().F64(50.05).F64(-0.75).F64(90).F64(6).F64(0).I32(1), reply) != 0)
    return 42;
  // Something that is neither a mark nor a route: 13.
  if (client.Request(41, WireWriter().H(ApiHandle::kNone), reply) != 13) return 30;
  return 0;
}

TEST(CorvexApp, NavigationRequestsFromAnotherProgramUseTheNavigationPanes) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  Program program;
  ASSERT_TRUE(program.started());
  ExpectClientSucceeds(RunNavigationClient);
  // The figures pane came first, the steering arrow after it; the figures show the cross-track
  // error on the side the reply gave.
  const std::vector<CDataWnd*>& panes = program.app().data_windows();
  const auto first = [&](auto is) { return std::find_if(panes.begin(), panes.end(), is); };
  const auto figures = first([](CDataWnd* p) { return dynamic_cast<CNavigationData*>(p); });
  const auto arrow = first([](CDataWnd* p) { return dynamic_cast<CNavArrow*>(p); });
  ASSERT_NE(figures, panes.end());
  ASSERT_NE(arrow, panes.end());
  EXPECT_LT(figures, arrow);
  const std::vector<std::string> lines = static_cast<CNavigationData*>(*figures)->ShownLines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return line.rfind("XTE: >> ", 0) == 0;
  })) << testing::PrintToString(lines);
}

// Starts the program on its own (the first run, with its help page, happens in this process
// first) and waits until it has its document: a request it does not know is then answered 11.
// before runs between the two.
void StartOnItsOwn(CorvexHome& home, vd::test::ChildProcess& corvex,
                   const std::function<void()>& before = {}) {
  { Program setup; }
  if (before) before();
  vd::test::ChildProcess::Options options;
  options.environment = {{"QT_QPA_PLATFORM", "offscreen"}};
  options.output_file = home.File("corvex.log");
  std::string error;
  ASSERT_TRUE(corvex.Start(vd::os::ProgramFolder() + "/corvex", {"--no-splash"}, options, error))
      << error;
  ASSERT_TRUE(ProcessEventsUntil([] {
    return vd::os::IpcSend(kMainWindowClass, vd::os::kUserMessage, CMainFrame::kApiRequest,
                           0x7777) == 11;
  }));
}

TEST(CorvexApp, OtherProgramsReachOnlyTheirMessagesAndACloseRequestEndsTheProgram) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  vd::test::ChildProcess corvex;
  ASSERT_NO_FATAL_FAILURE(StartOnItsOwn(home, corvex));
  const std::string user_data = home.DataFolder() + "/userdata-Vardune-6.vdo";
  vd::os::RemoveFile(user_data);

  // A GPS notice's lparam is an address inside the program: from outside it is only a number.
  EXPECT_EQ(vd::os::IpcSend(kMainWindowClass, vd::os::kUserMessage, 0, 16), 0);
  EXPECT_EQ(vd::os::IpcSend(kMainWindowClass, vd::os::kUserMessage, 77, 16), 0);
  // A hand-over without a text: its lparam is no path either (the stored one, empty, is used).
  EXPECT_EQ(vd::os::IpcSend(kMainWindowClass, vd::os::kUserMessage, 14, 16), 1);
  EXPECT_EQ(corvex.Wait(std::chrono::milliseconds(0)), std::nullopt);

  // Asked to close, it saves and ends.
  EXPECT_EQ(vd::os::IpcSend(kMainWindowClass, vd::ui::kWmClose, 0, 0), 0);
  const std::optional<int> status = corvex.Wait(std::chrono::seconds(60));
  ASSERT_TRUE(status) << "the program did not end";
  EXPECT_EQ(vd::test::DescribeWaitStatus(*status), "exit code 0");
  EXPECT_TRUE(vd::os::FileExists(user_data));
}

TEST(CorvexApp, EndedFromOutsideItSavesFirst) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  for (int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    vd::test::ChildProcess corvex;
    ASSERT_NO_FATAL_FAILURE(StartOnItsOwn(home, corvex));
    const std::string user_data = home.DataFolder() + "/userdata-Vardune-6.vdo";
    vd::os::RemoveFile(user_data);
    corvex.Signal(signal);
    const std::optional<int> status = corvex.Wait(std::chrono::seconds(60));
    ASSERT_TRUE(status) << "the program did not end";
    EXPECT_EQ(vd::test::DescribeWaitStatus(*status), "exit code 0");
    EXPECT_TRUE(vd::os::FileExists(user_data));
  }
}

// The program carries the newer library generation: at start-up it reads its settings file and
// writes it back with every record of that generation, the units and the AIS alarm settings
// among them, keeping the user's values.
TEST(CorvexApp, StartUpWritesTheNewerGenerationsSettingsKeepingTheUsersValues) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  const std::string settings = home.path() + "/.config/Vardune/Corvex.ini";
  vd::test::ChildProcess corvex;
  ASSERT_NO_FATAL_FAILURE(StartOnItsOwn(home, corvex, [&] {
    ASSERT_TRUE(vd::os::SaveFileAtomically(settings, "CDefaultUnits:units=0x2\n"));
  }));
  const std::string text = "\n" + ReadFile(settings);
  EXPECT_NE(text.find("CDefaultUnits:units=0x2\n"), std::string::npos) << text;
  for (const char* key : {"CDefaultUnits:speed=", "CDefaultUnits:posnfmt=",
                          "CAISTargetManager:alarm_distance=", "CAISTargetManager:alarm_beep=",
                          "CMarkManager:", "CTrackManager:", "COverlayGPSPosition:",
                          "CDataConnection:", "CDataStartTimer:"}) {
    EXPECT_NE(text.find(std::string("\n") + key), std::string::npos) << key;
  }
  EXPECT_EQ(vd::os::IpcSend(kMainWindowClass, vd::ui::kWmClose, 0, 0), 0);
  const std::optional<int> status = corvex.Wait(std::chrono::seconds(60));
  ASSERT_TRUE(status) << "the program did not end";
  EXPECT_EQ(vd::test::DescribeWaitStatus(*status), "exit code 0");
}

// A close refused because the save failed leaves the program as it was, GPS input included.
TEST(CorvexApp, RefusedCloseKeepsTheGpsInput) {
  CorvexHome home;
  ScriptedAnswers answers;
  answers.answers = {{"GPS Demo?", vd::ui::kIdYes}, {"Quit anyway?", vd::ui::kIdNo}};
  vd::ui::ScopedResponder responder(&answers);
  { Program setup; }
  SetGpsPort(WriteDemoTrack(home, 3));
  Program program;
  ASSERT_TRUE(program.started());
  ASSERT_NE(program.frame().gps(), nullptr);
  // Nowhere to save to.
  ASSERT_TRUE(vd::os::RenameFile(home.DataFolder(), home.DataFolder() + ".away"));
  EXPECT_FALSE(program.Quit());
  EXPECT_NE(program.frame().gps(), nullptr);
  ASSERT_TRUE(vd::os::RenameFile(home.DataFolder() + ".away", home.DataFolder()));
  EXPECT_TRUE(program.Quit());
}

// Files the import commands cannot read whole: the user is told which file and what of it was
// read, and whatever was readable comes in.
TEST(CorvexApp, ImportOfDamagedFilesSaysWhatWasRead) {
  CorvexHome home;
  struct Answers : ScriptedAnswers {
    std::optional<std::string> ChooseFile(const vd::ui::FileDialogRequest&) override {
      return file;
    }
    std::string file;
  } answers;
  vd::ui::ScopedResponder responder(&answers);
  Program program;
  ASSERT_TRUE(program.started());
  const ObjectList& list = *program.document()->GetObjectList();
  struct Case {
    const char* name;
    int command;
    std::string bytes;
    size_t objects_added;
    std::string message;  // the path stands at "@"
  };
  const std::string track_line = "TK02,\"Cut\",\"Tracks\",1,0,2,0,255,3600,300,15,10,\"\",1.0\r\n";
  const Case cases[] = {
      {"cut.csv", kCmdImport, track_line + "TP03,5.0,6.0,7.0,200,0,0,0,0\r\nTP03,95.0,6.0,7.0,300,0,0,0,0\r\n",
       1, "Not all of @ could be read:\nline 3: a track point without a valid position: "
          "\"TP03,95.0,6.0,7.0,300,0,0,0,0\"\nline 1: the track \"Cut\" declares 2 points; 1 was kept"},
      {"junk.nmea", kCmdImportNmea, "just some text\n", 0,
       "Nothing could be read from @:\nline 1: not an NMEA sentence: \"just some text\""},
      // Import takes an NMEA log by its four-letter ending.
      {"junk2.nmea", kCmdImport, "just some text\n", 0,
       "Nothing could be read from @:\nline 1: not an NMEA sentence: \"just some text\""},
      {"far.gpx", kCmdImport, "<gpx>\n<wpt lat=\"500003\" lon=\"2\"/></gpx>", 0,
       "Failed to read XML file: @\nline 2, column 6: latitude 500003 is outside -90..90"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    answers.file = home.File(c.name);
    ASSERT_TRUE(vd::os::SaveFileAtomically(answers.file, c.bytes));
    const size_t before = list.size();
    answers.asked.clear();
    ASSERT_TRUE(program.frame().RouteCommand(c.command));
    EXPECT_EQ(list.size(), before + c.objects_added);
    std::string message = c.message;
    message.replace(message.find('@'), 1, answers.file);
    EXPECT_EQ(answers.asked, std::vector<std::string>{message});
  }
}

TEST(CorvexApp, MessagesBeforeTheDocumentExists) {
  CorvexHome home;
  COstrelApp app;  // not started: no document
  CMainFrame frame(app);
  EXPECT_EQ(frame.OnUserMessage(CMainFrame::kApiRequest, 5), 12);
  EXPECT_EQ(frame.OnUserMessage(0, 0), 0);
  EXPECT_EQ(frame.OnUserMessage(CMainFrame::kOpenHandedFile, 0), 0);
}

// A chart the program can't show, given on the command line while the splash is up: the user
// is told why, and the program goes on without a chart window.
TEST(CorvexApp, BadChartOnTheCommandLineIsReportedAndTheProgramRuns) {
  CorvexHome home;
  vd::test::ChartFixture chart;
  ASSERT_TRUE(vd::test::WriteChartFixture(home.File("cut.qct"), chart));
  std::string bytes = ReadFile(home.File("cut.qct"));
  bytes.resize(0x45A8 + 4 * 2 * 2 - 1);  // the tile index ends a byte short
  ASSERT_TRUE(vd::os::SaveFileAtomically(home.File("cut.qct"), bytes));
  ASSERT_TRUE(vd::os::SaveFileAtomically(home.File("text.qct"), "not a chart at all\n"));
  vd::test::ChartFixture reference;
  reference.reference = true;
  reference.extension = true;
  reference.disk_label = "CHARTS 2";
  reference.texts = {{kQctOriginalName, home.File("disc/original.qct")}};
  ASSERT_TRUE(vd::test::WriteChartFixture(home.File("ref.qct"), reference));

  struct Case {
    std::string file;
    std::string message;
  };
  const Case cases[] = {
      {"cut.qct", "Failed to open map (2): \"" + home.File("cut.qct") + "\"\nPlease close all"},
      {"text.qct", "Not a QuickChart file: \"" + home.File("text.qct") + "\""},
      // The original of a reference file is on a disc that is not in: Retry or Cancel.
      {"ref.qct", "Cannot open file: " + home.File("disc/original.qct") +
                      "\n\nPlease re-insert the disk: CHARTS 2"},
  };
  for (const Case& c : cases) {
    ScriptedAnswers answers;
    vd::ui::ScopedResponder responder(&answers);
    CSplashWnd::SetEnabled(true);
    Program program({home.File(c.file)});
    ASSERT_TRUE(program.started()) << c.file;
    EXPECT_NE(CSplashWnd::Current(), nullptr) << "the splash is up meanwhile";
    const auto shown = std::find_if(answers.asked.begin(), answers.asked.end(),
                                    [&](const std::string& text) {
                                      return text.starts_with(c.message);
                                    });
    EXPECT_NE(shown, answers.asked.end()) << c.file << ": " << testing::PrintToString(answers.asked);
    for (CChildFrame* frame : program.frame().ChartFrames()) {
      if (frame->view()) EXPECT_NE(frame->view()->GetChartPath(), home.File(c.file));
    }
    CSplashWnd::HideSplash();
    vd::test::DrainEvents();
    EXPECT_TRUE(program.Quit());
  }
}

// A chart given on the command line that is a reference file, its original at hand: a chart
// original is copied into the reference file's place, a map of another format converted there
// through the plug-in; the chart window shows the chart at the reference file's path, which now
// holds the chart whole.
TEST(CorvexApp, ReferenceFileOnTheCommandLineTakesInItsOriginal) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  CConverterPlugins::SetLibraryLoader(std::make_unique<vd::test::TestConverterLoader>());
  ASSERT_TRUE(vd::os::MakeFolders(home.File("disc")));
  vd::test::ChartFixture original;
  original.texts = {{kQctName, "Original"}};
  const std::string chart = home.File("disc/original.qct");
  ASSERT_TRUE(vd::test::WriteChartFixture(chart, original));
  const std::string scan = home.File("disc/harbour.kap");
  ASSERT_TRUE(vd::os::SaveFileAtomically(scan, "copy " + chart));

  for (const std::string& from : {chart, scan}) {
    SCOPED_TRACE(from);
    vd::test::ChartFixture reference;
    reference.reference = true;
    reference.texts = {{kQctOriginalName, from}};
    const std::string path = home.File("reference.qct");
    ASSERT_TRUE(vd::test::WriteChartFixture(path, reference));
    Program program({"--no-splash", path});
    ASSERT_TRUE(program.started());
    bool shown = false;
    for (CChildFrame* frame : program.frame().ChartFrames()) {
      shown |= frame->view() && frame->view()->GetChartPath() == path;
    }
    EXPECT_TRUE(shown) << testing::PrintToString(answers.asked);
    EXPECT_TRUE(program.Quit());
    if (from == chart) {
      EXPECT_TRUE(ReadFile(path) == ReadFile(chart)) << "the reference file holds the copy";
    } else {
      EXPECT_TRUE(IsTiledChartWithTiles(path));
      EXPECT_EQ(ChartConvertedFrom(path), scan);
    }
    EXPECT_EQ(ReadFile(scan), "copy " + chart);
  }
  CConverterPlugins::SetLibraryLoader(nullptr);
}

// The chart folders are scanned at start-up: a map of another format is converted through the
// installed converter plug-in into the folder of converted charts and listed. A plug-in that
// crashes on a file does not take the program down: the file is named and the scan goes on.
TEST(CorvexApp, StartUpScanConvertsForeignMapsThroughThePlugin) {
  CorvexHome home;
  ScriptedAnswers answers;
  answers.answers = {{"Do you want to continue loading maps?", vd::ui::kIdYes}};
  vd::ui::ScopedResponder responder(&answers);
  CConverterPlugins::SetLibraryLoader(std::make_unique<vd::test::TestConverterLoader>());
  ASSERT_TRUE(vd::os::MakeFolders(home.File("maps")));
  ASSERT_TRUE(vd::test::WriteChartFixture(home.File("made.qct"), vd::test::ChartFixture()));
  ASSERT_TRUE(vd::os::SaveFileAtomically(home.File("maps/a wreck.kap"), "crash"));
  ASSERT_TRUE(vd::os::SaveFileAtomically(home.File("maps/harbour.kap"),
                                         "copy " + home.File("made.qct")));
  { Program setup; }
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  SaveChartDirs(profile, {home.File("maps")});
  profile.SetInt("chart_dirs", "update", 1);

  Program program;
  ASSERT_TRUE(program.started());
  const std::string converted = ConvertedChartFolder() + "/harbour.qct";
  EXPECT_EQ(ChartConvertedFrom(converted), home.File("maps/harbour.kap"));
  const ObjectList& objects = *program.document()->GetObjectList();
  const auto outline = std::find_if(objects.begin(), objects.end(), [&](COstrelObject* o) {
    return o->IsKindOf(COldChartOutline::kClass) &&
           static_cast<COldChartOutline*>(o)->chart_path == converted;
  });
  EXPECT_NE(outline, objects.end());
  EXPECT_TRUE(WasAsked(answers, "Failed to convert " + home.File("maps/a wreck.kap") +
                                    "\n\nThe converter libvd_kap_converter.so stopped before "
                                    "finishing: it crashed"))
      << testing::PrintToString(answers.asked);
  EXPECT_EQ(ReadFile(home.File("maps/a wreck.kap")), "crash");
  EXPECT_FALSE(vd::os::FileExists(ConvertedChartFolder() + "/a wreck.qct"));
  EXPECT_TRUE(program.Quit());
  CConverterPlugins::SetLibraryLoader(nullptr);
}

// The visible dialog of that title, null when none.
vd::ui::DialogWindow* OpenDialog(const QString& title) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = dynamic_cast<vd::ui::DialogWindow*>(widget);
    if (dialog && dialog->isVisible() && dialog->windowTitle() == title) return dialog;
  }
  return nullptr;
}

// Runs `act` on the dialog of that title once it is open (and the one above it has gone).
void WhenOpen(const QString& title, std::function<void(vd::ui::DialogWindow&)> act) {
  QTimer::singleShot(0, [title, act] {
    vd::ui::DialogWindow* dialog = OpenDialog(title);
    if (!dialog || QApplication::activeModalWidget() != dialog) return WhenOpen(title, act);
    act(*dialog);
  });
}

// With no map known, Map List asks where to look: Refresh Map List takes the folder, loads
// every map now, and the map chosen then opens in a chart window.
TEST(CorvexApp, EmptyMapListOpensRefreshMapListWhoseFoldersAreScanned) {
  CorvexHome home;
  struct Answers : ScriptedAnswers {
    std::optional<std::string> ChooseFolder(QWidget*, const std::string& title,
                                            const std::string&) override {
      folder_titles.push_back(title);
      return folder;
    }
    std::string folder;
    std::vector<std::string> folder_titles;
  } answers;
  vd::ui::ScopedResponder responder(&answers);
  ASSERT_TRUE(vd::os::MakeFolders(home.File("maps/sub")));
  vd::test::ChartFixture chart;
  chart.texts = {{kQctName, "Harbour"}};
  ASSERT_TRUE(vd::test::WriteChartFixture(home.File("maps/sub/harbour.qct"), chart));
  answers.folder = home.File("maps");

  Program program;
  ASSERT_TRUE(program.started());
  bool refreshed = false;
  const std::string qct_dir = ConvertedChartFolder();
  WhenOpen("Refresh Map List", [&](vd::ui::DialogWindow& d) {
    EXPECT_FALSE(d.Control(CDlgRegisterCharts::kRemoveButton)->isEnabled()) << "no selection";
    // A folder for converted maps that can't be written is refused.
    answers.folder = home.File("no such folder");
    d.SendCommand(CDlgRegisterCharts::kConvertedFolderButton, vd::ui::kBnClicked);
    // The chooser's answer may end in a separator; the list keeps the folder without it.
    answers.folder = home.File("maps") + "/";
    d.SendCommand(CDlgRegisterCharts::kAddButton, vd::ui::kBnClicked);
    d.SetCheckState(CDlgRegisterCharts::kLoadAllCheck, 1);
    d.SendCommand(vd::ui::kIdOk, vd::ui::kBnClicked);
    refreshed = true;
    WhenOpen("Map List", [](vd::ui::DialogWindow& list) {
      auto* tree = list.ControlAs<QTreeWidget>(CDlgChartSelect::kMapList);
      if (tree && tree->topLevelItemCount() == 1) tree->topLevelItem(0)->setSelected(true);
      list.SendCommand(vd::ui::kIdOk, vd::ui::kBnClicked);
    });
  });
  program.frame().RouteCommand(kCmdMapList);
  EXPECT_TRUE(refreshed);
  EXPECT_EQ(answers.folder_titles, (std::vector<std::string>{
                                       "Folder for cached map data",
                                       "Select a folder containing map files"}));
  EXPECT_NE(std::find(answers.asked.begin(), answers.asked.end(),
                      "The cache folder must be writeable!\n\nUse the \"Add\" button to "
                      "locate map folders"),
            answers.asked.end());
  EXPECT_EQ(ConvertedChartFolder(), qct_dir);
  std::vector<std::string> dirs;
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  LoadChartDirs(profile, dirs);
  EXPECT_EQ(dirs, std::vector<std::string>{home.File("maps")});
  bool shown = false;
  for (CChildFrame* frame : program.frame().ChartFrames()) {
    shown |= frame->view() && frame->view()->GetChartPath() == home.File("maps/sub/harbour.qct");
  }
  EXPECT_TRUE(shown) << testing::PrintToString(answers.asked);
  EXPECT_TRUE(program.Quit());
}

// The file a path names, whatever the path's spelling ("" for an empty path).
std::string Canonical(const std::string& path) {
  std::error_code error;
  return path.empty() ? "" : std::filesystem::weakly_canonical(path, error).string();
}

// The very first start has no saved chart window: the chart window offers the chart chooser.
// The chart picked there shows in it, and the next start opens it again without asking. Cancel
// leaves the window empty, and a chart opened later shows in it.
TEST(CorvexApp, FirstStartOffersTheChartChooser) {
  for (const bool pick : {true, false}) {
    SCOPED_TRACE(pick ? "picked" : "cancelled");
    CorvexHome home;
    home.FirstStart();
    home.new_window_chooser.enabled = false;
    ScriptedAnswers answers;
    vd::ui::ScopedResponder responder(&answers);
    // The chart folder holds the sample chart, which the chooser's first scan finds.
    const std::string sample = vd::os::ProgramFolder() + "/../../sample/Sample Chart.qct";
    ASSERT_TRUE(vd::os::FileExists(sample));
    vd::os::ProfileStore profile = vd::OpenAppProfile();
    SaveChartDirs(profile, {GetFolderOfPath(sample)});
    std::vector<std::string> offered;
    bool answered = false;
    WhenOpen("Map List", [&](vd::ui::DialogWindow& list) {
      auto* tree = list.ControlAs<QTreeWidget>(CDlgChartSelect::kMapList);
      for (int i = 0; tree && i < tree->topLevelItemCount(); ++i)
        offered.push_back(tree->topLevelItem(i)->text(CDlgChartSelect::kName).toStdString());
      if (pick && tree && tree->topLevelItemCount() > 0) tree->topLevelItem(0)->setSelected(true);
      list.SendCommand(pick ? vd::ui::kIdOk : vd::ui::kIdCancel, vd::ui::kBnClicked);
      answered = true;
    });
    const std::string chart = Canonical(sample);
    {
      Program program;
      ASSERT_TRUE(program.started());
      // The chooser comes once start-up is over.
      ASSERT_TRUE(vd::test::ProcessEventsUntil([&] { return answered; }));
      vd::test::DrainEvents();
      EXPECT_EQ(offered.size(), 1u) << testing::PrintToString(offered);
      ASSERT_EQ(program.frame().ChartFrames().size(), 1u);
      CDocView* view = program.frame().ChartFrames().front()->view();
      ASSERT_NE(view, nullptr);
      if (pick) {
        EXPECT_EQ(Canonical(view->GetChartPath()), chart);
      } else {
        EXPECT_EQ(view->GetChartPath(), "");
        vd::test::DrainEvents();
        ASSERT_EQ(program.frame().ChartFrames().size(), 1u) << "the last chart window stays";
        program.document()->OpenFileByType(sample);
        vd::test::DrainEvents();
        EXPECT_EQ(program.frame().ChartFrames().size(), 1u);
        EXPECT_EQ(Canonical(view->GetChartPath()), chart);
      }
      ASSERT_TRUE(program.Quit());
    }
    // The chart window saved with its chart opens on it again.
    home.new_window_chooser.enabled = true;
    Program again;
    ASSERT_TRUE(again.started());
    EXPECT_EQ(home.new_window_chooser.cancelled, 0);
    ASSERT_EQ(again.frame().ChartFrames().size(), 1u);
    EXPECT_EQ(Canonical(again.frame().ChartFrames().front()->view()->GetChartPath()),
              chart);
  }
}

}  // namespace
