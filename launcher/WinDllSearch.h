#pragma once
// Protection against DLL planting: installers run from download folders, in
// which a hostile page may have left a DLL named like one the system loads by
// bare name (Windows searches the program's own folder first for those).

namespace plimo {

// The helper libraries that the system libraries the launcher uses (common
// controls and themes, the shell, the security and network libraries) load
// later by bare name; preloaded by full path, so that later loads find them
// already in the process. Null-terminated.
extern const wchar_t* const PRELOADED_SYSTEM_LIBRARIES[];

// First thing at start, before common controls are initialised: takes the
// current directory out of the DLL search and loads the libraries above from
// the system directory (a library the system lacks is skipped). The usual
// search is otherwise unchanged (the program's folder and PATH stay in it):
// jvm.dll's own imports are kept from them where it is loaded.
void hardenDllSearch();

// Loads the common controls (version 6, which the manifest selects) and
// initialises them; called after hardenDllSearch. The stub does not import
// the library: linked, it would be loaded with the process, and with it the
// helpers it imports by bare name, from the program's folder if one is
// planted there, before any code of ours could run.
void initCommonControlsLate();

}  // namespace plimo
