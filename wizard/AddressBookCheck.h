// The address-book check: whether a file picked by hand is a Eudora nicknames file. The wizard's
// Browse and the command-line tool's --file both ask this one function.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "wizard/Services.h"

namespace tarvelle::platform {
class TextFileOpener;
}

namespace tarvelle::wizard {

// The message for a file that is not an address book, shown under kApplicationTitle.
inline constexpr std::string_view kNotAnAddressBookText =
    " *** NOT a Valid Eudora Address Book  ***\r\nPlease select a correct Eudora Address Book.";

enum class BookVerdict {
    Passed,            // an address book
    Empty,             // no line at all: nothing speaks against it, nothing for it
    NotAnAddressBook,  // refused with kNotAnAddressBookText
    Unreadable,        // could not be opened or read; `cause` says why
};

struct BookCheck {
    BookVerdict verdict = BookVerdict::Empty;
    std::string cause;  // for Unreadable: the system's words ("Is a directory", ...)
};

// Reads the file at `path` (as given: no trimming) line by line and judges it: every line must be
// a nickname, a note or blank, and the file must not be binary (a NUL byte in its first
// platform::kBinaryProbeBytes). `betweenLines`, when given, runs before every line, so a window
// can stay live while a long file is read.
BookCheck CheckAddressBook(platform::TextFileOpener& opener, const std::string& path,
                           const std::function<void()>& betweenLines = {});

}  // namespace tarvelle::wizard
