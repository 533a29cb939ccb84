// Parameter form TDSDialog1, for the put action (id 1) and the extract action
// (id 2), and the form runner the three dialog units share.
//
// Each form is kept as data: its controls with positions, tab order and code
// page 1251 captions. A dialog function builds the form from that data (the
// captions converted to UTF-8 for display), copies the host's slots into the
// edit boxes unchanged, and shows the form modally through
// platform::Dialogs(). On OK it stores every edit box back into its slot with
// SetHostString and "1" or "0" into the flag slot, and returns true; on any
// other close it leaves every slot untouched and returns false.
#pragma once

#include <string>
#include <vector>

#include "platform/Dialogs.h"

// One control of a stored form; the caption is code page 1251.
struct FormControlRow {
  platform::ControlKind Kind;
  const char* Name;
  const char* Caption;
  int Left, Top, Width, Height;
  int TabOrder;
};

// Builds the description of a form from its stored rows: the common
// dialog border, centring, font "MS Sans Serif" -11 and button-face colour;
// captions converted to UTF-8; BitBtn1 the default and BitBtn2 the cancel
// button.
platform::FormDesc BuildParamForm(const char* name, const char* caption1251, int clientWidth, int clientHeight,
                                  const std::vector<FormControlRow>& rows);

// Which slot (0-based) each edit box shows, and the slot of the check box
// "Compression".
struct SlotBinding {
  std::vector<std::pair<std::string, int>> Edits;
  int FlagSlot = -1;
};

// Runs steps 2 to 8 of every parameter dialog over `form` (already an own
// copy, with any controls hidden). REQUIRES: slots holds every bound slot.
bool RunParamForm(const platform::FormDesc& form, const SlotBinding& binding, char** slots);

// The stored TDSDialog1 as a form description.
platform::FormDesc DSDialog1Form();

// Put action: Edit1..Edit3 show slots 1 to 3, the check box slot 4; the
// folder row (Label4, Edit4, l3) is hidden.
bool ExecuteDSDialog1Put(char** slots);
// Extract action: Edit1..Edit4 show slots 1 to 4, the check box slot 5.
bool ExecuteDSDialog1Extract(char** slots);
