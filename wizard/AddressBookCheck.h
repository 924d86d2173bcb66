// The address-book check: whether a book picked by hand (or found in Eudora's data folder) is a
// Eudora address book. The wizard's Browse and tarvelle-export both ask this one function.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "export/Export.h"
#include "platform/TextFile.h"
#include "wizard/Services.h"

namespace tarvelle::wizard {

// The message for a file that is not an address book, shown under kApplicationTitle.
inline constexpr std::string_view kNotAnAddressBookText =
    " *** NOT a Valid Eudora Address Book  ***\r\nPlease select a correct Eudora Address Book.";

enum class BookVerdict {
    Passed,            // an address book
    NotAnAddressBook,  // refused with kNotAnAddressBookText
    Unreadable,        // the main book could not be opened or read; `cause` says why
};

struct BookCheck {
    BookVerdict verdict = BookVerdict::NotAnAddressBook;
    std::string cause;  // for Unreadable: the system's words ("Is a directory", ...)
};

// Reads the main book at `path` (as given: no trimming) and, while that alone is short of an
// address book, the `extraBooks` beside it, and judges their lines together by
// eudora::AddressBookCheck: so an empty main book whose data folder holds other books passes.
// The main book must not be binary (a NUL byte near its start); an extra book that is binary or
// cannot be read does not count (the export reports it). `betweenLines`, when given, runs before
// every line, so a window can stay live while a long book is read.
BookCheck CheckAddressBook(platform::TextFileOpener& opener, const std::string& path,
                           const std::vector<exporter::BookSource>& extraBooks,
                           platform::TextEncoding encoding,
                           const std::function<void()>& betweenLines = {});

}  // namespace tarvelle::wizard
