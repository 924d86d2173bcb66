// Code page decoding and the line reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "platform/Codepage.h"
#include "platform/TextFile.h"

namespace {

using namespace tarvelle::platform;

// How many lines the bytes hold: CR LF, LF and CR end a line; a last unterminated piece counts.
std::size_t CountLines(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    std::size_t lines = 0;
    bool open = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            ++lines;
            open = false;
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        } else {
            open = true;
        }
    }
    return lines + (open ? 1 : 0);
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

    // The first byte picks how the reader gets its input: whole, or in small pieces.
    const std::size_t chunk = size > 0 ? static_cast<std::uint8_t>(bytes[0]) % 8 : 0;
    auto reader = MakeStringTextReader(bytes, chunk);
    std::size_t lines = 0;
    while (!reader->AtEndOfStream()) {
        const std::string line = reader->ReadLine();
        FUZZ_CHECK(IsValidUtf8(line));
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
        ++lines;
    }
    FUZZ_CHECK(lines == CountLines(bytes));
    return 0;
}
