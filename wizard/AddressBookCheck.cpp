#include "wizard/AddressBookCheck.h"

#include "eudora/AddressBookCheck.h"

namespace tarvelle::wizard {

namespace {

void AddLines(platform::TextReader& reader, eudora::AddressBookCheck& check,
              const std::function<void()>& betweenLines) {
    std::string line;
    while (true) {
        if (betweenLines) betweenLines();
        if (reader.AtEndOfStream()) return;
        reader.ReadLineInto(line);
        check.AddLine(line);
    }
}

}  // namespace

BookCheck CheckAddressBook(platform::TextFileOpener& opener, const std::string& path,
                           const std::vector<exporter::BookSource>& extraBooks,
                           platform::TextEncoding encoding,
                           const std::function<void()>& betweenLines) {
    BookCheck result;
    eudora::AddressBookCheck check;
    try {
        auto reader = opener.Open(path, encoding);
        // A binary file is no book, whatever its lines would look like.
        if (reader->StartsBinary()) return result;
        AddLines(*reader, check, betweenLines);
    } catch (const platform::TextFileError& error) {
        result.verdict = BookVerdict::Unreadable;
        result.cause = error.what();
        return result;
    }
    for (std::size_t i = 0; i < extraBooks.size() && !check.Passed(); ++i) {
        try {
            auto extra = opener.Open(extraBooks[i].path, encoding);
            if (!extra->StartsBinary()) AddLines(*extra, check, betweenLines);
        } catch (const platform::TextFileError&) {
        }
    }
    if (check.Passed()) result.verdict = BookVerdict::Passed;
    return result;
}

}  // namespace tarvelle::wizard
