#include "core/object_arena.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <list>
#include <thread>
#include <utility>
#include <vector>

namespace {

using vd::ObjectArena;

struct Block {
  void* at;
  std::size_t size;
};

std::vector<Block> AllocateEach(const std::vector<std::size_t>& sizes) {
  std::vector<Block> blocks;
  for (const std::size_t size : sizes) {
    void* at = ObjectArena::Allocate(size);
    std::memset(at, 0xA5, size);  // the whole size is there to write
    blocks.push_back({at, size});
  }
  return blocks;
}

void FreeEach(const std::vector<Block>& blocks) {
  for (const Block& block : blocks) ObjectArena::Free(block.at, block.size);
}

// Sizes of every kind: the smallest, each side of a step, the largest kept, beyond it.
const std::vector<std::size_t> kSizes = {1,   8,   15,   16,   17,   24,   368,
                                         384, 400, 1000, 1023, 1024, 1025, 5000};

TEST(ObjectArena, ObjectsAreAlignedAndApart) {
  std::vector<std::size_t> sizes;
  for (int round = 0; round < 200; ++round) sizes.insert(sizes.end(), kSizes.begin(), kSizes.end());
  std::vector<Block> blocks = AllocateEach(sizes);
  for (const Block& block : blocks) {
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.at) % __STDCPP_DEFAULT_NEW_ALIGNMENT__, 0u);
  }
  std::sort(blocks.begin(), blocks.end(),
            [](const Block& a, const Block& b) { return a.at < b.at; });
  for (std::size_t i = 1; i < blocks.size(); ++i) {
    ASSERT_LE(static_cast<char*>(blocks[i - 1].at) + blocks[i - 1].size,
              static_cast<char*>(blocks[i].at))
        << "objects of " << blocks[i - 1].size << " and " << blocks[i].size << " bytes overlap";
  }
  FreeEach(blocks);
}

#if !VD_ADDRESS_SANITIZER
// What is freed serves the next objects of its size, whichever thread made or freed it; only
// more objects than ever lived at once take memory from the system. (Under AddressSanitizer
// every object comes from the heap.)
TEST(ObjectArena, FreedMemoryIsReusedAcrossFreesAndThreads) {
  const std::vector<std::size_t> sizes(20000, 368);
  FreeEach(AllocateEach(sizes));
  const std::size_t reserved = ObjectArena::ReservedBytes();

  // Again on this thread.
  FreeEach(AllocateEach(sizes));
  EXPECT_EQ(ObjectArena::ReservedBytes(), reserved);

  // Made here, freed by a thread that ends: its lists serve this thread afterwards.
  std::vector<Block> blocks = AllocateEach(sizes);
  std::thread([&] { FreeEach(blocks); }).join();
  FreeEach(AllocateEach(sizes));
  EXPECT_EQ(ObjectArena::ReservedBytes(), reserved);

  // Made and freed by a thread that ends, then made here.
  std::thread([&] { FreeEach(AllocateEach(sizes)); }).join();
  const std::size_t after_thread = ObjectArena::ReservedBytes();
  FreeEach(AllocateEach(sizes));
  EXPECT_EQ(ObjectArena::ReservedBytes(), after_thread);
}

// Resident bytes of the process.
std::size_t ResidentBytes() {
  long pages = 0, resident = 0;
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (!statm) return 0;
  if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
  std::fclose(statm);
  return static_cast<std::size_t>(resident) * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// A large drop goes back to the system: every block whose objects are all free, and only
// those. A block with a live object stays with that object intact, and new objects are made
// as before.
TEST(ObjectArena, ReleaseUnusedGivesBackTheBlocksWhoseObjectsAreAllFree) {
  ObjectArena::ReleaseUnused();
  const std::size_t reserved = ObjectArena::ReservedBytes();
  std::vector<Block> blocks = AllocateEach(std::vector<std::size_t>(300000, 96));  // 28.8 MB
  const std::size_t grown = ObjectArena::ReservedBytes() - reserved;
  ASSERT_GE(grown, std::size_t{300000} * 96);
  const std::size_t resident_full = ResidentBytes();
  const Block kept = blocks[150000];
  blocks.erase(blocks.begin() + 150000);
  FreeEach(blocks);

  const std::size_t given = ObjectArena::ReleaseUnused();
  EXPECT_EQ(ObjectArena::ReservedBytes(), reserved + grown - given);
  EXPECT_GE(given, grown - (std::size_t{4} << 20)) << "all blocks but the kept object's";
  EXPECT_LT(given, grown);
  EXPECT_LE(ResidentBytes() + given * 9 / 10, resident_full) << "the pages left the process";
  const auto* bytes = static_cast<const unsigned char*>(kept.at);
  EXPECT_TRUE(std::all_of(bytes, bytes + kept.size, [](unsigned char b) { return b == 0xA5; }));
  EXPECT_EQ(ObjectArena::ReleaseUnused(), 0u) << "nothing more to give";

  FreeEach(AllocateEach(std::vector<std::size_t>(1000, 96)));
  ObjectArena::Free(kept.at, kept.size);
  EXPECT_GT(ObjectArena::ReleaseUnused(), 0u) << "the last block goes with its last object";
}
#endif

// Lists over the arena allocator: nodes move between lists, whichever made them.
TEST(ObjectArena, ListsSpliceAndOutliveTheirThread) {
  using List = std::list<int, vd::ArenaAllocator<int>>;
  List here = {1, 2, 3};
  List there;
  std::thread([&] {
    for (int i = 4; i <= 6; ++i) there.push_back(i);
  }).join();
  here.splice(here.end(), there);
  EXPECT_EQ(here, (List{1, 2, 3, 4, 5, 6}));
  EXPECT_TRUE(there.empty());
  std::thread([&] { here.remove_if([](int i) { return i % 2 == 0; }); }).join();
  EXPECT_EQ(here, (List{1, 3, 5}));
}

}  // namespace
