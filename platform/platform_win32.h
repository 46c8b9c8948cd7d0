// The Windows seam's calls on wide names inside a held directory, for
// qwpack.exe, which converts a package's names from the package's own code
// page rather than the system's.
#pragma once

#include <windows.h>

#include <cstdio>

FILE* Win32OpenFileInWide(HANDLE directory, const wchar_t* name, const char* mode);
int Win32CreateDirectoryInWide(HANDLE directory, const wchar_t* name);
int Win32DeleteFileInWide(HANDLE directory, const wchar_t* name);
