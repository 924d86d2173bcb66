// The common-controls initialisation every window performs before it is created, so standard
// controls take the system's current visual style (Windows common controls version 6 with the
// application manifest). Elsewhere the toolkit's style already follows the system: no-ops.
#pragma once

#include <cstdint>

namespace tarvelle::platform {

// InitCommonControls. Results are not read: a failure only keeps the classic look.
void InitCommonControls();

// InitCommonControlsEx with the given ICC_* class flags (for example kUserExClasses).
inline constexpr std::uint32_t kUserExClasses = 0x200;  // ICC_USEREX_CLASSES
void InitCommonControlsEx(std::uint32_t classFlags);

// LoadLibraryA("shell32.dll") / FreeLibrary: the visual-style control holds the shell library
// for its lifetime. The handle is 0 when loading failed (and always outside Windows).
using ModuleHandle = std::uintptr_t;
ModuleHandle LoadShellLibrary();
void FreeShellLibrary(ModuleHandle handle);

}  // namespace tarvelle::platform
