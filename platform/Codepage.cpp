#include "platform/Codepage.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace tarvelle::platform {

namespace {

// Windows-1252 0x80..0x9F. The five undefined bytes map to the C1 controls of the same value.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

// Mac Roman 0x80..0xFF (Apple's mapping since Mac OS 8.5: 0xDB is the euro sign).
constexpr std::array<char32_t, 128> kMacRomanHigh = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1,  // 80-87
    0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8,  // 88-8F
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,  // 90-97
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC,  // 98-9F
    0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF,  // A0-A7
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,  // A8-AF
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211,  // B0-B7
    0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8,  // B8-BF
    0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,  // C0-C7
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153,  // C8-CF
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA,  // D0-D7
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,  // D8-DF
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,  // E0-E7
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4,  // E8-EF
    0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,  // F0-F7
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,  // F8-FF
};

constexpr char32_t kInvalid = 0xFFFFFFFF;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kMacBookName = "eudora nicknames";

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view lower) {
    if (a.size() != lower.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower[i]) return false;
    }
    return true;
}

// Decodes the sequence at text[pos]; advances pos past it. A malformed sequence gives kInvalid
// and advances past its longest well-formed prefix (at least one byte), as Unicode recommends.
char32_t NextCodePoint(std::string_view text, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    std::size_t length = 0;
    char32_t cp = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
        ++pos;
        return kInvalid;
    }
    ++pos;
    for (std::size_t i = 1; i < length; ++i) {
        if (pos >= text.size()) return kInvalid;
        const std::uint8_t next = byte(pos);
        if (next < low || next > high) return kInvalid;
        low = 0x80;
        high = 0xBF;
        cp = (cp << 6) | (next & 0x3F);
        ++pos;
    }
    return cp;
}

char EncodeOne(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == cp) return static_cast<char>(0x80 + i);
    }
    return '?';
}

}  // namespace

std::string DecodeWindows1252(std::string_view bytes) {
    std::size_t ascii = AsciiPrefix(bytes);
    if (ascii == bytes.size()) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    // The ASCII runs between the other bytes go over whole.
    while (true) {
        out.append(bytes.data(), ascii);
        bytes.remove_prefix(ascii);
        if (bytes.empty()) break;
        const auto b = static_cast<std::uint8_t>(bytes.front());
        AppendUtf8(out, b < 0xA0 ? kHighControls[b - 0x80] : char32_t{b});
        bytes.remove_prefix(1);
        ascii = AsciiPrefix(bytes);
    }
    return out;
}

std::string EncodeWindows1252(std::string_view utf8) {
    if (IsAscii(utf8)) return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::size_t start = pos;
        const char32_t cp = NextCodePoint(utf8, pos);
        if (cp == kInvalid) {
            out.append(pos - start, '?');
        } else {
            out.push_back(EncodeOne(cp));
        }
    }
    return out;
}

std::string DecodeMacRoman(std::string_view bytes) {
    if (IsAscii(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        if (b < 0x80) {
            out.push_back(c);
        } else {
            AppendUtf8(out, kMacRomanHigh[b - 0x80]);
        }
    }
    return out;
}

std::string Decode(TextEncoding encoding, std::string_view bytes) {
    switch (encoding) {
        case TextEncoding::Windows1252:
            return DecodeWindows1252(bytes);
        case TextEncoding::MacRoman:
            return DecodeMacRoman(bytes);
        case TextEncoding::Utf8:
            return SanitizeUtf8(bytes);
        case TextEncoding::Auto:
        case TextEncoding::Ansi:
            break;
    }
    return DecodeAnsi(bytes);
}

EncodingSniffer::EncodingSniffer(std::string_view fileName)
    : macName_(EqualsIgnoringAsciiCase(fileName, kMacBookName)) {}

void EncodingSniffer::Add(std::string_view bytes) {
    // The byte-order mark may arrive split over the first pieces.
    for (std::size_t i = 0; seen_ + i < kUtf8Bom.size() && i < bytes.size(); ++i) {
        head_[seen_ + i] = bytes[i];
        if (seen_ + i + 1 == kUtf8Bom.size()) {
            bom_ = std::string_view(head_, kUtf8Bom.size()) == kUtf8Bom;
        }
    }
    seen_ += bytes.size();
    if (!lf_ && std::memchr(bytes.data(), '\n', bytes.size()) != nullptr) lf_ = true;
    if (!cr_ && std::memchr(bytes.data(), '\r', bytes.size()) != nullptr) cr_ = true;
    if (invalid_) return;

    std::size_t i = 0;
    while (i < bytes.size()) {
        if (pending_ == 0) {
            // Most of a book is ASCII: skip it a word at a time.
            while (i + 8 <= bytes.size()) {
                std::uint64_t word;
                std::memcpy(&word, bytes.data() + i, 8);
                if ((word & 0x8080808080808080ULL) != 0) break;
                i += 8;
            }
            if (i >= bytes.size()) break;
            const auto lead = static_cast<std::uint8_t>(bytes[i++]);
            if (lead < 0x80) continue;
            low_ = 0x80;
            high_ = 0xBF;
            if (lead >= 0xC2 && lead <= 0xDF) {
                pending_ = 1;
            } else if (lead >= 0xE0 && lead <= 0xEF) {
                pending_ = 2;
                if (lead == 0xE0) low_ = 0xA0;   // no overlong forms
                if (lead == 0xED) high_ = 0x9F;  // no surrogates
            } else if (lead >= 0xF0 && lead <= 0xF4) {
                pending_ = 3;
                if (lead == 0xF0) low_ = 0x90;
                if (lead == 0xF4) high_ = 0x8F;  // nothing past U+10FFFF
            } else {
                invalid_ = true;
                return;
            }
            multiByte_ = true;
            continue;
        }
        const auto next = static_cast<std::uint8_t>(bytes[i++]);
        if (next < low_ || next > high_) {
            invalid_ = true;
            return;
        }
        low_ = 0x80;
        high_ = 0xBF;
        --pending_;
    }
}

bool EncodingSniffer::Decided() const {
    if (bom_) return true;
    // Not UTF-8 any more; whether it is a Mac book is settled once a LF has been seen.
    return invalid_ && (lf_ || macName_);
}

TextEncoding EncodingSniffer::Result() const {
    if (bom_) return TextEncoding::Utf8;
    if (!invalid_ && pending_ == 0 && multiByte_) return TextEncoding::Utf8;
    if (macName_ || (cr_ && !lf_)) return TextEncoding::MacRoman;
    return TextEncoding::Ansi;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (NextCodePoint(text, pos) == kInvalid) return false;
    }
    return true;
}

std::string SanitizeUtf8(std::string_view text) {
    if (IsValidUtf8(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + 8);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = pos;
        const char32_t cp = NextCodePoint(text, pos);
        if (cp == kInvalid) {
            AppendUtf8(out, 0xFFFD);
        } else {
            out.append(text.substr(start, pos - start));
        }
    }
    return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace tarvelle::platform
