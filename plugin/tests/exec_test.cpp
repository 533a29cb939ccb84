// nbExecAction: id handling and the exact copying of the parameter array.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "platform/Exception.h"
#include "plugin/ActionTable.h"
#include "plugin/veVazevidApi.h"

namespace {

using vvtest::GuardedArray;

int getVarCalls = 0;
int setVarCalls = 0;
void CountGetVar(const char*, char** slot) {
  ++getVarCalls;
  *slot = nullptr;
}
void CountSetVar(const char*, const char*) { ++setVarCalls; }

// Replaces every action with one that records the id and the strings it got.
class ExecDispatch : public vvtest::PlugInFixture {
 protected:
  void SetUp() override {
    PlugInFixture::SetUp();
    getVarCalls = setVarCalls = 0;
    Host().GetVar = CountGetVar;
    Host().SetVar = CountSetVar;
    for (int id = 1; id <= 8; ++id) {
      procs_.Exec[static_cast<size_t>(id)] = [this, id](const std::vector<std::string>& params) {
        calls.push_back({id, params});
        return result;
      };
    }
    SetActionProcs(&procs_);
  }

  struct Call {
    int id;
    std::vector<std::string> params;
  };
  std::vector<Call> calls;
  bool result = true;
  ActionProcs procs_;
};

TEST_F(ExecDispatch, IdsOutsideTheTableReturnFalseAndTouchNothing) {
  GuardedArray none(0);  // any read of the array faults
  for (int id : {0, 9, -1, 100}) {
    EXPECT_EQ(nbExecAction(id, none.slots()), 0) << id;
  }
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(getVarCalls, 0);
  EXPECT_EQ(setVarCalls, 0);
}

TEST_F(ExecDispatch, ReadsExactlyTheRegisteredNumberOfSlots) {
  for (const ActionInfo& row : ActionTable()) {
    SCOPED_TRACE(row.Name);
    const size_t count = static_cast<size_t>(row.ParamCount);
    // The array ends at a guard page: a read past the registered count faults.
    GuardedArray params(count);
    std::vector<std::string> texts;
    for (size_t i = 0; i < count; ++i) texts.push_back("p" + std::to_string(i + 1) + " of " + row.Name);
    for (size_t i = 0; i < count; ++i) params.slots()[i] = texts[i].c_str();
    calls.clear();
    EXPECT_EQ(nbExecAction(row.Id, params.slots()), 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].id, row.Id);
    EXPECT_EQ(calls[0].params, texts);
  }
  const std::pair<int, size_t> counts[] = {{1, 4}, {2, 5}, {3, 5}, {4, 3}, {5, 3}, {6, 4}, {7, 4}, {8, 4}};
  for (auto [id, count] : counts) EXPECT_EQ(static_cast<size_t>(FindAction(id)->ParamCount), count) << id;
}

TEST_F(ExecDispatch, NullSlotsReadAsEmptyStrings) {
  GuardedArray params(5);
  params.slots()[0] = "storage.vvs";
  params.slots()[2] = "";
  params.slots()[4] = "1";
  ASSERT_EQ(nbExecAction(2, params.slots()), 1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].params, (std::vector<std::string>{"storage.vvs", "", "", "", "1"}));

  calls.clear();
  ASSERT_EQ(nbExecAction(4, nullptr), 1);  // no array at all: every parameter is empty
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].params, std::vector<std::string>(3));
}

TEST_F(ExecDispatch, ParametersPassUnchanged) {
  GuardedArray params(3);
  const std::string odd = "C:\\dir\\\"q\"\t\xD0\xAF\x01";
  params.slots()[0] = odd.c_str();
  params.slots()[1] = "[veVazevidVar]";
  params.slots()[2] = " ";
  nbExecAction(5, params.slots());
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].params, (std::vector<std::string>{odd, "[veVazevidVar]", " "}));
}

TEST_F(ExecDispatch, ReturnsTheActionsResult) {
  const char* p[4] = {"a", "b", "c", "d"};
  result = false;
  EXPECT_EQ(nbExecAction(7, p), 0);
  result = true;
  EXPECT_EQ(nbExecAction(7, p), 1);
}

TEST_F(ExecDispatch, NoExceptionLeavesTheExport) {
  const char* p[4] = {"a", "b", "c", "d"};
  procs_.Exec[6] = [](const std::vector<std::string>&) -> bool {
    throw Exception("TSingleFileSystem - boom");
  };
  procs_.Exec[7] = [](const std::vector<std::string>&) -> bool { throw std::bad_alloc(); };
  procs_.Exec[8] = [](const std::vector<std::string>&) -> bool { throw 42; };
  EXPECT_EQ(nbExecAction(6, p), 0);
  EXPECT_EQ(nbExecAction(7, p), 0);
  EXPECT_EQ(nbExecAction(8, p), 0);
}

// The shipped table reaches the storage actions, each reading only what the
// dispatch copied: with every parameter empty there is no storage file, so
// each action but create reports a missing storage, and create cannot make
// a storage at an empty path.
std::vector<std::pair<std::string, std::string>> shippedSets;
void RecordSetVar(const char* name, const char* value) { shippedSets.emplace_back(name, value ? value : ""); }

class ExecShipped : public vvtest::PlugInFixture {};

TEST_F(ExecShipped, StorageActionsWithEmptyParametersReportFailure) {
  Host().SetVar = RecordSetVar;
  for (const ActionInfo& row : ActionTable()) {
    SCOPED_TRACE(row.Name);
    GuardedArray params(static_cast<size_t>(row.ParamCount));
    shippedSets.clear();
    EXPECT_EQ(nbExecAction(row.Id, params.slots()), 0);
    ASSERT_FALSE(shippedSets.empty());
    EXPECT_EQ(shippedSets.front(), (std::pair<std::string, std::string>{"[veVazevidError]", ""}));
    EXPECT_EQ(shippedSets.back(), (std::pair<std::string, std::string>{
                                      "[veVazevidError]", row.Id == 4 ? "vqST-011" : "vqST-001"}));
  }
}

}  // namespace
