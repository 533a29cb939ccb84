#include "platform/ScriptedDialogs.h"

namespace platform {

void ScriptedDialogs::QueueOk(std::vector<std::pair<std::string, std::string>> typed,
                              std::vector<std::pair<std::string, bool>> checks) {
  Queue(Answer{std::move(typed), std::move(checks), true});
}

void ScriptedDialogs::QueueCancel(std::vector<std::pair<std::string, std::string>> typed) {
  Queue(Answer{std::move(typed), {}, false});
}

const ControlDesc* ScriptedDialogs::Usable(const FormDesc& form, const std::string& name, ControlKind kind) {
  const ControlDesc* control = FindControl(form, name);
  if (control == nullptr) {
    errors_.push_back(form.Name + ": no control " + name);
  } else if (control->Kind != kind) {
    errors_.push_back(form.Name + ": " + name + " is not of the kind the answer uses");
  } else if (!control->Visible) {
    errors_.push_back(form.Name + ": " + name + " is hidden");
  } else {
    return control;
  }
  return nullptr;
}

bool ScriptedDialogs::ShowModal(const FormDesc& form, FormValues& values) {
  history_.push_back({form, values});
  if (answers_.empty()) {
    errors_.push_back(form.Name + ": no answer queued");
    return false;
  }
  const Answer answer = std::move(answers_.front());
  answers_.pop_front();
  // The user edits the window's copy; only OK hands it back.
  FormValues edited = values;
  for (const auto& [name, text] : answer.Typed)
    if (Usable(form, name, ControlKind::Edit)) edited.Texts[name] = text;
  for (const auto& [name, state] : answer.Checks)
    if (Usable(form, name, ControlKind::CheckBox)) edited.Checked[name] = state;
  if (!answer.Ok) return false;
  values = std::move(edited);
  return true;
}

bool ScriptedDialogs::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  return RunInputQuery(*this, caption, prompt, value);
}

}  // namespace platform
