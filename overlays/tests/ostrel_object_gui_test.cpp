// Deleting with the user's confirmation: the boxes are answered by a responder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "overlays/ostrel_object.h"
#include "overlays/tests/overlay_test_objects.h"
#include "platform/ui/message_box.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"

namespace {

using vd::test::ChangeRecord;
using vd::test::OverlayWorld;
using vd::test::TestMark;

struct Answering : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    boxes.push_back(request);
    return answer;
  }
  int answer = vd::ui::kIdOk;
  std::vector<vd::ui::MessageBoxRequest> boxes;
};

struct DeleteFixture : testing::Test {
  TestMark* AddMark(const std::string& name, const std::string& category) {
    TestMark* mark = world.doc.Add(new TestMark);
    mark->name = name;
    if (!category.empty()) mark->SetCategory(category);
    return mark;
  }

  OverlayWorld world;
  Answering responder;
  vd::ui::ScopedResponder scope{&responder};
  std::vector<COstrelObject*> undo_saved;
  vd::test::ScopedUndoHook undo_hook{{nullptr, [this](COstrelObject& object) {
                                        undo_saved.push_back(&object);
                                        // Saved before the views hear of the deletion.
                                        EXPECT_TRUE(world.log.empty());
                                      },
                                      nullptr}};
};

TEST_F(DeleteFixture, ALockedObjectIsRefused) {
  TestMark* mark = AddMark("Old hull", "Wrecks");
  mark->locked = true;
  EXPECT_EQ(mark->Delete(true), COstrelObject::kDeleteRefused);
  ASSERT_EQ(responder.boxes.size(), 1u);
  EXPECT_EQ(responder.boxes[0].text, "Object is locked");
  EXPECT_EQ(responder.boxes[0].flags & vd::ui::kMbIconMask, vd::ui::kMbIconInformation);
  EXPECT_EQ(world.doc.objects, ObjectList{mark});
  EXPECT_TRUE(world.log.empty());
  EXPECT_TRUE(undo_saved.empty());
}

TEST_F(DeleteFixture, DeclinedQuestionKeepsTheObject) {
  TestMark* mark = AddMark("Old hull", "Wrecks");
  responder.answer = vd::ui::kIdCancel;
  EXPECT_EQ(mark->Delete(true), vd::ui::kIdCancel);
  ASSERT_EQ(responder.boxes.size(), 1u);
  EXPECT_EQ(responder.boxes[0].text, "Delete the Wrecks: \"Old hull\"\nAre you sure?");
  EXPECT_EQ(responder.boxes[0].flags & vd::ui::kMbButtonMask, vd::ui::kMbOkCancel);
  EXPECT_EQ(world.doc.objects, ObjectList{mark});
  EXPECT_TRUE(world.log.empty());
  EXPECT_TRUE(undo_saved.empty());
}

TEST_F(DeleteFixture, ConfirmedDeleteSavesAnUndoStepFirst) {
  TestMark* mark = AddMark("Old hull", "Wrecks");
  bool destroyed = false;
  mark->destroyed = &destroyed;
  EXPECT_EQ(mark->Delete(true), COstrelObject::kDeleted);
  EXPECT_EQ(undo_saved, std::vector<COstrelObject*>{mark});
  EXPECT_TRUE(destroyed);
  EXPECT_TRUE(world.doc.objects.empty());
  ASSERT_FALSE(world.log.empty());
  EXPECT_EQ(world.log[0], (ChangeRecord{ChangeRecord::kViews, kChangeDeleted, mark}));
}

TEST_F(DeleteFixture, NoQuestionWithoutCategoryOrName) {
  TestMark* no_category = AddMark("Lonely", "");
  TestMark* no_name = AddMark("", "Wrecks");
  EXPECT_EQ(no_category->Delete(true), COstrelObject::kDeleted);
  EXPECT_EQ(no_name->Delete(true), COstrelObject::kDeleted);
  EXPECT_TRUE(responder.boxes.empty());
  EXPECT_TRUE(undo_saved.empty());
  EXPECT_TRUE(world.doc.objects.empty());
}

}  // namespace
