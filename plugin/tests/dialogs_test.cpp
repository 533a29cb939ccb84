// The parameter dialogs of actions 1 to 5 through nbEditAction, answered by
// the scripted dialog backend: which slot each control shows, the flag, what
// OK writes back and that Cancel leaves the host's blocks alone.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "platform/ScriptedDialogs.h"
#include "plugin/PlugInUtils.h"
#include "plugin/UniEditDialog1.h"
#include "plugin/UniEditDialog2.h"
#include "plugin/UniEditDialog3.h"
#include "plugin/veVazevidApi.h"

namespace {

using platform::ControlKind;
using platform::FindControl;
using vvtest::CountingMemory;

class ParamDialogs : public vvtest::PlugInFixture {
 protected:
  void SetUp() override {
    PlugInFixture::SetUp();
    previousMemory_ = platform::SetHostMemory(&memory);
    previousDialogs_ = platform::SetDialogs(&dialogs);
  }
  void TearDown() override {
    EXPECT_TRUE(dialogs.Errors().empty()) << dialogs.Errors().front();
    platform::SetDialogs(previousDialogs_);
    platform::SetHostMemory(previousMemory_);
    PlugInFixture::TearDown();
  }
  // Fills slots 1..n with host blocks holding `texts`.
  void Fill(const std::vector<std::string>& texts) {
    for (size_t i = 0; i < texts.size(); ++i) slots[i] = memory.Make(texts[i]);
  }
  std::string Slot(int i) const { return slots[i] ? slots[i] : "<null>"; }

  CountingMemory memory;
  platform::ScriptedDialogs dialogs;
  char* slots[6] = {};

 private:
  platform::IHostMemory* previousMemory_ = nullptr;
  platform::IDialogs* previousDialogs_ = nullptr;
};

struct MappingCase {
  int Id;
  const char* Form;
  std::vector<std::string> Edits;  // edit box for slot 1, 2, ...
  int FlagSlot;                    // 0-based
};

// Each edit box shows its slot's text unchanged (code page 1251 bytes
// included) and OK writes every slot and the flag back.
TEST_F(ParamDialogs, EachControlShowsAndWritesItsSlot) {
  const std::vector<MappingCase> cases = {
      {1, "TDSDialog1", {"Edit1", "Edit2", "Edit3"}, 3},
      {2, "TDSDialog1", {"Edit1", "Edit2", "Edit3", "Edit4"}, 4},
      {3, "TDSDialog2", {"Edit1", "Edit2", "Edit3", "Edit4"}, 4},
      {4, "TDSDialog3", {"Edit1", "Edit2"}, 2},
      {5, "TDSDialog3", {"Edit1", "Edit2"}, 2},
  };
  for (const MappingCase& c : cases) {
    SCOPED_TRACE(c.Id);
    for (int i = 0; i < 6; ++i) FreeHostString(&slots[i]);
    std::vector<std::string> texts;
    std::vector<std::pair<std::string, std::string>> typed;
    for (size_t i = 0; i < c.Edits.size(); ++i) {
      texts.push_back("in" + std::to_string(i + 1) + "\xCF\xE0");
      typed.push_back({c.Edits[i], "out" + std::to_string(i + 1) + "\xD1"});
    }
    texts.push_back("1");
    Fill(texts);
    dialogs.QueueOk(typed, {{"Compression", false}});
    memory.allocs = 0;
    EXPECT_EQ(nbEditAction(c.Id, slots), 1);

    ASSERT_EQ(dialogs.History().size(), 1u);
    const platform::ScriptedDialogs::Shown shown = dialogs.History().back();
    EXPECT_EQ(shown.Form.Name, c.Form);
    for (size_t i = 0; i < c.Edits.size(); ++i) {
      EXPECT_EQ(shown.Values.Texts.at(c.Edits[i]), texts[i]) << c.Edits[i];
      EXPECT_EQ(Slot(static_cast<int>(i)), "out" + std::to_string(i + 1) + "\xD1");
    }
    EXPECT_TRUE(shown.Values.Checked.at("Compression"));
    EXPECT_EQ(Slot(c.FlagSlot), "0");
    EXPECT_EQ(memory.allocs, c.FlagSlot + 1) << "writes exactly the action's slots";
    EXPECT_EQ(slots[c.FlagSlot + 1], nullptr) << "the slot after the action's is never written";
    dialogs = platform::ScriptedDialogs();
  }
}

// The line-reading action takes storage, password, stored file, line: the
// password box is the second slot, the stored-file box the third.
TEST_F(ParamDialogs, LineReadingDialogPutsPasswordSecondAndFileThird) {
  Fill({"store.vv", "secret", "notes.txt", "7", "0"});
  dialogs.QueueOk();
  EXPECT_EQ(nbEditAction(3, slots), 1);
  const auto& shown = dialogs.History().at(0);
  const std::string password = platform::Cp1251ToUtf8("\xCF\xE0\xF0\xEE\xEB\xFC:");
  // The box under the "Password:" label holds slot 2.
  const platform::ControlDesc* label = FindControl(shown.Form, "Label3");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->Caption, password);
  const platform::ControlDesc* edit2 = FindControl(shown.Form, "Edit2");
  EXPECT_EQ(edit2->Top, 60);
  EXPECT_EQ(shown.Values.Texts.at("Edit2"), "secret");
  EXPECT_EQ(shown.Values.Texts.at("Edit3"), "notes.txt");
  EXPECT_EQ(Slot(1), "secret");
  EXPECT_EQ(Slot(2), "notes.txt");
  EXPECT_EQ(Slot(3), "7");
}

TEST_F(ParamDialogs, OnlyTheTextOneChecksTheBoxAndConfirmingWritesZero) {
  const std::vector<std::pair<const char*, bool>> flags = {
      {"1", true}, {"0", false}, {"", false}, {"01", false}, {"1 ", false}, {"true", false}, {nullptr, false}};
  for (const auto& [flag, checked] : flags) {
    SCOPED_TRACE(flag ? flag : "<null>");
    for (int i = 0; i < 6; ++i) FreeHostString(&slots[i]);
    Fill({"s", "p"});
    if (flag) slots[2] = memory.Make(flag);
    dialogs = platform::ScriptedDialogs();
    dialogs.QueueOk();
    EXPECT_EQ(nbEditAction(4, slots), 1);
    EXPECT_EQ(dialogs.History().at(0).Values.Checked.at("Compression"), checked);
    EXPECT_EQ(Slot(2), checked ? "1" : "0");
  }
}

TEST_F(ParamDialogs, CheckingTheBoxWritesOne) {
  Fill({"s", "p", "0"});
  dialogs.QueueOk({}, {{"Compression", true}});
  EXPECT_EQ(nbEditAction(5, slots), 1);
  EXPECT_EQ(Slot(2), "1");
}

TEST_F(ParamDialogs, NullSlotsShowEmptyTextsAndGetBlocksOnOk) {
  dialogs.QueueOk();
  EXPECT_EQ(nbEditAction(2, slots), 1);
  for (const char* edit : {"Edit1", "Edit2", "Edit3", "Edit4"})
    EXPECT_EQ(dialogs.History().at(0).Values.Texts.at(edit), "") << edit;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Slot(i), "");
  EXPECT_EQ(Slot(4), "0");
  EXPECT_EQ(slots[5], nullptr);
}

// Cancel after typing: the same blocks with the same bytes, nothing
// allocated or freed, result false.
TEST_F(ParamDialogs, CancelAfterEditingLeavesTheSlotsByteIdentical) {
  for (int id = 1; id <= 5; ++id) {
    SCOPED_TRACE(id);
    for (int i = 0; i < 6; ++i) FreeHostString(&slots[i]);
    Fill({"a\xE0", "b", "c", "d", "1"});
    char* before[6];
    std::copy(std::begin(slots), std::end(slots), before);
    memory.allocs = memory.frees = 0;
    dialogs = platform::ScriptedDialogs();
    dialogs.Queue({{{"Edit1", "changed"}, {"Edit2", "changed"}}, {{"Compression", false}}, false});
    EXPECT_EQ(nbEditAction(id, slots), 0);
    EXPECT_EQ(memory.allocs, 0);
    EXPECT_EQ(memory.frees, 0);
    const std::vector<std::string> texts = {"a\xE0", "b", "c", "d", "1"};
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(slots[i], before[i]);
      EXPECT_EQ(Slot(i), texts[i]);
    }
  }
}

TEST_F(ParamDialogs, NoWindowSystemActsAsCancel) {
  platform::SetDialogs(&platform::CancellingDialogs());
  Fill({"a", "b", "c", "1"});
  EXPECT_EQ(nbEditAction(1, slots), 0);
  EXPECT_EQ(Slot(0), "a");
  EXPECT_EQ(memory.allocs, 0);
  platform::SetDialogs(&dialogs);
}

// The put dialog hides the folder row; the extract dialog shows it.
TEST_F(ParamDialogs, PutDialogHidesTheFolderRow) {
  dialogs.QueueOk({{"Edit4", "x"}});
  EXPECT_EQ(nbEditAction(1, slots), 1);
  ASSERT_EQ(dialogs.Errors().size(), 1u) << "the hidden box cannot be typed into";
  EXPECT_NE(dialogs.Errors()[0].find("Edit4 is hidden"), std::string::npos);
  dialogs = platform::ScriptedDialogs();
  for (int i = 0; i < 6; ++i) FreeHostString(&slots[i]);

  dialogs.QueueOk();
  ASSERT_EQ(nbEditAction(1, slots), 1);
  dialogs.QueueOk();
  ASSERT_EQ(nbEditAction(2, slots), 1);
  const auto& put = dialogs.History().at(0).Form;
  const auto& extract = dialogs.History().at(1).Form;
  for (const platform::ControlDesc& control : put.Controls) {
    const bool folderRow = control.Name == "Label4" || control.Name == "Edit4" || control.Name == "l3";
    EXPECT_EQ(control.Visible, !folderRow) << control.Name;
  }
  for (const platform::ControlDesc& control : extract.Controls) EXPECT_TRUE(control.Visible) << control.Name;
  EXPECT_EQ(dialogs.History().at(0).Values.Texts.count("Edit4"), 0u) << "the put dialog binds no slot to Edit4";
}

std::string ControlSummary(const platform::ControlDesc& c) {
  return c.Name + " " + std::to_string(static_cast<int>(c.Kind)) + " " + std::to_string(c.Left) + "," +
         std::to_string(c.Top) + "," + std::to_string(c.Width) + "," + std::to_string(c.Height) + " tab " +
         std::to_string(c.TabOrder);
}

// The forms as the library stores them: border, font, colour, captions
// turned into UTF-8, and the control table.
TEST(ParamForms, FormsMatchTheirControlTables) {
  const platform::FormDesc d1 = DSDialog1Form(), d2 = DSDialog2Form(), d3 = DSDialog3Form();
  for (const platform::FormDesc* form : {&d1, &d2, &d3}) {
    SCOPED_TRACE(form->Name);
    EXPECT_TRUE(form->FixedBorder);
    EXPECT_TRUE(form->Centered);
    EXPECT_EQ(form->FontName, "MS Sans Serif");
    EXPECT_EQ(form->FontHeight, -11);
    EXPECT_EQ(form->Color, platform::kButtonFaceColor);
    const platform::ControlDesc* ok = FindControl(*form, "BitBtn1");
    const platform::ControlDesc* cancel = FindControl(*form, "BitBtn2");
    ASSERT_TRUE(ok && cancel);
    EXPECT_TRUE(ok->Default && !ok->Cancel && ok->Kind == ControlKind::OkButton);
    EXPECT_TRUE(cancel->Cancel && !cancel->Default && cancel->Kind == ControlKind::CancelButton);
  }
  EXPECT_EQ(d1.Caption, "veVazevid Свойства");
  EXPECT_EQ(d2.Caption, "veVazevid Свойства");
  EXPECT_EQ(d3.Caption, "Свойства");
  EXPECT_EQ(std::make_pair(d1.ClientWidth, d1.ClientHeight), std::make_pair(346, 219));
  EXPECT_EQ(std::make_pair(d2.ClientWidth, d2.ClientHeight), std::make_pair(311, 171));
  EXPECT_EQ(std::make_pair(d3.ClientWidth, d3.ClientHeight), std::make_pair(311, 122));

  EXPECT_EQ(FindControl(d1, "Label1")->Caption, "Путь к файлу Хранилища или переменная:");
  EXPECT_EQ(FindControl(d1, "Label2")->Caption, "Путь к файлу который нужно добавить или извлечь:");
  EXPECT_EQ(FindControl(d1, "Label3")->Caption, "Пароль:");
  EXPECT_EQ(FindControl(d1, "Label4")->Caption, "Путь к папке в которую извлечь файл:");
  EXPECT_EQ(FindControl(d1, "Compression")->Caption, "Сжатый");
  EXPECT_EQ(FindControl(d2, "Label2")->Caption, "Текстовый файл внутри хранилища:");
  EXPECT_EQ(FindControl(d2, "Label4")->Caption, "№ строки:");
  EXPECT_EQ(FindControl(d2, "Compression")->Caption, "Сжатый");
  EXPECT_EQ(FindControl(d3, "Compression")->Caption, "Сжать");

  std::vector<std::string> got;
  for (const auto& c : d1.Controls) got.push_back(ControlSummary(c));
  const std::vector<std::string> want1 = {
      "Label1 0 4,6,0,0 tab -1",      "Edit1 1 2,22,339,21 tab 2",     "Label2 0 4,48,0,0 tab -1",
      "Edit2 1 2,64,339,21 tab 3",    "Label3 0 4,90,0,0 tab -1",      "Edit3 1 2,106,270,21 tab 4",
      "Compression 2 280,108,61,17 tab 6", "Label4 0 4,132,0,0 tab -1", "Edit4 1 4,148,337,21 tab 5",
      "Bevel1 3 0,176,341,0 tab -1",  "l1 0 2,180,0,0 tab -1",         "l2 0 0,196,0,0 tab -1",
      "l3 0 2,212,0,0 tab -1",        "BitBtn1 4 155,183,91,29 tab 0", "BitBtn2 5 247,183,94,29 tab 1"};
  EXPECT_EQ(got, want1);
  got.clear();
  for (const auto& c : d2.Controls) got.push_back(ControlSummary(c));
  const std::vector<std::string> want2 = {
      "Label1 0 4,6,0,0 tab -1",     "Edit1 1 2,22,306,21 tab 2",    "Label3 0 4,46,0,0 tab -1",
      "Edit2 1 4,60,231,21 tab 4",   "Compression 2 244,62,64,17 tab 6", "Label2 0 4,86,0,0 tab -1",
      "Edit3 1 4,102,230,21 tab 3",  "Label4 0 244,86,0,0 tab -1",   "Edit4 1 244,102,64,21 tab 5",
      "BitBtn1 4 117,138,94,29 tab 0", "BitBtn2 5 214,138,94,29 tab 1"};
  EXPECT_EQ(got, want2);
  got.clear();
  for (const auto& c : d3.Controls) got.push_back(ControlSummary(c));
  const std::vector<std::string> want3 = {
      "Label1 0 4,6,0,0 tab -1",   "Edit1 1 2,22,305,21 tab 2",       "Label3 0 4,46,0,0 tab -1",
      "Edit2 1 2,60,241,21 tab 3", "Compression 2 252,62,55,17 tab 4", "BitBtn1 4 116,88,94,29 tab 0",
      "BitBtn2 5 213,88,94,29 tab 1"};
  EXPECT_EQ(got, want3);
}

}  // namespace
