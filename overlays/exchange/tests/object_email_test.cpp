// Objects e-mailed as GPX: the attachment's name and contents, and what happens when there is
// no mail client or no file. A stand-in "xdg-email", first in PATH, logs what it is handed.
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "overlays/exchange/email_sender.h"
#include "overlays/exchange/object_email_upload.h"
#include "overlays/exchange/tests/gpx_test_world.h"
#include "overlays/obj_text.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "platform/ui/message_box.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"

namespace {

using vd::test::GpxWorld;

bool Eventually(const std::function<bool()>& check) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!check()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Answers every box with OK and keeps what they said.
struct Boxes : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    shown.push_back(request.text);
    return vd::ui::kIdOk;
  }
  std::vector<std::string> shown;
};

class EmailObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_path_ = vd::os::GetEnv("PATH");
    previous_sender_ = SetObjectEmailSender(&sender_);
  }
  void TearDown() override {
    SetObjectEmailSender(previous_sender_);
    if (saved_path_) {
      vd::os::SetEnv("PATH", *saved_path_);
    } else {
      vd::os::UnsetEnv("PATH");
    }
  }

  // Puts a stand-in mail client first in PATH. Each run appends its arguments, joined by '|',
  // as one line of the log.
  void InstallMailClient() {
    const std::string script = "#!/bin/sh\nIFS='|'\nprintf '%s\\n' \"$*\" >> '" + Log() + "'\n";
    const std::string program = mailer_.File("xdg-email");
    ASSERT_TRUE(vd::os::SaveFileAtomically(program, script));
    ASSERT_EQ(::chmod(program.c_str(), 0755), 0);
    ASSERT_TRUE(
        vd::os::SetEnv("PATH", mailer_.path() + ":" + saved_path_.value_or("/usr/bin:/bin")));
  }
  std::string Log() const { return mailer_.File("log"); }
  // The log's lines once it has at least `count` of them; fails the test after a long wait.
  std::vector<std::string> WaitForMails(size_t count) {
    std::vector<std::string> lines;
    const bool arrived = Eventually([&] {
      std::string text;
      if (!vd::os::ReadWholeFile(Log(), text)) return false;
      lines = SplitLines(text);
      return lines.size() >= count;
    });
    EXPECT_TRUE(arrived) << "the mail client was not started";
    return lines;
  }
  static std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
      lines.push_back(text.substr(start, end - start));
    return lines;
  }

  GpxWorld world;  // its folder is the program's temp folder
  vd::test::TempDir mailer_;
  CEmailSender sender_;
  CEmailSender* previous_sender_ = nullptr;
  std::optional<std::string> saved_path_;
};

TEST_F(EmailObjects, AttachmentIsNamedAfterTheObjectInTheTempFolder) {
  InstallMailClient();
  const ObjectList list = {world.Mark("Alpha", 1.0, 2.0)};
  struct Case {
    const char* name;
    const char* file;
  };
  const Case cases[] = {
      {"Kelp/Bay 2", "KelpBay 2.gpx"},
      // Nothing of a path or of shell syntax survives.
      {"../../etc/x", "etcx.gpx"},
      {"a\"b;$(rm -r) `x`|*?'\\", "abrm -r x.gpx"},
      {"Tab\there.\n+", "Tabhere.gpx"},
      // Letters beyond ASCII stay when the Windows code page has them.
      {"Île_d'Oléron ÆØ", "Île_dOléron ÆØ.gpx"},
      {"港 Ω 1", "  1.gpx"},
      {"\xff\xc3 cut", " cut.gpx"},
      {"", "Overlay.gpx"},
      {"/", "Overlay.gpx"},
      {"...", "Overlay.gpx"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    EmailObjectListAsGpx(list, c.name);
    const std::string path = world.dir.File(c.file);
    const std::vector<std::string> mails = WaitForMails(i + 1);
    ASSERT_EQ(mails.size(), i + 1) << c.name;
    EXPECT_EQ(mails.back(), "--attach|" + path) << c.name;
    // The file stays for the mail client.
    std::string text;
    ASSERT_TRUE(vd::os::ReadWholeFile(path, text)) << c.name;
    EXPECT_NE(text.find("<name>Alpha</name>"), std::string::npos) << c.name;
  }
}

// A link planted at the attachment's name in the temporary folder is not written through.
TEST_F(EmailObjects, ALinkAtTheAttachmentNameIsNotWrittenThrough) {
  InstallMailClient();
  const std::string victim = world.dir.File("victim.txt");
  ASSERT_TRUE(vd::os::SaveFileAtomically(victim, "not to be touched"));
  const std::string path = world.dir.File("Alpha.gpx");
  ASSERT_EQ(::symlink(victim.c_str(), path.c_str()), 0);
  EmailObjectListAsGpx({world.Mark("Alpha", 1.0, 2.0)}, "Alpha");
  EXPECT_EQ(WaitForMails(1), std::vector<std::string>{"--attach|" + path});
  std::string text;
  ASSERT_TRUE(vd::os::ReadWholeFile(victim, text));
  EXPECT_EQ(text, "not to be touched");
  ASSERT_TRUE(vd::os::ReadWholeFile(path, text));
  EXPECT_NE(text.find("<name>Alpha</name>"), std::string::npos);
}

TEST_F(EmailObjects, RouteGoesWithItsMarks) {
  InstallMailClient();
  CObjRoute* route =
      world.Route("Kelp/Bay 2", {world.Mark("Kelp", 50.5, -1.25), world.Mark("Bay", 50.75, -1.5)});
  world.Mark("Unrelated", 10.0, 10.0);
  EmailObjectsAsGpx(route);
  const std::string path = world.dir.File("KelpBay 2.gpx");
  EXPECT_EQ(WaitForMails(1), std::vector<std::string>{"--attach|" + path});

  const ObjectList read = world.ReadPath(path);
  const std::vector<CObjRoute*> routes = GpxWorld::OfClass<CObjRoute>(read);
  ASSERT_EQ(routes.size(), 1u);
  EXPECT_EQ(routes[0]->name, "Kelp/Bay 2");
  std::vector<std::string> names;
  for (CObjWaypoint* mark : GpxWorld::OfClass<CObjWaypoint>(read)) names.push_back(mark->name);
  EXPECT_EQ(names, (std::vector<std::string>{"Kelp", "Bay"}));
}

// Only a written, non-empty GPX file is handed on; the writer alone tells of its failure. A
// last good mail shows that none of the others reached the mail client.
TEST_F(EmailObjects, NothingIsSentWithoutAFile) {
  InstallMailClient();
  Boxes boxes;
  vd::ui::ScopedResponder scope(&boxes);
  const ObjectList list = {world.Mark("Alpha", 1.0, 2.0)};

  EmailObjectsAsGpx(nullptr);
  EmailObjectListAsGpx({}, "Empty");
  EXPECT_TRUE(boxes.shown.empty());

  const std::string not_a_folder = world.dir.File("plain file");
  ASSERT_TRUE(vd::os::SaveFileAtomically(not_a_folder, "x"));
  world.app.temp_folder = not_a_folder;
  EmailObjectListAsGpx(list, "Alpha");
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].rfind("Failed to open XML file: " + not_a_folder + "/Alpha.gpx", 0), 0u)
      << boxes.shown[0];

  world.app.temp_folder = world.dir.path();
  EmailObjectListAsGpx(list, "Last");
  EXPECT_EQ(WaitForMails(1), std::vector<std::string>{"--attach|" + world.dir.File("Last.gpx")});
}

// A text note, or a route without points, has no GPX form: the user is told so, and no empty
// file goes to the mail client as if it held the object. A last good mail shows that none of
// the others reached it.
TEST_F(EmailObjects, ObjectsWithoutAGpxFormAreNotSent) {
  InstallMailClient();
  Boxes boxes;
  vd::ui::ScopedResponder scope(&boxes);
  auto* note = world.doc.Add(new CObjText);
  note->name = "Harbour note";
  auto* empty_route = world.doc.Add(new CObjRoute);
  empty_route->name = "Empty";
  for (COstrelObject* object : std::vector<COstrelObject*>{note, empty_route}) {
    boxes.shown.clear();
    EmailObjectsAsGpx(object);
    EXPECT_EQ(boxes.shown, std::vector<std::string>{"\"" + object->name +
                                                    "\" holds no mark, route or track, which is "
                                                    "all a GPX file carries: nothing was sent."});
    EXPECT_FALSE(vd::os::FileExists(world.dir.File(object->name + ".gpx")));
  }
  EmailObjectListAsGpx({world.Mark("Alpha", 1.0, 2.0)}, "Last");
  EXPECT_EQ(WaitForMails(1), std::vector<std::string>{"--attach|" + world.dir.File("Last.gpx")});
}

TEST_F(EmailObjects, NoMailClientIsQuiet) {
  vd::test::TempDir empty;
  ASSERT_TRUE(vd::os::SetEnv("PATH", empty.path()));
  Boxes boxes;
  vd::ui::ScopedResponder scope(&boxes);
  EXPECT_FALSE(sender_.IsAvailable());
  EmailObjectListAsGpx({world.Mark("Alpha", 1.0, 2.0)}, "Alpha");
  EXPECT_TRUE(vd::os::FileExists(world.dir.File("Alpha.gpx")));
  EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace
