// The nickname line parser on arbitrary text: no crash, and its results hang together.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "eudora/Nicknames.h"
#include "fuzz/FuzzCheck.h"

namespace {

using namespace tarvelle::eudora;

bool HasOuterSpace(std::string_view text) {
    return !text.empty() && (text.front() == ' ' || text.back() == ' ');
}

void CheckAddress(const Address& address) {
    FUZZ_CHECK(!HasOuterSpace(address.address));
    FUZZ_CHECK(!HasOuterSpace(address.displayName));
}

void CheckLine(std::string_view line) {
    const bool nickname = IsNicknameLine(line);
    FUZZ_CHECK(!nickname || IsAddressBookLine(line));
    FUZZ_CHECK(!IsNoteLine(line) || IsAddressBookLine(line));
    if (!nickname) return;

    const ParsedNickname parsed = ParseNicknameLine(line);
    FUZZ_CHECK(parsed.paired == parsed.skipReason.empty());
    FUZZ_CHECK(parsed.paired || parsed.skipReason == "no nickname" ||
               parsed.skipReason == "no address");
    FUZZ_CHECK(parsed.name.find('"') == std::string::npos);
    FUZZ_CHECK(!HasOuterSpace(parsed.name));
    FUZZ_CHECK(!HasOuterSpace(parsed.addressText));

    const auto members = SplitMembers(parsed.addressText);
    for (const Address& member : members) {
        FUZZ_CHECK(!member.address.empty());
        CheckAddress(member);
    }
    if (!parsed.paired) return;
    FUZZ_CHECK(!parsed.name.empty());
    if (parsed.kind == NicknameKind::Contact) {
        // A contact's address text is exactly one usable entry.
        FUZZ_CHECK(members.size() == 1);
        FUZZ_CHECK(!ParseAddress(parsed.addressText).address.empty());
    } else {
        FUZZ_CHECK(!members.empty());
        FUZZ_CHECK(members.size() >= 2 || parsed.name.find(',') != std::string::npos);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckLine(text);
    CheckLine("alias " + std::string(text));

    CheckAddress(ParseAddress(text));
    const std::string trimmed = TrimSpaces(text);
    FUZZ_CHECK(TrimSpaces(trimmed) == trimmed);
    FUZZ_CHECK(!HasOuterSpace(trimmed));
    return 0;
}
