// Who may touch the workspace: the launcher's token as the launcher judges
// it, and the workspace's DACL read back from the file system.
#pragma once

#include <windows.h>

#include <string>

// token.user (SID string) and token.elevated: elevated, or a member of the
// Administrators alias, which is when the launcher shuts its user out.
void ReportProcessToken(HANDLE process);

// workspace.dacl.protected, workspace.dacl.aces and one
// workspace.dacl.ace<i>=<type>:<SID>:<mask>:<flags> line per entry.
void ReportDirectoryAcl(const std::string& path);
