// Checks of the progress window's drawing, read back from the screen and
// compared with the launcher's own bitmaps. Each reports counts of pixels
// that differ from what the window must show; the host asserts on them.
#pragma once

#include <windows.h>

#include <string>

#include "pixels.h"

// The composed background: skin (bitmap 129), caption, border lines.
// `caption` is the caption text the window must paint. Returns the capture.
Image CheckErase(HWND window, const Image& skin, const std::wstring& caption);

// The bar at each of a set of positions on the range 0..200, against the
// fill bitmap (134), the white remainder and the black frame.
void CheckBar(HWND bar, const Image& fill);
