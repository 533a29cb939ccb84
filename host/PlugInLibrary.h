// Loads a plug-in library with dlopen and looks up its seven entry points.
#pragma once

#include <memory>
#include <string>

#include "plugin/veVazevidApi.h"

namespace vvhost {

// The entry points of one loaded plug-in.
struct PlugInApi {
  vvInitPlugInFn InitPlugIn = nullptr;
  vvRegisterPlugInFn RegisterPlugIn = nullptr;
  vvRegisterOpaqueFn RegisterScriptProcessor = nullptr;
  vvRegisterOpaqueFn RegisterInterfaceAccess = nullptr;
  vvMessageFn Message = nullptr;
  vvEditActionFn EditAction = nullptr;
  vvExecActionFn ExecAction = nullptr;
};

class PlugInLibrary {
 public:
  // Loads `path` and resolves every entry point. Null with `error` set when
  // the library cannot be loaded or lacks an entry point.
  static std::unique_ptr<PlugInLibrary> Open(const std::string& path, std::string& error);
  ~PlugInLibrary();
  PlugInLibrary(const PlugInLibrary&) = delete;
  PlugInLibrary& operator=(const PlugInLibrary&) = delete;

  const PlugInApi& Api() const { return api_; }

 private:
  explicit PlugInLibrary(void* handle) : handle_(handle) {}
  void* handle_;
  PlugInApi api_;
};

}  // namespace vvhost
