#include "Services.h"

#include <shobjidl.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "Look.h"
#include "platform/ShellOpen.h"

namespace tarvelle::win {

using wizard::BoxButtons;
using wizard::BoxIcon;
using wizard::BoxResult;

wizard::WindowHandle HandleOf(HWND window) {
    return static_cast<wizard::WindowHandle>(reinterpret_cast<std::uintptr_t>(window));
}

HWND WindowOf(wizard::WindowHandle handle) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle));
}

void DispatchUiMessage(MSG& message) {
    HWND root = message.hwnd != nullptr ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    wchar_t className[16] = {};
    if (root != nullptr && ::GetClassNameW(root, className, 16) > 0 &&
        std::wcscmp(className, L"#32770") == 0 && ::IsDialogMessageW(root, &message)) {
        return;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
}

BoxResult WindowsServices::ShowMessage(wizard::WindowHandle owner, const std::string& title,
                                       const std::string& text, BoxIcon icon, BoxButtons buttons) {
    UINT flags = buttons == BoxButtons::YesNo ? MB_YESNO | MB_DEFBUTTON1 : MB_OK;
    switch (icon) {
        case BoxIcon::Information:
            flags |= MB_ICONINFORMATION;
            break;
        case BoxIcon::Warning:
            flags |= MB_ICONWARNING;
            break;
        case BoxIcon::Question:
            flags |= MB_ICONQUESTION;
            break;
        case BoxIcon::Critical:
            flags |= MB_ICONERROR;
            break;
        case BoxIcon::None:
            break;
    }
    const int answer =
        ::MessageBoxW(WindowOf(owner), Wide(text).c_str(), Wide(title).c_str(), flags);
    if (buttons == BoxButtons::Ok) return BoxResult::Ok;
    return answer == IDYES ? BoxResult::Yes : BoxResult::No;
}

namespace {

template <typename T>
struct ComRelease {
    T* pointer = nullptr;
    ~ComRelease() {
        if (pointer != nullptr) pointer->Release();
    }
};

// Shows a file-open dialog configured by `setUp`; the chosen item's file-system path, or the
// empty text when the user cancelled or the dialog failed.
template <typename SetUp>
std::string RunOpenDialog(HWND owner, SetUp setUp) {
    ComRelease<IFileOpenDialog> dialog;
    if (FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IFileOpenDialog,
                                  reinterpret_cast<void**>(&dialog.pointer)))) {
        return {};
    }
    FILEOPENDIALOGOPTIONS options = 0;
    dialog.pointer->GetOptions(&options);
    if (FAILED(setUp(*dialog.pointer, options)) || FAILED(dialog.pointer->Show(owner))) {
        return {};
    }
    ComRelease<IShellItem> item;
    if (FAILED(dialog.pointer->GetResult(&item.pointer))) return {};
    wchar_t* path = nullptr;
    if (FAILED(item.pointer->GetDisplayName(SIGDN_FILESYSPATH, &path))) return {};
    std::string chosen = Utf8(path);
    ::CoTaskMemFree(path);
    return chosen;
}

}  // namespace

std::string WindowsServices::PickFolder(wizard::WindowHandle owner, const std::string& title) {
    const std::wstring caption = Wide(title);
    return RunOpenDialog(WindowOf(owner),
                         [&](IFileOpenDialog& dialog, FILEOPENDIALOGOPTIONS options) {
                             dialog.SetTitle(caption.c_str());
                             return dialog.SetOptions(options | FOS_PICKFOLDERS |
                                                      FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
                         });
}

std::string WindowsServices::PickFile(wizard::WindowHandle owner,
                                      const std::vector<wizard::FileFilter>& filters) {
    std::vector<std::wstring> texts;
    for (const wizard::FileFilter& filter : filters) {
        texts.push_back(Wide(filter.description));
        texts.push_back(Wide(filter.pattern));
    }
    std::vector<COMDLG_FILTERSPEC> fileTypes;
    for (std::size_t i = 0; i + 1 < texts.size(); i += 2) {
        fileTypes.push_back({texts[i].c_str(), texts[i + 1].c_str()});
    }
    return RunOpenDialog(
        WindowOf(owner), [&](IFileOpenDialog& dialog, FILEOPENDIALOGOPTIONS options) {
            if (!fileTypes.empty())
                dialog.SetFileTypes(static_cast<UINT>(fileTypes.size()), fileTypes.data());
            return dialog.SetOptions(options | FOS_FILEMUSTEXIST | FOS_PATHMUSTEXIST |
                                     FOS_FORCEFILESYSTEM);
        });
}

void WindowsServices::OpenDocument(const std::string& target) { platform::OpenDocument(target); }

void WindowsServices::ProcessPendingEvents() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        // Only the main loop ends the program; a quit request seen here is left for it.
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        DispatchUiMessage(message);
    }
}

void WindowsServices::ExitProcess() {
    std::fflush(nullptr);
    std::_Exit(0);
}

}  // namespace tarvelle::win
