// The multiset of id halves against std::map as the reference, for keys that lie side by side,
// far apart, in one probe run, or spread at random, through growth, removal marks and
// shrinking.
#include "core/id_multiset.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

// Compares every key the test used, and a few it never added.
void ExpectSame(const IdMultiset& set, const std::map<uint32_t, uint32_t>& reference,
                const std::vector<uint32_t>& keys, const std::string& what) {
  for (const uint32_t key : keys) {
    const auto it = reference.find(key);
    ASSERT_EQ(set.Count(key), it == reference.end() ? 0u : it->second) << what << " key " << key;
    ASSERT_EQ(set.Contains(key), it != reference.end()) << what << " key " << key;
  }
  for (const uint32_t absent : {0x7FFFFFFFu, 0xFFFFFFFEu, 0xDEADBEEFu}) {
    if (!reference.contains(absent)) {
      ASSERT_FALSE(set.Contains(absent)) << what;
    }
  }
  ASSERT_EQ(set.empty(), reference.empty()) << what;
}

TEST(IdMultiset, MatchesAReferenceMultiset) {
  std::mt19937 random(12345);
  const struct {
    const char* what;
    std::function<uint32_t(uint32_t)> key;
  } patterns[] = {
      {"consecutive", [](uint32_t i) { return i; }},
      {"consecutive from the top", [](uint32_t i) { return 0xFFFFFFFFu - i; }},
      {"one per run", [](uint32_t i) { return i << 8; }},
      {"high halves only", [](uint32_t i) { return i << 16; }},
      {"ids of one second", [](uint32_t i) { return 1700000000u ^ ((i & 0x7FFF) << 16); }},
      {"random", [&](uint32_t) { return static_cast<uint32_t>(random()); }},
  };
  for (const auto& pattern : patterns) {
    IdMultiset set;
    std::map<uint32_t, uint32_t> reference;
    std::vector<uint32_t> keys;
    const auto add = [&](uint32_t key) {
      set.Add(key);
      ++reference[key];
    };
    const auto remove = [&](uint32_t key) {
      set.Remove(key);
      const auto it = reference.find(key);
      if (it != reference.end() && --it->second == 0) reference.erase(it);
    };
    for (uint32_t i = 0; i < 5000; ++i) keys.push_back(pattern.key(i));
    ExpectSame(set, reference, keys, std::string(pattern.what) + ", empty");

    // Growing from empty, every third key twice.
    for (size_t i = 0; i < keys.size(); ++i) {
      add(keys[i]);
      if (i % 3 == 0) add(keys[i]);
    }
    ExpectSame(set, reference, keys, std::string(pattern.what) + ", added");

    // Removing leaves marks in the probe runs of the keys still held; removing what is not
    // held changes nothing.
    for (size_t i = 0; i < keys.size(); i += 2) remove(keys[i]);
    remove(0xFFFFFFFEu);
    ExpectSame(set, reference, keys, std::string(pattern.what) + ", half removed");

    // Adding over the marks, then churning until the marks force a rebuild.
    for (size_t i = 0; i < keys.size(); i += 4) add(keys[i]);
    for (int round = 0; round < 4; ++round) {
      for (size_t i = 1; i < keys.size(); i += 2) remove(keys[i]);
      for (size_t i = 1; i < keys.size(); i += 2) add(keys[i]);
    }
    ExpectSame(set, reference, keys, std::string(pattern.what) + ", churned");

    // Emptied, and used again.
    for (const uint32_t key : keys) {
      while (set.Contains(key)) remove(key);
    }
    ExpectSame(set, reference, keys, std::string(pattern.what) + ", emptied");
    add(keys.back());
    ExpectSame(set, reference, keys, std::string(pattern.what) + ", reused");
  }
}

}  // namespace
