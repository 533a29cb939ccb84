// The window backend of the dialog runtime on FLTK 1.3: builds a real window
// from a form description (pixel positions as described, tab order as the
// order of navigation, OK on Enter, Cancel on Esc, fixed border, centred) and
// runs it modally. Without a display (DISPLAY unset or the X server not
// reachable) every dialog reports "cancelled".
//
// Linking this unit into a program (the vv_platform_fltk object library)
// makes it the default dialog backend of that program.
#pragma once

#include "platform/Dialogs.h"

namespace platform {

IDialogs& FltkDialogs();

}  // namespace platform
