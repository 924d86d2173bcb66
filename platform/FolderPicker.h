// The shell's folder picker, for the Windows build of the wizard (elsewhere the toolkit's own
// folder dialog takes its place).
#pragma once

#if defined(_WIN32)

#include <string>

namespace tarvelle::platform {

// Shows the shell's folder picker (SHBrowseForFolderA) owned by `ownerWindow` (an HWND, may be
// null), starting at the desktop, with `title` (UTF-8) as its instruction line and only
// file-system folders selectable. Returns the chosen folder as UTF-8; the empty text when the
// user cancelled or anything failed.
std::string BrowseForFolder(void* ownerWindow, const std::string& title);

}  // namespace tarvelle::platform

#endif
