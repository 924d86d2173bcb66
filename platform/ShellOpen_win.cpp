// OpenDocument through the shell's "open" verb, narrow-character form.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// shellapi.h needs the declarations of windows.h first.
#include <shellapi.h>

#include "platform/Codepage.h"
#include "platform/ShellOpen.h"

namespace tarvelle::platform {

void OpenDocument(const std::string& target) {
    if (target.empty()) {
        return;
    }
    const std::string file = EncodeAnsi(target);
    // Parameters and directory are empty texts, not null; the result is not read (failures are
    // silent by design).
    ::ShellExecuteA(nullptr, "open", file.c_str(), "", "", SW_SHOWNORMAL);
}

}  // namespace tarvelle::platform
