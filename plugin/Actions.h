// The eight storage actions that nbExecAction runs, one function per action
// with its parameters in registration order. Each reports to the script
// through host variables (HostSlots.h) and returns true on success.
//
// Not implemented yet: until the storage actions are written every one of
// these returns false and sets no variable.
#pragma once

#include <string>

bool vqPutFile(const std::string& storagePath, const std::string& diskFilePath, const std::string& password,
               const std::string& compression);
bool vqExtractFile(const std::string& storagePath, const std::string& storedName, const std::string& password,
                   const std::string& destinationFolder, const std::string& compression);
bool vqLoadTXTLineFromStream(const std::string& storagePath, const std::string& password,
                             const std::string& storedName, const std::string& lineNumber,
                             const std::string& compression);
bool vqCreateStream(const std::string& storagePath, const std::string& password,
                    const std::string& compression);
bool veVazevidGetFileList(const std::string& storagePath, const std::string& password,
                          const std::string& compression);
bool vqLoadVarFromStream(const std::string& storagePath, const std::string& storedName,
                         const std::string& password, const std::string& compression);
bool vqSaveVarToStream(const std::string& storagePath, const std::string& storedName,
                       const std::string& password, const std::string& compression);
bool vqDeleteFile(const std::string& storagePath, const std::string& storedName, const std::string& password,
                  const std::string& compression);
