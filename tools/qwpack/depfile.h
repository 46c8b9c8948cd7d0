// A depfile: the rule a build tool (make, ninja, CMake's DEPFILE) reads to
// learn every file an output was made from.
#pragma once

#include <string>
#include <vector>

// `target: prerequisite...` in the syntax gcc -M writes: spaces and '#'
// escaped with a backslash, '$' doubled, one prerequisite per continued line,
// in the order given. On Windows backslashes become slashes, which every
// reader takes for separators. Returns an empty string, or the first path
// such a file cannot carry (a line break; on Linux a backslash, which
// readers take for a separator).
std::string DepfileText(const std::string& target, const std::vector<std::string>& prerequisites,
                        std::string* text);

// DepfileText written to `path`. Returns an empty string or what failed.
std::string WriteDepfile(const std::string& path, const std::string& target,
                         const std::vector<std::string>& prerequisites);
