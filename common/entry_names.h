// What an entry header's names may hold. The launcher runs elevated, so a
// name must never lead outside the workspace.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kPathCapacity = 520;  // every path buffer, terminator included

// True when the 100-byte field holds its terminating NUL.
bool IsNameFieldTerminated(const char* field);

// A relative directory: levels separated by single backslashes, the empty
// string for the workspace itself. Refused: an empty level (leading,
// trailing or doubled separator), a level that ends in a dot or a space
// ("..", ".", "name.", which Windows would write under another name), '/',
// ':', control characters. The trail byte of a double-byte character is
// never taken for a separator.
bool IsSafeSubdirectory(const char* subdirectory);

// One level as above, non-empty, with no separator at all.
bool IsSafeFileName(const char* fileName);

// Appends `separator` (when non-zero) and `part` to the NUL-terminated
// `path`; returns false, leaving `path` cut at capacity - 1, when the result
// does not fit in `capacity` bytes.
bool AppendPathPart(char* path, size_t capacity, char separator, const char* part);
