#include "pixels.h"

#include <cstdio>

Image CaptureBitmap(HDC source, HBITMAP bitmap, int width, int height) {
  Image image;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // rows from the top
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  image.pixels.resize(static_cast<size_t>(width) * height);
  if (!GetDIBits(source, bitmap, 0, height, image.pixels.data(), &info, DIB_RGB_COLORS)) {
    image.pixels.clear();
    return image;
  }
  for (uint32_t& pixel : image.pixels) pixel &= 0x00FFFFFF;
  image.width = width;
  image.height = height;
  return image;
}

namespace {

Image ReadLoadedBitmap(HBITMAP bitmap) {
  Image image;
  if (!bitmap) return image;
  BITMAP facts = {};
  GetObjectA(bitmap, sizeof facts, &facts);
  HDC screen = GetDC(nullptr);
  image = CaptureBitmap(screen, bitmap, facts.bmWidth, facts.bmHeight);
  ReleaseDC(nullptr, screen);
  DeleteObject(bitmap);
  return image;
}

}  // namespace

Image LoadBitmapFile(const std::string& path) {
  return ReadLoadedBitmap(static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                                                          LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
}

Image CaptureScreen(const RECT& area) {
  int width = area.right - area.left;
  int height = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  SelectObject(memory, previous);
  Image image = CaptureBitmap(memory, bitmap, width, height);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return image;
}

Image CaptureSettled(const RECT& area) {
  Image last = CaptureScreen(area);
  for (int attempt = 0; attempt < 20; attempt++) {
    Sleep(150);
    Image next = CaptureScreen(area);
    if (next.pixels == last.pixels) return next;
    last = next;
  }
  return last;
}

RECT ClientAreaOnScreen(HWND window) {
  RECT client = {};
  GetClientRect(window, &client);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  OffsetRect(&client, origin.x, origin.y);
  return client;
}

Image LoadBitmapResource(const std::string& path, int id) {
  Image image;
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) return image;
  image = ReadLoadedBitmap(static_cast<HBITMAP>(
      LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  FreeLibrary(module);
  return image;
}

bool SaveBmp(const Image& image, const std::string& path) {
  if (image.Empty()) return false;
  int rowBytes = (image.width * 3 + 3) & ~3;
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER info = {};
  info.biSize = sizeof info;
  info.biWidth = image.width;
  info.biHeight = image.height;  // rows from the bottom, as every reader expects
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = rowBytes * image.height;
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + info.biSizeImage;
  FILE* out = fopen(path.c_str(), "wb");
  if (!out) return false;
  fwrite(&file, sizeof file, 1, out);
  fwrite(&info, sizeof info, 1, out);
  std::vector<uint8_t> row(rowBytes, 0);
  for (int y = image.height - 1; y >= 0; y--) {
    for (int x = 0; x < image.width; x++) {
      uint32_t pixel = image.At(x, y);
      row[x * 3] = static_cast<uint8_t>(pixel);
      row[x * 3 + 1] = static_cast<uint8_t>(pixel >> 8);
      row[x * 3 + 2] = static_cast<uint8_t>(pixel >> 16);
    }
    fwrite(row.data(), 1, row.size(), out);
  }
  return fclose(out) == 0;
}

std::string FormatRgb(uint32_t colour) {
  char text[32];
  snprintf(text, sizeof text, "%u,%u,%u", (colour >> 16) & 0xFF, (colour >> 8) & 0xFF,
           colour & 0xFF);
  return text;
}
