#include "platform/WineRegistry.h"

#include <cstdlib>
#include <vector>

#include "platform/Codepage.h"

namespace tarvelle::platform {

namespace {

constexpr std::string_view kHiveHeader = "WINE REGISTRY Version 2";
constexpr char32_t kReplacement = 0xFFFD;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
unsigned HexValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    return static_cast<unsigned>(c - 'A' + 10);
}
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

// One well-formed UTF-8 sequence at `pos`; std::nullopt when the bytes there are not one.
std::optional<char32_t> DecodeUtf8At(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (pos + length > text.size()) return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    pos += length;
    return cp;
}

// An escaped string as Wine writes names and string data, read up to `endChar`. `consumed` is
// set past the delimiter. std::nullopt when the delimiter is missing. Wine escapes every
// character above 127 (\x...), so raw high bytes only come from hand edits: they are read as
// UTF-8 when they form it and as Latin-1 otherwise.
std::optional<std::u16string> ParseEscaped(std::string_view text, char endChar,
                                           std::size_t& consumed) {
    std::u16string out;
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] != endChar) {
        if (text[pos] == '\\') {
            if (pos + 1 >= text.size()) return std::nullopt;
            const char escaped = text[pos + 1];
            char16_t simple = 0;
            switch (escaped) {
                case 'a':
                    simple = u'\a';
                    break;
                case 'b':
                    simple = u'\b';
                    break;
                case 'e':
                    simple = 0x1B;
                    break;
                case 'f':
                    simple = u'\f';
                    break;
                case 'n':
                    simple = u'\n';
                    break;
                case 'r':
                    simple = u'\r';
                    break;
                case 't':
                    simple = u'\t';
                    break;
                case 'v':
                    simple = u'\v';
                    break;
                default:
                    break;
            }
            if (simple != 0) {
                out.push_back(simple);
                pos += 2;
                continue;
            }
            if (escaped == 'x') {
                pos += 2;
                if (pos >= text.size() || !IsHexDigit(text[pos])) {
                    out.push_back(u'x');
                    continue;
                }
                unsigned value = 0;
                for (int digits = 0; digits < 4 && pos < text.size() && IsHexDigit(text[pos]);
                     ++digits, ++pos) {
                    value = value * 16 + HexValue(text[pos]);
                }
                out.push_back(static_cast<char16_t>(value));
                continue;
            }
            if (escaped >= '0' && escaped <= '7') {
                pos += 1;
                unsigned value = 0;
                for (int digits = 0;
                     digits < 3 && pos < text.size() && text[pos] >= '0' && text[pos] <= '7';
                     ++digits, ++pos) {
                    value = value * 8 + static_cast<unsigned>(text[pos] - '0');
                }
                out.push_back(static_cast<char16_t>(value));
                continue;
            }
            // Any other escaped character stands for itself (\\, \", \[, \]).
            ++pos;
        }
        std::size_t next = pos;
        if (const auto cp = DecodeUtf8At(text, next)) {
            AppendUtf16(out, *cp);
            pos = next;
        } else {
            out.push_back(static_cast<unsigned char>(text[pos]));
            ++pos;
        }
    }
    if (pos >= text.size()) return std::nullopt;
    consumed = pos + 1;
    return out;
}

std::vector<std::string_view> SplitKeyPath(std::string_view path) {
    std::vector<std::string_view> components;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) components.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return components;
}

// Lines of the hive; a CR before the LF is dropped, as Wine does.
class LineCursor {
  public:
    explicit LineCursor(std::string_view text) : text_(text) {}
    bool Next(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return true;
    }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    return text;
}

// The key a section line ("[path] stamp") opens, decoded; std::nullopt when malformed.
std::optional<std::string> SectionKey(std::string_view line) {
    std::size_t consumed = 0;
    auto name = ParseEscaped(line.substr(1), ']', consumed);
    if (!name) return std::nullopt;
    return Utf16ToUtf8(*name);
}

bool SameKey(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b,
             std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!EqualsIgnoreCase(a[i], b[i])) return false;
    }
    return true;
}

std::string Utf16LeBytes(std::u16string_view units) {
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t unit : units) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

// Reads "hh,hh,..." with Wine's continuation lines (a trailing backslash). False when malformed.
bool ParseHexData(std::string_view rest, LineCursor& lines, std::string& bytes) {
    for (;;) {
        std::size_t pos = 0;
        while (pos < rest.size() && IsHexDigit(rest[pos])) {
            unsigned value = 0;
            while (pos < rest.size() && IsHexDigit(rest[pos])) {
                value = value * 16 + HexValue(rest[pos]);
                if (value > 0xFF) return false;
                ++pos;
            }
            bytes.push_back(static_cast<char>(value));
            while (pos < rest.size() && IsSpace(rest[pos])) ++pos;
            if (pos < rest.size() && rest[pos] == ',') ++pos;
            while (pos < rest.size() && IsSpace(rest[pos])) ++pos;
        }
        rest = TrimLeft(rest.substr(pos));
        if (rest.empty()) return true;
        if (rest.front() != '\\') return false;
        std::string_view next;
        if (!lines.Next(next)) return false;
        rest = TrimLeft(next);
    }
}

// Like strtoul(text, nullptr, 16) stored into a 32-bit word.
std::uint32_t ParseDword(std::string_view text) {
    text = TrimLeft(text);
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (!IsHexDigit(c)) break;
        value = value * 16 + HexValue(c);
        if (value > 0xFFFFFFFFull) return 0xFFFFFFFFu;
    }
    return static_cast<std::uint32_t>(value);
}

// "hex(N):" / "str(N):" type numbers: hexadecimal digits then ')'.
std::optional<std::uint32_t> ParseTypeNumber(std::string_view& text) {
    std::size_t pos = 0;
    std::uint64_t value = 0;
    while (pos < text.size() && IsHexDigit(text[pos])) {
        value = value * 16 + HexValue(text[pos]);
        if (value > 0xFFFFFFFFull) return std::nullopt;
        ++pos;
    }
    if (pos == 0 || text.substr(pos, 2) != "):") return std::nullopt;
    text.remove_prefix(pos + 2);
    return static_cast<std::uint32_t>(value);
}

// The data after "name=": the value Wine would load, kRegNone when malformed.
WineRegValue ParseValueData(std::string_view data, LineCursor& lines) {
    WineRegValue value;
    std::optional<std::uint32_t> stringType;
    std::optional<std::uint32_t> hexType;
    if (data.starts_with("\"")) {
        stringType = kRegSz;
        data.remove_prefix(1);
    } else if (data.starts_with("str:\"")) {
        stringType = kRegSz;
        data.remove_prefix(5);
    } else if (data.starts_with("str(")) {
        data.remove_prefix(4);
        stringType = ParseTypeNumber(data);
        if (!stringType || !data.starts_with("\"")) return {};
        data.remove_prefix(1);
    } else if (data.starts_with("hex:")) {
        hexType = kRegBinary;
        data.remove_prefix(4);
    } else if (data.starts_with("dword:")) {
        const std::uint32_t number = ParseDword(data.substr(6));
        value.type = kRegDword;
        for (int shift = 0; shift < 32; shift += 8) {
            value.data.push_back(static_cast<char>((number >> shift) & 0xFF));
        }
        return value;
    } else if (data.starts_with("hex(")) {
        data.remove_prefix(4);
        hexType = ParseTypeNumber(data);
        if (!hexType) return {};
    } else {
        return {};
    }
    if (stringType) {
        std::size_t consumed = 0;
        auto units = ParseEscaped(data, '"', consumed);
        if (!units) return {};
        units->push_back(u'\0');  // Wine stores the terminator with the string
        value.type = *stringType;
        value.data = Utf16LeBytes(*units);
        return value;
    }
    if (!ParseHexData(data, lines, value.data)) return {};
    value.type = *hexType;
    return value;
}

}  // namespace

std::optional<WineHive> WineHive::FromText(std::string text) {
    LineCursor lines(text);
    std::string_view first;
    if (!lines.Next(first) || first != kHiveHeader) return std::nullopt;
    return WineHive(std::move(text));
}

bool WineHive::KeyExists(std::string_view keyPath) const {
    const auto wanted = SplitKeyPath(keyPath);
    if (wanted.empty()) return true;  // the hive's root
    LineCursor lines(text_);
    std::string_view line;
    lines.Next(line);  // header
    while (lines.Next(line)) {
        line = TrimLeft(line);
        if (!line.starts_with("[")) continue;
        const auto key = SectionKey(line);
        if (!key) continue;
        const auto components = SplitKeyPath(*key);
        if (components.size() >= wanted.size() && SameKey(components, wanted, wanted.size())) {
            return true;
        }
    }
    return false;
}

std::optional<WineRegValue> WineHive::FindValue(std::string_view keyPath,
                                                std::string_view valueName) const {
    const auto wanted = SplitKeyPath(keyPath);
    std::optional<WineRegValue> found;
    bool inKey = false;
    LineCursor lines(text_);
    std::string_view line;
    lines.Next(line);  // header
    while (lines.Next(line)) {
        line = TrimLeft(line);
        if (line.empty()) continue;
        if (line.front() == '[') {
            const auto key = SectionKey(line);
            inKey = false;
            if (key) {
                const auto components = SplitKeyPath(*key);
                inKey = components.size() == wanted.size() &&
                        SameKey(components, wanted, wanted.size());
            }
            continue;
        }
        if (!inKey || (line.front() != '"' && line.front() != '@')) continue;
        std::string name;
        std::size_t pos = 1;
        if (line.front() == '"') {
            std::size_t consumed = 0;
            const auto units = ParseEscaped(line.substr(1), '"', consumed);
            if (!units) continue;  // malformed name: Wine skips the line
            name = Utf16ToUtf8(*units);
            pos += consumed;
        }
        while (pos < line.size() && IsSpace(line[pos])) ++pos;
        if (pos >= line.size() || line[pos] != '=') continue;
        ++pos;
        while (pos < line.size() && IsSpace(line[pos])) ++pos;
        if (!EqualsIgnoreCase(name, valueName)) continue;
        found = ParseValueData(line.substr(pos), lines);
    }
    return found;
}

RegValue WineValueToRegValue(const WineRegValue& value) {
    if (value.type == kRegSz) {
        std::u16string units;
        for (std::size_t i = 0; i + 1 < value.data.size(); i += 2) {
            const auto unit =
                static_cast<char16_t>(static_cast<unsigned char>(value.data[i]) |
                                      (static_cast<unsigned char>(value.data[i + 1]) << 8));
            if (unit == 0) break;
            units.push_back(unit);
        }
        return Utf16ToUtf8(units);
    }
    if (value.type == kRegDword && value.data.size() <= 4) {
        std::uint32_t number = 0;
        for (std::size_t i = 0; i < value.data.size(); ++i) {
            number |= static_cast<std::uint32_t>(static_cast<unsigned char>(value.data[i]))
                      << (8 * i);
        }
        return static_cast<std::int32_t>(number);
    }
    return std::string();
}

std::optional<std::filesystem::path> WinePrefixDirectory() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0') {
        return std::filesystem::path(prefix);
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return std::filesystem::path(home) / ".wine";
    }
    return std::nullopt;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (const auto cp = DecodeUtf8At(text, pos)) {
            AppendUtf16(out, *cp);
        } else {
            out.push_back(static_cast<char16_t>(kReplacement));
            ++pos;
        }
    }
    return out;
}

std::string WineHashedShortName(std::string_view longName, bool legacyDots) {
    const std::u16string name = Utf8ToUtf16(longName);
    if (name.empty()) return {};
    const auto lower = [](char16_t c) -> std::uint32_t {
        return (c >= u'A' && c <= u'Z') ? static_cast<std::uint32_t>(c - u'A' + u'a') : c;
    };
    const auto invalid = [](char16_t c) {
        return c > 0x7F ||
               std::u16string_view(u"*?<>|\"+=,;[] ~.").find(c) != std::u16string_view::npos;
    };
    const auto upper = [](char16_t c) {
        return static_cast<char>((c >= u'a' && c <= u'z') ? c - u'a' + u'A' : c);
    };
    // Wine keeps the hash in 16 bits.
    std::uint32_t hash = 0xBEEF;
    for (std::size_t i = 0; i + 1 < name.size(); ++i) {
        hash = ((hash << 3) ^ (hash >> 5) ^ lower(name[i]) ^ (lower(name[i + 1]) << 8)) & 0xFFFF;
    }
    hash = ((hash << 3) ^ (hash >> 5) ^ lower(name.back())) & 0xFFFF;

    // The extension starts at the last dot that is neither the first character (after any
    // leading dots, in the newer rules) nor the last one.
    std::size_t first = 1;
    if (!legacyDots) {
        std::size_t dots = 0;
        while (dots < name.size() && name[dots] == u'.') ++dots;
        first = dots + 1;
    }
    std::size_t ext = std::u16string::npos;
    for (std::size_t i = first; i + 1 < name.size(); ++i) {
        if (name[i] == u'.') ext = i;
    }

    std::string shortName;
    int left = 4;
    for (std::size_t i = 0; left > 0 && i < name.size() && i != ext; ++i) {
        if (!legacyDots && name[i] == u'.') continue;
        shortName.push_back(invalid(name[i]) ? '_' : upper(name[i]));
        --left;
    }
    shortName.append(static_cast<std::size_t>(left) + 1, '~');
    constexpr std::string_view kHashChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
    shortName.push_back(kHashChars[(hash >> 10) & 0x1F]);
    shortName.push_back(kHashChars[(hash >> 5) & 0x1F]);
    shortName.push_back(kHashChars[hash & 0x1F]);
    if (ext != std::u16string::npos) {
        shortName.push_back('.');
        for (std::size_t i = ext + 1; i < name.size() && i < ext + 4; ++i) {
            shortName.push_back(invalid(name[i]) ? '_' : upper(name[i]));
        }
    }
    return shortName;
}

}  // namespace tarvelle::platform
