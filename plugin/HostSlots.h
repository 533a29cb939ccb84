// The host slots: the callbacks and opaque values the registration exports
// keep for the life of the process, and the two variable helpers the actions
// use to talk to the script through them.
#pragma once

#include <string>

#include "plugin/veVazevidApi.h"

struct HostSlots {
  vvAddActionProc AddAction = nullptr;
  vvReservedProc Reserved = nullptr;  // kept, never called
  vvGetVarProc GetVar = nullptr;
  vvSetVarProc SetVar = nullptr;
  void* InitValue = nullptr;        // first argument of nbInitPlugIn
  void* ScriptProcessor = nullptr;  // argument of nbRegisterScriptProcessor
  void* InterfaceAccess = nullptr;  // argument of nbRegisterInterfaceAccess
};

// The process-wide slots; written only by the registration exports (and by
// tests that restore them).
HostSlots& Host();

// Reads script variable `name` (brackets included) through GetVarProc: nulls
// the slot, lets the host fill it, copies the text and frees the host's block.
// Empty when the host has no such variable or no callback was registered.
std::string GetHostVar(const std::string& name);

// Sets script variable `name` to `value` through SetVarProc; does nothing
// when no callback was registered. The text passes up to its first zero byte.
void SetHostVar(const std::string& name, const std::string& value);
