// Modal dialogs: forms built at run time from a description, and a modal text
// input box. The default backend has no window system and reports every
// dialog as cancelled; a real window backend and a scripted backend for tests
// implement the same interface.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace platform {

enum class ControlKind { Label, Edit, CheckBox, Bevel, OkButton, CancelButton };

// One control of a form. Texts are UTF-8 (the form's owner converts them).
struct ControlDesc {
  ControlKind Kind = ControlKind::Label;
  std::string Name;
  std::string Caption;
  int Left = 0, Top = 0, Width = 0, Height = 0;
  int TabOrder = -1;  // -1: not a tab stop
  bool Visible = true;
};

struct FormDesc {
  std::string Name;
  std::string Caption;
  int ClientWidth = 0, ClientHeight = 0;
  std::string FontName;  // e.g. "MS Sans Serif"
  int FontHeight = 0;    // negative: pixel height of the characters
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
// The backend used when nothing else is installed.
IDialogs& DefaultDialogs();

}  // namespace platform
