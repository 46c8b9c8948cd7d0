#include "launcher/winfx/library_search.h"

#include <commctrl.h>
#include <cstring>

namespace {

// GetProcAddress yields a generic pointer; go through void* to name its type.
template <typename Function>
Function LookUp(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace

void RestrictLibrarySearch() {
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  if (!kernel) return;
  typedef BOOL(WINAPI * SetDllDirectoryAFn)(LPCSTR);
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
  if (auto setDllDirectory = LookUp<SetDllDirectoryAFn>(kernel, "SetDllDirectoryA")) {
    setDllDirectory("");
  }
  if (auto setDefault = LookUp<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories")) {
    setDefault(0x00000800);  // LOAD_LIBRARY_SEARCH_SYSTEM32
  }
}

HMODULE LoadSystemLibrary(const char* fileName) {
  char path[MAX_PATH * 2];
  UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
  size_t nameLength = strlen(fileName);
  if (length == 0 || length >= MAX_PATH || length + 1 + nameLength + 1 > sizeof path) {
    return nullptr;
  }
  path[length] = '\\';
  memcpy(path + length + 1, fileName, nameLength + 1);
  return ::LoadLibraryA(path);
}

void InitProgressControlClass() {
  HMODULE controls = LoadSystemLibrary("comctl32.dll");
  if (!controls) return;
  typedef BOOL(WINAPI * InitCommonControlsExFn)(const INITCOMMONCONTROLSEX*);
  typedef void(WINAPI * InitCommonControlsFn)();
  if (auto initEx = LookUp<InitCommonControlsExFn>(controls, "InitCommonControlsEx")) {
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS};
    initEx(&classes);
  } else if (auto init = LookUp<InitCommonControlsFn>(controls, "InitCommonControls")) {
    init();  // versions before 4.70 register every class at once
  }
}
