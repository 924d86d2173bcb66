// Code page decoding, the line reader (with a small line-length bound) and Wine's registry hive
// reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "platform/Codepage.h"
#include "platform/TextFile.h"
#include "platform/WineRegistry.h"

namespace {

using namespace tarvelle::platform;

// The lines the bytes hold, undecoded: CR LF, LF and CR end a line; a last unterminated piece
// counts.
std::vector<std::string_view> RawLines(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            lines.push_back(bytes.substr(start, i - start));
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < bytes.size()) lines.push_back(bytes.substr(start));
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const std::string decoded = DecodeWindows1252(bytes);
    FUZZ_CHECK(IsValidUtf8(decoded));
    FUZZ_CHECK(EncodeWindows1252(decoded) == bytes);
    FUZZ_CHECK(EncodeWindows1252(bytes).size() <= bytes.size());

    FUZZ_CHECK(IsValidUtf8(DecodeMacRoman(bytes)));

    // The encoding chosen does not depend on how the bytes are cut into pieces.
    EncodingSniffer whole("NNdbase.txt");
    whole.Add(bytes);
    EncodingSniffer pieces("NNdbase.txt");
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        pieces.Add(std::string_view(bytes).substr(at, 3));
    }
    FUZZ_CHECK(whole.Result() == pieces.Result());
    FUZZ_CHECK(whole.Result() != TextEncoding::Utf8 || bytes.starts_with("\xEF\xBB\xBF") ||
               IsValidUtf8(bytes));

    const std::string sanitized = SanitizeUtf8(bytes);
    FUZZ_CHECK(IsValidUtf8(sanitized));
    FUZZ_CHECK(!IsValidUtf8(bytes) || sanitized == bytes);

    // The first byte picks how the reader gets its input (whole, or in small pieces), the second
    // the longest line it hands over.
    const std::size_t chunk = size > 0 ? static_cast<std::uint8_t>(bytes[0]) % 8 : 0;
    const std::size_t bound = size > 1 ? static_cast<std::uint8_t>(bytes[1]) % 32 : 16;
    auto reader = MakeStringTextReader(bytes, chunk, TextEncoding::Auto, {}, bound);
    FUZZ_CHECK(reader->StartsBinary() ==
               (std::string_view(bytes).substr(0, kBinaryProbeBytes).find('\0') !=
                std::string_view::npos));
    const std::vector<std::string_view> raw = RawLines(bytes);
    std::size_t lines = 0;
    while (!reader->AtEndOfStream()) {
        const std::string line = reader->ReadLine();
        FUZZ_CHECK(lines < raw.size());
        FUZZ_CHECK(IsValidUtf8(line));
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
        // Over the bound exactly when the stored line is, and then never handed over.
        FUZZ_CHECK(reader->LastLineTooLong() == (raw[lines].size() > bound));
        FUZZ_CHECK(!reader->LastLineTooLong() || line.empty());
        ++lines;
    }
    FUZZ_CHECK(lines == raw.size());

    // A damaged or hand-edited user.reg gives "missing" or a value whose text is well-formed. The
    // bytes go in as lines of their own, as a value's data, as a string's text and as the UTF-16
    // of a string written in hex.
    std::string hex = "\"V\"=hex(1):";
    for (const char c : bytes) {
        hex += "0123456789abcdef"[static_cast<unsigned char>(c) >> 4];
        hex += "0123456789abcdef"[c & 15];
        hex += ',';
    }
    for (const std::string& values : {bytes, "\"V\"=" + bytes, "\"V\"=\"" + bytes, hex}) {
        const auto hive = WineHive::FromText("WINE REGISTRY Version 2\n[A] 1\n" + values);
        if (!hive) continue;
        (void)hive->KeyExists("A\\B[c]");
        for (const char* name : {"V", "", "\xED\xA0\x80"}) {
            if (const auto value = hive->FindValue("A", name)) {
                const std::string text = RegValueText(WineValueToRegValue(*value));
                FUZZ_CHECK(Utf16ToUtf8(Utf8ToUtf16(text)) == text);
            }
        }
    }
    return 0;
}
