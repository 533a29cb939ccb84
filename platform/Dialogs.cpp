#include "platform/Dialogs.h"

#include "platform/Service.h"

namespace platform {
namespace {

// No window system: every dialog is cancelled.
class NoDialogs final : public IDialogs {
 public:
  bool ShowModal(const FormDesc&, FormValues&) override { return false; }
  bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
};

ServiceSlot<IDialogs> slot(&DefaultDialogs);

}  // namespace

IDialogs& DefaultDialogs() {
  static NoDialogs dialogs;
  return dialogs;
}
IDialogs& Dialogs() { return slot.Get(); }
IDialogs* SetDialogs(IDialogs* dialogs) { return slot.Set(dialogs); }

}  // namespace platform
