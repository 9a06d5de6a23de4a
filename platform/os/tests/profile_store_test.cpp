#include "platform/os/profile_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace vd::os {
namespace {

using test::TempDir;

constexpr const char* kKey = "Software\\Vardune\\Vardune Navigator";

std::vector<uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

// Waits for a child process and tells whether it exited with status 0.
bool ChildSucceeded(pid_t pid) {
  int status = 0;
  return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<DirEntry> entries;
  ListFolder(folder, entries);
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

TEST(ProfileStore, RoundTripsEveryKindOfValue) {
  TempDir dir;
  std::string all_bytes;
  for (int i = 0; i < 256; ++i) all_bytes += static_cast<char>(i);
  const std::string names[] = {"plain", "with space", "a=b", "[x]", "%41", "",
                               "\xC3\xA9t\xC3\xA9 \xE2\x9B\xB5", "line\nbreak", "#hash"};
  const std::string strings[] = {"", "text", std::string("nul\0inside", 10), "two\nlines\r\n",
                                 "= [s] %zz # ", all_bytes, "  padded  "};
  const int32_t ints[] = {0, -1, 42, INT32_MIN, INT32_MAX};
  {
    ProfileStore store(kKey, dir.path());
    for (size_t i = 0; i < std::size(names); ++i) {
      const std::string section = i % 2 ? "settings" : names[i];
      ASSERT_TRUE(store.SetString(section, names[i] + "s", strings[i % std::size(strings)]));
      ASSERT_TRUE(store.SetInt(section, names[i] + "i", ints[i % std::size(ints)]));
      ASSERT_TRUE(store.SetBinary(section, names[i] + "b", Bytes(all_bytes.substr(i))));
      EXPECT_EQ("", store.LastError());
    }
  }
  // A second store object reads everything back from the file alone.
  ProfileStore store(kKey, dir.path());
  for (size_t i = 0; i < std::size(names); ++i) {
    const std::string section = i % 2 ? "settings" : names[i];
    EXPECT_EQ(strings[i % std::size(strings)], store.GetString(section, names[i] + "s")) << i;
    EXPECT_EQ(ints[i % std::size(ints)], store.GetInt(section, names[i] + "i")) << i;
    EXPECT_EQ(Bytes(all_bytes.substr(i)), store.GetBinary(section, names[i] + "b")) << i;
    // A value of another kind is not converted.
    EXPECT_EQ(std::nullopt, store.GetInt(section, names[i] + "s"));
    EXPECT_EQ(std::nullopt, store.GetString(section, names[i] + "b"));
  }
  EXPECT_EQ(std::nullopt, store.GetString("settings", "absent"));
  EXPECT_EQ(std::nullopt, store.GetString("absent", "plains"));

  // Line based: no raw control byte but the line feeds.
  std::string text;
  ASSERT_TRUE(ReadWholeFile(store.file_path(), text));
  for (char c : text) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
}

TEST(ProfileStore, NamesIgnoreCaseAndKeepFirstSpelling) {
  TempDir dir;
  ProfileStore store(kKey, dir.path());
  ASSERT_TRUE(store.SetInt("Settings", "Zoom", 1));
  ASSERT_TRUE(store.SetInt("SETTINGS", "zOOM", 2));
  ASSERT_TRUE(store.SetString("settings", "\xC3\x84rger", "x"));
  EXPECT_EQ(2, store.GetInt("settings", "ZOOM"));
  EXPECT_EQ("x", store.GetString("SETTINGS", "\xC3\xA4RGER"));
  ASSERT_TRUE(store.SetString("settings", "zoom", "now text"));  // the kind may change
  EXPECT_EQ(std::nullopt, store.GetInt("settings", "zoom"));
  EXPECT_EQ((std::vector<std::string>{"Settings"}), store.Sections());
  EXPECT_EQ((std::vector<std::string>{"Zoom", "\xC3\x84rger"}), store.Names("settings"));
}

TEST(ProfileStore, SectionsDeletesAndTheKeyItself) {
  TempDir dir;
  ProfileStore store("Software\\Vardune", dir.path());
  ASSERT_TRUE(store.SetString("", "temp_folder", "/tmp/Vardune"));
  ASSERT_TRUE(store.SetString("a", "", "the default value"));
  ASSERT_TRUE(store.SetInt("b", "x", 1));
  ASSERT_TRUE(store.SetInt("a", "x", 1));
  ASSERT_TRUE(store.SetInt("a", "y", 2));
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), store.Sections());  // file order; "" not listed
  EXPECT_EQ("the default value", store.GetString("A", ""));
  EXPECT_EQ((std::vector<std::string>{"temp_folder"}), store.Names(""));

  EXPECT_TRUE(store.DeleteValue("A", "X"));
  EXPECT_TRUE(store.DeleteValue("a", "x"));  // already gone: still true
  EXPECT_EQ((std::vector<std::string>{"", "y"}), store.Names("a"));
  EXPECT_TRUE(store.DeleteSection("B"));
  EXPECT_EQ((std::vector<std::string>{"a"}), store.Sections());
  EXPECT_TRUE(store.DeleteSection(""));
  EXPECT_EQ(std::nullopt, store.GetString("", "temp_folder"));
  EXPECT_EQ(2, store.GetInt("a", "y"));
}

TEST(ProfileStore, KeyPathsMapToFilesInsideTheRoot) {
  TempDir dir;
  ProfileStore parent("Software\\Vardune", dir.path());
  ProfileStore child(kKey, dir.path() + "/");
  ProfileStore sneaky("Software\\..\\..\\a/b\\.hidden", dir.path());
  ASSERT_TRUE(parent.SetInt("", "v", 1));
  ASSERT_TRUE(child.SetInt("settings", "v", 2));
  ASSERT_TRUE(sneaky.SetInt("settings", "v", 3));
  EXPECT_EQ(dir.File("Software/Vardune.profile"), parent.file_path());
  EXPECT_EQ(dir.File("Software/Vardune/Vardune Navigator.profile"), child.file_path());
  EXPECT_EQ(dir.File("Software/%2E%2E/%2E%2E/a%2Fb/%2Ehidden.profile"), sneaky.file_path());
  EXPECT_EQ(1, ProfileStore("Software\\Vardune\\", dir.path()).GetInt("", "v"));
  EXPECT_EQ(3, sneaky.GetInt("settings", "v"));
  EXPECT_EQ(std::nullopt, child.GetInt("", "v"));  // keys do not share values

  ProfileStore empty("\\\\", dir.path());
  EXPECT_FALSE(empty.SetInt("", "v", 1));
  EXPECT_NE("", empty.LastError());
}

TEST(ProfileStore, DamagedFileIsSetAsideNotEmptied) {
  TempDir dir;
  ProfileStore store(kKey, dir.path());
  ASSERT_TRUE(store.SetInt("settings", "kept", 7));
  const std::string path = store.file_path();
  const std::string damaged[] = {
      "garbage\n",                                  // no header
      "# vardune-profile 1\ns a=%zz\n",             // bad escape
      "# vardune-profile 1\ni a=12x\n",             // not a number
      "# vardune-profile 1\ni a=4294967296\n",      // out of range
      "# vardune-profile 1\nb a=abc\n",             // odd hex
      "# vardune-profile 1\n[settings\n",           // open section
      "# vardune-profile 1\nq a=1\n",               // unknown kind
      "",                                           // empty
  };
  for (size_t i = 0; i < std::size(damaged); ++i) {
    ASSERT_TRUE(SaveFileAtomically(path, damaged[i]));
    const std::string aside = path + (i == 0 ? ".corrupt" : ".corrupt." + std::to_string(i + 1));
    EXPECT_EQ(std::nullopt, store.GetInt("settings", "kept")) << i;
    EXPECT_NE(std::string::npos, store.LastError().find(".corrupt")) << i << store.LastError();
    std::string kept;
    ASSERT_TRUE(ReadWholeFile(aside, kept)) << aside;
    EXPECT_EQ(damaged[i], kept);
    EXPECT_FALSE(FileExists(path));
    // The store goes on, empty.
    ASSERT_TRUE(store.SetInt("settings", "new", 1));
    EXPECT_EQ("", store.LastError());
    EXPECT_EQ(1, store.GetInt("settings", "new"));
  }
  // A damaged file met by a writer is set aside too, never overwritten unseen.
  ASSERT_TRUE(SaveFileAtomically(path, "garbage again\n"));
  ASSERT_TRUE(store.SetInt("settings", "after", 1));
  EXPECT_NE(std::string::npos, store.LastError().find("damaged"));
  EXPECT_TRUE(FileExists(path + ".corrupt." + std::to_string(std::size(damaged) + 1)));
  EXPECT_EQ((std::vector<std::string>{"after"}), store.Names("settings"));
}

// A writer killed at any moment leaves the old or the new file whole.
TEST(ProfileStoreProcesses, KilledWriterNeverTearsTheFile) {
  TempDir dir;
  const std::string a(300000, 'a'), b(200000, 'b');
  std::mt19937 random(std::random_device{}());
  for (int round = 0; round < 20; ++round) {
    int ready[2];
    ASSERT_EQ(0, ::pipe(ready));
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(ready[0]);
      ProfileStore store(kKey, dir.path());
      for (unsigned i = 0;; ++i) {
        if (!store.SetString("settings", "big", i % 2 ? b : a)) _exit(1);
        if (::write(ready[1], "w", 1) != 1) _exit(1);  // one byte per finished save
      }
    }
    ::close(ready[1]);
    // Let it finish a random number of saves, then kill it somewhere in the next one.
    const int saves = std::uniform_int_distribution<int>(1, 6)(random);
    for (int i = 0; i < saves; ++i) {
      char c;
      ASSERT_EQ(1, ::read(ready[0], &c, 1)) << "writer failed";
    }
    for (volatile int spin = std::uniform_int_distribution<int>(0, 2000000)(random); spin > 0;) {
      spin = spin - 1;
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
    ::close(ready[0]);

    ProfileStore store(kKey, dir.path());
    auto value = store.GetString("settings", "big");
    ASSERT_TRUE(value) << store.LastError();
    EXPECT_TRUE(*value == a || *value == b) << "torn value of " << value->size() << " bytes";
    EXPECT_EQ("", store.LastError());
  }
  // The next save clears temporary files that killed writers left.
  ProfileStore store(kKey, dir.path());
  ASSERT_TRUE(store.SetInt("settings", "done", 1));
  EXPECT_EQ((std::vector<std::string>{"Vardune Navigator.lock", "Vardune Navigator.profile"}),
            FilesIn(dir.File("Software/Vardune")));
}

// Two processes writing the same key at once lose nothing.
TEST(ProfileStoreProcesses, ConcurrentWritersBothLand) {
  TempDir dir;
  constexpr int kPerWriter = 200;
  int go[2];
  ASSERT_EQ(0, ::pipe(go));
  pid_t pids[2];
  for (int w = 0; w < 2; ++w) {
    pids[w] = ::fork();
    ASSERT_GE(pids[w], 0);
    if (pids[w] == 0) {
      ::close(go[1]);
      char c;
      if (::read(go[0], &c, 1) != 0) _exit(2);  // both start when the pipe closes
      ProfileStore store(kKey, dir.path());
      bool ok = true;
      for (int i = 0; i < kPerWriter; ++i) {
        ok = store.SetInt("values", "w" + std::to_string(w) + "_" + std::to_string(i), i) && ok;
      }
      _exit(ok ? 0 : 1);
    }
  }
  ::close(go[0]);
  ::close(go[1]);
  EXPECT_TRUE(ChildSucceeded(pids[0]));
  EXPECT_TRUE(ChildSucceeded(pids[1]));

  ProfileStore store(kKey, dir.path());
  EXPECT_EQ(2u * kPerWriter, store.Names("values").size());
  for (int w = 0; w < 2; ++w) {
    for (int i = 0; i < kPerWriter; ++i) {
      EXPECT_EQ(i, store.GetInt("values", "w" + std::to_string(w) + "_" + std::to_string(i)));
    }
  }
}

}  // namespace
}  // namespace vd::os
