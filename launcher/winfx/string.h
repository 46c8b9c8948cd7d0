// CString: a fixed-capacity narrow string, enough for the launcher's
// captions and messages. No heap: a message is a path (at most 519 bytes)
// set into a short pattern, so 640 bytes always hold it.
#pragma once

#include <cstddef>

class CString {
 public:
  static constexpr size_t kCapacity = 640;  // terminator included

  CString() { m_text[0] = '\0'; }
  CString(const char* text) { *this = text; }  // NOLINT: converts like the framework's
  CString& operator=(const char* text);

  // Replaces every "%s" in `format` by `argument` and "%%" by "%". Text that
  // does not fit is cut at the capacity, never past it.
  void Format(const char* format, const char* argument);

  int GetLength() const;
  operator const char*() const { return m_text; }

 private:
  char m_text[kCapacity];
};
