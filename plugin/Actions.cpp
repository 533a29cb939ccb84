// Placeholder bodies of the storage actions: each reports failure and touches
// no variable. The real actions replace this file.
#include "plugin/Actions.h"

bool vqPutFile(const std::string&, const std::string&, const std::string&, const std::string&) {
  return false;
}
bool vqExtractFile(const std::string&, const std::string&, const std::string&, const std::string&,
                   const std::string&) {
  return false;
}
bool vqLoadTXTLineFromStream(const std::string&, const std::string&, const std::string&, const std::string&,
                             const std::string&) {
  return false;
}
bool vqCreateStream(const std::string&, const std::string&, const std::string&) { return false; }
bool veVazevidGetFileList(const std::string&, const std::string&, const std::string&) { return false; }
bool vqLoadVarFromStream(const std::string&, const std::string&, const std::string&, const std::string&) {
  return false;
}
bool vqSaveVarToStream(const std::string&, const std::string&, const std::string&, const std::string&) {
  return false;
}
bool vqDeleteFile(const std::string&, const std::string&, const std::string&, const std::string&) {
  return false;
}
