// Dispatch by action id behind nbRegisterPlugIn, nbExecAction and
// nbEditAction. The functions that run an action or show its dialog sit in a
// replaceable table so tests can watch exactly what the dispatch hands them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "plugin/veVazevidApi.h"

// Runs one action with its parameters as owned strings, parameter 1 first.
using ExecProc = std::function<bool(const std::vector<std::string>& params)>;
// Shows one parameter dialog over the host's slot array.
using DialogProc = std::function<bool(char** slots)>;

struct ActionProcs {
  std::array<ExecProc, 9> Exec;      // by action id 1..8; element 0 unused
  std::array<DialogProc, 6> Dialog;  // by action id 1..5; element 0 unused
};

// The table wired to Actions.h and the dialog units UniEditDialog1 to 3.
const ActionProcs& StorageActionProcs();
// The table in use: StorageActionProcs() unless a test installed another.
const ActionProcs& CurrentActionProcs();
// Installs `procs` (not owned; null puts the storage table back) and returns
// the previous override. Fits platform::ScopedService.
const ActionProcs* SetActionProcs(const ActionProcs* procs);

// Calls addAction once per row of the action table, in table order, with a
// kind byte of 1 per parameter. Does nothing when addAction is null.
void RegisterActions(vvAddActionProc addAction);

// Runs action `id`. Ids outside 1..8 return false at once. For a known id
// exactly the registered number of pointers is read from `params` (a null
// pointer, or a null array, gives empty strings) and the action's result is
// returned. Exceptions from the action pass through to the caller.
bool ExecAction(int32_t id, const char* const* params);

// Shows the parameter dialog of action `id`: ids 1 to 5 go to their dialog;
// ids 6 to 8 get "value1" to "value4" in slots 1 to 4 and true; any other id
// (and a null slot array) gives false with the slots untouched.
bool EditAction(int32_t id, char** slots);
