#include "app/AddressBookAccess.h"

#include "app/AppServices.h"
#include "eudora/DataFolder.h"
#include "eudora/Nicknames.h"
#include "platform/Registry.h"
#include "platform/TextFile.h"

namespace tarvelle::app {

namespace {

// The lookup's messages as information boxes owned by the page.
class BoxSink : public eudora::MessageSink {
  public:
    BoxSink(AppServices& services, QWidget* parent) : services_(services), parent_(parent) {}
    void ShowInformation(std::string_view title, std::string_view text) override {
        services_.ShowMessage(parent_, std::string(title), std::string(text), BoxIcon::Information,
                              BoxButtons::Ok);
    }

  private:
    AppServices& services_;
    QWidget* parent_;
};

class FileLines : public BookLines {
  public:
    explicit FileLines(std::unique_ptr<platform::TextReader> reader) : reader_(std::move(reader)) {}
    bool AtEnd() override {
        try {
            return reader_->AtEndOfStream();
        } catch (const platform::TextFileError& error) {
            throw BookReadError(error.what());
        }
    }
    std::string ReadLine() override {
        try {
            return reader_->ReadLine();
        } catch (const platform::TextFileError& error) {
            throw BookReadError(error.what());
        }
    }

  private:
    std::unique_ptr<platform::TextReader> reader_;
};

}  // namespace

DataFolderResult LookUpDataFolder(AppServices& services, QWidget* parent) {
    platform::PlatformRegistry registry;
    BoxSink sink(services, parent);
    const eudora::DataFolderLookup lookup = eudora::LocateEudoraDataFolder(registry, sink);
    DataFolderResult result;
    result.folder = lookup.folder;
    switch (lookup.outcome) {
        case eudora::DataFolderOutcome::FolderFound:
            result.outcome = LookupOutcome::FolderFound;
            break;
        case eudora::DataFolderOutcome::InstallationNotFound:
            result.outcome = LookupOutcome::InstallationNotFound;
            break;
        case eudora::DataFolderOutcome::AddressBookNotFound:
            result.outcome = LookupOutcome::AddressBookNotFound;
            break;
    }
    return result;
}

std::unique_ptr<BookLines> OpenBook(const std::string& path) {
    try {
        return std::make_unique<FileLines>(platform::DefaultTextFileOpener().Open(path));
    } catch (const platform::TextFileError& error) {
        throw BookReadError(error.what());
    }
}

bool IsBookLine(std::string_view line) { return eudora::IsAddressBookLine(line); }

}  // namespace tarvelle::app
