#include "host/PlugInLibrary.h"

#include <dlfcn.h>

namespace vvhost {
namespace {

template <class Fn>
bool Resolve(void* handle, const char* name, Fn& fn, std::string& error) {
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) {
    error = std::string("the plug-in has no entry point ") + name;
    return false;
  }
  fn = reinterpret_cast<Fn>(symbol);
  return true;
}

}  // namespace

std::unique_ptr<PlugInLibrary> PlugInLibrary::Open(const std::string& path, std::string& error) {
  // RTLD_NODELETE: the plug-in stays mapped after it is closed, as a host
  // keeps its plug-ins for the life of the process; the window toolkit it
  // links keeps process-wide objects that must outlive the unload.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = "cannot load the plug-in " + path + ": " + (reason != nullptr ? reason : "unknown error");
    return nullptr;
  }
  std::unique_ptr<PlugInLibrary> library(new PlugInLibrary(handle));
  PlugInApi& api = library->api_;
  if (!Resolve(handle, "nbInitPlugIn", api.InitPlugIn, error) ||
      !Resolve(handle, "nbRegisterPlugIn", api.RegisterPlugIn, error) ||
      !Resolve(handle, "nbRegisterScriptProcessor", api.RegisterScriptProcessor, error) ||
      !Resolve(handle, "nbRegisterInterfaceAccess", api.RegisterInterfaceAccess, error) ||
      !Resolve(handle, "nbMessage", api.Message, error) ||
      !Resolve(handle, "nbEditAction", api.EditAction, error) ||
      !Resolve(handle, "nbExecAction", api.ExecAction, error)) {
    return nullptr;
  }
  return library;
}

PlugInLibrary::~PlugInLibrary() { dlclose(handle_); }

}  // namespace vvhost
