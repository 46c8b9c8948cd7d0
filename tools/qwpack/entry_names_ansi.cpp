#include "tools/qwpack/entry_names_ansi.h"

#include <cstring>

#include "common/container.h"
#include "common/entry_names.h"
#include "platform/code_page.h"

namespace {

// Names Windows reserves for devices, whatever follows a dot.
const char* const kDeviceNames[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4",
                                    "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",
                                    "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};

bool IsDeviceName(const std::string& level) {
  std::string stem = level.substr(0, level.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  for (const char* device : kDeviceNames)
    if (stem == device) return true;
  return false;
}

// Why Windows would refuse or change one UTF-8 level, or "".
std::string WindowsLevelProblem(const std::string& level) {
  if (level.empty()) return "has an empty name";
  for (unsigned char c : level) {
    if (c < 0x20 || c == 0x7F) return "holds a control character";
    if (strchr("<>:\"/\\|?*", c))
      return std::string("holds '") + char(c) + "', which Windows does not allow in names";
  }
  if (level.back() == '.' || level.back() == ' ')
    return "ends with a dot or a space, which Windows drops";
  if (IsDeviceName(level)) return "is a device name on Windows";
  return "";
}

}  // namespace

bool FitsLauncherPath(size_t subdirectoryBytes, size_t fileNameBytes, size_t workspaceBytes) {
  size_t separators = subdirectoryBytes ? 2 : 1;
  return workspaceBytes + separators + subdirectoryBytes + fileNameBytes + 1 <=
         kLauncherPathCapacity;
}

namespace {

size_t Utf16Units(const std::string& utf8) {
  size_t units = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) units++;  // a sequence begins
    if (c >= 0xF0) units++;           // beyond the BMP: a surrogate pair
  }
  return units;
}

size_t AnsiUnits(const std::string& ansi, unsigned codePage) {
  std::string utf8;
  return CodePageToUtf8(ansi, codePage, &utf8) ? Utf16Units(utf8) : ansi.size();
}

}  // namespace

size_t PackagePathUnits(const std::string& subdirectory, const std::string& fileName,
                        unsigned codePage) {
  size_t separator = subdirectory.empty() ? 0 : 1;
  return AnsiUnits(subdirectory, codePage) + separator + AnsiUnits(fileName, codePage);
}

std::string TypicalPathWarning(size_t packagePathUnits) {
  return "its path takes " + std::to_string(packagePathUnits) +
         " characters on Windows (UTF-16 units), over the " + std::to_string(kTypicalPathBudget) +
         " that stay within Windows' " + std::to_string(kWindowsPathLimit) +
         " characters behind a typical workspace (" + std::to_string(kTypicalWorkspaceLength) +
         " characters: C:\\Users\\<20-character name>\\AppData\\Local\\Temp\\QW_XXXXXXXX); "
         "the launcher would fail to write it on most machines";
}

std::string MakeEntryNames(const std::vector<std::string>& levels, unsigned codePage,
                           EntryNames* names) {
  names->subdirectory.clear();
  names->fileName.clear();
  for (size_t i = 0; i < levels.size(); i++) {
    std::string problem = WindowsLevelProblem(levels[i]);
    if (!problem.empty()) return "'" + levels[i] + "' " + problem;
    std::string ansi;
    if (!Utf8ToCodePage(levels[i], codePage, &ansi))
      return "'" + levels[i] + "' has characters code page " + std::to_string(codePage) +
             " cannot hold";
    if (i + 1 == levels.size()) {
      names->fileName = ansi;
    } else {
      if (!names->subdirectory.empty()) names->subdirectory += '\\';
      names->subdirectory += ansi;
    }
  }
  if (names->fileName.size() >= kNameFieldSize)
    return "its name takes " + std::to_string(names->fileName.size()) +
           " bytes in the code page; an entry holds at most 99";
  if (names->subdirectory.size() >= kNameFieldSize)
    return "its folder path takes " + std::to_string(names->subdirectory.size()) +
           " bytes in the code page; an entry holds at most 99";
  if (!IsSafeSubdirectory(names->subdirectory.c_str()) || !IsSafeFileName(names->fileName.c_str()))
    return "its name is one the launcher refuses (a level of dots and spaces only, or a "
           "separator hidden in a double-byte character)";
  if (!FitsLauncherPath(names->subdirectory.size(), names->fileName.size()))
    return "its path is too long for the launcher's 520-byte paths";
  return "";
}
