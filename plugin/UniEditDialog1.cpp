#include "plugin/UniEditDialog1.h"

#include "plugin/PlugInUtils.h"

using platform::ControlKind;

namespace {

const char kCaption[] = "veVazevid \xD1\xE2\xEE\xE9\xF1\xF2\xE2\xE0";

const std::vector<FormControlRow>& Rows() {
  static const std::vector<FormControlRow> rows = {
      {ControlKind::Label, "Label1",
       "\xCF\xF3\xF2\xFC \xEA \xF4\xE0\xE9\xEB\xF3 \xD5\xF0\xE0\xED\xE8\xEB\xE8\xF9\xE0 \xE8\xEB\xE8 "
       "\xEF\xE5\xF0\xE5\xEC\xE5\xED\xED\xE0\xFF:",
       4, 6, 0, 0, -1},
      {ControlKind::Edit, "Edit1", "", 2, 22, 339, 21, 2},
      {ControlKind::Label, "Label2",
       "\xCF\xF3\xF2\xFC \xEA \xF4\xE0\xE9\xEB\xF3 \xEA\xEE\xF2\xEE\xF0\xFB\xE9 \xED\xF3\xE6\xED\xEE "
       "\xE4\xEE\xE1\xE0\xE2\xE8\xF2\xFC \xE8\xEB\xE8 \xE8\xE7\xE2\xEB\xE5\xF7\xFC:",
       4, 48, 0, 0, -1},
      {ControlKind::Edit, "Edit2", "", 2, 64, 339, 21, 3},
      {ControlKind::Label, "Label3", "\xCF\xE0\xF0\xEE\xEB\xFC:", 4, 90, 0, 0, -1},
      {ControlKind::Edit, "Edit3", "", 2, 106, 270, 21, 4},
      {ControlKind::CheckBox, "Compression", "\xD1\xE6\xE0\xF2\xFB\xE9", 280, 108, 61, 17, 6},
      {ControlKind::Label, "Label4",
       "\xCF\xF3\xF2\xFC \xEA \xEF\xE0\xEF\xEA\xE5 \xE2 \xEA\xEE\xF2\xEE\xF0\xF3\xFE "
       "\xE8\xE7\xE2\xEB\xE5\xF7\xFC \xF4\xE0\xE9\xEB:",
       4, 132, 0, 0, -1},
      {ControlKind::Edit, "Edit4", "", 4, 148, 337, 21, 5},
      {ControlKind::Bevel, "Bevel1", "", 0, 176, 341, 0, -1},
      {ControlKind::Label, "l1", "", 2, 180, 0, 0, -1},
      {ControlKind::Label, "l2", "", 0, 196, 0, 0, -1},
      {ControlKind::Label, "l3", "", 2, 212, 0, 0, -1},
      {ControlKind::OkButton, "BitBtn1", "OK", 155, 183, 91, 29, 0},
      {ControlKind::CancelButton, "BitBtn2", "Cancel", 247, 183, 94, 29, 1},
  };
  return rows;
}

}  // namespace

platform::FormDesc BuildParamForm(const char* name, const char* caption1251, int clientWidth, int clientHeight,
                                  const std::vector<FormControlRow>& rows) {
  platform::FormDesc form;
  form.Name = name;
  form.Caption = platform::Cp1251ToUtf8(caption1251);
  form.ClientWidth = clientWidth;
  form.ClientHeight = clientHeight;
  form.FontName = "MS Sans Serif";
  form.FontHeight = -11;
  form.Color = platform::kButtonFaceColor;
  form.FixedBorder = true;
  form.Centered = true;
  for (const FormControlRow& row : rows) {
    platform::ControlDesc control;
    control.Kind = row.Kind;
    control.Name = row.Name;
    control.Caption = platform::Cp1251ToUtf8(row.Caption);
    control.Left = row.Left;
    control.Top = row.Top;
    control.Width = row.Width;
    control.Height = row.Height;
    control.TabOrder = row.TabOrder;
    control.Default = row.Kind == ControlKind::OkButton;
    control.Cancel = row.Kind == ControlKind::CancelButton;
    form.Controls.push_back(std::move(control));
  }
  return form;
}

bool RunParamForm(const platform::FormDesc& form, const SlotBinding& binding, char** slots) {
  // The form's contents live only for this call.
  platform::FormValues values;
  for (const auto& [edit, slot] : binding.Edits) values.Texts[edit] = slots[slot] != nullptr ? slots[slot] : "";
  const char* flag = slots[binding.FlagSlot];
  values.Checked["Compression"] = flag != nullptr && std::string(flag) == "1";
  if (!platform::Dialogs().ShowModal(form, values)) return false;
  for (const auto& [edit, slot] : binding.Edits) SetHostString(&slots[slot], values.Texts[edit]);
  SetHostString(&slots[binding.FlagSlot], values.Checked["Compression"] ? "1" : "0");
  return true;
}

platform::FormDesc DSDialog1Form() { return BuildParamForm("TDSDialog1", kCaption, 346, 219, Rows()); }

bool ExecuteDSDialog1Put(char** slots) {
  platform::FormDesc form = DSDialog1Form();
  for (platform::ControlDesc& control : form.Controls)
    if (control.Name == "Label4" || control.Name == "Edit4" || control.Name == "l3") control.Visible = false;
  return RunParamForm(form, {{{"Edit1", 0}, {"Edit2", 1}, {"Edit3", 2}}, 3}, slots);
}

bool ExecuteDSDialog1Extract(char** slots) {
  return RunParamForm(DSDialog1Form(), {{{"Edit1", 0}, {"Edit2", 1}, {"Edit3", 2}, {"Edit4", 3}}, 4}, slots);
}
