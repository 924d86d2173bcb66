// Whether a text file is a Eudora address book, from its decoded lines: the check made before a
// book picked by hand is exported. It takes what Eudora reads, so a book edited by hand (comment
// lines, indented lines, keywords in capitals, tabs) passes; it refuses what is not a book at all.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvelle::eudora {

class AddressBookCheck {
  public:
    // The book's next line, in order, without its terminator.
    void AddLine(std::string_view line);
    // A book holds at least one nickname line, and at least half of its non-blank lines are
    // nickname or note lines. In the old layout (IsOldLayout) the "<nick>" lines are the nickname
    // lines and the lines of their blocks count with them. A file without lines has no nickname.
    bool Passed() const;

  private:
    std::uint64_t lines_ = 0;
    std::uint64_t nicknameLines_ = 0;
    std::uint64_t bookLines_ = 0;  // nickname and note lines (and old-layout block lines)
    std::uint64_t otherLines_ = 0;
    bool oldLayout_ = false;
    bool inBlock_ = false;
};

}  // namespace tarvelle::eudora
