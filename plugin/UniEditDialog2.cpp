#include "plugin/UniEditDialog2.h"

#include "plugin/UniEditDialog1.h"

using platform::ControlKind;

platform::FormDesc DSDialog2Form() {
  static const std::vector<FormControlRow> rows = {
      {ControlKind::Label, "Label1",
       "\xCF\xF3\xF2\xFC \xEA \xF4\xE0\xE9\xEB\xF3 \xD5\xF0\xE0\xED\xE8\xEB\xE8\xF9\xE0 \xE8\xEB\xE8 "
       "\xEF\xE5\xF0\xE5\xEC\xE5\xED\xED\xE0\xFF:",
       4, 6, 0, 0, -1},
      {ControlKind::Edit, "Edit1", "", 2, 22, 306, 21, 2},
      {ControlKind::Label, "Label3", "\xCF\xE0\xF0\xEE\xEB\xFC:", 4, 46, 0, 0, -1},
      {ControlKind::Edit, "Edit2", "", 4, 60, 231, 21, 4},
      {ControlKind::CheckBox, "Compression", "\xD1\xE6\xE0\xF2\xFB\xE9", 244, 62, 64, 17, 6},
      {ControlKind::Label, "Label2",
       "\xD2\xE5\xEA\xF1\xF2\xEE\xE2\xFB\xE9 \xF4\xE0\xE9\xEB \xE2\xED\xF3\xF2\xF0\xE8 "
       "\xF5\xF0\xE0\xED\xE8\xEB\xE8\xF9\xE0:",
       4, 86, 0, 0, -1},
      {ControlKind::Edit, "Edit3", "", 4, 102, 230, 21, 3},
      {ControlKind::Label, "Label4", "\xB9 \xF1\xF2\xF0\xEE\xEA\xE8:", 244, 86, 0, 0, -1},
      {ControlKind::Edit, "Edit4", "", 244, 102, 64, 21, 5},
      {ControlKind::OkButton, "BitBtn1", "OK", 117, 138, 94, 29, 0},
      {ControlKind::CancelButton, "BitBtn2", "Cancel", 214, 138, 94, 29, 1},
  };
  return BuildParamForm("TDSDialog2", "veVazevid \xD1\xE2\xEE\xE9\xF1\xF2\xE2\xE0", 311, 171, rows);
}

bool ExecuteDSDialog2(char** slots) {
  return RunParamForm(DSDialog2Form(), {{{"Edit1", 0}, {"Edit2", 1}, {"Edit3", 2}, {"Edit4", 3}}, 4}, slots);
}
