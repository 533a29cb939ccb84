// A plug-in for the host tests. Its actions echo their parameter slots into
// variables, set values that need escaping, copy one variable into another
// and report what the host's GetVar handed over, so the tests can check the
// host's side of the contract. Host blocks are the C library heap here.
#include <cstdlib>
#include <cstring>
#include <string>

#include "plugin/veVazevidApi.h"

namespace {

vvGetVarProc getVar = nullptr;
vvSetVarProc setVar = nullptr;

void SetString(char** slot, const std::string& text) {
  std::free(*slot);
  *slot = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(*slot, text.c_str(), text.size() + 1);
}

std::string GetVar(const char* name, bool& present) {
  char* block = reinterpret_cast<char*>(0x1);  // must be nulled before the call
  block = nullptr;
  getVar(name, &block);
  present = block != nullptr;
  std::string text = present ? block : "";
  std::free(block);
  return text;
}

}  // namespace

extern "C" {

VV_API_EXPORT void nbInitPlugIn(void*, char** title, char** author, char** description) {
  SetString(title, "Fake \xCF\xF0\xEE\xE1\xE0");  // "Fake Проба" in code page 1251
  SetString(author, "host tests");
  SetString(description, "line1\r\nline2");
}

VV_API_EXPORT void nbRegisterPlugIn(vvAddActionProc addAction, vvReservedProc, vvGetVarProc get,
                                    vvSetVarProc set) {
  getVar = get;
  setVar = set;
  const unsigned char kinds[3] = {1, 2, 3};
  addAction(10, "Echo", "echoes its three slots", kinds, 2, 3);
  addAction(11, "Escapes", "\xC0\\", kinds, 0, 0);
  addAction(12, "Copy", "copies variable 1 into variable 2", kinds, 1, 2);
}

VV_API_EXPORT void nbRegisterScriptProcessor(void*) {}
VV_API_EXPORT void nbRegisterInterfaceAccess(void*) {}
VV_API_EXPORT void nbMessage(int, ...) {}

VV_API_EXPORT vvBool nbEditAction(int id, char** slots) {
  if (id != 10) return 0;
  SetString(&slots[0], std::string("edited:") + (slots[0] != nullptr ? slots[0] : "(null)"));
  SetString(&slots[2], "x\ty");
  return 1;
}

VV_API_EXPORT vvBool nbExecAction(int id, const char* const* params) {
  switch (id) {
    case 10:  // Echo: reads exactly its three slots
      for (int i = 0; i < 3; ++i) {
        const std::string name = "[p" + std::to_string(i + 1) + "]";
        setVar(name.c_str(), params[i] != nullptr ? params[i] : "(null)");
      }
      return 1;
    case 11:  // Escapes: [b] is set twice, [n] to null
      setVar("[b]", "first");
      setVar("[c]", "\\ \r\n\t\x01\x1f\x7f\xD0\xAF end");
      setVar("[n]", nullptr);
      setVar("[b]", "second\\");
      return 0;
    case 12: {  // Copy: [p1's variable] -> [p2's variable], reports presence
      bool present = false;
      const std::string value = GetVar(params[0], present);
      setVar(params[1], value.c_str());
      setVar("[present]", present ? "yes" : "no");
      return 1;
    }
    default:
      return 0;
  }
}

}  // extern "C"
