#include "plugin/ActionTable.h"

// The hints are code page 1251 bytes written as octal escapes; the readable
// text is given in the comment above each one.
namespace {

// Добавить файл в хранилище.
constexpr char kHintPutFile[] =
    "\304\356\341\340\342\350\362\374 \364\340\351\353 \342 \365\360\340\355\350\353\350\371\345.";

// Извлечь файл из хранилища.
constexpr char kHintExtractFile[] =
    "\310\347\342\353\345\367\374 \364\340\351\353 \350\347 \365\360\340\355\350\353\350\371\340.";

// Удалить файл из хранилища. Синтаксис: vqDeleteFile "Файл хранилища" "Имя файла" "Пароль" "0=не сжат 1=сжат"
constexpr char kHintDeleteFile[] =
    "\323\344\340\353\350\362\374 \364\340\351\353 \350\347 \365\360\340\355\350\353\350\371\340. "
    "\321\350\355\362\340\352\361\350\361: vqDeleteFile \"\324\340\351\353 "
    "\365\360\340\355\350\353\350\371\340\" "
    "\"\310\354\377 \364\340\351\353\340\" \"\317\340\360\356\353\374\" \"0=\355\345 \361\346\340\362 "
    "1=\361\346\340\362\"";

// Прочитать строку из текстового файла в хранилище. Возвращает текст в переменную [vqLineFromStorageTXT].
constexpr char kHintLoadTxtLine[] =
    "\317\360\356\367\350\362\340\362\374 \361\362\360\356\352\363 \350\347 "
    "\362\345\352\361\362\356\342\356\343\356 \364\340\351\353\340 \342 "
    "\365\360\340\355\350\353\350\371\345. "
    "\302\356\347\342\360\340\371\340\345\362 \362\345\352\361\362 \342 "
    "\357\345\360\345\354\345\355\355\363\376 "
    "[vqLineFromStorageTXT].";

// Создать новый файл хранилища.
constexpr char kHintCreateStream[] =
    "\321\356\347\344\340\362\374 \355\356\342\373\351 \364\340\351\353 "
    "\365\360\340\355\350\353\350\371\340.";

// Получить список всех файлов внутри хранилища.
constexpr char kHintGetFileList[] =
    "\317\356\353\363\367\350\362\374 \361\357\350\361\356\352 \342\361\345\365 \364\340\351\353\356\342 "
    "\342\355\363\362\360\350 \365\360\340\355\350\353\350\371\340.";

// Загрузить текст в переменную [veVazevidVar]. Синтаксис: vqLoadVarfromStream "Файл хранилища" "Имя файла"
// "Пароль" "0=не сжат 1=сжат"   (the hint spells the action with a small "f")
constexpr char kHintLoadVar[] =
    "\307\340\343\360\363\347\350\362\374 \362\345\352\361\362 \342 \357\345\360\345\354\345\355\355\363\376 "
    "[veVazevidVar]. \321\350\355\362\340\352\361\350\361: vqLoadVarfromStream \"\324\340\351\353 "
    "\365\360\340\355\350\353\350\371\340\" \"\310\354\377 \364\340\351\353\340\" "
    "\"\317\340\360\356\353\374\" "
    "\"0=\355\345 \361\346\340\362 1=\361\346\340\362\"";

// Сохранить текст из переменной [veVazevidVar] в файл в хранилище. Синтаксис: vqSaveVarToStream "Файл
// хранилища" "Имя файла" "Пароль" "0=не сжат 1=сжат"
constexpr char kHintSaveVar[] =
    "\321\356\365\360\340\355\350\362\374 \362\345\352\361\362 \350\347 "
    "\357\345\360\345\354\345\355\355\356\351 "
    "[veVazevidVar] \342 \364\340\351\353 \342 \365\360\340\355\350\353\350\371\345. "
    "\321\350\355\362\340\352\361\350\361: vqSaveVarToStream \"\324\340\351\353 "
    "\365\360\340\355\350\353\350\371\340\" \"\310\354\377 \364\340\351\353\340\" "
    "\"\317\340\360\356\353\374\" "
    "\"0=\355\345 \361\346\340\362 1=\361\346\340\362\"";

constexpr std::array<ActionInfo, kActionCount> kActions = {{
    {1, "vqPutFile", kHintPutFile, 4},
    {2, "vqExtractFile", kHintExtractFile, 5},
    {8, "vqDeleteFile", kHintDeleteFile, 4},
    {3, "vqLoadTXTLineFromStream", kHintLoadTxtLine, 5},
    {4, "vqCreateStream", kHintCreateStream, 3},
    {5, "veVazevidGetFileList", kHintGetFileList, 3},
    {6, "vqLoadVarFromStream", kHintLoadVar, 4},
    {7, "vqSaveVarToStream", kHintSaveVar, 4},
}};

}  // namespace

const char kPlugInTitle[] = "veVazevid [1.09]";
const char kPlugInAuthor[] = "veVazevid storage plug-in, made by the veVazevid developers";
// Сохранить файлы в одном файле хранилища.
const char kPlugInDescription[] =
    "\321\356\365\360\340\355\350\362\374 \364\340\351\353\373 \342 \356\344\355\356\354 "
    "\364\340\351\353\345 "
    "\365\360\340\355\350\353\350\371\340.";

const std::array<ActionInfo, kActionCount>& ActionTable() { return kActions; }

const ActionInfo* FindAction(int32_t id) {
  for (const ActionInfo& row : kActions) {
    if (row.Id == id) return &row;
  }
  return nullptr;
}
