// comctl32's initialisation of the standard controls. Its result is not read: a failure only
// keeps the classic look.
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

}  // namespace tarvelle::platform
