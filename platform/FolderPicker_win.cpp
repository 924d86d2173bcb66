// BrowseForFolder through SHBrowseForFolderA / SHGetPathFromIDListA / CoTaskMemFree.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// shlobj.h and objbase.h need the declarations of windows.h first.
#include <objbase.h>
#include <shlobj.h>

#include <array>
#include <cstring>

#include "platform/Codepage.h"
#include "platform/FolderPicker.h"

namespace tarvelle::platform {

namespace {

// The picker uses COM; initialise it for this thread when nobody has yet, and undo only what
// this call did.
class ComApartment {
  public:
    ComApartment() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) {
            ::CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    HRESULT result_;
};

}  // namespace

std::string BrowseForFolder(void* ownerWindow, const std::string& title) {
    try {
        ComApartment com;
        const std::string instruction = EncodeAnsi(title);
        std::array<char, MAX_PATH + 1> displayName{};

        BROWSEINFOA info{};
        info.hwndOwner = static_cast<HWND>(ownerWindow);
        info.pidlRoot = nullptr;  // start at the desktop
        // The shell writes the chosen item's display name here; MAX_PATH bytes are assumed.
        info.pszDisplayName = displayName.data();
        info.lpszTitle = instruction.c_str();
        info.ulFlags = BIF_RETURNONLYFSDIRS;  // 1: only file-system folders
        info.lpfn = nullptr;

        LPITEMIDLIST item = ::SHBrowseForFolderA(&info);
        if (item == nullptr) {
            return {};
        }
        std::array<char, MAX_PATH> buffer{};  // 260 NUL characters
        ::SHGetPathFromIDListA(item, buffer.data());
        ::CoTaskMemFree(item);
        const std::size_t length = ::strnlen(buffer.data(), buffer.size());
        return DecodeAnsi(std::string_view(buffer.data(), length));
    } catch (...) {
        return {};
    }
}

}  // namespace tarvelle::platform
