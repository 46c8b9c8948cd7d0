#include "platform/code_page.h"

#include <iconv.h>

namespace {

bool Convert(const char* to, const char* from, const std::string& text, std::string* converted) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string out(text.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* outPtr = &out[0];
  size_t outLeft = out.size();
  bool ok = iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) &&
            iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (!ok) return false;
  out.resize(out.size() - outLeft);
  *converted = out;
  return true;
}

std::string CodePageName(unsigned codePage) {
  return "CP" + std::to_string(codePage);
}

}  // namespace

bool Utf8ToCodePage(const std::string& text, unsigned codePage, std::string* converted) {
  return Convert(CodePageName(codePage).c_str(), "UTF-8", text, converted);
}

bool CodePageToUtf8(const std::string& text, unsigned codePage, std::string* converted) {
  return Convert("UTF-8", CodePageName(codePage).c_str(), text, converted);
}
