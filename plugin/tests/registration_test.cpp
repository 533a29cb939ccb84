// nbInitPlugIn, nbRegisterPlugIn and the other registration exports: the
// action table as the host sees it, the plug-in texts, and the host slots.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "plugin/ActionTable.h"
#include "plugin/veVazevidApi.h"

namespace {

using vvtest::CountingMemory;
using vvtest::Utf8To1251;

struct Registered {
  int id;
  std::string name;
  std::string hint;
  std::vector<unsigned char> kinds;
  int lastKindIndex;
  int paramCount;
};
std::vector<Registered> registered;

vvBool RecordAction(int id, const char* name, const char* hint, const unsigned char* kinds, int lastKindIndex,
                    int paramCount) {
  registered.push_back({id, name, hint, std::vector<unsigned char>(kinds, kinds + lastKindIndex + 1),
                        lastKindIndex, paramCount});
  return 0;  // the plug-in ignores the result
}
void Reserved() { ADD_FAILURE() << "the second callback must never be called"; }
void GetVar(const char*, char**) { ADD_FAILURE() << "registration reads no variable"; }
void SetVar(const char*, const char*) { ADD_FAILURE() << "registration sets no variable"; }

class Registration : public vvtest::PlugInFixture {
 protected:
  void SetUp() override {
    PlugInFixture::SetUp();
    registered.clear();
  }
};

TEST_F(Registration, RegistersTheEightActionsInTableOrder) {
  nbRegisterPlugIn(RecordAction, Reserved, GetVar, SetVar);
  struct Expected {
    int id;
    const char* name;
    int count;
    const char* hintUtf8;
  };
  const Expected expected[] = {
      {1, "vqPutFile", 4, "Добавить файл в хранилище."},
      {2, "vqExtractFile", 5, "Извлечь файл из хранилища."},
      {8, "vqDeleteFile", 4,
       "Удалить файл из хранилища. Синтаксис: vqDeleteFile \"Файл хранилища\" \"Имя файла\" \"Пароль\" "
       "\"0=не сжат 1=сжат\""},
      {3, "vqLoadTXTLineFromStream", 5,
       "Прочитать строку из текстового файла в хранилище. Возвращает текст в переменную "
       "[vqLineFromStorageTXT]."},
      {4, "vqCreateStream", 3, "Создать новый файл хранилища."},
      {5, "veVazevidGetFileList", 3, "Получить список всех файлов внутри хранилища."},
      {6, "vqLoadVarFromStream", 4,
       "Загрузить текст в переменную [veVazevidVar]. Синтаксис: vqLoadVarfromStream \"Файл хранилища\" "
       "\"Имя файла\" \"Пароль\" \"0=не сжат 1=сжат\""},
      {7, "vqSaveVarToStream", 4,
       "Сохранить текст из переменной [veVazevidVar] в файл в хранилище. Синтаксис: vqSaveVarToStream "
       "\"Файл хранилища\" \"Имя файла\" \"Пароль\" \"0=не сжат 1=сжат\""},
  };
  ASSERT_EQ(registered.size(), std::size(expected));
  for (size_t i = 0; i < registered.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    const Registered& r = registered[i];
    EXPECT_EQ(r.id, expected[i].id);
    EXPECT_EQ(r.name, expected[i].name);
    EXPECT_EQ(r.paramCount, expected[i].count);
    EXPECT_EQ(r.lastKindIndex, expected[i].count - 1);
    EXPECT_EQ(r.kinds, std::vector<unsigned char>(static_cast<size_t>(expected[i].count), 1));
    EXPECT_EQ(r.hint, Utf8To1251(expected[i].hintUtf8));
  }
}

TEST_F(Registration, KeepsTheCallbacksAndALaterCallReplacesThem) {
  nbRegisterPlugIn(RecordAction, Reserved, GetVar, SetVar);
  EXPECT_EQ(Host().AddAction, &RecordAction);
  EXPECT_EQ(Host().Reserved, &Reserved);
  EXPECT_EQ(Host().GetVar, &GetVar);
  EXPECT_EQ(Host().SetVar, &SetVar);
  nbRegisterPlugIn(nullptr, nullptr, nullptr, nullptr);  // no AddActionProc: nothing to register
  EXPECT_EQ(registered.size(), 8u);
  EXPECT_EQ(Host().AddAction, nullptr);
  EXPECT_EQ(Host().SetVar, nullptr);
}

TEST_F(Registration, OpaqueValuesAreKept) {
  int a = 0, b = 0, c = 0;
  nbRegisterScriptProcessor(&a);
  nbRegisterInterfaceAccess(&b);
  nbInitPlugIn(&c, nullptr, nullptr, nullptr);
  nbMessage(1, 2, "anything", nullptr);
  EXPECT_EQ(Host().ScriptProcessor, &a);
  EXPECT_EQ(Host().InterfaceAccess, &b);
  EXPECT_EQ(Host().InitValue, &c);
}

TEST_F(Registration, InitFillsTheThreeTextsInOrder) {
  CountingMemory memory;
  platform::ScopedService<platform::IHostMemory> use(platform::SetHostMemory, memory);
  char* title = nullptr;
  char* author = nullptr;
  char* description = nullptr;
  nbInitPlugIn(nullptr, &title, &author, &description);
  ASSERT_NE(title, nullptr);
  ASSERT_NE(author, nullptr);
  ASSERT_NE(description, nullptr);
  EXPECT_STREQ(title, "veVazevid [1.09]");
  const std::string authorLine = author;
  EXPECT_FALSE(authorLine.empty());
  EXPECT_EQ(authorLine.find_first_of("\r\n"), std::string::npos) << "the author text is one line";
  EXPECT_EQ(std::string(description), Utf8To1251("Сохранить файлы в одном файле хранилища."));
  const std::vector<std::string> order = {"alloc 17", "alloc " + std::to_string(authorLine.size() + 1),
                                          "alloc " + std::to_string(std::string(description).size() + 1)};
  EXPECT_EQ(memory.events, order);
  EXPECT_EQ(memory.live.size(), 3u);
}

TEST_F(Registration, InitFreesEarlierBlocksBeforeStoringTheNewTexts) {
  CountingMemory memory;
  platform::ScopedService<platform::IHostMemory> use(platform::SetHostMemory, memory);
  char* title = memory.Make("old title");
  char* author = memory.Make("old author");
  char* description = memory.Make("old description");
  nbInitPlugIn(nullptr, &title, &author, &description);
  EXPECT_EQ(memory.frees, 3);
  ASSERT_EQ(memory.events.size(), 6u);
  EXPECT_EQ(memory.events[0], "free old title");
  EXPECT_EQ(memory.events[2], "free old author");
  EXPECT_EQ(memory.events[4], "free old description");
  EXPECT_STREQ(title, "veVazevid [1.09]");
  EXPECT_EQ(memory.live.size(), 3u);
  EXPECT_TRUE(memory.IsLive(title) && memory.IsLive(author) && memory.IsLive(description));
}

TEST_F(Registration, InitOutOfMemoryLeavesTheFailedSlotNullAndThrowsNothing) {
  CountingMemory memory;
  platform::ScopedService<platform::IHostMemory> use(platform::SetHostMemory, memory);
  memory.failAt = 2;
  char* title = nullptr;
  char* author = memory.Make("old author");
  char* description = nullptr;
  nbInitPlugIn(nullptr, &title, &author, &description);
  EXPECT_STREQ(title, "veVazevid [1.09]");
  EXPECT_EQ(author, nullptr);
  EXPECT_EQ(description, nullptr);
  EXPECT_EQ(memory.live.size(), 1u);
}

TEST(ActionTableRows, FindActionKnowsExactlyTheIdsOneToEight) {
  for (int id = -2; id <= 10; ++id) {
    const ActionInfo* row = FindAction(id);
    if (id >= 1 && id <= 8) {
      ASSERT_NE(row, nullptr);
      EXPECT_EQ(row->Id, id);
    } else {
      EXPECT_EQ(row, nullptr) << id;
    }
  }
}

}  // namespace
