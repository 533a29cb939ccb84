// nbEditAction: the dialog dispatch and the placeholder texts of ids 6 to 8.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "plugin/veVazevidApi.h"

namespace {

using vvtest::CountingMemory;

class EditDispatch : public vvtest::PlugInFixture {
 protected:
  void SetUp() override {
    PlugInFixture::SetUp();
    previousMemory_ = platform::SetHostMemory(&memory);
    for (int i = 0; i < 5; ++i) {
      old[i] = memory.Make("old" + std::to_string(i + 1));
      slots[i] = old[i];
    }
  }
  void TearDown() override {
    platform::SetHostMemory(previousMemory_);
    PlugInFixture::TearDown();
  }
  void ExpectSlotsUntouched() {
    for (int i = 0; i < 5; ++i) EXPECT_EQ(slots[i], old[i]) << "slot " << i + 1;
    EXPECT_EQ(memory.frees, 0);
    EXPECT_EQ(memory.allocs, 0);
  }

  void FreeHostStringForTest(int i) {
    memory.Free(slots[i]);
    slots[i] = nullptr;
  }

  CountingMemory memory;
  char* old[5] = {};
  char* slots[5] = {};

 private:
  platform::IHostMemory* previousMemory_ = nullptr;
};

TEST_F(EditDispatch, TextOnlyActionsGetThePlaceholderTexts) {
  for (int id : {6, 7, 8}) {
    SCOPED_TRACE(id);
    for (int i = 0; i < 4; ++i) {
      FreeHostStringForTest(i);
      slots[i] = memory.Make("old" + std::to_string(id) + "-" + std::to_string(i + 1));
    }
    memory.events.clear();
    EXPECT_EQ(nbEditAction(id, slots), 1);
    std::vector<std::string> expected;
    for (int i = 0; i < 4; ++i) {
      expected.push_back("free old" + std::to_string(id) + "-" + std::to_string(i + 1));
      expected.push_back("alloc 7");
      ASSERT_NE(slots[i], nullptr);
      EXPECT_TRUE(memory.IsLive(slots[i]));
      EXPECT_EQ(std::string(slots[i]), "value" + std::to_string(i + 1));
    }
    EXPECT_EQ(memory.events, expected) << "each old block is freed before its slot gets the new text";
    EXPECT_EQ(slots[4], old[4]) << "slot 5 is not the action's";
    EXPECT_EQ(memory.live.size(), 5u);
  }
}

TEST_F(EditDispatch, PlaceholdersFillEmptySlotsToo) {
  char* empty[4] = {};
  EXPECT_EQ(nbEditAction(7, empty), 1);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(std::string(empty[i]), "value" + std::to_string(i + 1));
  EXPECT_EQ(memory.frees, 0);
}

TEST_F(EditDispatch, UnknownIdsReturnFalseAndLeaveTheSlots) {
  for (int id : {0, 9, -5}) EXPECT_EQ(nbEditAction(id, slots), 0) << id;
  EXPECT_EQ(nbEditAction(7, nullptr), 0);
  ExpectSlotsUntouched();
}

// Ids 1 to 5 go to their dialog with the host's slot array; its answer is the
// result.
TEST_F(EditDispatch, DialogIdsReachTheirDialog) {
  ActionProcs procs;
  std::vector<std::pair<int, char**>> shown;
  for (int form = 1; form <= 4; ++form) {
    procs.Dialog[static_cast<size_t>(form)] = [&shown, form](char** s) {
      shown.push_back({form, s});
      return form % 2 == 1;
    };
  }
  procs.Dialog[5] = procs.Dialog[4];  // create and list share one form
  SetActionProcs(&procs);
  EXPECT_EQ(nbEditAction(1, slots), 1);
  EXPECT_EQ(nbEditAction(2, slots), 0);
  EXPECT_EQ(nbEditAction(3, slots), 1);
  EXPECT_EQ(nbEditAction(4, slots), 0);
  EXPECT_EQ(nbEditAction(5, slots), 0);
  const std::vector<std::pair<int, char**>> expected = {
      {1, slots}, {2, slots}, {3, slots}, {4, slots}, {4, slots}};
  EXPECT_EQ(shown, expected);
}

TEST_F(EditDispatch, ADialogThatThrowsGivesFalse) {
  ActionProcs procs;
  procs.Dialog[2] = [](char**) -> bool { throw std::bad_alloc(); };
  SetActionProcs(&procs);
  EXPECT_EQ(nbEditAction(2, slots), 0);
  ExpectSlotsUntouched();
}

// With no window system the shipped dialogs close as cancelled: false, and
// the host's slots keep their blocks.
TEST_F(EditDispatch, ShippedDialogsWithoutAWindowAnswerCancelled) {
  for (int id = 1; id <= 5; ++id) EXPECT_EQ(nbEditAction(id, slots), 0) << id;
  ExpectSlotsUntouched();
}

TEST_F(EditDispatch, OutOfMemoryGivesFalseAndNoDanglingSlot) {
  memory.failAt = 2;
  EXPECT_EQ(nbEditAction(8, slots), 0);
  EXPECT_EQ(std::string(slots[0]), "value1");
  EXPECT_EQ(slots[1], nullptr) << "the slot whose block was freed must not keep it";
  EXPECT_EQ(slots[2], old[2]);
  EXPECT_EQ(slots[3], old[3]);
}

}  // namespace
