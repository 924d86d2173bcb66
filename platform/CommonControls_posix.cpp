#include "platform/CommonControls.h"

namespace tarvelle::platform {

void InitCommonControls() {}

void InitCommonControlsEx(std::uint32_t /*classFlags*/) {}

ModuleHandle LoadShellLibrary() { return 0; }

void FreeShellLibrary(ModuleHandle /*handle*/) {}

}  // namespace tarvelle::platform
