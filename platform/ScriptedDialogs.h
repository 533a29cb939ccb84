// A dialog backend for tests: each dialog that opens takes the next answer a
// test queued (texts typed into edit boxes, check boxes set, then OK or
// Cancel) and applies it to the form as a user would. It refuses to type into
// a control the form does not show, records what every dialog showed, and
// answers Cancel when no answer is queued.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "platform/Dialogs.h"

namespace platform {

class ScriptedDialogs final : public IDialogs {
 public:
  struct Answer {
    std::vector<std::pair<std::string, std::string>> Typed;  // edit box, new text
    std::vector<std::pair<std::string, bool>> Checks;        // check box, state
    bool Ok = true;
  };
  // What one dialog showed when it opened.
  struct Shown {
    FormDesc Form;
    FormValues Values;
  };

  // Queues the answer for the next dialog.
  void Queue(Answer answer) { answers_.push_back(std::move(answer)); }
  // Shortcuts: confirm or cancel after typing `typed`.
  void QueueOk(std::vector<std::pair<std::string, std::string>> typed = {},
               std::vector<std::pair<std::string, bool>> checks = {});
  void QueueCancel(std::vector<std::pair<std::string, std::string>> typed = {});

  bool ShowModal(const FormDesc& form, FormValues& values) override;
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;

  const std::vector<Shown>& History() const { return history_; }
  // Problems met while answering (a control missing, hidden or of the wrong
  // kind, no answer queued). A test expects this to stay empty.
  const std::vector<std::string>& Errors() const { return errors_; }
  size_t Pending() const { return answers_.size(); }

 private:
  const ControlDesc* Usable(const FormDesc& form, const std::string& name, ControlKind kind);

  std::deque<Answer> answers_;
  std::vector<Shown> history_;
  std::vector<std::string> errors_;
};

}  // namespace platform
