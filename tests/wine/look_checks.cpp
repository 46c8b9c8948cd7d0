#include "look_checks.h"

#include <commctrl.h>

#include <vector>

#include "report.h"

namespace {

constexpr uint32_t kBorderColour = Rgb(48, 48, 48);
constexpr uint32_t kWhite = Rgb(255, 255, 255);
constexpr uint32_t kBlack = Rgb(0, 0, 0);
constexpr int kCaptionX = 30;
constexpr int kCaptionY = 5;

struct ChildRects {
  HWND parent;
  std::vector<RECT> rects;  // client coordinates of the parent
};

BOOL CALLBACK CollectChild(HWND child, LPARAM context) {
  ChildRects* children = reinterpret_cast<ChildRects*>(context);
  if (!IsWindowVisible(child)) return TRUE;
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, children->parent, reinterpret_cast<POINT*>(&rect), 2);
  children->rects.push_back(rect);
  return TRUE;
}

bool InsideAny(const std::vector<RECT>& rects, int x, int y) {
  POINT point = {x, y};
  for (const RECT& rect : rects)
    if (PtInRect(&rect, point)) return true;
  return false;
}

// Where the caption may draw: from (30,5), the extent of its Latin part in
// "Arial" 9 points, plus an em and a bit for each character that Arial
// lacks (its glyph comes from whichever font the platform falls back to),
// with a pixel of slack for anti-aliasing.
RECT CaptionBox(const std::wstring& caption) {
  HDC screen = GetDC(nullptr);
  LOGFONTW font = {};
  font.lfHeight = -MulDiv(90, GetDeviceCaps(screen, LOGPIXELSY), 720);
  lstrcpyW(font.lfFaceName, L"Arial");
  HFONT handle = CreateFontIndirectW(&font);
  HGDIOBJ previous = SelectObject(screen, handle);
  std::wstring latin;
  int fallbackCharacters = 0;
  for (wchar_t c : caption) {
    if (c < 0x80)
      latin += c;
    else
      fallbackCharacters++;
  }
  SIZE extent = {};
  GetTextExtentPoint32W(screen, latin.c_str(), static_cast<int>(latin.size()), &extent);
  SelectObject(screen, previous);
  DeleteObject(handle);
  ReleaseDC(nullptr, screen);
  int em = -font.lfHeight;
  int width = extent.cx + fallbackCharacters * (em + em / 4);
  int height = fallbackCharacters ? em + em / 2 : extent.cy;
  return RECT{kCaptionX - 1, kCaptionY - 1, kCaptionX + width + 2, kCaptionY + height + 1};
}

void ReportFirst(const char* key, int x, int y, uint32_t seen, uint32_t wanted) {
  Report(key, std::to_string(x) + "," + std::to_string(y) + " seen " + FormatRgb(seen) +
                  " wanted " + FormatRgb(wanted));
}

// The label is transparent: its pixels are the skin's except under glyphs.
void CheckLabel(HWND window, const Image& shot, const Image& skin) {
  HWND label = FindWindowExW(window, nullptr, L"Static", nullptr);
  if (!label) return;
  RECT rect;
  GetWindowRect(label, &rect);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
  long total = 0, onSkin = 0;
  for (int y = rect.top; y < rect.bottom && y < shot.height && y < skin.height; y++)
    for (int x = rect.left; x < rect.right && x < shot.width && x < skin.width; x++) {
      total++;
      onSkin += shot.At(x, y) == skin.At(x, y);
    }
  Report("label.skin_share_percent", total ? onSkin * 100 / total : 0);
}

int ExpectedFill(int channelWidth, int position) {
  // MulDiv(channelWidth, position, 200): rounded, halves away from zero.
  long long product = static_cast<long long>(channelWidth) * position;
  return static_cast<int>((2 * product + 200) / 400);
}

// Counts the gradient columns from column 1: each must equal the fill
// bitmap's column row for row.
int MeasuredFill(const Image& shot, const Image& fill) {
  int columns = 0;
  for (int x = 1; x < shot.width - 1; x++) {
    for (int y = 1; y < shot.height - 1; y++)
      if (y - 1 >= fill.height || shot.At(x, y) != fill.At(0, y - 1)) return columns;
    columns++;
  }
  return columns;
}

uint32_t ExpectedBarPixel(const Image& fill, int width, int height, int fillWidth, int x, int y) {
  if (x == 0 || y == 0 || x == width - 1 || y == height - 1) return kBlack;
  if (x <= fillWidth) return y - 1 < fill.height ? fill.At(0, y - 1) : kWhite;
  return kWhite;
}

}  // namespace

Image CheckErase(HWND window, const Image& skin, const std::wstring& caption) {
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_ERASENOW | RDW_UPDATENOW);
  Image shot = CaptureSettled(ClientAreaOnScreen(window));
  int width = shot.width, height = shot.height;
  Report("erase.client", std::to_string(width) + "x" + std::to_string(height));
  Report("skin.size", std::to_string(skin.width) + "x" + std::to_string(skin.height));
  if (shot.Empty() || skin.width < width || skin.height < height) {
    Report("erase.comparable", 0);
    return shot;
  }
  Report("erase.comparable", 1);

  long rightColumn = 0, bottomRow = 0;
  for (int y = 0; y < height; y++) rightColumn += shot.At(width - 1, y) != kBorderColour;
  for (int x = 1; x < width; x++) bottomRow += shot.At(x, height - 1) != kBorderColour;
  Report("erase.right_column_mismatches", rightColumn);
  Report("erase.bottom_row_mismatches", bottomRow);
  Report("erase.corner_is_skin", shot.At(0, height - 1) == skin.At(0, height - 1));

  ChildRects children = {window, {}};
  EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
  RECT captionBox = CaptionBox(caption);
  long skinMismatches = 0, captionChanged = 0, captionWhite = 0;
  bool firstReported = false;
  for (int y = 0; y < height - 1; y++) {
    for (int x = 0; x < width - 1; x++) {
      if (InsideAny(children.rects, x, y)) continue;
      uint32_t seen = shot.At(x, y), wanted = skin.At(x, y);
      POINT point = {x, y};
      if (PtInRect(&captionBox, point)) {
        captionChanged += seen != wanted;
        captionWhite += seen == kWhite;
      } else if (seen != wanted) {
        if (!firstReported) ReportFirst("erase.first_skin_mismatch", x, y, seen, wanted);
        firstReported = true;
        skinMismatches++;
      }
    }
  }
  Report("erase.skin_mismatches", skinMismatches);
  Report("erase.caption_changed_pixels", captionChanged);
  Report("erase.caption_white_pixels", captionWhite);
  CheckLabel(window, shot, skin);
  return shot;
}

void CheckBar(HWND bar, const Image& fill) {
  RECT outer, client;
  GetWindowRect(bar, &outer);
  GetClientRect(bar, &client);
  Report("bar.outer",
         std::to_string(outer.right - outer.left) + "x" + std::to_string(outer.bottom - outer.top));
  Report("bar.client", std::to_string(client.right) + "x" + std::to_string(client.bottom));
  Report("bar.border_styles", (GetWindowLongW(bar, GWL_STYLE) & (WS_BORDER | PBS_VERTICAL)) != 0);
  Report("bar.edge_exstyles", (GetWindowLongW(bar, GWL_EXSTYLE) &
                               (WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)) != 0);
  Report("fill.size", std::to_string(fill.width) + "x" + std::to_string(fill.height));

  SendMessageW(bar, PBM_SETRANGE32, 0, 200);
  for (int position : {0, 1, 5, 100, 150, 199, 200}) {
    SendMessageW(bar, PBM_SETPOS, position, 0);
    RedrawWindow(bar, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    Image shot = CaptureSettled(ClientAreaOnScreen(bar));
    std::string key = "bar.pos" + std::to_string(position);
    int expected = ExpectedFill(shot.width - 2, position);
    long mismatches = 0;
    bool firstReported = false;
    for (int y = 0; y < shot.height; y++)
      for (int x = 0; x < shot.width; x++) {
        uint32_t wanted = ExpectedBarPixel(fill, shot.width, shot.height, expected, x, y);
        if (shot.At(x, y) == wanted) continue;
        if (!firstReported)
          ReportFirst((key + ".first_mismatch").c_str(), x, y, shot.At(x, y), wanted);
        firstReported = true;
        mismatches++;
      }
    Report((key + ".getpos").c_str(), SendMessageW(bar, PBM_GETPOS, 0, 0));
    Report((key + ".expected_fill").c_str(), expected);
    Report((key + ".fill").c_str(), MeasuredFill(shot, fill));
    Report((key + ".mismatches").c_str(), mismatches);
  }
}
