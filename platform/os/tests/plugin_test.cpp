#include "platform/os/plugin.h"

#include <gtest/gtest.h>

#include <utility>

namespace vd::os {
namespace {

TEST(Plugin, LoadsALibraryAndCallsIntoIt) {
  Plugin plugin;
  ASSERT_TRUE(plugin.Load("libm.so.6")) << plugin.Error();
  auto cosine = plugin.Function<double (*)(double)>("cos");
  ASSERT_NE(cosine, nullptr) << plugin.Error();
  EXPECT_EQ(cosine(0.0), 1.0);

  // A name is found where the dynamic loader's search finds it: the file itself loads again.
  const std::string found = plugin.Path();
  EXPECT_EQ(found.front(), '/') << found;
  EXPECT_NE(found.find("libm.so.6"), std::string::npos) << found;
  Plugin again;
  ASSERT_TRUE(again.Load(found)) << again.Error();
  EXPECT_NE(again.Symbol("cos"), nullptr);

  Plugin moved = std::move(plugin);
  EXPECT_FALSE(plugin.IsLoaded());
  EXPECT_EQ(plugin.Symbol("cos"), nullptr);
  EXPECT_NE(moved.Symbol("sin"), nullptr);

  EXPECT_EQ(moved.Symbol("vd_no_such_symbol"), nullptr);
  EXPECT_NE(moved.Error().find("vd_no_such_symbol"), std::string::npos) << moved.Error();
}

TEST(Plugin, ReportsAMissingLibrary) {
  Plugin plugin;
  EXPECT_FALSE(plugin.Load("/nonexistent/libconverter.so"));
  EXPECT_FALSE(plugin.IsLoaded());
  EXPECT_EQ(plugin.Path(), "");
  EXPECT_NE(plugin.Error().find("libconverter.so"), std::string::npos) << plugin.Error();
  EXPECT_EQ(plugin.Symbol("cos"), nullptr);
  EXPECT_NE(plugin.Error(), "");
}

}  // namespace
}  // namespace vd::os
