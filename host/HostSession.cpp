#include "host/HostSession.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/HostMemory.h"

namespace vvhost {
namespace {

HostSession* current = nullptr;

// Upper bound on the kind bytes the host copies from one registration.
constexpr int kMaxKinds = 256;

char* CopyToHostMemory(const std::string& text) {
  void* block = platform::HostMemory().Alloc(text.size() + 1);
  if (block == nullptr) throw std::bad_alloc();
  std::memcpy(block, text.c_str(), text.size() + 1);
  return static_cast<char*>(block);
}

// Takes the text out of a block the host was handed and frees the block.
std::string TakeHostString(char*& block) {
  std::string text = block != nullptr ? block : "";
  platform::HostMemory().Free(block);
  block = nullptr;
  return text;
}

}  // namespace

HostSession::HostSession(const PlugInApi& api) : api_(api) {
  if (current != nullptr) throw std::logic_error("only one host session may exist at a time");
  current = this;
}

HostSession::~HostSession() { current = nullptr; }

void HostSession::Start() {
  char* title = nullptr;
  char* author = nullptr;
  char* description = nullptr;
  api_.InitPlugIn(this, &title, &author, &description);
  title_ = TakeHostString(title);
  author_ = TakeHostString(author);
  description_ = TakeHostString(description);
  api_.RegisterScriptProcessor(this);
  api_.RegisterInterfaceAccess(this);
  actions_.clear();
  api_.RegisterPlugIn(&OnAddAction, &OnReserved, &OnGetVar, &OnSetVar);
}

const RegisteredAction* HostSession::FindAction(int id) const {
  for (const RegisteredAction& action : actions_) {
    if (action.Id == id) return &action;
  }
  return nullptr;
}

const RegisteredAction* HostSession::FindAction(const std::string& name) const {
  for (const RegisteredAction& action : actions_) {
    if (action.Name == name) return &action;
  }
  return nullptr;
}

HostSession::ExecOutcome HostSession::Exec(int id, const std::vector<OptionalText>& params) {
  const RegisteredAction* action = FindAction(id);
  const size_t registered = action != nullptr ? static_cast<size_t>(std::max(action->ParamCount, 0)) : 0;
  std::vector<const char*> array(std::max<size_t>({registered, params.size(), 1}), nullptr);
  for (size_t i = 0; i < params.size(); ++i) array[i] = params[i] ? params[i]->c_str() : nullptr;

  setOrder_.clear();
  running_ = true;
  ExecOutcome outcome;
  outcome.Result = api_.ExecAction(id, array.data()) != 0;
  running_ = false;
  for (const std::string& name : setOrder_) outcome.Set.emplace_back(name, variables_[name]);
  setOrder_.clear();
  return outcome;
}

HostSession::EditOutcome HostSession::Edit(int id, const std::vector<OptionalText>& slots) {
  const RegisteredAction* action = FindAction(id);
  const size_t registered = action != nullptr ? static_cast<size_t>(std::max(action->ParamCount, 0)) : 0;
  std::vector<char*> array(std::max<size_t>({registered, slots.size(), 1}), nullptr);
  // The blocks are the host's before and after the call: free them on every path.
  struct Blocks {
    std::vector<char*>& array;
    ~Blocks() {
      for (char*& block : array) {
        platform::HostMemory().Free(block);
        block = nullptr;
      }
    }
  } owner{array};
  for (size_t i = 0; i < slots.size(); ++i) {
    if (slots[i]) array[i] = CopyToHostMemory(*slots[i]);
  }
  EditOutcome outcome;
  outcome.Result = api_.EditAction(id, array.data()) != 0;
  outcome.Slots.reserve(std::max(registered, slots.size()));
  for (size_t i = 0; i < std::max(registered, slots.size()); ++i) {
    outcome.Slots.push_back(array[i] != nullptr ? OptionalText(array[i]) : std::nullopt);
  }
  return outcome;
}

vvBool HostSession::OnAddAction(int id, const char* name, const char* hint, const unsigned char* kinds,
                                int lastKindIndex, int paramCount) {
  if (current == nullptr) return 0;
  // No exception may travel back through the plug-in: a failed copy drops the action.
  try {
    RegisteredAction action;
    action.Id = id;
    action.Name = name != nullptr ? name : "";
    action.Hint = hint != nullptr ? hint : "";
    if (kinds != nullptr && lastKindIndex >= 0) {
      action.Kinds.assign(kinds, kinds + std::min(lastKindIndex + 1, kMaxKinds));
    }
    action.ParamCount = paramCount;
    current->actions_.push_back(std::move(action));
    return 1;
  } catch (...) {
    return 0;
  }
}

void HostSession::OnReserved() {}

void HostSession::OnGetVar(const char* name, char** slot) {
  if (current == nullptr || name == nullptr || slot == nullptr) return;
  try {
    const auto it = current->variables_.find(name);
    if (it == current->variables_.end()) return;  // unknown: the slot stays as the plug-in left it
    *slot = CopyToHostMemory(it->second);
  } catch (...) {
    // Out of memory: the slot stays null and the plug-in reads an empty value.
  }
}

void HostSession::OnSetVar(const char* name, const char* value) {
  if (current == nullptr || name == nullptr) return;
  try {
    const std::string key = name;
    current->variables_[key] = value != nullptr ? value : "";
    if (current->running_ &&
        std::find(current->setOrder_.begin(), current->setOrder_.end(), key) == current->setOrder_.end()) {
      current->setOrder_.push_back(key);
    }
  } catch (...) {
    // Out of memory: the variable keeps its old value.
  }
}

}  // namespace vvhost
