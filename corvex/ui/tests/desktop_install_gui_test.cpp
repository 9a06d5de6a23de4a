// The programs installed as a desktop program: "cmake --install" into a fresh prefix puts both
// programs, their resources and the desktop's entries and file types in place; the entries
// pass the desktop's own validator; and the installed Corvex, started as the desktop starts it
// for a double-clicked file, comes up, opens the file and saves it with its document.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/persistent_value.h"
#include "corvex/desktop_entry.h"
#include "corvex/ui/tests/corvex_home.h"
#include "overlays/obj_waypoint.h"
#include "overlays/overlay_file.h"
#include "platform/os/files.h"
#include "platform/os/ipc_channel.h"
#include "platform/os/process.h"
#include "tests/child_process.h"
#include "tests/temp_dir.h"

namespace {

// The keys of one group of a desktop entry.
std::map<std::string, std::string> EntryKeys(const std::string& text) {
  std::map<std::string, std::string> keys;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t equals = line.find('=');
    if (line.empty() || line[0] == '#' || line[0] == '[' || equals == std::string::npos) continue;
    keys[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return keys;
}

// The arguments of an Exec key as the desktop splits them: the string value's escapes first,
// then the quoting; %f becomes the file, %% a %.
std::vector<std::string> ExecArguments(const std::string& exec, const std::string& file) {
  std::string value;
  for (size_t i = 0; i < exec.size(); ++i) {
    if (exec[i] == '\\' && i + 1 < exec.size() && exec[i + 1] == '\\') {
      value += '\\';
      ++i;
    } else {
      value += exec[i];
    }
  }
  std::vector<std::string> args;
  std::string current;
  bool quoted = false, any = false;
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else if (c == '\\' && i + 1 < value.size()) {
        current += value[++i];
      } else {
        current += c;
      }
    } else if (c == '"') {
      quoted = any = true;
    } else if (c == ' ') {
      if (any) args.push_back(current);
      current.clear();
      any = false;
    } else {
      current += c;
      any = true;
    }
  }
  if (any) args.push_back(current);
  for (std::string& arg : args) {
    if (arg == "%f") {
      arg = file;
      continue;
    }
    for (size_t at = 0; (at = arg.find("%%", at)) != std::string::npos; ++at) arg.erase(at, 1);
  }
  return args;
}

// One installation for the group: it copies both programs.
class DesktopInstall : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = new vd::test::TempDir;
    // A prefix with characters the entries must quote.
    prefix_ = root_->File("Vardune $ 100%");
    const vd::os::SpawnResult installed =
        vd::os::Spawn(VD_CMAKE_COMMAND, {"--install", VD_BUILD_DIR, "--prefix", prefix_}, true);
    install_ok_ = installed.started && installed.exit_code == 0;
  }
  static void TearDownTestSuite() {
    delete root_;
    root_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(install_ok_) << "cmake --install failed"; }

  static std::string Installed(const std::string& relative) { return prefix_ + "/" + relative; }
  static std::map<std::string, std::string> Entry(const std::string& program) {
    std::string text;
    EXPECT_TRUE(vd::os::ReadWholeFile(Installed("share/applications/" + program + ".desktop"), text));
    return EntryKeys(text);
  }

  static inline vd::test::TempDir* root_ = nullptr;
  static inline std::string prefix_;
  static inline bool install_ok_ = false;
};

TEST_F(DesktopInstall, PutsProgramsResourcesAndValidEntriesInPlace) {
  // Everything the programs read from their own folder, and the commands.
  for (const char* file :
       {"lib/vardune/corvex", "lib/vardune/lumex", "lib/vardune/vd_chart_convert", "bin/corvex",
        "bin/lumex",
        "lib/vardune/resources/menus/corvex.menu", "lib/vardune/resources/help/index.html",
        "lib/vardune/resources/help/3D_Terrain_View.html", "lib/vardune/resources/splash.png",
        "lib/vardune/WMM_COF.txt", "lib/vardune/Icons/Anchor.png",
        "lib/vardune/resources/desktop/corvex.desktop.in",
        "share/icons/hicolor/scalable/apps/vardune-corvex.svg",
        "share/icons/hicolor/scalable/apps/vardune-lumex.svg"}) {
    EXPECT_TRUE(vd::os::FileExists(Installed(file))) << file;
  }
  for (const char* program : {"bin/corvex", "bin/lumex"})
    EXPECT_EQ(::access(Installed(program).c_str(), X_OK), 0) << program;
  std::vector<vd::os::DirEntry> templates;
  ASSERT_TRUE(vd::os::ListFolder(Installed("lib/vardune/Route_Card_Templates"), templates));
  EXPECT_FALSE(templates.empty());

  // The desktop's validator accepts both entries.
  for (const char* program : {"corvex", "lumex"}) {
    const vd::os::SpawnResult validated = vd::os::Spawn(
        "desktop-file-validate", {Installed(std::string("share/applications/") + program + ".desktop")},
        true);
    ASSERT_TRUE(validated.started) << "desktop-file-validate (desktop-file-utils) is missing";
    EXPECT_EQ(validated.exit_code, 0) << program << ".desktop";
    // Each names its installed program, as the program itself writes the entry.
    const auto keys = Entry(program);
    const std::vector<std::string> args = ExecArguments(keys.at("Exec"), "/x/chart.qct");
    ASSERT_FALSE(args.empty());
    EXPECT_EQ(args[0], Installed(std::string("lib/vardune/") + program));
    std::string shipped, installed;
    ASSERT_TRUE(vd::os::ReadWholeFile(
        Installed(std::string("lib/vardune/resources/desktop/") + program + ".desktop.in"), shipped));
    ASSERT_TRUE(vd::os::ReadWholeFile(Installed(std::string("share/applications/") + program + ".desktop"),
                                      installed));
    EXPECT_EQ(installed, FillDesktopEntry(shipped, Installed("lib/vardune")));
  }
  EXPECT_EQ(ExecArguments(Entry("corvex").at("Exec"), "/x/a chart.qct").back(), "/x/a chart.qct");
}

TEST_F(DesktopInstall, EveryFileCorvexOpensHasATypeItsEntryClaims) {
  // The desktop's type database built from the installed types alone.
  const std::string mime = Installed("share/mime");
  vd::test::ChildProcess update;
  vd::test::ChildProcess::Options options;
  options.environment = {{"XDG_DATA_DIRS", Installed("share")}};
  options.output_file = root_->File("update-mime-database.log");
  std::string error;
  ASSERT_TRUE(update.Start("update-mime-database", {mime}, options, error)) << error;
  ASSERT_EQ(update.Wait(std::chrono::seconds(60)), std::optional<int>(0));
  std::string globs;
  ASSERT_TRUE(vd::os::ReadWholeFile(mime + "/globs2", globs));
  std::map<std::string, std::string> type_of;  // "*.vdo" -> type
  std::istringstream lines(globs);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    const size_t first = line.find(':'), second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    std::string pattern = line.substr(second + 1);
    pattern = pattern.substr(0, pattern.find(':'));
    type_of[pattern] = line.substr(first + 1, second - first - 1);
  }
  const std::string claimed = ";" + Entry("corvex").at("MimeType");
  // The files a double-click hands to Corvex, by what it opens them as.
  const struct {
    const char* glob;
    const char* type;  // "" when the desktop's own database names it
  } kFiles[] = {
      {"*.vdn", "application/x-vardune-config"},  {"*.vdo", "application/x-vardune-overlay"},
      {"*.qct", "application/x-vardune-chart"},   {"*.vdpkg", "application/x-vardune-package"},
      {"*.qed", "application/x-vardune-elevation"}, {"*.vdq", "application/x-vardune-place-index"},
      {"*.nmea", "application/x-nmea-log"},       {"*.loc", "application/x-geocaching-loc"},
      {"*.tcx", "application/vnd.garmin.tcx+xml"}, {"*.shp", "application/x-esri-shapefile"},
      {"*.gpx", ""},
  };
  for (const auto& file : kFiles) {
    if (*file.type) {
      EXPECT_EQ(type_of[file.glob], file.type) << file.glob;
      EXPECT_NE(claimed.find(std::string(";") + file.type + ";"), std::string::npos) << file.glob;
    }
  }
  EXPECT_NE(claimed.find(";application/gpx+xml;"), std::string::npos);
  // Lumex opens no files: Corvex starts it.
  EXPECT_EQ(Entry("lumex").count("MimeType"), 0u);
}

TEST_F(DesktopInstall, InstalledCorvexOpensADoubleClickedFile) {
  vd::test::CorvexHome home;
  // Not a first run: no help page on start.
  vd::OpenAppProfile().SetInt("settings", "run_count2", 1);
  const std::string file = home.File("shared marks.vdo");
  {
    ObjectList list;
    auto* mark = new CObjWaypoint;
    mark->AddRef();
    mark->name = "Double-clicked";
    mark->position = CLatLon(10.0, 20.0);
    list.push_back(mark);
    ASSERT_TRUE(SaveObjectsToOverlayFile(file, list, true));
    mark->Release();
  }
  ASSERT_TRUE(vd::os::MakeFolders(home.File("bin")));
  ASSERT_EQ(0, ::symlink("/bin/true", home.File("bin/xdg-open").c_str()));
  const std::vector<std::string> args = ExecArguments(Entry("corvex").at("Exec"), file);
  ASSERT_EQ(args.size(), 2u);

  vd::test::ChildProcess corvex;
  vd::test::ChildProcess::Options options;
  options.environment = {{"QT_QPA_PLATFORM", "offscreen"},
                         {"PATH", home.File("bin") + ":" + vd::os::GetEnv("PATH").value_or("/usr/bin:/bin")}};
  options.output_file = home.File("corvex.log");
  const auto output = [&] {
    std::string text;
    vd::os::ReadWholeFile(options.output_file, text);
    return "\nits output:\n" + text;
  };
  std::string error;
  ASSERT_TRUE(corvex.Start(args[0], {"--no-splash", args[1]}, options, error)) << error;
  ASSERT_TRUE(vd::test::ProcessEventsUntil([&] {
    return vd::os::IpcWindowExists("CorvexMainWnd") || !corvex.Running();
  })) << output();
  ASSERT_TRUE(corvex.Running()) << "the installed Corvex ended at start" << output();

  // Closed as the desktop closes it at log-out, it saves the file's mark with its overlays.
  corvex.Signal(SIGTERM);
  const std::optional<int> status = corvex.Wait(std::chrono::seconds(60));
  ASSERT_TRUE(status) << "Corvex did not end on SIGTERM" << output();
  std::vector<vd::os::DirEntry> entries;
  ASSERT_TRUE(vd::os::ListFolder(home.DataFolder(), entries));
  bool saved = false;
  for (const auto& entry : entries) {
    if (entry.is_dir || entry.name.size() < 4 || entry.name.substr(entry.name.size() - 4) != ".vdo")
      continue;
    ObjectList list;
    if (!ReadOverlayFileObjects(home.DataFolder() + "/" + entry.name, list)) continue;
    for (COstrelObject* object : list) {
      saved = saved || object->name == "Double-clicked";
      object->Release();
    }
  }
  EXPECT_TRUE(saved) << "the opened file's mark is not in the saved overlays" << output();
}

}  // namespace
