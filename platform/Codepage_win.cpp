// The system ANSI code page (CP_ACP) <-> UTF-8, through the wide-character forms.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <climits>
#include <string>

#include "platform/Codepage.h"

namespace tarvelle::platform {

namespace {

// The Win32 conversion calls take int lengths: longer texts go in pieces. The pieces of the
// ANSI side are cut at a byte, which is safe for single-byte code pages; double-byte code pages
// would need a lead-byte check, so the cut never falls there in practice (texts are far shorter).
constexpr std::size_t kPiece = 1u << 24;

std::wstring ToWide(UINT codePage, std::string_view bytes) {
    std::wstring wide;
    for (std::size_t pos = 0; pos < bytes.size(); pos += kPiece) {
        const std::string_view piece = bytes.substr(pos, kPiece);
        const int length = static_cast<int>(piece.size());
        const int needed = MultiByteToWideChar(codePage, 0, piece.data(), length, nullptr, 0);
        if (needed <= 0) {
            continue;
        }
        const std::size_t start = wide.size();
        wide.resize(start + static_cast<std::size_t>(needed));
        MultiByteToWideChar(codePage, 0, piece.data(), length, wide.data() + start, needed);
    }
    return wide;
}

std::string FromWide(UINT codePage, DWORD flags, std::wstring_view wide) {
    std::string bytes;
    for (std::size_t pos = 0; pos < wide.size(); pos += kPiece) {
        std::wstring_view piece = wide.substr(pos, kPiece);
        // Never split a surrogate pair between two pieces.
        if (piece.size() == kPiece && piece.back() >= 0xD800 && piece.back() <= 0xDBFF) {
            piece.remove_suffix(1);
            --pos;
        }
        const int length = static_cast<int>(piece.size());
        const int needed = WideCharToMultiByte(codePage, flags, piece.data(), length, nullptr, 0,
                                               nullptr, nullptr);
        if (needed <= 0) {
            continue;
        }
        const std::size_t start = bytes.size();
        bytes.resize(start + static_cast<std::size_t>(needed));
        WideCharToMultiByte(codePage, flags, piece.data(), length, bytes.data() + start, needed,
                            nullptr, nullptr);
    }
    return bytes;
}

}  // namespace

std::string DecodeAnsi(std::string_view bytes) {
    return FromWide(CP_UTF8, 0, ToWide(CP_ACP, bytes));
}

std::string EncodeAnsi(std::string_view utf8) {
    // Malformed UTF-8 becomes U+FFFD first, which the code page then holds as its default
    // character '?'. No best-fit mapping: a character the code page lacks must not turn into a
    // look-alike such as a backslash or a plain letter inside a registry key or a path.
    return FromWide(CP_ACP, WC_NO_BEST_FIT_CHARS, ToWide(CP_UTF8, SanitizeUtf8(utf8)));
}

}  // namespace tarvelle::platform
