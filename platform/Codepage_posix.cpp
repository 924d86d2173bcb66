// Without a system code page, the ANSI code page is Windows-1252: what Western Eudora wrote.
#include "platform/Codepage.h"

namespace tarvelle::platform {

std::string DecodeAnsi(std::string_view bytes) { return DecodeWindows1252(bytes); }

std::string EncodeAnsi(std::string_view utf8) { return EncodeWindows1252(utf8); }

}  // namespace tarvelle::platform
