// The video writer's files read by ffprobe (stream description) and decoded by ffmpeg (pixels).
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "lumex/avi_file.h"
#include "platform/os/files.h"
#include "platform/os/process.h"
#include "tests/temp_dir.h"

namespace {

bool Run(const std::string& program, const std::vector<std::string>& args) {
  const vd::os::SpawnResult result = vd::os::Spawn(program, args, true);
  EXPECT_TRUE(result.started) << program << ": " << result.error;
  return result.started && result.exit_code == 0;
}

// ffprobe's description of the first video stream as key=value pairs.
std::map<std::string, std::string> Probe(const vd::test::TempDir& dir, const std::string& video) {
  const std::string out = dir.File("probe.txt");
  std::map<std::string, std::string> fields;
  if (!Run("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                       "stream=codec_name,width,height,r_frame_rate,nb_read_frames", "-of",
                       "default=noprint_wrappers=1", "-o", out, video})) {
    return fields;
  }
  std::string text;
  EXPECT_TRUE(vd::os::ReadWholeFile(out, text));
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return fields;
}

// Decoded frames as red-green-blue bytes, one frame after the other.
std::string Decode(const vd::test::TempDir& dir, const std::string& video) {
  const std::string out = dir.File("frames.rgb");
  std::string bytes;
  if (Run("ffmpeg",
          {"-v", "error", "-y", "-i", video, "-f", "rawvideo", "-pix_fmt", "rgb24", out})) {
    EXPECT_TRUE(vd::os::ReadWholeFile(out, bytes));
  }
  return bytes;
}

// Frame i: a horizontal ramp of red, green from the row, blue marking the frame.
std::vector<uint32_t> MakeFrame(int width, int height, int i) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t red = static_cast<uint32_t>(x * 255 / (width - 1));
      const uint32_t green = static_cast<uint32_t>(y * 255 / (height - 1));
      pixels[static_cast<size_t>(y) * width + x] = red << 16 | green << 8 | (40u * i & 0xFF);
    }
  }
  return pixels;
}

int MaxDifference(const std::string& decoded, size_t offset, const std::vector<uint32_t>& frame) {
  int worst = 0;
  for (size_t p = 0; p < frame.size(); ++p) {
    for (int c = 0; c < 3; ++c) {
      const int expected = static_cast<int>(frame[p] >> (16 - 8 * c) & 0xFF);
      const int got = static_cast<uint8_t>(decoded[offset + 3 * p + c]);
      worst = std::max(worst, std::abs(expected - got));
    }
  }
  return worst;
}

TEST(AviFilePeer, FfprobeAndFfmpegReadBothCompressors) {
  struct Case {
    uint32_t handler;
    const char* codec;
    int tolerance;  // per colour channel
  };
  const Case cases[] = {{kAviHandlerDib, "rawvideo", 0}, {kAviHandlerMjpeg, "mjpeg", 24}};
  constexpr int kWidth = 64;
  constexpr int kHeight = 48;
  constexpr int kFrames = 5;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codec);
    vd::test::TempDir dir;
    AviCompressChoice choice;
    choice.options.handler = c.handler;
    choice.options.quality = 9000;
    ASSERT_TRUE(CAVIFile::SaveOptions(dir.File("options.bin"), choice));
    const std::string video = dir.File("flight.avi");
    std::vector<std::vector<uint32_t>> frames;
    {
      CAVIFile avi(video, kWidth, kHeight, 15, nullptr, dir.File("options.bin"));
      for (int i = 0; i < kFrames; ++i) {
        frames.push_back(MakeFrame(kWidth, kHeight, i));
        ASSERT_TRUE(avi.AddFrame({frames.back().data(), kWidth, kHeight, kWidth}));
      }
    }
    std::map<std::string, std::string> probe = Probe(dir, video);
    EXPECT_EQ(probe["codec_name"], c.codec);
    EXPECT_EQ(probe["width"], "64");
    EXPECT_EQ(probe["height"], "48");
    EXPECT_EQ(probe["r_frame_rate"], "15/1");
    EXPECT_EQ(probe["nb_read_frames"], "5");

    const std::string decoded = Decode(dir, video);
    const size_t frame_bytes = static_cast<size_t>(kWidth) * kHeight * 3;
    ASSERT_EQ(decoded.size(), frame_bytes * kFrames);
    for (int i = 0; i < kFrames; ++i) {
      EXPECT_LE(MaxDifference(decoded, frame_bytes * i, frames[i]), c.tolerance) << "frame " << i;
    }
  }
}

TEST(AviFilePeer, EveryPartOfASplitRecordingIsAWholeVideo) {
  vd::test::TempDir dir;
  constexpr int kSide = 32;
  const std::vector<uint32_t> frame = MakeFrame(kSide, kSide, 1);
  // Room for four uncompressed frames of 3072 bytes in each file.
  const uint64_t limit = 224 + 4 * (8 + 3072) + 8 + 4 * 16;
  {
    CAVIFile avi(dir.File("split.avi"), kSide, kSide, 25, nullptr, dir.File("none.bin"), limit);
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(avi.AddFrame({frame.data(), kSide, kSide, kSide}));
  }
  const std::pair<const char*, const char*> parts[] = {
      {"split.avi", "4"}, {"split_1.avi", "4"}, {"split_2.avi", "2"}};
  for (const auto& [name, count] : parts) {
    std::map<std::string, std::string> probe = Probe(dir, dir.File(name));
    EXPECT_EQ(probe["nb_read_frames"], count) << name;
    EXPECT_EQ(probe["r_frame_rate"], "25/1") << name;
  }
}

}  // namespace
