// Small stateless helpers shared by the directory, the free-space maps and the
// container: matching a name against a search mask, splitting a path into its
// directory part and last name, stamping the current time, filling and
// clearing a directory item, and addressing bits in a bit array.
#pragma once

#include <cstdint>
#include <string>

#include "engine/DirItem.h"
#include "platform/Clock.h"

// Whether `name` matches `mask`. "*" matches any run of characters, except
// that a "*" followed by more mask never matches once the name has ended (so
// "a*c" does not match "a"; a final "*" does match), "?" any one character,
// and the whole mask "*.*" matches every name, with or without a dot. With
// `caseFold`, two characters whose codes are exactly 32 apart also match
// (Latin and single-byte Cyrillic letter case). A null string counts as empty.
bool MatchMask(const char* name, const char* mask, bool caseFold);

// Splits `path` at its last "/" or "\" that is not the final character.
// `dir` gets everything before the separator (empty for the root), `name`
// everything after it without one trailing separator. Returns false, leaving
// the outputs untouched, when the path is null or has no such separator.
bool SplitPath(const char* path, std::string& dir, std::string& name);
bool SplitPath(const std::string& path, std::string& dir, std::string& name);

// The current time as the directory stores it: local now, cut to the DOS
// two-second resolution, as a UTC FILETIME. Reads the time through
// platform::Clock().
void GetCurrentFileTime(platform::FileTimeValue& fileTime);

// Copies the first min(length, 259) bytes of `name` into item.FileName,
// followed by a zero byte. The rest of the field is left as it was.
void SetItemName(const std::string& name, TDIRItem& item);

// Sets all 512 bytes of the item to zero.
void ClearItem(TDIRItem& item);

// Bit `index` of a bit array is bit (index mod 8), least significant first, of
// byte (index div 8). REQUIRES: index >= 0 and inside the array.
void SetBit(void* array, int32_t index, bool value);
bool GetBit(const void* array, int32_t index);
