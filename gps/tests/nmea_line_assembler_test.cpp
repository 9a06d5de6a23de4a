#include "gps/nmea_line_assembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every line the assembler reports for the bytes, fed in pieces of `piece` bytes.
std::vector<std::string> Lines(const std::string& bytes, size_t piece) {
  NmeaLineAssembler assembler;
  std::vector<std::string> lines;
  for (size_t start = 0; start < bytes.size(); start += piece) {
    const std::string chunk = bytes.substr(start, piece);
    size_t used = 0;
    while (used < chunk.size()) {
      bool complete = false;
      used += assembler.Feed(chunk.data() + used, chunk.size() - used, complete);
      if (complete) lines.emplace_back(assembler.line());
    }
  }
  return lines;
}

TEST(NmeaLineAssembler, CutsLinesWhereverTheBytesAreSplit) {
  const std::string bytes = "$A,1*00\r\n\r\n$B,2\n\r$C,3\rjunk$D,4\r\n$E,unfinished";
  const std::vector<std::string> expected = {"$A,1*00", "$B,2", "$C,3", "$D,4"};
  for (size_t piece : {1, 2, 3, 7, 100}) EXPECT_EQ(Lines(bytes, piece), expected) << piece;
}

TEST(NmeaLineAssembler, DropsLinesOverTheLimitWhole) {
  const std::string longest = "$" + std::string(NmeaLineAssembler::kMaxLineLength - 1, 'x');
  const std::string too_long = longest + "y";
  // The overlong line is dropped up to its end; a "$" inside it starts a fresh line.
  const std::string bytes = too_long + "\r\n" + longest + "\r\n" + too_long + "z$GPHDT,1\r\n";
  for (size_t piece : {1, 5, 1000}) {
    const std::vector<std::string> lines = Lines(bytes, piece);
    ASSERT_EQ(lines.size(), 2u) << piece;
    EXPECT_EQ(lines[0], longest);
    EXPECT_EQ(lines[1], "$GPHDT,1");
  }
}

// Lines are found sixteen bytes at a time, the last few of a piece differently: every way of
// cutting a stream of long and short lines, line ends of each kind and stray "$" must give the
// lines a byte at a time gives.
TEST(NmeaLineAssembler, SameLinesWhateverTheBlocksAndPieces) {
  std::string bytes;
  for (int i = 0; i < 12; ++i) {
    bytes += "$GPGSV,3,1,11,02,45,120,44,05,30,050,40,07,70,300,47,09,10,020,31*76\r\n";
    bytes += std::string(static_cast<size_t>(i), 'x') + "\n\r$";
    bytes += std::string(static_cast<size_t>(i) * 25, 'y') + "$HCHDT,1." + std::to_string(i);
    bytes += i % 3 ? "\r" : "\n";
    if (i == 5) bytes += std::string(300, 'z') + "\r\n";  // too long: dropped
  }
  const std::vector<std::string> expected = Lines(bytes, 1);
  ASSERT_EQ(expected.size(), 35u);  // for each i: GSV, i x's (but none for 0), HDT
  EXPECT_EQ(expected[1], "$HCHDT,1.0");
  EXPECT_EQ(expected[3], "x");
  for (size_t piece = 2; piece <= 80; ++piece) EXPECT_EQ(Lines(bytes, piece), expected) << piece;
  EXPECT_EQ(Lines(bytes, bytes.size()), expected);
}

}  // namespace
