// SetHostString / FreeHostString and the host-variable helpers.
#include <gtest/gtest.h>

#include <map>
#include <new>
#include <string>

#include "TestSupport.h"
#include "plugin/PlugInUtils.h"

namespace {

using vvtest::CountingMemory;

class HostStrings : public vvtest::PlugInFixture {
 protected:
  void SetUp() override {
    PlugInFixture::SetUp();
    previous_ = platform::SetHostMemory(&memory);
  }
  void TearDown() override {
    platform::SetHostMemory(previous_);
    PlugInFixture::TearDown();
  }
  CountingMemory memory;

 private:
  platform::IHostMemory* previous_ = nullptr;
};

TEST_F(HostStrings, SetAllocatesLengthPlusOneAndCopiesTheZero) {
  char* slot = nullptr;
  SetHostString(&slot, "abc");
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(memory.events, (std::vector<std::string>{"alloc 4"}));
  EXPECT_EQ(std::memcmp(slot, "abc", 4), 0);
  SetHostString(&slot, "");
  EXPECT_EQ(memory.events, (std::vector<std::string>{"alloc 4", "free abc", "alloc 1"}));
  EXPECT_EQ(slot[0], '\0');
  EXPECT_EQ(memory.live.size(), 1u);
}

TEST_F(HostStrings, FreeNullsTheSlotAndIgnoresAnEmptyOne) {
  char* slot = memory.Make("x");
  FreeHostString(&slot);
  EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(memory.frees, 1);
  FreeHostString(&slot);
  EXPECT_EQ(memory.frees, 1);
  EXPECT_TRUE(memory.live.empty());
}

TEST_F(HostStrings, OutOfMemoryLeavesTheSlotNull) {
  char* slot = memory.Make("old");
  memory.failAt = 1;
  EXPECT_THROW(SetHostString(&slot, "new"), std::bad_alloc);
  EXPECT_EQ(slot, nullptr);
  EXPECT_TRUE(memory.live.empty());
}

// A host variable store on the host's side of the callbacks.
std::map<std::string, std::string> variables;
bool slotWasNull = false;
void StoreGetVar(const char* name, char** slot) {
  slotWasNull = *slot == nullptr;
  auto it = variables.find(name);
  if (it == variables.end()) return;
  SetHostString(slot, it->second);
}
void StoreSetVar(const char* name, const char* value) { variables[name] = value != nullptr ? value : ""; }

TEST_F(HostStrings, GetHostVarNullsTheSlotCopiesAndFreesTheBlock) {
  variables = {{"[veVazevidVar]", "text\r\nline 2"}};
  Host().GetVar = StoreGetVar;
  EXPECT_EQ(GetHostVar("[veVazevidVar]"), "text\r\nline 2");
  EXPECT_TRUE(slotWasNull);
  EXPECT_EQ(memory.allocs, 1);
  EXPECT_TRUE(memory.live.empty()) << "the plug-in frees the host's block";
  EXPECT_EQ(GetHostVar("[unknown]"), "");
  EXPECT_TRUE(memory.live.empty());
}

TEST_F(HostStrings, VariableHelpersWithoutCallbacksDoNothing) {
  EXPECT_EQ(GetHostVar("[x]"), "");
  SetHostVar("[x]", "y");  // must not crash
  Host().SetVar = StoreSetVar;
  SetHostVar("[veVazevidError]", "vqST-000");
  EXPECT_EQ(variables["[veVazevidError]"], "vqST-000");
}

}  // namespace
