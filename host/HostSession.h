// One session of the stand-in scripting host with a loaded plug-in: it
// starts the plug-in (nbInitPlugIn, nbRegisterPlugIn), keeps the actions the
// plug-in registers, stores the script variables and answers the plug-in's
// GetVar / SetVar callbacks.
//
// Ownership across the interface: the host frees every host-memory block it
// is handed (the three texts of nbInitPlugIn, the slots after nbEditAction);
// the block GetVar hands out belongs to the plug-in, which frees it. Blocks
// come from platform::HostMemory().
//
// The callbacks carry no context, so at most one session exists at a time.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/PlugInLibrary.h"

namespace vvhost {

struct RegisteredAction {
  int Id = 0;
  std::string Name;
  std::string Hint;                  // code page 1251, as registered
  std::vector<unsigned char> Kinds;  // lastKindIndex + 1 bytes
  int ParamCount = 0;
};

// A parameter or slot: nullopt is a null pointer.
using OptionalText = std::optional<std::string>;

class HostSession {
 public:
  // REQUIRES: no other session exists. `api` must outlive the session.
  explicit HostSession(const PlugInApi& api);
  ~HostSession();
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  // Calls nbInitPlugIn (keeping copies of the three texts and freeing the
  // blocks), hands over the two opaque values and calls nbRegisterPlugIn.
  void Start();

  // The plug-in's texts, code page 1251 as received.
  const std::string& Title() const { return title_; }
  const std::string& Author() const { return author_; }
  const std::string& Description() const { return description_; }
  const std::vector<RegisteredAction>& Actions() const { return actions_; }
  const RegisteredAction* FindAction(int id) const;
  const RegisteredAction* FindAction(const std::string& name) const;

  // Script variables by their full name, brackets included.
  const std::map<std::string, std::string>& Variables() const { return variables_; }
  void SetVariable(const std::string& name, const std::string& value) { variables_[name] = value; }

  struct ExecOutcome {
    bool Result = false;
    // Each variable the action set, in the order of its first setting, with
    // its final value.
    std::vector<std::pair<std::string, std::string>> Set;
  };
  // Runs nbExecAction(id). The array has at least the registered number of
  // slots; slots beyond `params` are null pointers. An id the plug-in did not
  // register is passed on all the same.
  ExecOutcome Exec(int id, const std::vector<OptionalText>& params);

  struct EditOutcome {
    bool Result = false;
    std::vector<OptionalText> Slots;  // what the slots held afterwards
  };
  // Runs nbEditAction(id) over host-memory copies of `slots`, padded with
  // null slots to the registered number, and frees every block afterwards.
  EditOutcome Edit(int id, const std::vector<OptionalText>& slots);

 private:
  static vvBool OnAddAction(int id, const char* name, const char* hint, const unsigned char* kinds,
                            int lastKindIndex, int paramCount);
  static void OnReserved();
  static void OnGetVar(const char* name, char** slot);
  static void OnSetVar(const char* name, const char* value);

  const PlugInApi& api_;
  std::string title_, author_, description_;
  std::vector<RegisteredAction> actions_;
  std::map<std::string, std::string> variables_;
  std::vector<std::string> setOrder_;  // names set during the running action
  bool running_ = false;
};

}  // namespace vvhost
