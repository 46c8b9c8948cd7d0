// The launcher's workspaces in the temporary-files directory, as the driver
// finds them: the ones that appeared while it watched.
#pragma once

#include <set>
#include <string>

std::string TemporaryFilesPath();  // ends with a separator
std::set<std::string> ListWorkspaces();

// The one workspace in `after` that is not in `before`; empty when there is
// not exactly one.
std::string NewWorkspace(const std::set<std::string>& before, const std::set<std::string>& after);

bool FileExists(const std::string& path);
// The path under the platform's own file system (Wine's), for the host.
std::string UnixPathOf(const std::string& path);

// Reports where the run unpacked and what the setup program recorded:
// waits up to `waitMilliseconds` for its record to appear.
void ReportWorkspace(const std::string& workspace, unsigned waitMilliseconds);
