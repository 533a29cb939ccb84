// The parameter dialogs that nbEditAction shows, one function per form use.
// Each gets the host's slot array, shows its slots in the form and, when the
// user confirms, stores the edited texts back with SetHostString and returns
// true; on cancel it leaves every slot untouched and returns false.
//
// Not implemented yet: until the dialogs are written every one of these
// returns false without touching a slot.
#pragma once

// Put action (id 1): slots 1 to 4.
bool EditPutFileParams(char** slots);
// Extract action (id 2): slots 1 to 5.
bool EditExtractFileParams(char** slots);
// Line-reading action (id 3): slots 1 to 5.
bool EditLoadTxtLineParams(char** slots);
// Create and list actions (ids 4 and 5): slots 1 to 3.
bool EditStorageParams(char** slots);
