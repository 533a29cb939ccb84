/* The public face of the veVazevid plug-in: the seven entry points the
 * scripting host calls and the callbacks the host hands over. The plug-in
 * and the host program both include this header; it is plain C so any host
 * can use it.
 *
 * Calling convention on this platform:
 *  - Every value the host contract calls "32-bit" (integers, pointers,
 *    Booleans) is passed as the native C ABI integer or pointer declared
 *    here; no packing into 32 bits takes place.
 *  - A Boolean is a C int: 0 is false, 1 is true (bool-compatible).
 *  - Strings are zero-terminated 8-bit strings in the system code page
 *    (UTF-8 here). The plug-in's own fixed texts (title, author,
 *    description, action hints) are code page 1251 byte strings.
 *  - A string that changes owner is a host-memory block (GlobalAlloc with
 *    GMEM_FIXED semantics; the C library heap on this platform, so either
 *    side may free what the other allocated).
 *  - All calls come from one thread, one at a time.
 *  - No exception ever crosses an entry point: every export catches
 *    everything, including allocation failure, and turns it into its
 *    documented result (false for the Boolean exports, nothing otherwise).
 */
#ifndef VEVAZEVID_API_H_
#define VEVAZEVID_API_H_

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define VV_API_EXPORT __declspec(dllexport)
#else
#define VV_API_EXPORT __attribute__((visibility("default")))
#endif

/* Boolean as passed across the interface: 0 false, 1 true. */
typedef int vvBool;

/* Registers one action. `kinds` points at paramCount kind bytes (all 1
 * from this plug-in); lastKindIndex is paramCount - 1. The texts stay
 * owned by the plug-in and live as long as it is loaded. The result is
 * ignored. */
typedef vvBool (*vvAddActionProc)(int actionId, const char* name, const char* hint,
                                  const unsigned char* kinds, int lastKindIndex, int paramCount);

/* The second callback of nbRegisterPlugIn: kept, never called. */
typedef void (*vvReservedProc)(void);

/* Reads a script variable. The plug-in sets *slot to null before the call;
 * the host stores there a host-memory copy of the variable's value, or
 * leaves it null. The plug-in copies the text and frees the block. Variable
 * names include their square brackets, e.g. "[veVazevidError]". */
typedef void (*vvGetVarProc)(const char* name, char** slot);

/* Sets a script variable; a null value means the empty string. The host
 * copies the text; the plug-in keeps ownership of both arguments. */
typedef void (*vvSetVarProc)(const char* name, const char* value);

/* Keeps `opaque` (never used) and fills the three slots, in this order, with
 * host-memory copies of the title, the author line and the description; a
 * slot that already holds a block has it freed first. A null slot address is
 * skipped. Afterwards the blocks belong to the host. */
VV_API_EXPORT void nbInitPlugIn(void* opaque, char** title, char** author, char** description);

/* Keeps the four callbacks (a later call replaces them) and registers the
 * eight actions through addAction, in the order of ids 1, 2, 8, 3, 4, 5, 6,
 * 7. Must precede any nbExecAction. */
VV_API_EXPORT void nbRegisterPlugIn(vvAddActionProc addAction, vvReservedProc reserved, vvGetVarProc getVar,
                                    vvSetVarProc setVar);

/* Keep the value; never used. */
VV_API_EXPORT void nbRegisterScriptProcessor(void* opaque);
VV_API_EXPORT void nbRegisterInterfaceAccess(void* opaque);

/* Host notifications: takes whatever the host passes and returns at once. */
VV_API_EXPORT void nbMessage(int message, ...);

/* Shows the parameter dialog of an action. `slots` is the host's array of
 * host-memory string slots, at least as many as the action's parameter
 * count; the plug-in may replace a slot (freeing the old block). True when
 * the user confirmed; false when cancelled or for an unknown id, in which
 * case the slots are untouched. What the slots hold afterwards belongs to
 * the host. */
VV_API_EXPORT vvBool nbEditAction(int actionId, char** slots);

/* Runs an action. `params` holds one string pointer per registered
 * parameter; exactly that many are read, a null pointer reads as the empty
 * string, and nothing is written. Ids outside 1..8 give false without any
 * callback. Results for the script travel through the SetVar callback. */
VV_API_EXPORT vvBool nbExecAction(int actionId, const char* const* params);

/* Pointer types of the exports, for hosts that load the library at run
 * time. */
typedef void (*vvInitPlugInFn)(void*, char**, char**, char**);
typedef void (*vvRegisterPlugInFn)(vvAddActionProc, vvReservedProc, vvGetVarProc, vvSetVarProc);
typedef void (*vvRegisterOpaqueFn)(void*);
typedef void (*vvMessageFn)(int, ...);
typedef vvBool (*vvEditActionFn)(int, char**);
typedef vvBool (*vvExecActionFn)(int, const char* const*);

#ifdef __cplusplus
}
#endif

#endif /* VEVAZEVID_API_H_ */
