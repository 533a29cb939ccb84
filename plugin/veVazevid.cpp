// The seven C entry points of the plug-in. Each one catches everything so
// that no exception reaches the host; the Boolean exports answer false when
// something was thrown.
#include "plugin/ActionTable.h"
#include "plugin/Dispatch.h"
#include "plugin/HostSlots.h"
#include "plugin/PlugInUtils.h"
#include "plugin/veVazevidApi.h"

extern "C" {

VV_API_EXPORT void nbInitPlugIn(void* opaque, char** title, char** author, char** description) {
  try {
    Host().InitValue = opaque;
    if (title != nullptr) SetHostString(title, kPlugInTitle);
    if (author != nullptr) SetHostString(author, kPlugInAuthor);
    if (description != nullptr) SetHostString(description, kPlugInDescription);
  } catch (...) {
    // Out of host memory: the slot that failed is left null.
  }
}

VV_API_EXPORT void nbRegisterPlugIn(vvAddActionProc addAction, vvReservedProc reserved, vvGetVarProc getVar,
                                    vvSetVarProc setVar) {
  try {
    HostSlots& host = Host();
    host.AddAction = addAction;
    host.Reserved = reserved;
    host.GetVar = getVar;
    host.SetVar = setVar;
    RegisterActions(addAction);
  } catch (...) {
    // An exception from the host's callback ends the registration.
  }
}

VV_API_EXPORT void nbRegisterScriptProcessor(void* opaque) { Host().ScriptProcessor = opaque; }

VV_API_EXPORT void nbRegisterInterfaceAccess(void* opaque) { Host().InterfaceAccess = opaque; }

VV_API_EXPORT void nbMessage(int, ...) {}

VV_API_EXPORT vvBool nbEditAction(int actionId, char** slots) {
  try {
    return EditAction(actionId, slots) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

VV_API_EXPORT vvBool nbExecAction(int actionId, const char* const* params) {
  try {
    return ExecAction(actionId, params) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
