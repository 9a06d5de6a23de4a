#include "platform/os/environment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace vd::os {
namespace {

constexpr const char* kName = "VD_ENVIRONMENT_TEST";

TEST(Environment, SetGetUnset) {
  ASSERT_TRUE(SetEnv(kName, "a value with spaces = and more"));
  EXPECT_EQ(GetEnv(kName), "a value with spaces = and more");
  ASSERT_TRUE(SetEnv(kName, ""));
  EXPECT_EQ(GetEnv(kName), "");  // set but empty is not the same as unset
  ASSERT_TRUE(UnsetEnv(kName));
  EXPECT_EQ(GetEnv(kName), std::nullopt);
}

TEST(Environment, RejectsMalformedNamesAndValues) {
  for (const std::string& name : {std::string(), std::string("A=B"), std::string("A\0B", 3)}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(SetEnv(name, "x"));
    EXPECT_FALSE(UnsetEnv(name));
    EXPECT_EQ(GetEnv(name), std::nullopt);
  }
  EXPECT_FALSE(SetEnv(kName, std::string("a\0b", 3)));
  EXPECT_EQ(GetEnv(kName), std::nullopt);
}

// Readers see one whole value or the other while writers change the variable.
TEST(Environment, ConcurrentReadersSeeWholeValues) {
  const std::string short_value = "s";
  const std::string long_value(500, 'L');
  ASSERT_TRUE(SetEnv(kName, short_value));
  std::atomic<bool> bad{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        if (t % 2 == 0) {
          SetEnv(kName, i % 2 ? long_value : short_value);
        } else {
          auto value = GetEnv(kName);
          if (!value || (*value != short_value && *value != long_value)) bad = true;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_FALSE(bad);
  UnsetEnv(kName);
}

}  // namespace
}  // namespace vd::os
