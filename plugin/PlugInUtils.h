// Strings handed to the host: each is a zero-terminated copy in a host-memory
// block (GlobalAlloc with GMEM_FIXED semantics, platform::HostMemory()), so
// that the host can free it. Used by the entry points and the dialogs.
#pragma once

#include <string>

// Frees the block in *slot, if any, then stores a new block holding `text`
// and a terminating zero (length + 1 bytes). REQUIRES: slot is not null.
// When no memory can be had the slot is left null and std::bad_alloc is
// thrown, so the host never keeps a freed pointer.
void SetHostString(char** slot, const std::string& text);

// Frees the block in *slot, if any, and sets the slot to null.
// REQUIRES: slot is not null.
void FreeHostString(char** slot);
