// The dialog runtime without a window system: the scripted backend, the
// input box of the password request as a form, the fallback that cancels,
// and the code page 1251 conversion of captions (checked against iconv).
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "platform/Dialogs.h"
#include "platform/ScriptedDialogs.h"
#include "platform/Service.h"

namespace {

using platform::ScriptedDialogs;

TEST(InputBox, ConfirmTakesTheEditedTextCancelKeepsTheOld) {
  ScriptedDialogs dialogs;
  platform::ScopedService<platform::IDialogs> use(&platform::SetDialogs, dialogs);
  std::string password = "old";
  dialogs.QueueOk({{"Edit", "n\xE5w"}});
  EXPECT_TRUE(platform::Dialogs().InputQuery("Password for \"a.txt\"", "Enter password: ", password));
  EXPECT_EQ(password, "n\xE5w");
  dialogs.QueueCancel({{"Edit", "typed"}});
  EXPECT_FALSE(platform::Dialogs().InputQuery("Password for \"a.txt\"", "Enter password: ", password));
  EXPECT_EQ(password, "n\xE5w");
  EXPECT_FALSE(platform::Dialogs().InputQuery("c", "p", password)) << "no answer queued acts as Cancel";
  EXPECT_EQ(dialogs.Errors().size(), 1u);

  ASSERT_EQ(dialogs.History().size(), 3u);
  const auto& shown = dialogs.History()[0];
  EXPECT_EQ(shown.Form.Caption, "Password for \"a.txt\"");
  EXPECT_EQ(platform::FindControl(shown.Form, "Prompt")->Caption, "Enter password: ");
  EXPECT_EQ(shown.Values.Texts.at("Edit"), "old") << "the box opens with the current password";
  EXPECT_TRUE(platform::FindControl(shown.Form, "OK")->Default);
  EXPECT_TRUE(platform::FindControl(shown.Form, "Cancel")->Cancel);
}

TEST(InputBox, WithoutAWindowSystemEveryDialogIsCancelled) {
  std::string value = "keep";
  platform::FormValues values;
  values.Texts["Edit"] = "x";
  EXPECT_FALSE(platform::CancellingDialogs().InputQuery("c", "p", value));
  EXPECT_FALSE(platform::CancellingDialogs().ShowModal(platform::InputQueryForm("c", "p"), values));
  EXPECT_EQ(value, "keep");
  EXPECT_EQ(values.Texts["Edit"], "x");
}

TEST(ScriptedBackend, RefusesControlsTheFormDoesNotOffer) {
  ScriptedDialogs dialogs;
  platform::FormDesc form = platform::InputQueryForm("c", "p");
  form.Controls.push_back({platform::ControlKind::Edit, "Hidden", "", 0, 0, 10, 10, 3, false});
  platform::FormValues values;
  dialogs.QueueOk({{"Hidden", "a"}, {"Prompt", "b"}, {"Nope", "c"}}, {{"Edit", true}});
  EXPECT_TRUE(dialogs.ShowModal(form, values));
  EXPECT_EQ(dialogs.Errors().size(), 4u);
  EXPECT_TRUE(values.Texts.count("Hidden") == 0 && values.Texts.count("Prompt") == 0);
}

TEST(ScriptedBackend, DefaultBackendCanBeReplacedAndRestored) {
  ScriptedDialogs dialogs;
  platform::IDialogs* previous = platform::SetDefaultDialogs(&dialogs);
  EXPECT_EQ(&platform::DefaultDialogs(), &dialogs);
  platform::SetDefaultDialogs(previous);
  EXPECT_EQ(&platform::DefaultDialogs(), previous ? previous : &platform::CancellingDialogs());
}

TEST(Cp1251, EveryByteConvertsAsIconvDoes) {
  iconv_t cd = iconv_open("UTF-8", "CP1251");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  for (int b = 1; b < 256; ++b) {
    if (b == 0x98) continue;  // unassigned in the code page
    char in[1] = {static_cast<char>(b)};
    char out[8] = {};
    char* src = in;
    char* dst = out;
    size_t inLeft = 1, outLeft = sizeof out;
    ASSERT_NE(iconv(cd, &src, &inLeft, &dst, &outLeft), static_cast<size_t>(-1)) << b;
    EXPECT_EQ(platform::Cp1251ToUtf8(std::string(1, static_cast<char>(b))), std::string(out, dst)) << b;
  }
  iconv_close(cd);
  EXPECT_EQ(platform::Cp1251ToUtf8("\x98"), "\xC2\x98");
  EXPECT_EQ(platform::Cp1251ToUtf8("\xD1\xE6\xE0\xF2\xFC"), "Сжать");
}

}  // namespace
