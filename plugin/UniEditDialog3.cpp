#include "plugin/UniEditDialog3.h"

#include "plugin/UniEditDialog1.h"

using platform::ControlKind;

platform::FormDesc DSDialog3Form() {
  static const std::vector<FormControlRow> rows = {
      {ControlKind::Label, "Label1",
       "\xCF\xF3\xF2\xFC \xEA \xF4\xE0\xE9\xEB\xF3 \xD5\xF0\xE0\xED\xE8\xEB\xE8\xF9\xE0 \xE8\xEB\xE8 "
       "\xEF\xE5\xF0\xE5\xEC\xE5\xED\xED\xE0\xFF:",
       4, 6, 0, 0, -1},
      {ControlKind::Edit, "Edit1", "", 2, 22, 305, 21, 2},
      {ControlKind::Label, "Label3", "\xCF\xE0\xF0\xEE\xEB\xFC:", 4, 46, 0, 0, -1},
      {ControlKind::Edit, "Edit2", "", 2, 60, 241, 21, 3},
      {ControlKind::CheckBox, "Compression", "\xD1\xE6\xE0\xF2\xFC", 252, 62, 55, 17, 4},
      {ControlKind::OkButton, "BitBtn1", "OK", 116, 88, 94, 29, 0},
      {ControlKind::CancelButton, "BitBtn2", "Cancel", 213, 88, 94, 29, 1},
  };
  return BuildParamForm("TDSDialog3", "\xD1\xE2\xEE\xE9\xF1\xF2\xE2\xE0", 311, 122, rows);
}

bool ExecuteDSDialog3(char** slots) { return RunParamForm(DSDialog3Form(), {{{"Edit1", 0}, {"Edit2", 1}}, 2}, slots); }
