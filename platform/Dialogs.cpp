#include "platform/Dialogs.h"

#include "platform/Service.h"

namespace platform {
namespace {

class NoDialogs final : public IDialogs {
 public:
  bool ShowModal(const FormDesc&, FormValues&) override { return false; }
  bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
};

ServiceSlot<IDialogs> slot(&DefaultDialogs);
// Plain pointer: constant-initialised, so a window backend may register from
// a static initialiser of another unit.
IDialogs* defaultBackend = nullptr;

// U+0080 to U+00BF of code page 1251; 0xC0 to 0xFF are U+0410 to U+044F.
constexpr uint16_t kHighHalf[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

}  // namespace

IDialogs& CancellingDialogs() {
  static NoDialogs dialogs;
  return dialogs;
}
IDialogs& DefaultDialogs() { return defaultBackend ? *defaultBackend : CancellingDialogs(); }
IDialogs* SetDefaultDialogs(IDialogs* dialogs) {
  IDialogs* previous = defaultBackend;
  defaultBackend = dialogs;
  return previous;
}
IDialogs& Dialogs() { return slot.Get(); }
IDialogs* SetDialogs(IDialogs* dialogs) { return slot.Set(dialogs); }

FormDesc InputQueryForm(const std::string& caption, const std::string& prompt) {
  FormDesc form;
  form.Name = "InputQuery";
  form.Caption = caption;
  form.ClientWidth = 300;
  form.ClientHeight = 92;
  form.FontName = "MS Sans Serif";
  form.FontHeight = -11;
  ControlDesc label{ControlKind::Label, "Prompt", prompt, 8, 8, 0, 0};
  ControlDesc edit{ControlKind::Edit, "Edit", "", 8, 26, 284, 21, 0};
  ControlDesc ok{ControlKind::OkButton, "OK", "OK", 62, 58, 85, 25, 1};
  ok.Default = true;
  ControlDesc cancel{ControlKind::CancelButton, "Cancel", "Cancel", 152, 58, 85, 25, 2};
  cancel.Cancel = true;
  form.Controls = {label, edit, ok, cancel};
  return form;
}

bool RunInputQuery(IDialogs& dialogs, const std::string& caption, const std::string& prompt, std::string& value) {
  FormValues values;
  values.Texts["Edit"] = value;
  if (!dialogs.ShowModal(InputQueryForm(caption, prompt), values)) return false;
  value = values.Texts["Edit"];
  return true;
}

const ControlDesc* FindControl(const FormDesc& form, std::string_view name) {
  for (const ControlDesc& control : form.Controls)
    if (control.Name == name) return &control;
  return nullptr;
}

std::string Cp1251ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    uint32_t code = byte;
    if (byte >= 0xC0)
      code = 0x0410 + (byte - 0xC0);
    else if (byte >= 0x80)
      code = kHighHalf[byte - 0x80];
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

}  // namespace platform
