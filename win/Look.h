// The look the wizard's windows share with the Qt wizard: places in twips scaled to the window's
// dots per inch, colours, fonts, the pictures, and UTF-8 to UTF-16 for the window functions.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tarvelle::win {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The dots per inch of the monitor a window is on (the system's where Windows cannot tell).
int WindowDpi(HWND window);
// 1440 twips to the inch.
int Twips(int twips, int dpi);
RECT TwipsRect(int left, int top, int width, int height, int dpi);

// Moves a dialog's control to a place given in twips.
void PlaceControl(HWND dialog, int id, const RECT& twips, int dpi);
// Sizes a window so that its client area (below any menu bar) is `width` x `height` twips.
void SizeClientArea(HWND window, int width, int height, int dpi);
// Centres a window on the work area of its monitor.
void Centre(HWND window);

inline constexpr COLORREF kBlue = RGB(0, 0, 255);
inline constexpr COLORREF kDarkRed = RGB(128, 0, 0);
inline constexpr COLORREF kAboutTitle = RGB(128, 64, 0);
inline constexpr COLORREF kWhite = RGB(255, 255, 255);
inline constexpr COLORREF kProgressBackground = RGB(0xF4, 0xF7, 0xFB);

// A solid brush per colour, kept for the program's life (the colour messages hand brushes out).
HBRUSH SolidBrush(COLORREF colour);
// The dialog's font at another size; the caller deletes it.
HFONT DerivedFont(HWND dialog, double points);

// A PNG picture of the resources drawn into `where`, scaled smoothly.
void DrawPicture(HDC dc, int resource, const RECT& where);

// Starts and stops GDI+, which draws the pictures.
class PictureSupport {
  public:
    PictureSupport();
    ~PictureSupport();
    PictureSupport(const PictureSupport&) = delete;
    PictureSupport& operator=(const PictureSupport&) = delete;

  private:
    ULONG_PTR token_ = 0;
};

}  // namespace tarvelle::win
