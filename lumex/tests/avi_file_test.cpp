#include "lumex/avi_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

uint32_t Le32(const std::string& bytes, size_t offset) {
  uint32_t v = 0;
  std::memcpy(&v, bytes.data() + offset, 4);
  return v;
}

std::string Tag(const std::string& bytes, size_t offset) { return bytes.substr(offset, 4); }

// A frame whose pixel (x, y) is 0x00RRGGBB with red x, green y, blue x + y.
struct TestFrame {
  TestFrame(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        pixels[static_cast<size_t>(y) * w + x] = 0xFF000000u | static_cast<uint32_t>(x) << 16 |
                                                 static_cast<uint32_t>(y) << 8 |
                                                 static_cast<uint32_t>((x + y) & 0xFF);
      }
    }
  }
  VideoFrame View() const { return {pixels.data(), width, height, width}; }
  int width;
  int height;
  std::vector<uint32_t> pixels;
};

TEST(AviPartPath, NumbersFilesBeforeTheExtension) {
  struct Case {
    const char* path;
    int number;
    const char* expected;
  };
  const Case cases[] = {
      {"/v/flight.avi", 0, "/v/flight.avi"},
      {"/v/flight.avi", 1, "/v/flight_1.avi"},
      {"/v/flight.avi", 12, "/v/flight_12.avi"},
      {"/v.d/flight", 2, "/v.d/flight_2"},      // a dot in the folder is no extension
      {"flight.avi", 0, "./flight.avi"},        // no folder: the current one
      {"flight.x.avi", 3, "./flight.x_3.avi"},  // the last dot starts the extension
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AviPartPath(c.path, c.number), c.expected) << c.path << " " << c.number;
  }
}

TEST(BitmapToPackedDib, StoresRowsBottomFirstInBlueGreenRedWithPadding) {
  const TestFrame frame(3, 2);  // 9 bytes a row, padded to 12
  const std::vector<uint8_t> dib = BitmapToPackedDib(frame.View());
  ASSERT_EQ(dib.size(), 40u + 12u * 2u);
  const std::string bytes(dib.begin(), dib.end());
  EXPECT_EQ(Le32(bytes, 0), 40u);
  EXPECT_EQ(Le32(bytes, 4), 3u);
  EXPECT_EQ(Le32(bytes, 8), 2u);
  EXPECT_EQ(Le32(bytes, 12), 1u | 24u << 16);  // planes, bits
  EXPECT_EQ(Le32(bytes, 20), 24u);             // image size
  EXPECT_EQ(Le32(bytes, 32), 0u);              // colours used
  // First stored row is the bottom image row (y = 1): pixel x = 2 is red 2, green 1, blue 3.
  EXPECT_EQ(dib[40 + 6], 3);
  EXPECT_EQ(dib[40 + 7], 1);
  EXPECT_EQ(dib[40 + 8], 2);
  EXPECT_EQ(dib[40 + 9], 0);  // padding
  // The second stored row is image row 0.
  EXPECT_EQ(dib[52 + 7], 0);

  // A bottom-up source read through a negative stride gives the same DIB.
  std::vector<uint32_t> flipped(frame.pixels.begin() + 3, frame.pixels.end());
  flipped.insert(flipped.end(), frame.pixels.begin(), frame.pixels.begin() + 3);
  EXPECT_EQ(BitmapToPackedDib({flipped.data() + 3, 3, 2, -3}), dib);
}

TEST(AviOptions, RoundTripsAndRejectsDamagedFiles) {
  vd::test::TempDir dir;
  AviCompressChoice choice;
  choice.options.handler = kAviHandlerMjpeg;
  choice.options.quality = 8500;
  choice.options.flags = kAviCompressValid;
  choice.options.params_pointer = 0x1234;  // meaningless in a file
  choice.params = {1, 2, 3};
  choice.format = {9, 8};
  const std::string path = dir.File("options.bin");
  ASSERT_TRUE(CAVIFile::SaveOptions(path, choice));

  std::string stored;
  ASSERT_TRUE(vd::os::ReadWholeFile(path, stored));
  ASSERT_EQ(stored.size(), 44u + 3u + 2u);
  EXPECT_EQ(Le32(stored, 28), 2u);  // format size
  EXPECT_EQ(Le32(stored, 36), 3u);  // params size
  EXPECT_EQ(Le32(stored, 32), 0u);  // pointer stored as 0
  EXPECT_EQ(stored.substr(44), std::string("\x01\x02\x03\x09\x08", 5));

  AviCompressChoice loaded;
  ASSERT_TRUE(CAVIFile::LoadOptions(path, loaded));
  EXPECT_EQ(loaded.options.handler, kAviHandlerMjpeg);
  EXPECT_EQ(loaded.options.quality, 8500u);
  EXPECT_EQ(loaded.params, choice.params);
  EXPECT_EQ(loaded.format, choice.format);

  struct Damage {
    const char* what;
    std::string bytes;
  };
  std::string huge = stored.substr(0, 44);
  huge[36] = 0;
  huge[37] = 0;
  huge[38] = 0x20;  // params size 2 MiB
  const Damage damaged[] = {
      {"shorter than the record", stored.substr(0, 43)},
      {"blocks cut short", stored.substr(0, 48)},
      {"block size above 1 MiB", huge},
  };
  for (const Damage& d : damaged) {
    ASSERT_TRUE(vd::os::SaveFileAtomically(path, d.bytes));
    AviCompressChoice untouched;
    untouched.options.quality = 7;
    EXPECT_FALSE(CAVIFile::LoadOptions(path, untouched)) << d.what;
    EXPECT_EQ(untouched.options.quality, 7u) << d.what;
  }
  EXPECT_FALSE(CAVIFile::LoadOptions(dir.File("missing.bin"), loaded));
}

// The whole layout of an uncompressed file, read back chunk by chunk.
TEST(CAVIFile, WritesAnIndexedUncompressedFile) {
  vd::test::TempDir dir;
  const TestFrame frame(5, 3);
  {
    CAVIFile avi(dir.File("v.avi"), 5, 3, 15, nullptr, dir.File("none.bin"));
    ASSERT_TRUE(avi.IsOK());
    EXPECT_TRUE(avi.AddFrame(frame.View()));
    EXPECT_TRUE(avi.AddFrame(frame.View()));
  }
  std::string file;
  ASSERT_TRUE(vd::os::ReadWholeFile(dir.File("v.avi"), file));
  const uint32_t frame_bytes = 16 * 3;  // 15 bytes a row padded to 16
  ASSERT_EQ(Tag(file, 0), "RIFF");
  EXPECT_EQ(Le32(file, 4), file.size() - 8);
  EXPECT_EQ(Tag(file, 8), "AVI ");
  EXPECT_EQ(Tag(file, 24), "avih");
  EXPECT_EQ(Le32(file, 32), 66666u);  // microseconds per frame
  EXPECT_EQ(Le32(file, 48), 2u);      // frames
  EXPECT_EQ(Tag(file, 108), "vids");
  EXPECT_EQ(Tag(file, 112), "DIB ");
  EXPECT_EQ(Le32(file, 128), 1u);   // scale
  EXPECT_EQ(Le32(file, 132), 15u);  // rate
  EXPECT_EQ(Le32(file, 140), 2u);   // length
  EXPECT_EQ(Tag(file, 164), "strf");
  EXPECT_EQ(Le32(file, 176), 5u);  // width
  ASSERT_EQ(Tag(file, 212), "LIST");
  EXPECT_EQ(Tag(file, 220), "movi");
  EXPECT_EQ(Le32(file, 216), 4 + 2 * (8 + frame_bytes));
  ASSERT_EQ(Tag(file, 224), "00db");
  EXPECT_EQ(Le32(file, 228), frame_bytes);
  const std::vector<uint8_t> dib = BitmapToPackedDib(frame.View());
  EXPECT_EQ(file.substr(232, frame_bytes), std::string(dib.begin() + 40, dib.end()));
  const size_t idx = 224 + 2 * (8 + frame_bytes);
  ASSERT_EQ(Tag(file, idx), "idx1");
  EXPECT_EQ(Le32(file, idx + 4), 32u);
  EXPECT_EQ(Tag(file, idx + 8 + 16), "00db");
  EXPECT_EQ(Le32(file, idx + 8 + 16 + 4), 0x10u);  // key frame
  EXPECT_EQ(Le32(file, idx + 8 + 16 + 8), 4 + 8 + frame_bytes);
  EXPECT_EQ(Le32(file, idx + 8 + 16 + 12), frame_bytes);
  EXPECT_EQ(file.size(), idx + 8 + 32);
}

TEST(CAVIFile, SkipsFramesOfAnotherSizeAndRefusesBadVideoSizes) {
  vd::test::TempDir dir;
  CAVIFile avi(dir.File("v.avi"), 4, 4, 10, nullptr, dir.File("none.bin"));
  ASSERT_TRUE(avi.IsOK());
  EXPECT_FALSE(avi.AddFrame(TestFrame(4, 5).View()));
  EXPECT_TRUE(avi.IsOK());
  EXPECT_TRUE(avi.AddFrame(TestFrame(4, 4).View()));

  const int bad_sizes[][3] = {{0, 4, 10}, {4, -1, 10}, {4, 4, 0}, {100000, 100000, 10}};
  for (const auto& s : bad_sizes) {
    CAVIFile bad(dir.File("bad.avi"), s[0], s[1], s[2], nullptr, dir.File("none.bin"));
    EXPECT_FALSE(bad.IsOK()) << s[0] << "x" << s[1] << "@" << s[2];
    EXPECT_FALSE(bad.AddFrame(TestFrame(4, 4).View()));
  }
}

TEST(CAVIFile, TheChoiceIsShownSavedAndKeptOrCancelled) {
  vd::test::TempDir dir;
  const std::string options = dir.File("options.bin");
  uint32_t offered = 0;
  {
    CAVIFile avi(
        dir.File("a.avi"), 4, 4, 10,
        [&](AviCompressChoice& choice) {
          offered = choice.options.handler;
          choice.options.handler = kAviHandlerMjpeg;
          return true;
        },
        options);
    EXPECT_TRUE(avi.IsOK());
  }
  EXPECT_EQ(offered, kAviHandlerDib);  // no options file yet: uncompressed offered
  AviCompressChoice saved;
  ASSERT_TRUE(CAVIFile::LoadOptions(options, saved));
  EXPECT_EQ(saved.options.handler, kAviHandlerMjpeg);

  // The next recording without a chooser uses the saved compressor.
  {
    CAVIFile avi(dir.File("b.avi"), 4, 4, 10, nullptr, options);
    EXPECT_TRUE(avi.AddFrame(TestFrame(4, 4).View()));
  }
  std::string file;
  ASSERT_TRUE(vd::os::ReadWholeFile(dir.File("b.avi"), file));
  EXPECT_EQ(Tag(file, 112), "MJPG");
  EXPECT_EQ(Tag(file, 224), "00dc");

  // Cancelling fails the writer and leaves the options as they were.
  CAVIFile cancelled(
      dir.File("c.avi"), 4, 4, 10,
      [](AviCompressChoice& choice) {
        choice.options.handler = kAviHandlerDib;
        return false;
      },
      options);
  EXPECT_FALSE(cancelled.IsOK());
  ASSERT_TRUE(CAVIFile::LoadOptions(options, saved));
  EXPECT_EQ(saved.options.handler, kAviHandlerMjpeg);
  EXPECT_FALSE(vd::os::FileExists(dir.File("c.avi")));
}

TEST(CAVIFile, SplitsBeforeAFileWouldPassItsLimit) {
  vd::test::TempDir dir;
  const TestFrame frame(8, 8);                        // 192-byte frames, 200-byte chunks
  const uint64_t limit = 224 + 3 * 200 + 8 + 3 * 16;  // exactly three frames a file
  {
    CAVIFile avi(dir.File("f.avi"), 8, 8, 25, nullptr, dir.File("none.bin"), limit);
    for (int i = 0; i < 7; ++i) ASSERT_TRUE(avi.AddFrame(frame.View())) << i;
    // While a file is being written it has no name of its own.
    EXPECT_FALSE(vd::os::FileExists(dir.File("f_2.avi")));
  }
  const char* names[] = {"f.avi", "f_1.avi", "f_2.avi"};
  const uint32_t frames[] = {3, 3, 1};
  for (int i = 0; i < 3; ++i) {
    std::string file;
    ASSERT_TRUE(vd::os::ReadWholeFile(dir.File(names[i]), file)) << names[i];
    EXPECT_LE(file.size(), limit) << names[i];
    EXPECT_EQ(Le32(file, 48), frames[i]) << names[i];
    EXPECT_EQ(Le32(file, 4), file.size() - 8) << names[i];
  }
  EXPECT_FALSE(vd::os::FileExists(dir.File("f_3.avi")));
  std::vector<vd::os::DirEntry> entries;
  ASSERT_TRUE(vd::os::ListFolder(dir.path(), entries));
  EXPECT_EQ(entries.size(), 3u) << "no temporary file left behind";
}

TEST(CAVIFile, AnUnwritableFolderFailsTheWriter) {
  vd::test::TempDir dir;
  CAVIFile avi(dir.File("missing/v.avi"), 4, 4, 10, nullptr, dir.File("none.bin"));
  EXPECT_FALSE(avi.IsOK());
  EXPECT_FALSE(avi.AddFrame(TestFrame(4, 4).View()));
}

}  // namespace
