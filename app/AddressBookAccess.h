// The selection page's view of the Eudora side: the data-folder lookup and the line-by-line
// file check, over eudora/ and platform/.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

class QWidget;

namespace tarvelle::app {

class AppServices;

enum class LookupOutcome { FolderFound, InstallationNotFound, AddressBookNotFound };

struct DataFolderResult {
    LookupOutcome outcome = LookupOutcome::InstallationNotFound;
    std::string folder;  // as the lookup returns it, not trimmed
};

// Runs the Eudora data-folder lookup over the current user's registry; its failure messages are
// shown through `services`, owned by `parent`.
DataFolderResult LookUpDataFolder(AppServices& services, QWidget* parent);

// A picked file that cannot be opened or read.
class BookReadError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads a nicknames file line by line; throws BookReadError.
class BookLines {
  public:
    virtual ~BookLines() = default;
    virtual bool AtEnd() = 0;
    virtual std::string ReadLine() = 0;
};
std::unique_ptr<BookLines> OpenBook(const std::string& path);

// The file check's line test: nickname lines and the lines a book may carry between them.
bool IsBookLine(std::string_view line);

}  // namespace tarvelle::app
