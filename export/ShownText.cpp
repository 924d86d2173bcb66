#include "export/ShownText.h"

namespace tarvelle::exporter {

namespace {

// The length in bytes of the control character at text[i], or 0 when there is none.
std::size_t ControlAt(std::string_view text, std::size_t i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x20 || b == 0x7F) return 1;
    // C1 controls in UTF-8: C2 80 to C2 9F.
    if (b == 0xC2 && i + 1 < text.size()) {
        const auto next = static_cast<unsigned char>(text[i + 1]);
        if (next >= 0x80 && next <= 0x9F) return 2;
    }
    return 0;
}

bool NeedsQuotes(std::string_view text) {
    if (text.starts_with('"')) return true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (ControlAt(text, i) != 0) return true;
    }
    return false;
}

}  // namespace

std::string ShownPath(std::string_view path) {
    if (!NeedsQuotes(path)) return std::string(path);
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        switch (c) {
            case '\t':
                out += "\\t";
                continue;
            case '\n':
                out += "\\n";
                continue;
            case '\r':
                out += "\\r";
                continue;
            case '\\':
                out += "\\\\";
                continue;
            case '"':
                out += "\\\"";
                continue;
            default:
                break;
        }
        const std::size_t control = ControlAt(path, i);
        if (control == 0) {
            out += c;
            continue;
        }
        for (std::size_t k = 0; k < control; ++k) {
            const auto b = static_cast<unsigned char>(path[i + k]);
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        }
        i += control - 1;
    }
    out += '"';
    return out;
}

std::string ShownText(std::string_view text) {
    // Characters are counted as UTF-8 sequences: a continuation byte does not start one.
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (characters++ == kShownTextLimit) {
            return ShownPath(text.substr(0, i)) + "\xE2\x80\xA6";  // U+2026, "…"
        }
    }
    return ShownPath(text);
}

}  // namespace tarvelle::exporter
