#include "wizard/AddressBookCheck.h"

#include "eudora/Nicknames.h"
#include "platform/TextFile.h"

namespace tarvelle::wizard {

BookCheck CheckAddressBook(platform::TextFileOpener& opener, const std::string& path,
                           const std::function<void()>& betweenLines) {
    BookCheck check;
    try {
        auto reader = opener.Open(path);
        // A file with a NUL byte near its start is binary, whatever its lines would look like.
        if (reader->StartsBinary()) {
            check.verdict = BookVerdict::NotAnAddressBook;
            return check;
        }
        while (true) {
            if (betweenLines) betweenLines();
            if (reader->AtEndOfStream()) break;
            // The first line that is neither a nickname, a note nor blank decides: the lines
            // after it are not read. A line over the length bound comes back blank.
            if (!eudora::IsAddressBookLine(reader->ReadLine())) {
                check.verdict = BookVerdict::NotAnAddressBook;
                return check;
            }
            check.verdict = BookVerdict::Passed;
        }
    } catch (const platform::TextFileError& error) {
        check.verdict = BookVerdict::Unreadable;
        check.cause = error.what();
    }
    return check;
}

}  // namespace tarvelle::wizard
