// comctl32 and kernel32 calls of the visual-style support. Results are not read: a failure
// only keeps the classic look.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// commctrl.h needs the declarations of windows.h first.
#include <commctrl.h>

#include "platform/CommonControls.h"

namespace tarvelle::platform {

void InitCommonControls() { ::InitCommonControls(); }

void InitCommonControlsEx(std::uint32_t classFlags) {
    INITCOMMONCONTROLSEX record{};
    record.dwSize = sizeof(record);
    record.dwICC = classFlags;
    ::InitCommonControlsEx(&record);
}

ModuleHandle LoadShellLibrary() {
    return reinterpret_cast<ModuleHandle>(::LoadLibraryA("shell32.dll"));
}

void FreeShellLibrary(ModuleHandle handle) {
    // FreeLibrary(NULL) fails harmlessly; the zero handle of a failed load is passed on as is.
    ::FreeLibrary(reinterpret_cast<HMODULE>(handle));
}

}  // namespace tarvelle::platform
