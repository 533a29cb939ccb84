// Parameter form TDSDialog3, shared by the create (id 4) and list (id 5)
// actions: storage, password and the compression flag.
#pragma once

#include "platform/Dialogs.h"

// The stored TDSDialog3 as a form description.
platform::FormDesc DSDialog3Form();

// Edit1 shows slot 1, Edit2 slot 2, the check box slot 3. Contract as in
// UniEditDialog1.h.
bool ExecuteDSDialog3(char** slots);
