#include "core/locked_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>
#include <vector>

#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

constexpr uint64_t k4GiB = uint64_t{1} << 32;

// A part file of the given size whose bytes take no disk space.
void MakeSparsePart(const std::string& path, uint64_t size) {
  vd::os::File file;
  ASSERT_TRUE(file.Open(path, vd::os::File::Mode::CreateTruncate)) << path;
  ASSERT_TRUE(file.Truncate(size)) << path;
}

std::string ReadBack(CLockedFile& store, uint64_t address, size_t size) {
  std::string bytes(size, '\0');
  EXPECT_EQ(store.ReadAt(address, bytes.data(), size), static_cast<int64_t>(size));
  return bytes;
}

TEST(LockedFileTest, AddressesHoldPartAndPosition) {
  static_assert(CLockedFile::MakeAddress(1, 0) == k4GiB);
  const struct {
    uint32_t part, position;
    uint64_t address;
  } cases[] = {{0, 0, 0},
               {0, 0xFFFFFFFF, 0xFFFFFFFF},
               {1, 5, k4GiB + 5},
               {99, 0x12345678, 99 * k4GiB + 0x12345678}};
  for (const auto& c : cases) {
    EXPECT_EQ(CLockedFile::MakeAddress(c.part, c.position), c.address);
    EXPECT_EQ(CLockedFile::PartOf(c.address), c.part);
    EXPECT_EQ(CLockedFile::PositionOf(c.address), c.position);
  }
}

TEST(LockedFileTest, OpeningAMissingPath) {
  vd::test::TempDir dir;
  CLockedFile store;
  EXPECT_FALSE(store.Open(dir.File("store"), CLockedFile::kRead));
  EXPECT_EQ(store.last_error(), ENOENT);
  EXPECT_FALSE(vd::os::FileExists(dir.File("store")));  // reading creates nothing

  ASSERT_TRUE(store.Open(dir.File("new/sub/store"), CLockedFile::kReadWrite));
  EXPECT_TRUE(vd::os::IsDirectory(dir.File("new/sub/store")));
  EXPECT_TRUE(vd::os::FileExists(dir.File("new/sub/store/0")));

  // A folder without part 0 can't be read.
  ASSERT_TRUE(vd::os::MakeFolders(dir.File("empty")));
  EXPECT_FALSE(store.Open(dir.File("empty"), CLockedFile::kRead));
  EXPECT_EQ(store.last_error(), ENOENT);
}

TEST(LockedFileTest, AppendWriteReadRoundTrip) {
  vd::test::TempDir dir;
  std::string path = dir.File("store");
  CLockedFile store;
  ASSERT_TRUE(store.Open(path, CLockedFile::kReadWrite));

  const struct {
    uint32_t length, alignment;
    int64_t expected;
  } appends[] = {
      {100, 64, 0},    // empty part
      {100, 64, 128},  // 100 rounded up to the next multiple of 64
      {10, 0, 228},    // no alignment
      {10, 24, 240},   // alignments need not be powers of two
      {0, 16, 256},    // an empty region reserves nothing
      {5, 1, 250},
  };
  for (const auto& a : appends)
    EXPECT_EQ(store.Append(a.length, a.alignment), a.expected) << a.length;
  EXPECT_EQ(vd::os::FileSize(path + "/0"), 255u);

  const std::string header = "HDR1", data = "payload bytes";
  ASSERT_TRUE(store.WriteTwoAt(128, header.data(), header.size(), data.data(), data.size()));
  ASSERT_TRUE(store.WriteAt(0, "first", 5));
  EXPECT_EQ(ReadBack(store, 128, header.size() + data.size()), header + data);
  EXPECT_EQ(ReadBack(store, 0, 5), "first");

  // Reading at the end gives the bytes that are there.
  char tail[64];
  EXPECT_EQ(store.ReadAt(250, tail, sizeof tail), 5);

  // Read-only: the data is there, appends and writes are refused.
  ASSERT_TRUE(store.Open(path, CLockedFile::kRead));
  EXPECT_EQ(ReadBack(store, 128, header.size() + data.size()), header + data);
  EXPECT_EQ(store.Append(10, 0), -1);
  EXPECT_EQ(store.last_error(), EBADF);
  EXPECT_FALSE(store.WriteAt(0, "x", 1));
  EXPECT_EQ(ReadBack(store, 0, 5), "first");

  // Reopened for writing, appends continue at the end.
  ASSERT_TRUE(store.Open(path, CLockedFile::kReadWrite));
  EXPECT_EQ(store.Append(1, 0), 255);

  store.Close();
  EXPECT_EQ(store.last_error(), 0);
  EXPECT_EQ(store.ReadAt(0, tail, 1), -1);
  EXPECT_EQ(store.last_error(), EBADF);
}

TEST(LockedFileTest, AReservationHoldsAcrossSessionsBeforeItIsWritten) {
  vd::test::TempDir dir;
  std::string path = dir.File("store");
  {
    CLockedFile store;
    ASSERT_TRUE(store.Open(path, CLockedFile::kReadWrite));
    ASSERT_EQ(store.Append(1000, 4), 0);
    ASSERT_TRUE(store.WriteAt(0, "head", 4));  // the rest of the record comes later
  }
  CLockedFile store;
  ASSERT_TRUE(store.Open(path, CLockedFile::kReadWrite));
  EXPECT_EQ(store.Append(10, 4), 1000);
}

TEST(LockedFileTest, AppendRollsOverToTheNextPartBefore4GiB) {
  vd::test::TempDir dir;
  std::string path = dir.File("store");
  ASSERT_TRUE(vd::os::MakeFolders(path));
  MakeSparsePart(path + "/0", k4GiB - 1000);

  CLockedFile store;
  ASSERT_TRUE(store.Open(path, CLockedFile::kReadWrite));
  EXPECT_EQ(store.Append(500, 0), static_cast<int64_t>(k4GiB - 1000));  // still fits
  // Ending exactly at 4 GiB does not fit: part 1, position 0.
  int64_t rolled = store.Append(500, 0);
  EXPECT_EQ(rolled, static_cast<int64_t>(CLockedFile::MakeAddress(1, 0)));
  EXPECT_EQ(vd::os::FileSize(path + "/1"), 500u);
  ASSERT_TRUE(store.WriteAt(rolled, "in part one", 11));
  EXPECT_EQ(ReadBack(store, rolled, 11), "in part one");
  EXPECT_EQ(store.Append(100, 64), static_cast<int64_t>(CLockedFile::MakeAddress(1, 512)));

  // A write may not run past 4 GiB within a part.
  EXPECT_FALSE(store.WriteAt(CLockedFile::MakeAddress(0, 0xFFFFFFF0), "0123456789abcdefXYZ", 19));
  EXPECT_EQ(store.last_error(), EINVAL);
  EXPECT_TRUE(store.WriteAt(CLockedFile::MakeAddress(0, 0xFFFFFFF0), "0123456789abcdef", 16));

  // A fresh object finds the last part and goes on there.
  CLockedFile again;
  ASSERT_TRUE(again.Open(path, CLockedFile::kReadWrite));
  EXPECT_EQ(again.Append(4, 0), static_cast<int64_t>(CLockedFile::MakeAddress(1, 612)));
}

TEST(LockedFileTest, RollOverKeepsDataAlreadyInTheNextPart) {
  vd::test::TempDir dir;
  std::string path = dir.File("store");
  ASSERT_TRUE(vd::os::MakeFolders(path));
  MakeSparsePart(path + "/0", k4GiB - 100);
  CLockedFile store;
  ASSERT_TRUE(store.Open(path, CLockedFile::kReadWrite));
  EXPECT_EQ(store.Append(10, 0), static_cast<int64_t>(k4GiB - 100));
  // Part 1 gets data by a direct write before appends reach it.
  ASSERT_TRUE(store.WriteAt(CLockedFile::MakeAddress(1, 0), "0123456789", 10));
  EXPECT_EQ(store.Append(200, 16), static_cast<int64_t>(CLockedFile::MakeAddress(1, 16)));
  EXPECT_EQ(ReadBack(store, CLockedFile::MakeAddress(1, 0), 10), "0123456789");
}

TEST(LockedFileTest, AppendFailsCleanlyWhenAllPartsAreFull) {
  vd::test::TempDir dir;
  std::string path = dir.File("store");
  ASSERT_TRUE(vd::os::MakeFolders(path));
  for (int part = 0; part < CLockedFile::kMaxParts - 1; ++part)
    MakeSparsePart(path + "/" + std::to_string(part), 0);
  MakeSparsePart(path + "/99", k4GiB - 10);
  CLockedFile store;
  ASSERT_TRUE(store.Open(path, CLockedFile::kReadWrite));
  EXPECT_EQ(store.Append(5, 0), static_cast<int64_t>(CLockedFile::MakeAddress(99, 0xFFFFFFF6)));
  EXPECT_EQ(store.Append(5, 0), -1);
  EXPECT_EQ(store.last_error(), EINVAL);
  EXPECT_FALSE(vd::os::FileExists(path + "/100"));
}

TEST(LockedFileTest, MissingOrInvalidPartsFailWithoutCreatingFiles) {
  vd::test::TempDir dir;
  std::string path = dir.File("store");
  char buffer[16];
  for (CLockedFile::Mode mode :
       {CLockedFile::kReadWrite, CLockedFile::kWrite, CLockedFile::kRead}) {
    CLockedFile store;
    ASSERT_TRUE(store.Open(path, mode == CLockedFile::kRead ? CLockedFile::kReadWrite : mode));
    if (mode == CLockedFile::kRead) {
      ASSERT_TRUE(store.Open(path, mode));
    }
    EXPECT_EQ(store.ReadAt(CLockedFile::MakeAddress(5, 0), buffer, sizeof buffer), -1);
    EXPECT_EQ(store.last_error(), ENOENT);
    EXPECT_FALSE(vd::os::FileExists(path + "/5"));
    EXPECT_EQ(store.ReadAt(CLockedFile::MakeAddress(100, 0), buffer, sizeof buffer), -1);
    EXPECT_EQ(store.last_error(), EINVAL);
    EXPECT_FALSE(store.WriteAt(CLockedFile::MakeAddress(0xFFFFFFFF, 0), buffer, 1));
    EXPECT_EQ(store.last_error(), EINVAL);
  }
}

TEST(LockedFileTest, ASingleFileUsesPlainPositions) {
  vd::test::TempDir dir;
  std::string path = dir.File("single.bin");
  MakeSparsePart(path, 5 * k4GiB);  // past 4 GiB: no part numbers in a single file
  CLockedFile store;
  ASSERT_TRUE(store.Open(path, CLockedFile::kReadWrite));
  int64_t address = store.Append(100, 4096);
  EXPECT_EQ(address, static_cast<int64_t>(5 * k4GiB));
  ASSERT_TRUE(store.WriteAt(address, "beyond", 6));
  EXPECT_EQ(ReadBack(store, address, 6), "beyond");
  EXPECT_FALSE(vd::os::FileExists(dir.File("single.bin/0")));
}

TEST(LockedFileTest, ConcurrentAppendsLandIntact) {
  vd::test::TempDir dir;
  std::string path = dir.File("store");
  ASSERT_TRUE(vd::os::MakeFolders(path));
  // Near the end of part 0, so that the threads also race through a roll-over.
  MakeSparsePart(path + "/0", k4GiB - 64 * 1024);
  CLockedFile store;
  ASSERT_TRUE(store.Open(path, CLockedFile::kReadWrite));

  constexpr int kThreads = 4, kRecords = 300;
  auto record = [](int thread, int index) {
    std::string bytes = "T" + std::to_string(thread) + "R" + std::to_string(index) + ":";
    bytes.resize(20 + (thread * 37 + index * 11) % 500,
                 static_cast<char>('a' + (index + thread) % 26));
    return bytes;
  };
  std::vector<std::vector<int64_t>> addresses(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRecords; ++i) {
        std::string bytes = record(t, i);
        int64_t address = store.Append(static_cast<uint32_t>(bytes.size()), 8);
        addresses[t].push_back(address);
        if (address >= 0) {
          EXPECT_TRUE(store.WriteAt(address, bytes.data(), bytes.size()));
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::map<uint64_t, uint64_t> regions;  // start -> end
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kRecords; ++i) {
      int64_t address = addresses[t][i];
      ASSERT_GE(address, 0);
      EXPECT_EQ(address % 8, 0);
      std::string expected = record(t, i);
      EXPECT_EQ(ReadBack(store, address, expected.size()), expected);
      regions[address] = address + expected.size();
    }
  }
  ASSERT_EQ(regions.size(), size_t{kThreads * kRecords});
  uint64_t previous_end = 0;
  for (auto [start, end] : regions) {
    EXPECT_GE(start, previous_end) << "regions overlap";
    EXPECT_EQ(CLockedFile::PartOf(end - 1), CLockedFile::PartOf(start)) << "crosses 4 GiB";
    previous_end = end;
  }
  EXPECT_EQ(CLockedFile::PartOf(regions.rbegin()->first), 1u);
}

TEST(LockedFileTest, CloseWaitsForWritesUnderWayAndStopsLaterOnes) {
  vd::test::TempDir dir;
  CLockedFile store;
  ASSERT_TRUE(store.Open(dir.File("store"), CLockedFile::kReadWrite));
  constexpr int kThreads = 4;
  std::array<std::atomic<int>, kThreads> writes{};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string record(4096, static_cast<char>('a' + t));
      while (store.WriteAt(uint64_t{4096} * t, record.data(), record.size())) ++writes[t];
    });
  }
  // Close once every writer has written, while they keep writing.
  auto all_wrote = [&] {
    return std::all_of(writes.begin(), writes.end(),
                       [](const std::atomic<int>& n) { return n > 0; });
  };
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!all_wrote() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  ASSERT_TRUE(all_wrote());
  store.Close();
  for (std::thread& thread : threads) thread.join();  // every writer saw its writes fail

  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(dir.File("store/0"), bytes));
  ASSERT_EQ(bytes.size(), size_t{kThreads} * 4096);
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_TRUE(bytes.substr(4096 * t, 4096) == std::string(4096, static_cast<char>('a' + t))) << t;
  }
}

}  // namespace
