// Placeholder dialogs: each behaves as a cancelled dialog. The real dialog
// units replace this file.
#include "plugin/EditDialogs.h"

bool EditPutFileParams(char**) { return false; }
bool EditExtractFileParams(char**) { return false; }
bool EditLoadTxtLineParams(char**) { return false; }
bool EditStorageParams(char**) { return false; }
