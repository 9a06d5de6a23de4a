// The icon library: built-in and custom slots, look-ups, coloured images, the archive block and
// the text-file lines, and what it does with names and numbers that come from files.
#include "overlays/icon_library.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "overlays/obj_icons.h"
#include "overlays/overlay_archive.h"
#include "platform/os/files.h"
#include "platform/ui/icon_bitmaps.h"
#include "tests/temp_dir.h"

namespace {

using vd::ui::Argb;
using vd::ui::Image;
using vd::ui::MakeArgb;
using vd::ui::MakeColourRef;

constexpr Argb kBlack = 0xFF000000;
constexpr Argb kGrey = 0xFF808080;
constexpr Argb kClear = 0x00000000;

// A w x h image of `fill` with a grey pixel at (1, 0) on a transparent layer, or no layer.
void WriteIcon(const std::string& stem, int w, int h, Argb fill, bool with_layer,
               const char* hot_spot) {
  ASSERT_TRUE(Image(w, h, fill).SavePng(stem + ".png"));
  if (with_layer) {
    Image layer(w, h, kClear);
    layer.SetPixel(1, 0, kGrey);
    ASSERT_TRUE(layer.SavePng(stem + "_c.png"));
  }
  if (hot_spot) {
    ASSERT_TRUE(vd::os::SaveFileAtomically(stem + "_xy.txt", hot_spot));
  }
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  EXPECT_TRUE(vd::os::ReadWholeFile(path, bytes)) << path;
  return bytes;
}

// The bytes an archive stores.
std::string Store(const vd::test::TempDir& dir, const std::function<void(COverlayArchive&)>& write) {
  const std::string path = dir.File("archive.bin");
  vd::os::File file;
  EXPECT_TRUE(file.Open(path, vd::os::File::Mode::CreateTruncate));
  {
    COverlayArchive archive(file, COverlayArchive::Mode::kStore);
    write(archive);
    archive.Flush();
  }
  file.Close();
  return ReadFile(path);
}

std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// A built-in icon folder and a folder of custom icon files.
class IconLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteIcon(icons_.File("Dot"), 4, 4, kBlack, false, "2,2");
    WriteIcon(icons_.File("Anchor"), 6, 6, kBlack, true, "3,5");
    WriteIcon(icons_.File("Anchor@2x"), 12, 12, kBlack, true, nullptr);
    WriteIcon(icons_.File("Flag"), 4, 4, kBlack, false, nullptr);  // no hot spot: no image
    library_.SetIconFolder(icons_.path());
  }

  // A custom icon file "<name>.png" (with a layer and hot spot when asked).
  std::string CustomIcon(const std::string& name, Argb fill = MakeArgb(0xFF, 20, 200, 20),
                         bool with_layer = false, const char* hot_spot = nullptr) {
    WriteIcon(files_.File(name), 8, 6, fill, with_layer, hot_spot);
    return files_.File(name + ".png");
  }

  vd::test::TempDir icons_;
  vd::test::TempDir files_;
  CIconLibrary library_;
  ObjectList no_objects_;
};

TEST_F(IconLibraryTest, BuiltInSymbolsFillTheFirst32Slots) {
  library_.EnsureLoaded();
  for (int slot = 0; slot < CIconLibrary::kBuiltInCount; ++slot) {
    EXPECT_EQ(library_.Entry(slot)->number, slot);
    EXPECT_EQ(library_.Entry(slot)->name, CIconLibrary::kBuiltInNames[slot]);
  }
  EXPECT_EQ(library_.Entry(6)->name, "Anchor");
  EXPECT_EQ(library_.Entry(31)->name, "Water");

  const CIconLibraryEntry& dot = *library_.Entry(0);
  ASSERT_TRUE(dot.image);
  EXPECT_FALSE(dot.has_colour_layer);
  EXPECT_EQ(dot.hot_spot_x, 2);
  const CIconLibraryEntry& anchor = *library_.Entry(6);
  ASSERT_TRUE(anchor.image);
  EXPECT_TRUE(anchor.has_colour_layer);
  EXPECT_FALSE(anchor.double_resolution);
  EXPECT_EQ(anchor.image->Width(), 6);
  EXPECT_EQ(anchor.hot_spot_y, 5);
  EXPECT_FALSE(anchor.HasImage());  // built-ins store no bytes
  EXPECT_FALSE(library_.Entry(10)->image);  // Flag has no "_xy.txt"
  EXPECT_FALSE(library_.Entry(20)->image);  // no files at all
  EXPECT_EQ(library_.Entry(400), nullptr);
  EXPECT_EQ(library_.Entry(-1), nullptr);

  // Above a display scale of 1.6 the double-size files serve where they exist.
  CIconLibrary sharp;
  sharp.SetIconFolder(icons_.path());
  sharp.SetDisplayScale(2.0f);
  sharp.EnsureLoaded();
  EXPECT_TRUE(sharp.Entry(6)->double_resolution);
  EXPECT_EQ(sharp.Entry(6)->image->Width(), 12);
  EXPECT_EQ(sharp.Entry(6)->hot_spot_x, 3);  // single-size pixels
  EXPECT_FALSE(sharp.Entry(0)->double_resolution);
  EXPECT_EQ(sharp.Entry(0)->image->Width(), 4);
}

TEST_F(IconLibraryTest, SlotOfKeepsTheFileIconApart) {
  library_.EnsureLoaded();
  EXPECT_EQ(library_.SlotOf(-1), -1);
  EXPECT_EQ(library_.SlotOf(6), 6);
  EXPECT_EQ(library_.SlotOf(1234567), 0);  // unknown: "Dot"
  // Slot -1 never reaches the entries.
  EXPECT_EQ(library_.GetImage(library_.SlotOf(-1), 0xFF), nullptr);
  EXPECT_EQ(library_.GetImage(400, 0xFF), nullptr);
}

TEST_F(IconLibraryTest, SymbolByNameMatchesNamePrefixesThenKeywords) {
  ASSERT_TRUE(library_.LoadIconFile(CustomIcon("Harbour"), 100000));
  const struct {
    const char* name;
    int32_t number;
  } cases[] = {
      {"Dot", 0},           {"Dots", 0},        {"buoy_can north", 20},
      {"ANCHORAGE", 6},     {"Xylophone", 28},  {"My campsite", 11},
      {"Parking lot", 3},   {"Trailhead", 30},  {"harbour west", 100000},
      {"nothing at all", 0}, {"", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(library_.SymbolByName(c.name), c.number) << c.name;
}

TEST(IconLibraryColourTest, DefaultColoursOfSymbolNumbers) {
  const std::map<int32_t, vd::ui::ColourRef> cases = {
      {0, 0xff0000},  {3, 0xff0000},  {11, 0x00ff00}, {14, 0x00ff00}, {20, 0x00ff00},
      {23, 0x00ff00}, {22, 0x00ffff}, {1, 0x0000ff},  {31, 0x0000ff}, {-1, 0x0000ff},
      {123456, 0x0000ff}};
  for (const auto& [number, colour] : cases) {
    EXPECT_EQ(CIconLibrary::SymbolDefaultColour(number), colour) << number;
  }
}

TEST_F(IconLibraryTest, ColouredImagesAreMadeOnceAndOnlyForSymbolsWithALayer) {
  const std::shared_ptr<const Image> red = library_.GetImage(6, MakeColourRef(255, 0, 0));
  ASSERT_TRUE(red);
  EXPECT_EQ(red, library_.GetImage(6, MakeColourRef(255, 0, 0)));  // cached
  const std::shared_ptr<const Image> blue = library_.GetImage(6, MakeColourRef(0, 0, 255));
  ASSERT_TRUE(blue);
  EXPECT_NE(red, blue);
  EXPECT_EQ(red->Pixel(1, 0), MakeArgb(0xFF, 255, 0, 0));  // grey layer pixel takes the hue
  EXPECT_EQ(blue->Pixel(1, 0), MakeArgb(0xFF, 0, 0, 255));
  EXPECT_EQ(red->Pixel(0, 0), kBlack);
  // The uncoloured image shows the layer in its own colours.
  EXPECT_EQ(library_.Entry(6)->image->Pixel(1, 0), kGrey);

  // Without a layer the colour makes no difference.
  EXPECT_EQ(library_.GetImage(0, MakeColourRef(255, 0, 0)), library_.Entry(0)->image);
  EXPECT_EQ(library_.GetImage(10, MakeColourRef(255, 0, 0)), nullptr);

  // A slot that changes loses its coloured images.
  ASSERT_TRUE(library_.LoadIconFile(CustomIcon("Mooring", kBlack, true), 5000));
  const int slot = library_.SlotOf(5000);
  const std::shared_ptr<const Image> first = library_.GetImage(slot, MakeColourRef(255, 0, 0));
  ASSERT_TRUE(first);
  ASSERT_TRUE(library_.LoadIconFile(CustomIcon("Mooring2", MakeArgb(0xFF, 1, 2, 3), true), 5000));
  const std::shared_ptr<const Image> second = library_.GetImage(slot, MakeColourRef(255, 0, 0));
  ASSERT_TRUE(second);
  EXPECT_EQ(second->Pixel(0, 0), MakeArgb(0xFF, 1, 2, 3));
  EXPECT_EQ(first->Pixel(0, 0), kBlack);  // a caller's image stays valid
}

TEST_F(IconLibraryTest, CustomIconKeepsItsBytesLayerAndHotSpot) {
  const std::string path = CustomIcon("Marina", MakeArgb(0xFF, 200, 20, 20), true, "1,4");
  ASSERT_TRUE(library_.LoadIconFile(path, 777));
  const int slot = library_.SlotOf(777);
  EXPECT_EQ(slot, CIconLibrary::kBuiltInCount);  // the first custom slot
  const CIconLibraryEntry& entry = *library_.Entry(slot);
  EXPECT_EQ(entry.name, "Marina");
  EXPECT_EQ(entry.extension, "png");
  EXPECT_EQ(std::string(entry.image_bytes.begin(), entry.image_bytes.end()), ReadFile(path));
  EXPECT_EQ(std::string(entry.layer_bytes.begin(), entry.layer_bytes.end()),
            ReadFile(files_.File("Marina_c.png")));
  EXPECT_TRUE(entry.HasImage());
  EXPECT_TRUE(entry.has_colour_layer);
  EXPECT_FALSE(entry.double_resolution);
  EXPECT_EQ(entry.hot_spot_x, 1);
  EXPECT_EQ(entry.hot_spot_y, 4);
  EXPECT_EQ(entry.default_colour, MakeColourRef(200, 20, 20));

  // Without "_xy.txt" the hot spot is the image's centre; an odd extension is not kept.
  ASSERT_TRUE(vd::os::RenameFile(CustomIcon("Odd"), files_.File("Odd.p$g")));
  ASSERT_TRUE(library_.LoadIconFile(files_.File("Odd.p$g"), 778));
  const CIconLibraryEntry& odd = *library_.Entry(library_.SlotOf(778));
  EXPECT_EQ(odd.hot_spot_x, 4);
  EXPECT_EQ(odd.hot_spot_y, 3);
  EXPECT_EQ(odd.extension, "");
  EXPECT_FALSE(odd.has_colour_layer);
}

TEST_F(IconLibraryTest, LoadRefusesReservedNumbersAndBadFilesWithoutChangingAnything) {
  const std::string path = CustomIcon("Buoy");
  for (int32_t number : {-1, 0, 1, 6, 31}) {
    EXPECT_FALSE(library_.LoadIconFile(path, number)) << number;
  }
  EXPECT_EQ(library_.Entry(6)->name, "Anchor");
  EXPECT_EQ(library_.Entry(1)->number, 1);
  EXPECT_TRUE(library_.LoadIconFile(path, 32));  // the first number custom icons may have

  ASSERT_TRUE(library_.LoadIconFile(path, 900));
  ASSERT_TRUE(vd::os::SaveFileAtomically(files_.File("broken.png"), "not an image"));
  EXPECT_FALSE(library_.LoadIconFile(files_.File("broken.png"), 900));
  EXPECT_FALSE(library_.LoadIconFile(files_.File("missing.png"), 900));
  EXPECT_EQ(library_.Entry(library_.SlotOf(900))->name, "Buoy");  // the old icon stays
}

TEST_F(IconLibraryTest, IconsLoadedInOneSecondGetDistinctNumbers) {
  const std::string path = CustomIcon("Spot");
  ASSERT_TRUE(library_.LoadIconFile(path));
  ASSERT_TRUE(library_.LoadIconFile(path));
  ASSERT_TRUE(library_.LoadIconFile(path));
  std::set<int32_t> numbers;
  for (int slot = 32; slot < 35; ++slot) numbers.insert(library_.Entry(slot)->number);
  EXPECT_EQ(numbers.size(), 3u);
  for (int32_t n : numbers) EXPECT_GE(n, CIconLibrary::kBuiltInCount);
}

TEST_F(IconLibraryTest, AFullLibraryOverwritesTheLastSlot) {
  const std::string path = CustomIcon("Many");
  for (int32_t number = 1000; number < 1000 + 368; ++number) {
    ASSERT_TRUE(library_.LoadIconFile(path, number));
  }
  EXPECT_EQ(library_.SlotOf(1000 + 367), CIconLibrary::kLastSlot);
  ASSERT_TRUE(library_.LoadIconFile(CustomIcon("Extra"), 99999));
  EXPECT_EQ(library_.SlotOf(99999), CIconLibrary::kLastSlot);
  EXPECT_EQ(library_.SlotOf(1000 + 367), 0);
  EXPECT_EQ(library_.SlotOf(1000 + 366), CIconLibrary::kLastSlot - 1);
}

TEST_F(IconLibraryTest, DeleteRunsTheSlotResetHookFirstAndNeverTouchesSlotZero) {
  ASSERT_TRUE(library_.LoadIconFile(CustomIcon("Gone"), 4242));
  const int slot = library_.SlotOf(4242);
  std::vector<int> reset_slots;
  std::string name_seen;
  library_.SetMarkHooks(
      [&](ObjectList&, int s) {
        reset_slots.push_back(s);
        name_seen = library_.Entry(s)->name;
      },
      nullptr);
  EXPECT_TRUE(library_.DeleteIcon(4242, no_objects_));
  EXPECT_EQ(reset_slots, std::vector<int>{slot});
  EXPECT_EQ(name_seen, "Gone");
  EXPECT_EQ(library_.SlotOf(4242), 0);
  EXPECT_EQ(library_.GetImage(slot, 0), nullptr);

  EXPECT_FALSE(library_.DeleteIcon(4242, no_objects_));
  EXPECT_FALSE(library_.DeleteIcon(0, no_objects_));
  EXPECT_FALSE(library_.DeleteIcon(-1, no_objects_));
  EXPECT_EQ(reset_slots.size(), 1u);
  EXPECT_EQ(library_.Entry(0)->name, "Dot");

  library_.Clear();
  EXPECT_EQ(library_.Entry(0)->name, "");
  EXPECT_EQ(library_.GetImage(6, 0xFF)->Width(), 6);  // the next use loads the built-ins again
}

TEST_F(IconLibraryTest, DuplicateNamesMergeIntoTheFirst) {
  ASSERT_TRUE(library_.LoadIconFile(CustomIcon("Buoy"), 500));
  ASSERT_TRUE(library_.LoadIconFile(CustomIcon("Other"), 501));
  ASSERT_TRUE(library_.LoadIconFile(CustomIcon("BUOY"), 502));
  ASSERT_TRUE(library_.LoadIconFile(CustomIcon("anchor"), 503));
  std::map<int32_t, int32_t> mapping;
  library_.SetMarkHooks(nullptr, [&](ObjectList&, const std::map<int32_t, int32_t>& m) {
    mapping = m;
  });
  library_.MergeDuplicateNames(no_objects_);
  EXPECT_EQ(mapping, (std::map<int32_t, int32_t>{{502, 500}, {503, 6}}));
  EXPECT_EQ(library_.SlotOf(502), 0);
  EXPECT_NE(library_.SlotOf(500), 0);
  EXPECT_NE(library_.SlotOf(501), 0);

  mapping.clear();
  library_.MergeDuplicateNames(no_objects_);
  EXPECT_TRUE(mapping.empty());
}

TEST_F(IconLibraryTest, ArchiveBlockCarriesCustomIconsToAnotherLibrary) {
  vd::test::TempDir dir;
  ASSERT_TRUE(library_.LoadIconFile(CustomIcon("Marina", MakeArgb(0xFF, 9, 9, 200), true, "2,1"),
                                    123456));
  ASSERT_TRUE(library_.LoadIconFile(CustomIcon("Plain"), -7));
  const std::string bytes = Store(dir, [&](COverlayArchive& a) { library_.WriteCustomIcons(a); });

  CIconLibrary other;
  other.SetIconFolder(icons_.path());
  COverlayArchive in(Bytes(bytes));
  other.ReadCustomIcons(in);
  EXPECT_EQ(in.BytesLeft(), 0u);
  for (int32_t number : {123456, -7}) {
    const CIconLibraryEntry& a = *library_.Entry(library_.SlotOf(number));
    const CIconLibraryEntry& b = *other.Entry(other.SlotOf(number));
    EXPECT_EQ(b.number, number);
    EXPECT_EQ(b.name, a.name);
    EXPECT_EQ(b.hot_spot_x, a.hot_spot_x);
    EXPECT_EQ(b.hot_spot_y, a.hot_spot_y);
    EXPECT_EQ(b.image_bytes, a.image_bytes);
    EXPECT_EQ(b.layer_bytes, a.layer_bytes);
    EXPECT_EQ(b.extension, "png");
    EXPECT_EQ(b.has_colour_layer, a.has_colour_layer);
    EXPECT_EQ(b.default_colour, a.default_colour);
    ASSERT_TRUE(b.image);
    EXPECT_EQ(b.image->qimage(), a.image->qimage());
  }
  EXPECT_TRUE(other.Entry(other.SlotOf(123456))->has_colour_layer);
}

// A block written byte by byte: the version, then the icons given, then 0.
struct BlockIcon {
  int32_t number;
  std::string name;
  std::string image;
  std::string layer;
  std::string extension;
};

std::string Block(const vd::test::TempDir& dir, int32_t version,
                  const std::vector<BlockIcon>& icons) {
  return Store(dir, [&](COverlayArchive& a) {
    a.WriteInt32(version);
    for (const BlockIcon& icon : icons) {
      a.WriteInt32(icon.number);
      a.WriteInt32(1);
      a.WriteInt32(2);
      a.WriteString(icon.name);
      a.WriteInt32(static_cast<int32_t>(icon.image.size()));
      a.WriteBytes(icon.image.data(), icon.image.size());
      if (version > 0) {
        a.WriteInt32(static_cast<int32_t>(icon.layer.size()));
        a.WriteBytes(icon.layer.data(), icon.layer.size());
        a.WriteString(icon.extension);
      }
    }
    a.WriteInt32(0);
  });
}

TEST_F(IconLibraryTest, ArchiveBlockOfVersion0HasBmpAndNoLayer) {
  vd::test::TempDir dir;
  const std::string png = ReadFile(CustomIcon("Old"));
  const std::string bytes = Block(dir, 0, {{4000, "Old", png, "", ""}});
  COverlayArchive in(Bytes(bytes));
  library_.ReadCustomIcons(in);
  const CIconLibraryEntry& entry = *library_.Entry(library_.SlotOf(4000));
  EXPECT_EQ(entry.extension, "bmp");
  EXPECT_TRUE(entry.layer_bytes.empty());
  EXPECT_FALSE(entry.has_colour_layer);
  EXPECT_TRUE(entry.image);
}

TEST_F(IconLibraryTest, ArchiveBlockSkipsBuiltInNumbersAndKeepsNamesOutOfPaths) {
  vd::test::TempDir dir;
  const std::string png = ReadFile(CustomIcon("Good"));
  const std::string bytes = Block(dir, 1,
                                  {{6, "Fake anchor", png, "", "png"},
                                   {-1, "File icon", png, "", "png"},
                                   {4001, "Broken", "not an image", "", "png"},
                                   {4002, "../../escape", png, png, "png/../../x"}});
  COverlayArchive in(Bytes(bytes));
  library_.ReadCustomIcons(in);
  EXPECT_EQ(in.BytesLeft(), 0u);  // every icon's bytes were passed over or read
  EXPECT_EQ(library_.Entry(6)->name, "Anchor");
  EXPECT_EQ(library_.SlotOf(4001), 0);
  const CIconLibraryEntry& escape = *library_.Entry(library_.SlotOf(4002));
  EXPECT_EQ(escape.name, "../../escape");  // a name, never a path
  EXPECT_EQ(escape.extension, "");

  // Exporting it writes only inside the export folder, under a safe name.
  vd::test::TempDir parent;
  const std::string folder = parent.File("export");
  ASSERT_TRUE(vd::os::MakeFolders(folder));
  std::string lines;
  ASSERT_TRUE(library_.WriteIconLines(lines, {library_.SlotOf(4002)}, folder));
  EXPECT_EQ(lines, "IC01,4002,\"escape.bmp\"\n");
  std::vector<vd::os::DirEntry> written;
  ASSERT_TRUE(vd::os::ListFolder(folder, written));
  std::vector<std::string> names;
  for (const auto& e : written) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"escape.bmp", "escape_c.bmp", "escape_xy.txt"}));
  std::vector<vd::os::DirEntry> beside;
  ASSERT_TRUE(vd::os::ListFolder(parent.path(), beside));
  EXPECT_EQ(beside.size(), 1u);
}

TEST_F(IconLibraryTest, MalformedArchiveBlockThrows) {
  vd::test::TempDir dir;
  const std::string png = ReadFile(CustomIcon("Good"));
  std::string block = Block(dir, 1, {{4000, "Good", png, "", "png"}});
  // The image size (after version, number, hot spot and the 5-byte name) made larger than
  // the bytes left, then negative.
  const size_t size_at = 4 + 4 + 8 + 5;
  for (int32_t size : {int32_t(png.size() + 100), int32_t(-5)}) {
    std::string bad = block;
    std::memcpy(bad.data() + size_at, &size, 4);
    CIconLibrary fresh;
    fresh.SetIconFolder(icons_.path());
    COverlayArchive in(Bytes(bad));
    EXPECT_THROW(fresh.ReadCustomIcons(in), COverlayArchiveException) << size;
  }
  // Cut short before the closing 0.
  const std::string cut = block.substr(0, block.size() - 2);
  COverlayArchive short_in(Bytes(cut));
  EXPECT_THROW(library_.ReadCustomIcons(short_in), COverlayArchiveException);
}

TEST_F(IconLibraryTest, IconLinesRoundTripThroughTheTextFolder) {
  ASSERT_TRUE(library_.LoadIconFile(CustomIcon("Red buoy", MakeArgb(0xFF, 200, 0, 0), true, "1,2"),
                                    600));
  ASSERT_TRUE(library_.LoadIconFile(CustomIcon("Red_buoy"), 601));  // the same safe name
  vd::test::TempDir folder;
  std::string lines;
  ASSERT_TRUE(library_.WriteIconLines(
      lines, {0, 6, library_.SlotOf(601), library_.SlotOf(600), 999}, folder.path()));
  EXPECT_EQ(lines,
            "IC01,600,\"Red_buoy.png\"\n"
            "IC01,601,\"Red_buoy_601.png\"\n");
  EXPECT_EQ(ReadFile(folder.File("Red_buoy_xy.txt")), "1,2\n");

  CIconLibrary other;
  other.SetIconFolder(icons_.path());
  std::string_view text = lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    EXPECT_TRUE(other.ReadIconLine(text.substr(0, end), folder.path()));
    text.remove_prefix(end + 1);
  }
  const CIconLibraryEntry& first = *other.Entry(other.SlotOf(600));
  EXPECT_EQ(first.name, "Red_buoy");
  EXPECT_TRUE(first.has_colour_layer);
  EXPECT_EQ(first.hot_spot_y, 2);
  EXPECT_EQ(first.image_bytes, library_.Entry(library_.SlotOf(600))->image_bytes);
  EXPECT_EQ(other.Entry(other.SlotOf(601))->name, "Red_buoy_601");
}

TEST_F(IconLibraryTest, IconLinesNeverReachOutsideTheirFolder) {
  vd::test::TempDir parent;
  const std::string folder = parent.File("texts");
  ASSERT_TRUE(vd::os::MakeFolders(folder));
  WriteIcon(parent.File("outside"), 4, 4, kBlack, false, nullptr);
  WriteIcon(folder + "/inside", 4, 4, kBlack, false, nullptr);
  const struct {
    std::string line;
    bool ok;
  } cases[] = {
      {"IC01,7000,\"inside.png\"", true},
      {"IC01 , 0x1B59,\"inside.png\"", true},  // 7001, C prefixes as the line format allows
      {"IC01,7002,\"../outside.png\"", false},
      {"IC01,7003,\"..\\outside.png\"", false},
      {"IC01,7004,\"" + parent.File("outside.png") + "\"", false},
      {"IC01,7005,\"C:outside.png\"", false},
      {"IC01,5,\"inside.png\"", false},  // a built-in number
      {"IC01,7006", false},
      {"IC01,abc,\"inside.png\"", false},
      {"XX01,7007,\"inside.png\"", false},
      {"IC01,99999999999,\"inside.png\"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(library_.ReadIconLine(c.line, folder), c.ok) << c.line;
  EXPECT_NE(library_.SlotOf(7001), 0);
}

TEST(ObjIconsTest, SerializeCarriesTheProgramLibraryAndRemoveDropsTheObjects) {
  vd::test::TempDir icons;
  vd::test::TempDir dir;
  CIconLibrary& library = CIconLibrary::Get();
  library.SetIconFolder(icons.path());
  library.Clear();
  WriteIcon(dir.File("Custom"), 4, 4, kBlack, false, nullptr);
  ASSERT_TRUE(library.LoadIconFile(dir.File("Custom.png"), 31337));

  auto* table = new CObjIcons;
  table->AddRef();
  const std::string bytes = Store(dir, [&](COverlayArchive& a) { a.WriteObject(table); });
  table->Release();

  library.Clear();
  ObjectList list;
  {
    COverlayArchive in(Bytes(bytes));
    CObjIcons* read = in.ReadObject<CObjIcons>();
    ASSERT_NE(read, nullptr);
    read->AddRef();
    list.push_back(read);
  }
  EXPECT_NE(library.SlotOf(31337), 0);
  EXPECT_EQ(library.Entry(library.SlotOf(31337))->name, "Custom");

  auto* other = new COstrelObject;
  other->AddRef();
  list.push_back(other);
  RemoveIconObjects(list);
  EXPECT_EQ(list, ObjectList{other});
  other->Release();
  library.Clear();
  library.SetIconFolder({});
}

}  // namespace
