#include "brand_probe.h"

#include <cstdio>
#include <vector>

#include "report.h"

namespace {

constexpr int kCaptionX = 30;
constexpr int kCaptionY = 5;
constexpr int kCaptionHeight = 21;  // the title strip below row 5

// The icon drawn on black and on white: colour and transparency both show.
Image DrawIcon(HICON icon, int size) {
  Image both;
  both.width = size * 2;
  both.height = size;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size * 2;
  info.bmiHeader.biHeight = -size;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  RECT white = {size, 0, size * 2, size};
  FillRect(memory, &white, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  DrawIconEx(memory, size, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  GdiFlush();
  const uint32_t* pixels = static_cast<const uint32_t*>(bits);
  both.pixels.assign(pixels, pixels + size * size * 2);
  for (uint32_t& pixel : both.pixels) pixel &= 0x00FFFFFF;
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return both;
}

void CompareIcon(const char* key, HICON extracted, const wchar_t* iconFile,
                 const std::string& picture) {
  ICONINFO info = {};
  BITMAP facts = {};
  if (!extracted || !GetIconInfo(extracted, &info)) return Report(key, "none");
  GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof facts, &facts);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  int size = facts.bmWidth;
  Report(key, std::to_string(size) + "x" + std::to_string(size));
  HICON wanted =
      static_cast<HICON>(LoadImageW(nullptr, iconFile, IMAGE_ICON, size, size, LR_LOADFROMFILE));
  long mismatches = -1;
  if (wanted) {
    Image seen = DrawIcon(extracted, size), expected = DrawIcon(wanted, size);
    if (!picture.empty()) Report("icon.saved", SaveBmp(seen, picture));
    mismatches = 0;
    for (size_t i = 0; i < seen.pixels.size(); i++)
      mismatches += seen.pixels[i] != expected.pixels[i];
    DestroyIcon(wanted);
  }
  Report((std::string(key) + "_mismatches").c_str(), mismatches);
}

// The caption as the window draws it: Arial 9 points, white, transparent,
// its cell's top-left at (30,5), over the skin.
Image DrawCaption(const Image& skin, int width, const std::wstring& caption) {
  Image drawn;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, kCaptionY + kCaptionHeight);
  HGDIOBJ previousBitmap = SelectObject(memory, bitmap);
  for (int y = 0; y < kCaptionY + kCaptionHeight; y++)
    for (int x = 0; x < width; x++) {
      uint32_t p = skin.At(x, y);
      SetPixelV(memory, x, y, RGB(p >> 16, (p >> 8) & 0xFF, p & 0xFF));
    }
  LOGFONTW font = {};
  font.lfHeight = -MulDiv(90, GetDeviceCaps(screen, LOGPIXELSY), 720);
  lstrcpyW(font.lfFaceName, L"Arial");
  HFONT handle = CreateFontIndirectW(&font);
  HGDIOBJ previousFont = SelectObject(memory, handle);
  SetTextColor(memory, RGB(255, 255, 255));
  SetBkMode(memory, TRANSPARENT);
  TextOutW(memory, kCaptionX, kCaptionY, caption.c_str(), static_cast<int>(caption.size()));
  SelectObject(memory, previousFont);
  DeleteObject(handle);
  SelectObject(memory, previousBitmap);
  drawn = CaptureBitmap(memory, bitmap, width, kCaptionY + kCaptionHeight);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return drawn;
}

long CaptionMismatches(const Image& shot, const Image& drawn) {
  long mismatches = 0;
  for (int y = kCaptionY; y < drawn.height && y < shot.height; y++)
    for (int x = kCaptionX; x < drawn.width - 1 && x < shot.width - 1; x++)
      mismatches += shot.At(x, y) != drawn.At(x, y);
  return mismatches;
}

}  // namespace

void ReportIcon(const wchar_t* program, const wchar_t* iconFile, const std::string& picture) {
  Report("icon.count", static_cast<long long>(ExtractIconExW(program, -1, nullptr, nullptr, 0)));
  // One size per call: Wine's two-size call takes the small icon from the
  // large one's image, scaled, where Windows picks the small image.
  HICON large = nullptr, small = nullptr;
  ExtractIconExW(program, 0, &large, nullptr, 1);
  ExtractIconExW(program, 0, nullptr, &small, 1);
  CompareIcon("icon.large", large, iconFile, picture);
  CompareIcon("icon.small", small, iconFile, "");
  if (large) DestroyIcon(large);
  if (small) DestroyIcon(small);
}

void ReportRunLevel(const wchar_t* program) {
  ACTCTXW context = {};
  context.cbSize = sizeof context;
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = program;
  context.lpResourceName = MAKEINTRESOURCEW(1);
  HANDLE handle = CreateActCtxW(&context);
  if (handle == INVALID_HANDLE_VALUE) return Report("manifest.run_level", "none");
  ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level = {};
  SIZE_T written = 0;
  const char* name = "unknown";
  if (QueryActCtxW(0, handle, nullptr, RunlevelInformationInActivationContext, &level, sizeof level,
                   &written)) {
    if (level.RunLevel == ACTCTX_RUN_LEVEL_AS_INVOKER) name = "asInvoker";
    if (level.RunLevel == ACTCTX_RUN_LEVEL_HIGHEST_AVAILABLE) name = "highestAvailable";
    if (level.RunLevel == ACTCTX_RUN_LEVEL_REQUIRE_ADMIN) name = "requireAdministrator";
  }
  Report("manifest.run_level", name);
  ReleaseActCtx(handle);
}

void CheckCaptionText(const Image& shot, const Image& skin, const std::wstring& caption,
                      const std::wstring& other) {
  if (shot.Empty() || skin.width < shot.width || skin.height < kCaptionY + kCaptionHeight) return;
  Report("caption.mismatches", CaptionMismatches(shot, DrawCaption(skin, shot.width, caption)));
  Report("caption.other_mismatches", CaptionMismatches(shot, DrawCaption(skin, shot.width, other)));
}
