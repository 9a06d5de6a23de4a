#include "core/persistant_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <numbers>
#include <optional>

#include "core/key_value_file.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

// A record whose fields each test chooses.
struct ProbeRecord : PersistantData {
  ProbeRecord() : PersistantData("Probe") {}
  std::function<void(PersistantData&)> fields;
  void Exchange() override {
    if (fields) fields(*this);
  }
};

struct TinyRecord : PersistantData {
  TinyRecord() : PersistantData("Tiny") { Reset(); }
  void Reset() {
    i = 255;
    b = true;
    s = "a=b&c d";
    d = 1.0;
    c = 0x80FF0000;
    set = {"y", "x"};
  }
  int i;
  bool b;
  std::string s;
  double d;
  uint32_t c;
  std::set<std::string> set;
  void Exchange() override {
    ExchangeInt("i", i);
    ExchangeBool("b", b);
    ExchangeString("s", s);
    ExchangeDouble("d", d);
    ExchangeColour("c", c);
    ExchangeStringSet("set", set);
  }
};

struct CleanRecord : PersistantData {
  CleanRecord() : PersistantData("Clean") {}
  int x = 7;
  void Exchange() override { ExchangeInt("x", x); }
};

// Static records, registered before main() like those of the program.
ProbeRecord probe;
TinyRecord tiny;
CleanRecord clean;

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_config_ = vd::os::GetEnv("XDG_CONFIG_HOME");
    ASSERT_TRUE(vd::os::SetEnv("XDG_CONFIG_HOME", dir_.path()));
    PersistantData::SetBaseName("unit");
    tiny.Reset();
  }
  void TearDown() override {
    probe.fields = nullptr;
    PersistantData::SetBaseName("");
    if (saved_config_) {
      vd::os::SetEnv("XDG_CONFIG_HOME", *saved_config_);
    } else {
      vd::os::UnsetEnv("XDG_CONFIG_HOME");
    }
  }

  std::string Path() const { return dir_.path() + "/Vardune/unit.ini"; }
  void WriteSettings(const std::string& text) {
    ASSERT_TRUE(vd::os::MakeFolders(dir_.path() + "/Vardune"));
    ASSERT_TRUE(vd::os::SaveFileAtomically(Path(), text));
  }
  std::string ReadSettings() const {
    std::string text;
    EXPECT_TRUE(vd::os::ReadWholeFile(Path(), text));
    return text;
  }

  // Saves `written` through `exchange` under "Probe:v", then loads it into a variable holding
  // `start`.
  template <class T>
  T RoundTrip(void (PersistantData::*exchange)(std::string_view, T&), const T& written,
              const T& start) {
    T value = written;
    probe.fields = [&](PersistantData& r) { (r.*exchange)("v", value); };
    probe.MarkDirty();
    EXPECT_TRUE(PersistantData::SaveAll());
    value = start;
    EXPECT_TRUE(PersistantData::LoadAll());
    return value;
  }

  // Stores `stored` under "Probe:v" and loads it into a variable holding `start`.
  template <class T>
  T ReadStored(void (PersistantData::*exchange)(std::string_view, T&), const std::string& stored,
               const T& start) {
    CKeyValueFile file;
    file.Set("Probe:v", stored);
    EXPECT_TRUE(vd::os::MakeFolders(dir_.path() + "/Vardune"));
    EXPECT_TRUE(file.Save(Path()));
    T value = start;
    probe.fields = [&](PersistantData& r) { (r.*exchange)("v", value); };
    EXPECT_TRUE(PersistantData::LoadAll());
    return value;
  }

  vd::test::TempDir dir_;
  std::optional<std::string> saved_config_;
};

template <class T>
bool SameBits(T a, T b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

TEST(PersistantDataTest, StaticRecordsRegisterNewestFirst) {
  std::vector<std::string> sections;
  for (PersistantData* r = PersistantData::Head(); r != nullptr; r = r->next()) {
    sections.push_back(r->section());
  }
  const auto at = [&](const char* name) {
    return std::find(sections.begin(), sections.end(), name) - sections.begin();
  };
  ASSERT_LT(at("Probe"), static_cast<long>(sections.size()));
  EXPECT_LT(at("Clean"), at("Tiny"));
  EXPECT_LT(at("Tiny"), at("Probe"));
  EXPECT_FALSE(probe.IsDirty());
}

TEST(PersistantDataTest, ARecordThatGoesLeavesTheList) {
  {
    CleanRecord local;
    EXPECT_EQ(PersistantData::Head(), &local);
  }
  std::vector<PersistantData*> cleans;
  for (PersistantData* r = PersistantData::Head(); r != nullptr; r = r->next()) {
    if (r->section() == "Clean") cleans.push_back(r);
  }
  EXPECT_EQ(cleans, std::vector<PersistantData*>{&clean});
}

TEST_F(SettingsFileTest, PathFollowsTheBaseName) {
  EXPECT_EQ(PersistantData::SettingsFilePath(), Path());
  PersistantData::SetBaseName("");
  EXPECT_EQ(PersistantData::SettingsFilePath(), "");
}

TEST_F(SettingsFileTest, WritesTheExactText) {
  tiny.MarkDirty();
  ASSERT_TRUE(PersistantData::SaveAll());
  EXPECT_FALSE(tiny.IsDirty());
  EXPECT_EQ(ReadSettings(),
            "Tiny:b=1\n"
            "Tiny:c=%2380FF0000\n"
            "Tiny:d=000000000000f03f\n"
            "Tiny:i=0xff\n"
            "Tiny:s=a%3db%26c+d\n"
            "Tiny:set:n=2\n"
            "Tiny:set[0]=x\n"
            "Tiny:set[1]=y\n");
}

TEST_F(SettingsFileTest, IntegersRoundTrip) {
  for (int v : {0, 1, -1, 255, 42, INT_MAX, INT_MIN, -123456789}) {
    EXPECT_EQ(RoundTrip(&PersistantData::ExchangeInt, v, v ^ 0x5a5a), v);
  }
  for (bool v : {false, true}) EXPECT_EQ(RoundTrip(&PersistantData::ExchangeBool, v, !v), v);
}

TEST_F(SettingsFileTest, DoublesAndFloatsRoundTripBitForBit) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  for (double v :
       {0.0, -0.0, 1.5, std::numbers::pi, -1e300, 4.9e-324, std::numeric_limits<double>::max(),
        kInf, -kInf, std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_TRUE(SameBits(RoundTrip(&PersistantData::ExchangeDouble, v, 7.0), v)) << v;
  }
  for (float v : {0.0f, -0.0f, 0.1f, -3.25f, 1e-45f, std::numeric_limits<float>::max(),
                  std::numeric_limits<float>::infinity()}) {
    EXPECT_TRUE(SameBits(RoundTrip(&PersistantData::ExchangeFloat, v, 7.0f), v)) << v;
  }
}

TEST_F(SettingsFileTest, StringsAndColoursRoundTrip) {
  for (const char* v : {"plain", "a=b&c", " padded ", "100% sure+", "#hash", "line1\nline2\r",
                        "\xc3\xa9t\xc3\xa9 \xe2\x82\xac", "tab\there"}) {
    EXPECT_EQ(RoundTrip<std::string>(&PersistantData::ExchangeString, v, "start"), v);
  }
  for (uint32_t v : {0x00000000u, 0xFF102030u, 0x80FFFFFFu, 0x000000FFu}) {
    EXPECT_EQ(RoundTrip(&PersistantData::ExchangeColour, v, 0x12345678u), v);
  }
}

TEST_F(SettingsFileTest, TextIsStoredInTheWindowsCodePage) {
  EXPECT_EQ(RoundTrip<std::string>(&PersistantData::ExchangeString, "\xc3\xa9\xe6\xbc\xa2", ""),
            "\xc3\xa9?");  // a character with no Windows-1252 byte becomes '?'
  EXPECT_EQ(ReadSettings(), "Probe:v=%e9%3f\n");
}

TEST_F(SettingsFileTest, SetsAndListsRoundTrip) {
  using Set = std::set<std::string>;
  for (const Set& v :
       {Set{}, Set{"Topo", "4WD", "Basemap"}, Set{"with space", "a=b&c", "\xc3\xa9"}}) {
    EXPECT_EQ(RoundTrip(&PersistantData::ExchangeStringSet, v, Set{"old"}), v);
  }
  using List = std::vector<std::string>;
  for (const List& v : {List{}, List{"b", "a", "b"}, List{"$GPRMC", "$GPGGA"}}) {
    EXPECT_EQ(RoundTrip(&PersistantData::ExchangeStringList, v, List{"old"}), v);
  }
}

TEST_F(SettingsFileTest, BytesRoundTripAndShortTextsFillPartly) {
  unsigned char bytes[4] = {0x00, 0x7f, 0x80, 0xff};
  probe.fields = [&](PersistantData& r) { r.ExchangeBytes("v", bytes, 4); };
  probe.MarkDirty();
  ASSERT_TRUE(PersistantData::SaveAll());
  EXPECT_EQ(ReadSettings(), "Probe:v=007f80ff\n");
  std::memset(bytes, 1, 4);
  ASSERT_TRUE(PersistantData::LoadAll());
  EXPECT_EQ(std::memcmp(bytes, "\x00\x7f\x80\xff", 4), 0);

  WriteSettings("Probe:v=aabbc\n");  // two whole bytes; the rest of the buffer stays
  ASSERT_TRUE(PersistantData::LoadAll());
  EXPECT_EQ(std::memcmp(bytes, "\xaa\xbb\x80\xff", 4), 0);
}

TEST_F(SettingsFileTest, ReadsHandEditedValues) {
  EXPECT_EQ(ReadStored(&PersistantData::ExchangeInt, "0xff", 0), 255);
  EXPECT_EQ(ReadStored(&PersistantData::ExchangeInt, "1", 0), 1);  // as a bool writes it
  EXPECT_EQ(ReadStored(&PersistantData::ExchangeInt, "0xffffffff", 0), -1);
  EXPECT_EQ(ReadStored(&PersistantData::ExchangeInt, "junk", 5), 5);
  EXPECT_EQ(ReadStored(&PersistantData::ExchangeBool, "0xff", false), true);
  EXPECT_EQ(ReadStored(&PersistantData::ExchangeBool, "0", true), false);
  EXPECT_EQ(ReadStored(&PersistantData::ExchangeBool, "junk", true), true);

  EXPECT_EQ(ReadStored(&PersistantData::ExchangeDouble, "3.5", 0.0), 3.5);
  EXPECT_EQ(ReadStored(&PersistantData::ExchangeDouble, "1e5", 0.0), 1e5);
  EXPECT_EQ(ReadStored(&PersistantData::ExchangeDouble, "-2", 0.0), -2.0);
  EXPECT_EQ(ReadStored(&PersistantData::ExchangeDouble, "000000000000F03F", 0.0), 1.0);
  EXPECT_EQ(ReadStored(&PersistantData::ExchangeDouble, "nonsense", 9.0), 9.0);
  EXPECT_EQ(ReadStored(&PersistantData::ExchangeFloat, "0000803f", 0.0f), 1.0f);
  EXPECT_EQ(ReadStored(&PersistantData::ExchangeFloat, "2.5", 0.0f), 2.5f);
  EXPECT_EQ(ReadStored(&PersistantData::ExchangeFloat, "1e39", 9.0f), 9.0f);  // beyond a float

  const struct {
    const char* text;
    uint32_t argb;
  } colours[] = {
      {"#FFF", 0xFFF0F0F0},    {"#8fff", 0x80F0F0F0},     {"#102030", 0xFF102030},
      {"#abcdef", 0xFFABCDEF}, {"#80102030", 0x80102030}, {"#zz102030", 0x00102030},
      {"#12345", 0x11111111},  {"FF102030", 0x11111111},  {"#", 0x11111111},
  };
  for (const auto& c : colours) {
    EXPECT_EQ(ReadStored(&PersistantData::ExchangeColour, c.text, 0x11111111u), c.argb) << c.text;
  }
}

// An empty text is never written to the file; the elements after it must survive.
TEST_F(SettingsFileTest, EmptyElementsDoNotCostTheOthers) {
  using Set = std::set<std::string>;
  EXPECT_EQ(RoundTrip(&PersistantData::ExchangeStringSet, Set{"", "Topo", "4WD"}, Set{}),
            (Set{"Topo", "4WD"}));
  using List = std::vector<std::string>;
  EXPECT_EQ(RoundTrip(&PersistantData::ExchangeStringList, List{"a", "", "b", "", "c"}, List{}),
            (List{"a", "b", "c"}));
}

TEST_F(SettingsFileTest, SetCountsAreNotTrusted) {
  using Set = std::set<std::string>;
  using List = std::vector<std::string>;
  const struct {
    const char* text;
    Set set;
  } cases[] = {
      {"Probe:v:n=2000000000\nProbe:v[0]=a\nProbe:v[1]=b\n", {"a", "b"}},
      {"Probe:v:n=3\nProbe:v[0]=a\nProbe:v[2]=c\n", {"a", "c"}},  // [1] held ""
      {"Probe:v:n=11\nProbe:v[10]=c\nProbe:v[2]=b\nProbe:v[0]=a\nProbe:v[01]=x\n", {"a", "b", "c"}},
      {"Probe:v:n=1\nProbe:v[0]=a\nProbe:v[1]=stale\n", {"a"}},
      {"Probe:v:n=-5\nProbe:v[0]=a\n", {}},
      {"Probe:v:n=0x7fffffff\n", {}},
      {"Probe:v[0]=a\n", {"kept"}},  // no count: the set stays as it was
  };
  for (const auto& c : cases) {
    WriteSettings(c.text);
    Set set{"kept"};
    List list{"kept"};
    probe.fields = [&](PersistantData& r) {
      r.ExchangeStringSet("v", set);
      r.ExchangeStringList("v", list);
    };
    ASSERT_TRUE(PersistantData::LoadAll());
    EXPECT_EQ(set, c.set) << c.text;
    EXPECT_EQ(list, List(c.set.begin(), c.set.end())) << c.text;
  }
}

TEST_F(SettingsFileTest, BadFilesLoadWhatIsSound) {
  int value = 0;
  std::string text;
  probe.fields = [&](PersistantData& r) {
    r.ExchangeInt("i", value);
    r.ExchangeString("s", text);
  };
  WriteSettings("\xff\xfe garbage\n=\n&&\n" + std::string(1 << 20, 'z') + "=1\nProbe:i=0x10\n" +
                "Probe:s=caf\xe9\xff"
                "end\n");
  ASSERT_TRUE(PersistantData::LoadAll());
  EXPECT_EQ(value, 16);
  EXPECT_EQ(text,
            "caf\xc3\xa9\xc3\xbf"
            "end");
}

TEST_F(SettingsFileTest, SaveAllKeepsKeysOfCleanRecordsAndUnknownKeys) {
  WriteSettings("# note\nClean:x=0x9\nOther:key=a+b\nTiny:i=0x1\nTiny:gone=5\n");
  clean.x = 100;  // changed but not marked: not written
  tiny.i = 3;
  tiny.MarkDirty();
  ASSERT_TRUE(PersistantData::SaveAll());
  EXPECT_EQ(ReadSettings(),
            "Clean:x=0x9\n"
            "Other:key=a+b\n"
            "Tiny:b=1\n"
            "Tiny:c=%2380FF0000\n"
            "Tiny:d=000000000000f03f\n"
            "Tiny:gone=5\n"
            "Tiny:i=0x3\n"
            "Tiny:s=a%3db%26c+d\n"
            "Tiny:set:n=2\n"
            "Tiny:set[0]=x\n"
            "Tiny:set[1]=y\n");
  ASSERT_TRUE(PersistantData::LoadAll());
  EXPECT_EQ(clean.x, 9);
  clean.x = 7;
}

TEST_F(SettingsFileTest, NothingIsReadOrWrittenWithoutABaseName) {
  PersistantData::SetBaseName("");
  tiny.MarkDirty();
  EXPECT_FALSE(PersistantData::SaveAll());
  EXPECT_FALSE(vd::os::FileExists(dir_.path() + "/Vardune"));
  EXPECT_TRUE(tiny.IsDirty());
  EXPECT_FALSE(PersistantData::LoadAll());
  EXPECT_EQ(tiny.i, 255);

  PersistantData::SetBaseName("unit");
  ASSERT_TRUE(PersistantData::SaveAll());
  EXPECT_FALSE(tiny.IsDirty());
}

TEST_F(SettingsFileTest, FailedSavesLoseNothing) {
  // The settings file is a folder: it can't be read, so it must not be replaced.
  ASSERT_TRUE(vd::os::MakeFolders(Path()));
  tiny.MarkDirty();
  EXPECT_FALSE(PersistantData::SaveAll());
  EXPECT_TRUE(vd::os::IsDirectory(Path()));
  EXPECT_TRUE(tiny.IsDirty());

  // The folder can't be made: the record stays marked for the next save.
  PersistantData::SetBaseName("sub/unit");
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir_.path() + "/Vardune/sub", "a file"));
  EXPECT_FALSE(PersistantData::SaveAll());
  EXPECT_TRUE(tiny.IsDirty());

  PersistantData::SetBaseName("other");
  ASSERT_TRUE(PersistantData::SaveAll());
  EXPECT_FALSE(tiny.IsDirty());
}

TEST_F(SettingsFileTest, ExchangeOutsideSaveAndLoadDoesNothing) {
  tiny.i = 1;
  tiny.Exchange();
  EXPECT_EQ(tiny.i, 1);
  EXPECT_EQ(PersistantData::CurrentMap(), nullptr);
  EXPECT_FALSE(PersistantData::IsSaving());
}

TEST_F(SettingsFileTest, LoadingAMissingFileKeepsTheValues) {
  EXPECT_FALSE(PersistantData::LoadAll());
  EXPECT_EQ(tiny.i, 255);
  EXPECT_EQ(tiny.set, (std::set<std::string>{"x", "y"}));
}

}  // namespace
