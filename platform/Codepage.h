// Text encodings at the edges of the program. Inside, every text is UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace tarvelle::platform {

// Windows-1252 bytes -> UTF-8. The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) become U+0081, U+008D, U+008F, U+0090 and U+009D, as Windows maps them.
std::string DecodeWindows1252(std::string_view bytes);
// UTF-8 -> Windows-1252; '?' for each character the code page cannot hold and for each byte of
// malformed UTF-8. U+0081 etc. go back to their single bytes, so decoding round-trips.
std::string EncodeWindows1252(std::string_view utf8);

// The system ANSI code page <-> UTF-8. On Windows that is the active code page (CP_ACP); on
// other systems Windows-1252, the code page Western Eudora installations wrote.
std::string DecodeAnsi(std::string_view bytes);
std::string EncodeAnsi(std::string_view utf8);

// True when every byte is below 0x80: such text reads the same in every code page and in UTF-8.
inline bool IsAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view text);
// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);
// `text` with every malformed UTF-8 sequence replaced by U+FFFD; well-formed text is unchanged.
std::string SanitizeUtf8(std::string_view text);

}  // namespace tarvelle::platform
