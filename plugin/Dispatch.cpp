#include "plugin/Dispatch.h"

#include "platform/Service.h"
#include "plugin/ActionTable.h"
#include "plugin/Actions.h"
#include "plugin/UniEditDialog1.h"
#include "plugin/UniEditDialog2.h"
#include "plugin/UniEditDialog3.h"
#include "plugin/PlugInUtils.h"

namespace {

ActionProcs MakeStorageProcs() {
  using P = const std::vector<std::string>&;
  ActionProcs procs;
  procs.Exec[1] = [](P p) { return vqPutFile(p[0], p[1], p[2], p[3]); };
  procs.Exec[2] = [](P p) { return vqExtractFile(p[0], p[1], p[2], p[3], p[4]); };
  procs.Exec[3] = [](P p) { return vqLoadTXTLineFromStream(p[0], p[1], p[2], p[3], p[4]); };
  procs.Exec[4] = [](P p) { return vqCreateStream(p[0], p[1], p[2]); };
  procs.Exec[5] = [](P p) { return veVazevidGetFileList(p[0], p[1], p[2]); };
  procs.Exec[6] = [](P p) { return vqLoadVarFromStream(p[0], p[1], p[2], p[3]); };
  procs.Exec[7] = [](P p) { return vqSaveVarToStream(p[0], p[1], p[2], p[3]); };
  procs.Exec[8] = [](P p) { return vqDeleteFile(p[0], p[1], p[2], p[3]); };
  procs.Dialog[1] = ExecuteDSDialog1Put;
  procs.Dialog[2] = ExecuteDSDialog1Extract;
  procs.Dialog[3] = ExecuteDSDialog2;
  procs.Dialog[4] = ExecuteDSDialog3;
  procs.Dialog[5] = ExecuteDSDialog3;
  return procs;
}

platform::ServiceSlot<const ActionProcs> slot(&StorageActionProcs);

}  // namespace

const ActionProcs& StorageActionProcs() {
  static const ActionProcs procs = MakeStorageProcs();
  return procs;
}
const ActionProcs& CurrentActionProcs() { return slot.Get(); }
const ActionProcs* SetActionProcs(const ActionProcs* procs) { return slot.Set(procs); }

void RegisterActions(vvAddActionProc addAction) {
  if (addAction == nullptr) return;
  for (const ActionInfo& row : ActionTable()) {
    std::array<unsigned char, kMaxParamCount> kinds{};
    kinds.fill(kParamKind);
    addAction(row.Id, row.Name, row.Hint, kinds.data(), row.ParamCount - 1, row.ParamCount);
  }
}

bool ExecAction(int32_t id, const char* const* params) {
  const ActionInfo* row = FindAction(id);
  if (row == nullptr) return false;
  std::vector<std::string> strings;
  strings.reserve(static_cast<size_t>(row->ParamCount));
  for (int32_t i = 0; i < row->ParamCount; ++i) {
    const char* text = params != nullptr ? params[i] : nullptr;
    strings.emplace_back(text != nullptr ? text : "");
  }
  const ExecProc& run = CurrentActionProcs().Exec[static_cast<size_t>(id)];
  return run ? run(strings) : false;
}

bool EditAction(int32_t id, char** slots) {
  if (FindAction(id) == nullptr || slots == nullptr) return false;
  if (id >= 6) {
    static const char* const kPlaceholders[] = {"value1", "value2", "value3", "value4"};
    for (int i = 0; i < 4; ++i) SetHostString(&slots[i], kPlaceholders[i]);
    return true;
  }
  const DialogProc& show = CurrentActionProcs().Dialog[static_cast<size_t>(id)];
  return show ? show(slots) : false;
}
