#include "tools/qwpack/depfile.h"

#include <cstdio>

#include "tools/qwpack/host/host_files.h"

namespace {

bool EscapePath(const std::string& path, std::string* out) {
  for (char c : path) {
    if (c == '\n' || c == '\r') return false;
    if (c == '\\' && kHostSeparator != '\\') return false;
    if (c == '\\') c = '/';
    if (c == ' ' || c == '#') *out += '\\';
    if (c == '$') *out += '$';
    *out += c;
  }
  return true;
}

}  // namespace

std::string DepfileText(const std::string& target, const std::vector<std::string>& prerequisites,
                        std::string* text) {
  text->clear();
  if (!EscapePath(target, text)) return target + " cannot be named in a depfile";
  *text += ':';
  for (const std::string& prerequisite : prerequisites) {
    *text += " \\\n  ";
    if (!EscapePath(prerequisite, text)) return prerequisite + " cannot be named in a depfile";
  }
  *text += '\n';
  return "";
}

std::string WriteDepfile(const std::string& path, const std::string& target,
                         const std::vector<std::string>& prerequisites) {
  std::string text;
  std::string problem = DepfileText(target, prerequisites, &text);
  if (!problem.empty()) return problem;
  FILE* file = HostOpenFile(path, "wb");
  if (!file) return "cannot write the depfile " + path + ": " + HostErrorText();
  bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
  written = fclose(file) == 0 && written;
  if (!written) return "cannot write the depfile " + path + ": " + HostErrorText();
  return "";
}
