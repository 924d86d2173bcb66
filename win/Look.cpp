#include "Look.h"

#include <objidl.h>
#include <shlwapi.h>
// GDI+ needs the declarations above first.
#include <gdiplus.h>

#include <cmath>
#include <map>
#include <memory>

namespace tarvelle::win {

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
    return wide;
}

std::string Utf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

int WindowDpi(HWND window) {
    // GetDpiForWindow exists from Windows 10 1607 on; looked up so older systems still start.
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto dpiForWindow = reinterpret_cast<DpiForWindow>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (dpiForWindow != nullptr && window != nullptr) {
        if (const UINT dpi = dpiForWindow(window)) return static_cast<int>(dpi);
    }
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int Twips(int twips, int dpi) { return static_cast<int>(std::lround(twips * dpi / 1440.0)); }

RECT TwipsRect(int left, int top, int width, int height, int dpi) {
    const int x = Twips(left, dpi);
    const int y = Twips(top, dpi);
    return {x, y, x + Twips(width, dpi), y + Twips(height, dpi)};
}

void PlaceControl(HWND dialog, int id, const RECT& twips, int dpi) {
    const RECT r = TwipsRect(twips.left, twips.top, twips.right, twips.bottom, dpi);
    ::SetWindowPos(::GetDlgItem(dialog, id), nullptr, r.left, r.top, r.right - r.left,
                   r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void SizeClientArea(HWND window, int width, int height, int dpi) {
    RECT wanted{0, 0, Twips(width, dpi), Twips(height, dpi)};
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE));
    ::AdjustWindowRectEx(&wanted, style, ::GetMenu(window) != nullptr, exStyle);
    ::SetWindowPos(window, nullptr, 0, 0, wanted.right - wanted.left, wanted.bottom - wanted.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // A menu bar that wraps onto a second line takes room from the client area: add it back.
    RECT client{};
    ::GetClientRect(window, &client);
    const int missing = Twips(height, dpi) - client.bottom;
    if (missing > 0) {
        RECT frame{};
        ::GetWindowRect(window, &frame);
        ::SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left,
                       frame.bottom - frame.top + missing,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void Centre(HWND window) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    RECT frame{};
    ::GetWindowRect(window, &frame);
    const RECT& area = monitor.rcWork;
    const int x = area.left + ((area.right - area.left) - (frame.right - frame.left)) / 2;
    const int y = area.top + ((area.bottom - area.top) - (frame.bottom - frame.top)) / 2;
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HBRUSH SolidBrush(COLORREF colour) {
    static std::map<COLORREF, HBRUSH> brushes;
    HBRUSH& brush = brushes[colour];
    if (brush == nullptr) brush = ::CreateSolidBrush(colour);
    return brush;
}

HFONT DerivedFont(HWND dialog, double points) {
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof(font),
                 &font);
    font.lfHeight = -static_cast<LONG>(std::lround(points * WindowDpi(dialog) / 72));
    return ::CreateFontIndirectW(&font);
}

namespace {

std::unique_ptr<Gdiplus::Bitmap> LoadPicture(int resource) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(resource), MAKEINTRESOURCEW(256));
    if (found == nullptr) return nullptr;
    const void* bytes = ::LockResource(::LoadResource(module, found));
    IStream* stream =
        ::SHCreateMemStream(static_cast<const BYTE*>(bytes), ::SizeofResource(module, found));
    if (stream == nullptr) return nullptr;
    std::unique_ptr<Gdiplus::Bitmap> picture(Gdiplus::Bitmap::FromStream(stream));
    stream->Release();
    if (picture && picture->GetLastStatus() != Gdiplus::Ok) picture.reset();
    return picture;
}

}  // namespace

void DrawPicture(HDC dc, int resource, const RECT& where) {
    // Kept until the process ends, never destroyed after GDI+ has stopped.
    static auto* pictures = new std::map<int, std::unique_ptr<Gdiplus::Bitmap>>;
    auto& picture = (*pictures)[resource];
    if (!picture) picture = LoadPicture(resource);
    if (!picture) return;
    Gdiplus::Graphics graphics(dc);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    graphics.DrawImage(picture.get(), Gdiplus::Rect(where.left, where.top, where.right - where.left,
                                                    where.bottom - where.top));
}

PictureSupport::PictureSupport() {
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token_, &input, nullptr);
}

PictureSupport::~PictureSupport() {
    if (token_ != 0) Gdiplus::GdiplusShutdown(token_);
}

}  // namespace tarvelle::win
