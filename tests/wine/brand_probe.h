// A launcher's brand as Windows itself reads it: the icon (ExtractIconExW)
// against the publisher's .ico file, the manifest's run level (the
// activation context), and the caption painted into the window's title
// strip. The version strings are version_probe.h's.
#pragma once

#include <windows.h>

#include <string>

#include "pixels.h"

// icon.count, icon.large and icon.small: "SIZExSIZE"; icon.large_mismatches
// and icon.small_mismatches: pixels (colour and transparency) that differ
// from the same size's image of `iconFile` as Windows loads it. With a
// `picture` path, the large icon drawn on black and on white is saved there.
void ReportIcon(const wchar_t* program, const wchar_t* iconFile, const std::string& picture);

// manifest.run_level: asInvoker, highestAvailable, requireAdministrator,
// or none.
void ReportRunLevel(const wchar_t* program);

// caption.mismatches: pixels of the title strip's caption area in `shot`
// that differ from `caption` drawn over `skin` as the window draws it;
// caption.other_mismatches the same for `other`, to show the comparison
// tells names apart.
void CheckCaptionText(const Image& shot, const Image& skin, const std::wstring& caption,
                      const std::wstring& other);
