#include "launcher/winfx/string.h"

#include <cstring>

namespace {

// Appends `text` at `length`, keeping room for the terminator.
size_t AppendTruncated(char* out, size_t length, const char* text) {
  while (*text && length + 1 < CString::kCapacity) out[length++] = *text++;
  return length;
}

}  // namespace

CString& CString::operator=(const char* text) {
  size_t length = AppendTruncated(m_text, 0, text ? text : "");
  m_text[length] = '\0';
  return *this;
}

void CString::Format(const char* format, const char* argument) {
  size_t length = 0;
  for (const char* p = format; *p && length + 1 < kCapacity; p++) {
    if (p[0] == '%' && p[1] == 's') {
      length = AppendTruncated(m_text, length, argument ? argument : "");
      p++;
    } else if (p[0] == '%' && p[1] == '%') {
      m_text[length++] = '%';
      p++;
    } else {
      m_text[length++] = *p;
    }
  }
  m_text[length] = '\0';
}

int CString::GetLength() const {
  return static_cast<int>(strlen(m_text));
}
