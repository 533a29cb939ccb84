// The eight storage actions. Each call opens the container, works on at most
// one stored file through a TSFSFileStream, sets its result code for the
// script and releases the stream and then the container before it returns;
// nothing stays open between two calls.
//
// Errors inside the container and the streams are exceptions; every action
// turns the ones its steps name into a "vqST-" code. Anything else (a failure
// while walking the directory, running out of memory) ends the action with
// the result false, so no exception ever reaches nbExecAction's caller.
#include "plugin/Actions.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "container/SingleFileSystem.h"
#include "platform/Files.h"
#include "plugin/HostSlots.h"
#include "plugin/TextLines.h"

namespace {

// Host variables.
const char kErrorVar[] = "[veVazevidError]";
const char kLastErrorVar[] = "[LastError]";
const char kLineVar[] = "[vqLineFromStorageTXT]";
const char kListVar[] = "[veVazevidListDir]";
const char kTextVar[] = "[veVazevidVar]";

// Result codes.
const char kSuccess[] = "vqST-000";
const char kStorageMissing[] = "vqST-001";
const char kStreamFailed[] = "vqST-002";
const char kNoSuchFile[] = "vqST-003";
const char kReadFailed[] = "vqST-004";
const char kOpenFailed[] = "vqST-005";
const char kLineOpenFailed[] = "vqST-006";
const char kDeleteFailed[] = "vqST-008";
const char kStorageExists[] = "vqST-010";
const char kCreateFailed[] = "vqST-011";

// Container and stream modes.
constexpr uint16_t kModeRead = 0;
constexpr uint16_t kModeWrite = 1;
constexpr uint16_t kModeReadWrite = 2;

// Largest single transfer between a text and a stream.
constexpr int64_t kMaxTransfer = int64_t{1} << 30;

// The compression flag "1" asks for deflate (method 2) in a new storage;
// any other text for no compression.
uint8_t MethodFromFlag(const std::string& flag) { return flag == "1" ? 2 : 0; }

// The file-name part of a path: the text after the last "\", "/" or ":".
// Forward slashes count as separators too, since both Windows and this
// platform accept them in disk paths.
std::string FileNamePart(const std::string& path) {
  const size_t at = path.find_last_of("\\/:");
  return at == std::string::npos ? path : path.substr(at + 1);
}

// True when the storage file exists on disk; otherwise sets "vqST-001".
bool StorageExists(const std::string& storagePath) {
  if (platform::Files().Exists(storagePath)) return true;
  SetHostVar(kErrorVar, kStorageMissing);
  return false;
}

// Opens (or, with kModeCreate, creates) the container with empty password
// question and answer. When that raises, sets `failCode` in
// "[veVazevidError]" and returns null.
std::unique_ptr<TSingleFileSystem> OpenStorage(const std::string& storagePath, uint16_t mode,
                                               const std::string& password, const std::string& compression,
                                               const char* failCode) {
  try {
    return std::make_unique<TSingleFileSystem>(storagePath, mode, password, "", "",
                                               MethodFromFlag(compression));
  } catch (...) {
    SetHostVar(kErrorVar, failCode);
    return nullptr;
  }
}

// A stream over stored file `name` with no password of its own and method 0,
// so that a new stored file takes the container's default method.
std::unique_ptr<TSFSFileStream> OpenStream(TSingleFileSystem& storage, const std::string& name,
                                           uint16_t mode) {
  return std::make_unique<TSFSFileStream>(&storage, name, mode, "", "", "", 0);
}

// The stream's whole content, from its start to its end, as text lines.
// A short read raises the stream's read error.
std::vector<std::string> LoadLines(TStream& stream) {
  stream.SetPosition(0);
  const int64_t size = stream.GetSize();
  std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
  for (int64_t done = 0; done < static_cast<int64_t>(text.size());) {
    const int64_t chunk = std::min<int64_t>(static_cast<int64_t>(text.size()) - done, kMaxTransfer);
    stream.ReadBuffer(text.data() + done, static_cast<int32_t>(chunk));
    done += chunk;
  }
  return SplitTextLines(text);
}

// Writes the lines' text (CR LF after every line) at the stream's position.
// A short write raises the stream's write error.
void SaveLines(TStream& stream, const std::vector<std::string>& lines) {
  const std::string text = JoinTextLines(lines);
  for (int64_t done = 0; done < static_cast<int64_t>(text.size());) {
    const int64_t chunk = std::min<int64_t>(static_cast<int64_t>(text.size()) - done, kMaxTransfer);
    stream.WriteBuffer(text.data() + done, static_cast<int32_t>(chunk));
    done += chunk;
  }
}

// Runs an action body; an error the body does not turn into a code ends the
// action with false.
template <typename Body>
bool Guarded(Body&& body) {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return false;
  }
}

}  // namespace

// In every action below the container is declared before the stream, so the
// stream is released first; the result code is always set while both still
// exist.

bool vqPutFile(const std::string& storagePath, const std::string& diskFilePath, const std::string& password,
               const std::string& compression) {
  return Guarded([&] {
    SetHostVar(kErrorVar, "");
    if (!StorageExists(storagePath)) return false;
    const std::string storedName = FileNamePart(diskFilePath);
    std::unique_ptr<TSingleFileSystem> storage =
        OpenStorage(storagePath, kModeReadWrite, password, compression, kOpenFailed);
    if (!storage) return false;
    std::unique_ptr<TSFSFileStream> stream;
    try {
      const uint16_t mode = storage->FileExists(storedName) ? kModeWrite : kModeCreate;
      stream = OpenStream(*storage, storedName, mode);
      stream->LoadFromFile(diskFilePath);
    } catch (...) {
      SetHostVar(kErrorVar, kStreamFailed);
      return false;
    }
    SetHostVar(kErrorVar, kSuccess);
    return true;
  });
}

bool vqExtractFile(const std::string& storagePath, const std::string& storedName, const std::string& password,
                   const std::string& destinationFolder, const std::string& compression) {
  return Guarded([&] {
    SetHostVar(kErrorVar, "");
    if (!StorageExists(storagePath)) return false;
    const std::string name = FileNamePart(storedName);
    std::unique_ptr<TSingleFileSystem> storage =
        OpenStorage(storagePath, kModeRead, password, compression, kOpenFailed);
    if (!storage) return false;
    // The two failures of the extraction itself go to "[LastError]".
    if (!storage->FileExists(name)) {
      SetHostVar(kLastErrorVar, kNoSuchFile);
      return false;
    }
    std::unique_ptr<TSFSFileStream> stream;
    try {
      stream = OpenStream(*storage, name, kModeRead);
      // "\" is a path separator for the platform's files as for Windows.
      std::string target = destinationFolder;
      if (target.empty() || (target.back() != '\\' && target.back() != '/')) target += '\\';
      target += name;
      stream->SaveToFile(target);
    } catch (...) {
      SetHostVar(kLastErrorVar, kReadFailed);
      return false;
    }
    SetHostVar(kErrorVar, kSuccess);
    return true;
  });
}

bool vqLoadTXTLineFromStream(const std::string& storagePath, const std::string& password,
                             const std::string& storedName, const std::string& lineNumber,
                             const std::string& compression) {
  return Guarded([&] {
    SetHostVar(kErrorVar, "");
    if (!StorageExists(storagePath)) return false;
    const std::string name = FileNamePart(storedName);
    std::unique_ptr<TSingleFileSystem> storage =
        OpenStorage(storagePath, kModeRead, password, compression, kLineOpenFailed);
    if (!storage) return false;
    if (!storage->FileExists(name)) {
      SetHostVar(kErrorVar, kNoSuchFile);
      return false;
    }
    std::unique_ptr<TSFSFileStream> stream;
    try {
      stream = OpenStream(*storage, name, kModeRead);
      const std::vector<std::string> lines = LoadLines(*stream);
      const std::optional<int32_t> number = ParseInteger(lineNumber);
      // Line 0 is the first; a negative number means the first line too.
      const int64_t index = number ? std::max<int64_t>(*number, 0) : -1;
      if (index < 0 || index >= static_cast<int64_t>(lines.size())) {
        SetHostVar(kErrorVar, kReadFailed);
        return false;
      }
      SetHostVar(kLineVar, lines[static_cast<size_t>(index)]);
    } catch (...) {
      SetHostVar(kErrorVar, kReadFailed);
      return false;
    }
    SetHostVar(kErrorVar, kSuccess);
    return true;
  });
}

bool vqCreateStream(const std::string& storagePath, const std::string& password,
                    const std::string& compression) {
  return Guarded([&] {
    SetHostVar(kErrorVar, "");
    if (platform::Files().Exists(storagePath)) {
      SetHostVar(kErrorVar, kStorageExists);
      return false;
    }
    // A container file that a failed creation had begun is left on disk.
    std::unique_ptr<TSingleFileSystem> storage =
        OpenStorage(storagePath, kModeCreate, password, compression, kCreateFailed);
    if (!storage) return false;
    SetHostVar(kErrorVar, kSuccess);
    return true;
  });
}

bool veVazevidGetFileList(const std::string& storagePath, const std::string& password,
                          const std::string& compression) {
  return Guarded([&] {
    SetHostVar(kErrorVar, "");
    if (!StorageExists(storagePath)) return false;
    std::unique_ptr<TSingleFileSystem> storage =
        OpenStorage(storagePath, kModeRead, password, compression, kOpenFailed);
    if (!storage) return false;
    // The entries directly under the root: "*.*" matches every name and the
    // attribute mask 63 excludes none. A failure while walking raises and
    // ends the action with false, the list variable untouched.
    std::string text;
    TSFSSearchRec rec;
    if (storage->FindFirst("*.*", 63, rec) == 0) {
      struct SearchCloser {
        TSingleFileSystem& storage;
        TSFSSearchRec& rec;
        ~SearchCloser() { storage.FindClose(rec); }
      } closer{*storage, rec};
      do {
        if ((rec.Attr & 0x10) != 0) text += "[DIR]";
        text += rec.Name;
        text += "\r\n";
      } while (storage->FindNext(rec) == 0);
    }
    SetHostVar(kListVar, text);
    return true;
  });
}

bool vqLoadVarFromStream(const std::string& storagePath, const std::string& storedName,
                         const std::string& password, const std::string& compression) {
  return Guarded([&] {
    SetHostVar(kErrorVar, "");
    SetHostVar(kTextVar, "");
    if (!StorageExists(storagePath)) return false;
    std::unique_ptr<TSingleFileSystem> storage =
        OpenStorage(storagePath, kModeRead, password, compression, kOpenFailed);
    if (!storage) return false;
    std::unique_ptr<TSFSFileStream> stream;
    try {
      // No stored file of that name leaves the variable empty, and succeeds.
      if (storage->FileExists(storedName)) {
        stream = OpenStream(*storage, storedName, kModeRead);
        SetHostVar(kTextVar, JoinTextLines(LoadLines(*stream)));
      }
    } catch (...) {
      SetHostVar(kErrorVar, kStreamFailed);
      return false;
    }
    SetHostVar(kErrorVar, kSuccess);
    return true;
  });
}

bool vqSaveVarToStream(const std::string& storagePath, const std::string& storedName,
                       const std::string& password, const std::string& compression) {
  return Guarded([&] {
    SetHostVar(kErrorVar, "");
    if (!StorageExists(storagePath)) return false;
    std::unique_ptr<TSingleFileSystem> storage =
        OpenStorage(storagePath, kModeReadWrite, password, compression, kOpenFailed);
    if (!storage) return false;
    std::unique_ptr<TSFSFileStream> stream;
    try {
      const std::string text = GetHostVar(kTextVar);
      // Create mode replaces a stored file of that name with a new one.
      stream = OpenStream(*storage, storedName, kModeCreate);
      SaveLines(*stream, SplitTextLines(text));
    } catch (...) {
      SetHostVar(kErrorVar, kStreamFailed);
      return false;
    }
    SetHostVar(kErrorVar, kSuccess);
    return true;
  });
}

bool vqDeleteFile(const std::string& storagePath, const std::string& storedName, const std::string& password,
                  const std::string& compression) {
  return Guarded([&] {
    SetHostVar(kErrorVar, "");
    if (!StorageExists(storagePath)) return false;
    std::unique_ptr<TSingleFileSystem> storage =
        OpenStorage(storagePath, kModeReadWrite, password, compression, kDeleteFailed);
    if (!storage) return false;
    try {
      // A name that is not stored is not an error: the result is not looked at.
      storage->DeleteFile(storedName);
    } catch (...) {
      SetHostVar(kErrorVar, kDeleteFailed);
      return false;
    }
    SetHostVar(kErrorVar, kSuccess);
    return true;
  });
}
