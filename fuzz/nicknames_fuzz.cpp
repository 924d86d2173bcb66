// The nickname line parser on arbitrary text: no crash, and its results hang together.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "eudora/AddressBookCheck.h"
#include "eudora/Book.h"
#include "eudora/BookLines.h"
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

// The input as a book, one line per LF: both layouts and the check take any text.
void CheckBook(std::string_view text) {
    AddressBooks books;
    books.AddBook("fuzz");
    BookLineReader reader;
    AddressBookCheck check;
    int lines = 0;
    int last = 0;
    auto take = [&] {
        while (const BookLine* line = reader.Next()) {
            FUZZ_CHECK(line->number > last && line->number <= lines);
            last = line->number;
            books.AddLine(0, *line);
        }
    };
    while (!text.empty()) {
        const auto end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        check.AddLine(line);
        ++lines;
        reader.Add(std::string(line));
        take();
    }
    reader.End();
    take();
    books.Resolve();
    for (const BookEntry& entry : books.Entries()) {
        FUZZ_CHECK(entry.lineNumber >= 1 && entry.lineNumber <= lines);
        FUZZ_CHECK(books.EntryAt(0, entry.lineNumber) != nullptr);
    }
    (void)check.Passed();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckLine(text);
    CheckLine("alias " + std::string(text));

    CheckAddress(ParseAddress(text));
    CheckBook(text);
    const std::string trimmed = TrimSpaces(text);
    FUZZ_CHECK(TrimSpaces(trimmed) == trimmed);
    FUZZ_CHECK(!HasOuterSpace(trimmed));
    return 0;
}
