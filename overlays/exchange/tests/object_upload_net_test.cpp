// Objects uploaded as GPX to a loopback stand-in of the cloud-sync server: the form sent, what
// the user is told, and that the temporary file goes in every case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "overlays/exchange/object_email_upload.h"
#include "overlays/exchange/tests/gpx_test_world.h"
#include "overlays/obj_text.h"
#include "tests/raw_http_recorder.h"
#include "platform/os/codepage.h"
#include "platform/os/files.h"
#include "platform/ui/message_box.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"

namespace {

using vd::test::GpxWorld;

constexpr char kUploaded[] =
    "Data uploaded to cloud. See the mobile device online manual for information on how to use "
    "the Cloud Sync feature.";
constexpr char kFailed[] = "Failed to upload data.";

struct Box {
  std::string text;
  uint32_t icon;
  friend bool operator==(const Box&, const Box&) = default;
};

// Answers every box with OK and keeps what they said.
struct Boxes : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    shown.push_back({request.text, request.flags & vd::ui::kMbIconMask});
    return vd::ui::kIdOk;
  }
  std::vector<Box> shown;
};

class CloudUpload : public ::testing::Test {
 protected:
  void SetUp() override { Settings("S-42"); }
  void Settings(const std::string& session) {
    PersistentString host("cloud_sync_host");
    host.value = "127.0.0.1:" + std::to_string(server.port());
    PersistentInt https;
    https.Init("cloud_sync_https", 1);
    https.value = 0;
    PersistentString session_text("cloud_sync_session");
    session_text.value = session;
  }
  // The .gpx files left in the temp folder.
  std::vector<std::string> GpxFilesLeft() const {
    std::vector<vd::os::DirEntry> entries;
    EXPECT_TRUE(vd::os::ListFolder(world.dir.path(), entries));
    std::vector<std::string> names;
    for (const vd::os::DirEntry& entry : entries) {
      if (entry.name.ends_with(".gpx")) names.push_back(entry.name);
    }
    return names;
  }

  GpxWorld world;  // its folder is the program's temp folder and holds the profile
  vd::test::RawHttpRecorder server;
  Boxes boxes;
  vd::ui::ScopedResponder scope{&boxes};
};

TEST_F(CloudUpload, RouteIsSentAsTheFormTheServerExpects) {
  CObjRoute* route =
      world.Route("Kelp/Bay 2", {world.Mark("Kelp", 50.5, -1.25), world.Mark("Bay", 50.75, -1.5)});
  CloudSyncUpload(route);

  const std::vector<vd::test::RawHttpRecorder::Request> requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].head.rfind("POST /cgi-bin/syncupload.cgi HTTP/1.1\r\n", 0), 0u)
      << requests[0].head;
  const std::string& body = requests[0].body;
  const size_t session = body.find("Content-Disposition: form-data; name=\"session\";\r\nS-42\r\n");
  const size_t file = body.find(
      "Content-Disposition: form-data; name=\"fileToUpload\"; filename=\"KelpBay2.gpx\"\r\n");
  ASSERT_NE(session, std::string::npos) << body;
  ASSERT_NE(file, std::string::npos) << body;
  EXPECT_LT(session, file);
  for (const char* part :
       {"<rte>", "<name>Kelp/Bay 2</name>", "<name>Kelp</name>", "<name>Bay</name>"}) {
    EXPECT_NE(body.find(part, file), std::string::npos) << part;
  }
  EXPECT_EQ(boxes.shown, (std::vector<Box>{{kUploaded, vd::ui::kMbIconInformation}}));
  EXPECT_TRUE(GpxFilesLeft().empty());
}

TEST_F(CloudUpload, NameKeepsLettersDigitsAndFewSigns) {
  Settings("");
  const ObjectList list = {world.Mark("Alpha", 1.0, 2.0)};
  struct Case {
    const char* name;
    const char* file;
  };
  const Case cases[] = {{"v1.2+beta_x-y z", "v1.2+beta_x-yz.gpx"},
                        {"a\"; filename=\"evil", "afilenameevil.gpx"},
                        {"../..", "Overlay.gpx"},  // not the hidden file "....gpx"
                        // The server takes the name in the Windows code page.
                        {"Øresund", "Øresund.gpx"},
                        {"", "Overlay.gpx"}};
  for (const Case& c : cases) {
    server.clear();
    UploadObjectListToCloud(list, c.name);
    const std::vector<vd::test::RawHttpRecorder::Request> requests = server.requests();
    ASSERT_EQ(requests.size(), 1u) << c.name;
    const std::string& body = requests[0].body;
    EXPECT_NE(body.find("; filename=\"" + vd::os::Utf8ToCp1252(c.file) + "\"\r\n"),
              std::string::npos)
        << c.name << "\n"
        << body;
    EXPECT_EQ(body.find("name=\"session\""), std::string::npos) << c.name;
  }
  EXPECT_TRUE(GpxFilesLeft().empty());
}

TEST_F(CloudUpload, FailuresAreToldAndLeaveNoFile) {
  const ObjectList list = {world.Mark("Alpha", 1.0, 2.0)};
  // A status of 300 or more and a server that is gone fail alike.
  for (const int status : {300, 404, 500}) {
    boxes.shown.clear();
    server.set_status(status);
    UploadObjectListToCloud(list, "Alpha");
    EXPECT_EQ(boxes.shown, (std::vector<Box>{{kFailed, vd::ui::kMbIconError}})) << status;
    EXPECT_TRUE(GpxFilesLeft().empty()) << status;
  }
  server.Stop();
  boxes.shown.clear();
  UploadObjectListToCloud(list, "Alpha");
  EXPECT_EQ(boxes.shown, (std::vector<Box>{{kFailed, vd::ui::kMbIconError}}));
  EXPECT_TRUE(GpxFilesLeft().empty());
}

// Without a written GPX nothing is uploaded; only the writer tells of its failure.
TEST_F(CloudUpload, NothingIsUploadedWithoutAFile) {
  CloudSyncUpload(nullptr);
  UploadObjectListToCloud({}, "Empty");
  EXPECT_TRUE(boxes.shown.empty());

  const std::string not_a_folder = world.dir.File("plain file");
  ASSERT_TRUE(vd::os::SaveFileAtomically(not_a_folder, "x"));
  world.app.temp_folder = not_a_folder;
  UploadObjectListToCloud({world.Mark("Alpha", 1.0, 2.0)}, "Alpha");
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text.rfind("Failed to open XML file: ", 0), 0u) << boxes.shown[0].text;
  EXPECT_TRUE(server.requests().empty());
}

// A text note, or a route without points, has no GPX form: the user is told so, and no empty
// file goes to the server as if it were data.
TEST_F(CloudUpload, ObjectsWithoutAGpxFormAreNotUploaded) {
  auto* note = world.doc.Add(new CObjText);
  note->name = "Harbour note";
  auto* empty_route = world.doc.Add(new CObjRoute);
  empty_route->name = "Empty";
  for (COstrelObject* object : std::vector<COstrelObject*>{note, empty_route}) {
    boxes.shown.clear();
    CloudSyncUpload(object);
    EXPECT_EQ(boxes.shown,
              (std::vector<Box>{{"\"" + object->name +
                                     "\" holds no mark, route or track, which is all a GPX "
                                     "file carries: nothing was uploaded.",
                                 vd::ui::kMbIconInformation}}));
  }
  EXPECT_TRUE(server.requests().empty());
  EXPECT_TRUE(GpxFilesLeft().empty());
}

}  // namespace
