// Pixels read back from the screen and from the launcher's bitmaps, as
// 0x00RRGGBB values in rows from the top.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  bool Empty() const { return pixels.empty(); }
};

constexpr uint32_t Rgb(int r, int g, int b) {
  return (r << 16) | (g << 8) | b;
}

// The screen's pixels under `area` (screen coordinates), as the user sees them.
Image CaptureScreen(const RECT& area);
// Captures until two successive captures agree, so a surface that the
// platform has not yet flushed to the display is not taken for the window's.
Image CaptureSettled(const RECT& area);

// The client area of `window`, in screen coordinates.
RECT ClientAreaOnScreen(HWND window);

// Bitmap resource `id` of the program file at `path`, loaded as data only.
Image LoadBitmapResource(const std::string& path, int id);

// A BMP file as Windows loads it.
Image LoadBitmapFile(const std::string& path);

// The pixels of `bitmap`, read through `source`.
Image CaptureBitmap(HDC source, HBITMAP bitmap, int width, int height);

// A 24-bit BMP file.
bool SaveBmp(const Image& image, const std::string& path);

std::string FormatRgb(uint32_t colour);
