// Where the program's libraries come from. The program may start elevated
// from a download folder; a library planted beside it, or in the current
// directory, must never be loaded in place of the system's own.
#pragma once

#include <windows.h>

// Takes the application directory and the current directory out of the
// library search: the system directory only, where the platform can do so
// (SetDefaultDllDirectories), and at least no current directory
// (SetDllDirectoryA("")). Both are looked up at run time, since older
// systems lack them.
void RestrictLibrarySearch();

// Loads `fileName` from the system directory by its full path.
HMODULE LoadSystemLibrary(const char* fileName);

// Registers the progress control class (comctl32, from the system directory).
void InitProgressControlClass();
