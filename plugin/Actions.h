// The eight storage actions that nbExecAction runs, one function per action
// with its parameters in registration order (note that the line-reading
// action takes the password second and the file name third). Each one opens
// the storage for the length of the call, reports to the script through host
// variables (HostSlots.h): "[veVazevidError]" and, per action,
// "[LastError]", "[vqLineFromStorageTXT]", "[veVazevidListDir]" or
// "[veVazevidVar]", and returns true on success. None of them throws: an
// error without a code of its own ends the action with false.
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
