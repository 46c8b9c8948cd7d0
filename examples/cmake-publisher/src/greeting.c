/* The DLL the example program loads. */
__declspec(dllexport) const char* greeting(void) {
  return "Hello from greeting.dll";
}
