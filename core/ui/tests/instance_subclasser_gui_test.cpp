#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/ui/instance_subclasser.h"
#include "core/ui/window.h"
#include "platform/ui/window_widget.h"

namespace {

using namespace vd::ui;

struct Original : MessageProc {
  int calls = 0;
  intptr_t HandleMessage(NativeWindow&, const Message&) override { return ++calls, 5; }
};

class Counting : public Window {
 public:
  int calls = 0;
  intptr_t WndProc(uint32_t msg, uintptr_t w, intptr_t l) override {
    ++calls;
    return CallPreviousProc(msg, w, l);
  }
};

class InstanceSubclasserTest : public testing::Test {
 protected:
  InstanceSubclasserTest() : widget_(std::make_unique<WindowWidget>()) {
    widget_->SetProc(&original_);
    widget_->SetUserData(&user_data_);
  }
  NativeWindow* window() { return widget_.get(); }

  Original original_;
  int user_data_ = 0;
  std::unique_ptr<WindowWidget> widget_;
};

TEST_F(InstanceSubclasserTest, AttachFindDetachRestoresWhatWasThere) {
  InstanceSubclasser subclasser;
  Counting first, second;
  subclasser.Attach(window(), &first);
  InstanceSubclasser::Record* record = subclasser.Find(window());
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->object, &first);
  EXPECT_EQ(record->previous_proc, &original_);
  EXPECT_EQ(window()->proc(), &subclasser);

  // Attaching again only swaps the object.
  subclasser.Attach(window(), &second);
  EXPECT_EQ(subclasser.Find(window()), record);
  EXPECT_EQ(record->object, &second);
  EXPECT_EQ(subclasser.HandleMessage(*window(), Message{kWmUser, 0, 0}), 0);
  EXPECT_EQ(second.calls, 1);

  EXPECT_TRUE(subclasser.Detach(window()));
  EXPECT_FALSE(subclasser.Detach(window()));
  EXPECT_EQ(window()->proc(), &original_);
  EXPECT_EQ(window()->user_data(), &user_data_);
}

TEST_F(InstanceSubclasserTest, DetachingARecordBehindAnotherRepairsTheChain) {
  InstanceSubclasser inner, outer;
  Counting inner_object, outer_object;
  inner.Attach(window(), &inner_object);
  outer.Attach(window(), &outer_object);
  ASSERT_NE(inner.Find(window()), nullptr);
  ASSERT_NE(outer.Find(window()), nullptr);
  EXPECT_EQ(outer.Find(window())->previous_proc, &inner);

  EXPECT_TRUE(inner.Detach(window()));
  EXPECT_EQ(inner.Find(window()), nullptr);
  InstanceSubclasser::Record* record = outer.Find(window());
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->previous_proc, &original_);
  EXPECT_EQ(record->previous_user_data, &user_data_);

  EXPECT_TRUE(outer.Detach(window()));
  EXPECT_EQ(window()->proc(), &original_);
  EXPECT_EQ(window()->user_data(), &user_data_);
}

TEST_F(InstanceSubclasserTest, UserDataThatIsNoRecordEndsTheChain) {
  InstanceSubclasser subclasser;
  EXPECT_EQ(subclasser.Find(window()), nullptr);  // user data points to a plain int
  window()->SetUserData(reinterpret_cast<void*>(uintptr_t{0x10}));
  EXPECT_EQ(subclasser.Find(window()), nullptr);
}

TEST_F(InstanceSubclasserTest, FindFollowsAtMostAThousandLinks) {
  std::vector<std::unique_ptr<InstanceSubclasser>> chain;
  Counting object;
  for (int i = 0; i < 1001; ++i) {
    chain.push_back(std::make_unique<InstanceSubclasser>());
    chain.back()->Attach(window(), &object);
  }
  EXPECT_EQ(chain[0]->Find(window()), nullptr);  // 1,001 links down
  EXPECT_NE(chain[1]->Find(window()), nullptr);  // 1,000 links down
  for (size_t i = chain.size() - 1; i > 0; --i) EXPECT_TRUE(chain[i]->Detach(window()));
  // With the others gone the first one is in reach again.
  EXPECT_TRUE(chain[0]->Detach(window()));
  EXPECT_EQ(window()->proc(), &original_);
}

TEST_F(InstanceSubclasserTest, AWindowWithoutItsRecordEndsTheProgram) {
  InstanceSubclasser subclasser;
  EXPECT_DEATH(subclasser.HandleMessage(*window(), Message{kWmPaint, 0, 0}),
               "Window not found in Window::wndProc");
}

}  // namespace
