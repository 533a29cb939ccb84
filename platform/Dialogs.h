// Modal dialogs: forms built at run time from a description, and a modal text
// input box. A backend turns a description into something the user answers:
// the window backend (platform/fltk/) shows real windows, the scripted backend
// (ScriptedDialogs.h) answers from a test's script, and the fallback backend
// has no window system and reports every dialog as cancelled.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class ControlKind { Label, Edit, CheckBox, Bevel, OkButton, CancelButton };

// One control of a form. Texts are UTF-8 (the form's owner converts them).
// Positions are pixels of the form's client area. A Width or Height of 0
// lets the backend size the control to its caption (labels).
struct ControlDesc {
  ControlKind Kind = ControlKind::Label;
  std::string Name;
  std::string Caption;
  int Left = 0, Top = 0, Width = 0, Height = 0;
  int TabOrder = -1;  // -1: not a tab stop
  bool Visible = true;
  bool Default = false;  // button pressed by Enter
  bool Cancel = false;   // button pressed by Esc
};

// The colour the system paints buttons and dialog backgrounds with.
constexpr uint32_t kButtonFaceColor = 0xF0F0F0;  // 0xRRGGBB

struct FormDesc {
  std::string Name;
  std::string Caption;
  int ClientWidth = 0, ClientHeight = 0;
  std::string FontName;  // e.g. "MS Sans Serif"
  int FontHeight = 0;    // negative: pixel height of the characters
  uint32_t Color = kButtonFaceColor;  // 0xRRGGBB
  bool FixedBorder = true;            // fixed size, no minimise or maximise
  bool Centered = true;               // centred on the screen
  std::vector<ControlDesc> Controls;
};

// What the form shows when it opens and, after OK, what the user left in it:
// the text of each edit box and the state of each check box, by control name.
struct FormValues {
  std::map<std::string, std::string> Texts;
  std::map<std::string, bool> Checked;
};

class IDialogs {
 public:
  virtual ~IDialogs() = default;
  // Shows `form` modally with `values` in its controls. True when closed with
  // OK (then `values` holds the controls' contents); false for any other
  // close, and `values` is then left as it was.
  virtual bool ShowModal(const FormDesc& form, FormValues& values) = 0;
  // A modal input box with caption, prompt and one edit field initialised to
  // `value`. True with the entered text on OK; false (value untouched) else.
  virtual bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) = 0;
};

IDialogs& Dialogs();
IDialogs* SetDialogs(IDialogs* dialogs);
// The backend Dialogs() uses when no override is installed: the one set with
// SetDefaultDialogs (a window backend linked into the program registers
// itself), else CancellingDialogs().
IDialogs& DefaultDialogs();
// Makes `dialogs` (not owned; null: CancellingDialogs()) the default backend
// and returns the previous one.
IDialogs* SetDefaultDialogs(IDialogs* dialogs);
// A backend without a window system: every dialog is cancelled.
IDialogs& CancellingDialogs();

// The input box as a form: a label "Prompt" with the prompt, an edit box
// "Edit", and OK and Cancel buttons. Backends show InputQuery with it.
FormDesc InputQueryForm(const std::string& caption, const std::string& prompt);
// InputQuery over `dialogs`.ShowModal with InputQueryForm.
bool RunInputQuery(IDialogs& dialogs, const std::string& caption, const std::string& prompt, std::string& value);

// The control called `name`, or null.
const ControlDesc* FindControl(const FormDesc& form, std::string_view name);

// Windows code page 1251 text as UTF-8. The one unassigned byte, 0x98,
// becomes U+0098.
std::string Cp1251ToUtf8(std::string_view text);

}  // namespace platform
