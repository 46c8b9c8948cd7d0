// Turning host file names (UTF-8) into an entry's names (ANSI bytes in the
// package's code page), and refusing those the launcher or Windows could not
// use.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The launcher writes an entry to workspace + "\" + subdirectory + "\" +
// fileName in a 520-byte buffer, terminator included. Its workspace is the
// temporary-files path, which GetTempPathA returns with its trailing
// separator in at most MAX_PATH + 1 = 261 bytes, followed by "QW_" and eight
// hexadecimal digits. (A fixed drive's root, the other possible base, is
// shorter.) So the longest workspace is 272 bytes.
constexpr size_t kLauncherPathCapacity = 520;
constexpr size_t kLongestTempPath = 261;
constexpr size_t kWorkspaceNameLength = 11;  // "QW_" and 8 hex digits
constexpr size_t kLongestWorkspace = kLongestTempPath + kWorkspaceNameLength;

// True when the launcher can hold the entry's output path for any
// workspace of up to `workspaceBytes`.
bool FitsLauncherPath(size_t subdirectoryBytes, size_t fileNameBytes,
                      size_t workspaceBytes = kLongestWorkspace);

// The launcher's ANSI file calls take at most MAX_PATH = 260 characters,
// terminator included, counted as Windows counts them: in UTF-16 units,
// after the call has converted the path from the code page. A typical
// workspace, C:\Users\<20-character name>\AppData\Local\Temp\QW_XXXXXXXX,
// takes 60 and its separator one more, which leaves 198 units for the
// entry's package path.
constexpr size_t kWindowsPathLimit = 259;  // MAX_PATH without the terminator
constexpr size_t kTypicalWorkspaceLength = 60;
constexpr size_t kTypicalPathBudget = kWindowsPathLimit - kTypicalWorkspaceLength - 1;

// UTF-16 units of subdirectory + "\" + fileName (no separator for the top),
// both ANSI in `codePage`. Bytes the code page does not define count one
// unit each, as many as Windows' conversion can make of them at most.
size_t PackagePathUnits(const std::string& subdirectory, const std::string& fileName,
                        unsigned codePage);

// False when the entry would pass MAX_PATH behind a typical workspace.
inline bool FitsTypicalWindowsPath(size_t packagePathUnits) {
  return packagePathUnits <= kTypicalPathBudget;
}

// "its path takes N characters ..., over the 198 ...": the warning for such a path.
std::string TypicalPathWarning(size_t packagePathUnits);

struct EntryNames {
  std::string subdirectory;  // levels joined by '\', empty for the top
  std::string fileName;
};

// `levels` is a path relative to the packed folder, in UTF-8, its last level
// the file's name. Fills `names` and returns an empty string, or returns why
// the path cannot go into a package: a level Windows would refuse or alter
// (reserved characters, a trailing dot or space, a device name such as NUL),
// a character the code page lacks, a name over 99 bytes, one the launcher
// refuses, or a path too long for the launcher. The lead bytes of the code
// page are those PosixSetCodePage last chose.
std::string MakeEntryNames(const std::vector<std::string>& levels, unsigned codePage,
                           EntryNames* names);
