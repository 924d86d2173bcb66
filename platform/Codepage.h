// Text encodings at the edges of the program. Inside, every text is UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tarvelle::platform {

// How a book's bytes are decoded. Auto is settled per file by ChooseEncoding; the others are
// what it settles on, or what the user asked for.
enum class TextEncoding {
    Auto,
    Ansi,         // the system ANSI code page (DecodeAnsi)
    Windows1252,  // Windows-1252 on every system
    MacRoman,     // what Eudora for Mac wrote on Western systems
    Utf8,
};

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

// Mac Roman bytes -> UTF-8 (0xDB is the euro sign, 0xF0 the private-use Apple logo U+F8FF).
std::string DecodeMacRoman(std::string_view bytes);

// `bytes` decoded as `encoding` (not Auto); malformed UTF-8 becomes U+FFFD.
std::string Decode(TextEncoding encoding, std::string_view bytes);

// What a whole file's bytes say about their encoding, gathered in one pass over any number of
// pieces. `fileName` is the file's last path component.
class EncodingSniffer {
  public:
    explicit EncodingSniffer(std::string_view fileName);
    void Add(std::string_view bytes);
    // True once more bytes cannot change Result: the sniffing may stop early.
    bool Decided() const;
    // UTF-8 when the file starts with the byte-order mark, or when all of it is well-formed
    // UTF-8 holding at least one multi-byte sequence; otherwise Mac Roman for a Mac book (line
    // ends only CR, or the name "Eudora Nicknames", which Eudora for Mac gives its book); the ANSI
    // code page for everything else.
    TextEncoding Result() const;

  private:
    bool macName_ = false;
    std::uint64_t seen_ = 0;
    bool bom_ = false;
    bool invalid_ = false;
    bool multiByte_ = false;
    bool cr_ = false;
    bool lf_ = false;
    // UTF-8 state: continuation bytes still due, and the range the next one must fall in.
    int pending_ = 0;
    unsigned char low_ = 0x80;
    unsigned char high_ = 0xBF;
    char head_[3] = {};
};

// How many bytes at the start of `text` are below 0x80. Every line of a book passes through
// here, twice: eight bytes are looked at at a time.
inline std::size_t AsciiPrefix(std::string_view text) {
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, 8);
        if ((word & 0x8080808080808080ULL) != 0) break;
    }
    while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
    return i;
}

// True when every byte is below 0x80: such text reads the same in every code page and in UTF-8.
inline bool IsAscii(std::string_view text) { return AsciiPrefix(text) == text.size(); }

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view text);
// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);
// `text` with every malformed UTF-8 sequence replaced by U+FFFD; well-formed text is unchanged.
std::string SanitizeUtf8(std::string_view text);

}  // namespace tarvelle::platform
