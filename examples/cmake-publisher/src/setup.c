/* The example product's setup program. The launcher starts it from the
   folder it unpacked the product into. A real one would install the
   product; this one appends what it was given and what lies beside it to
   the file named by HELLO_SETUP_RECORD, when that is set, and exits. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

static void RecordFilesBeside(FILE* record, const char* folder) {
  char pattern[MAX_PATH + 2];
  snprintf(pattern, sizeof pattern, "%s\\*", folder);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      fprintf(record, "file=%s\n", found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
  (void)instance, (void)previous, (void)show;
  char recordPath[MAX_PATH];
  if (!GetEnvironmentVariableA("HELLO_SETUP_RECORD", recordPath, sizeof recordPath)) return 0;
  char folder[MAX_PATH];
  GetModuleFileNameA(NULL, folder, sizeof folder);
  char* slash = strrchr(folder, '\\');
  if (slash) *slash = '\0';
  FILE* record = fopen(recordPath, "a");
  if (!record) return 1;
  fprintf(record, "arguments=%s\nfolder=%s\n", arguments, folder);
  RecordFilesBeside(record, folder);
  return fclose(record) == 0 ? 0 : 1;
}
