#pragma once

// Creates base + "\" + relativePath and every directory between the two.
// Returns non-zero when the final creation succeeded; otherwise 0, with the
// platform's last error being that of the final creation (183 when the
// directory exists already). Directories above `base` are never created:
// the first prefix attempted is `base` itself. The scan for separators skips
// the trail bytes of double-byte characters. Returns 0 without creating
// anything when the composed path does not fit in 520 bytes.
int CreateNestedDirectory(const char* base, const char* relativePath);
