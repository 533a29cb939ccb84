// Parameter form TDSDialog2, for the line-reading action (id 3): storage,
// password, stored text file, line number and the compression flag.
#pragma once

#include "platform/Dialogs.h"

// The stored TDSDialog2 as a form description.
platform::FormDesc DSDialog2Form();

// Edit1 shows slot 1 (storage), Edit2 slot 2 (password), Edit3 slot 3 (the
// stored file), Edit4 slot 4 (line number), the check box slot 5. Contract as
// in UniEditDialog1.h.
bool ExecuteDSDialog2(char** slots);
