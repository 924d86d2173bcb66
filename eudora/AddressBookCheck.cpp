#include "eudora/AddressBookCheck.h"

#include "eudora/BookLines.h"
#include "eudora/Nicknames.h"

namespace tarvelle::eudora {

void AddressBookCheck::AddLine(std::string_view line) {
    if (lines_++ == 0) oldLayout_ = IsOldLayout(line);
    if (IsBlankLine(line)) return;
    if (!oldLayout_) {
        if (IsNicknameLine(line)) {
            ++nicknameLines_;
            ++bookLines_;
        } else if (IsNoteLine(line)) {
            ++bookLines_;
        } else {
            ++otherLines_;
        }
        return;
    }
    if (line.starts_with('<')) {
        inBlock_ = OldLayoutTag(line).has_value();
        if (inBlock_) {
            ++nicknameLines_;
            ++bookLines_;
        } else {
            ++otherLines_;
        }
    } else if (inBlock_) {
        ++bookLines_;
    } else {
        ++otherLines_;
    }
}

bool AddressBookCheck::Passed() const { return nicknameLines_ > 0 && bookLines_ >= otherLines_; }

}  // namespace tarvelle::eudora
