#include "export/Export.h"

#include <charconv>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

#include "eudora/Nicknames.h"
#include "export/WebSite.h"
#include "platform/NativePath.h"
#include "platform/TextFile.h"

namespace tarvelle::exporter {

namespace {

using platform::PstWriteError;
using platform::StoreError;

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kStoreNameStem = "Eudora Address Book";
constexpr std::string_view kCreatedInfix = " Created-";
constexpr int kUnicodePstFormat = 1;

#ifdef _WIN32
constexpr char kNativeSeparator = '\\';
#else
constexpr char kNativeSeparator = '/';
#endif

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

// Windows-style path texts (Eudora's registry entry under Wine) keep backslashes on every system.
bool LooksLikeWindowsPath(std::string_view path) {
    return path.find('\\') != std::string_view::npos || (path.size() >= 2 && path[1] == ':');
}

// The first two characters of the version text must form a whole number ("16.0" -> 16); the
// number itself is not used, only whether the writer answered sensibly.
bool VersionTextIsUsable(const std::string& version) {
    std::string head = eudora::TrimSpaces(std::string_view(version).substr(0, 2));
    if (!head.empty() && head.back() == '.') head.pop_back();
    if (head.empty()) return false;
    int value = 0;
    const char* begin = head.data();
    const char* end = begin + head.size();
    if (*begin == '+') ++begin;
    auto [ptr, ec] = std::from_chars(begin, end, value);
    return ec == std::errc() && ptr == end && begin != end;
}

std::tm LocalTime(std::time_t t) {
    std::tm out{};
#ifdef _WIN32
    localtime_s(&out, &t);
#else
    localtime_r(&t, &out);
#endif
    return out;
}

std::string TwoDigits(int value) {
    std::string text = std::to_string(value % 100);
    return text.size() < 2 ? "0" + text : text;
}

bool PathIsTaken(const std::string& path) {
    std::error_code ec;
    auto status = std::filesystem::symlink_status(std::filesystem::path(path), ec);
    // An error other than "not found" (e.g. no permission to look) counts as taken: never risk
    // writing over something we could not see.
    if (ec) return ec != std::errc::no_such_file_or_directory;
    return std::filesystem::exists(status);
}

}  // namespace

std::string FormatTimestamp(std::chrono::system_clock::time_point when) {
    const std::tm tm = LocalTime(std::chrono::system_clock::to_time_t(when));
    return TwoDigits(tm.tm_mday) + "-" + TwoDigits(tm.tm_mon + 1) + "-" + TwoDigits(tm.tm_year) +
           " " + std::to_string(tm.tm_hour) + "-" + std::to_string(tm.tm_min) + "-" +
           std::to_string(tm.tm_sec);
}

std::string WithTrailingSeparator(std::string folder) {
    if (!folder.empty() && !IsSeparator(folder.back())) folder.push_back(kNativeSeparator);
    return folder;
}

std::string NicknamesFilePath(const SelectedSource& source) {
    std::string path = eudora::TrimSpaces(source.path);
    if (!source.useDefault) return path;
    const bool endsInSeparator = !path.empty() && (path.back() == '\\' || path.back() == '/');
    if (!endsInSeparator) {
        const bool windowsStyle =
            kNativeSeparator == '\\' || path.empty() || LooksLikeWindowsPath(path);
        path.push_back(windowsStyle ? '\\' : '/');
    }
    path += kNicknamesFileName;
    return path;
}

std::string OutlookErrorText() {
    std::string text;
    text += "Outlook Session Creation Error !";
    text += kCrLf;
    text += "Check if Outlook is installed and configured.";
    text += kCrLf;
    text +=
        "If Outlook 2013/2010 (64 Bit) is installed, then please try to re-install it as "
        "Outlook 2013/2010 (32 Bit).";
    text += kCrLf;
    text += "Here are steps to downgrade Outlook 2013/2010 to 32 Bit from 64 Bit Edition.";
    text += kCrLf;
    text += kWebSiteBase;
    text += "/help/downgrade-office-2010-to-32-bit.pdf";
    return text;
}

bool FileExists(const std::string& path) {
    std::int64_t length = -1;
    if (auto native = platform::ResolveNativePath(path)) {
        std::error_code ec;
        // file_size fails for directories and missing files, as reading a length would.
        const auto size = std::filesystem::file_size(*native, ec);
        if (!ec) length = static_cast<std::int64_t>(size);
    }
    return length > -1;
}

Exporter::Exporter(ExportHost& host, platform::StoreSessionFactory& sessions)
    : host_(host), sessions_(sessions), clock_([] { return std::chrono::system_clock::now(); }) {}

Exporter::~Exporter() { ReleaseStoreObjects(); }

void Exporter::ReleaseStoreObjects() {
    // Innermost first: the wrapper refers to the current list, items and stores to their session.
    state_.distListWrapper.reset();
    state_.currentDistList.reset();
    state_.currentContactItem.reset();
    state_.store.reset();
    state_.session.reset();
}

void Exporter::ShowOutlookError(const std::string& cause) {
    host_.AppendLog("Outlook file error: " + cause);
    host_.ShowMessage(kOutlookErrorTitle, OutlookErrorText(), MessageIcon::Information,
                      MessageButtons::Ok);
}

std::string Exporter::PickFreePstPath(const std::string& stem) const {
    std::string candidate = stem + ".pst";
    for (int n = 2; PathIsTaken(candidate); ++n) {
        candidate = stem + " (" + std::to_string(n) + ").pst";
    }
    return candidate;
}

bool Exporter::PrepareOutputStore() {
    state_.pstPath.clear();
    // A failed preparation must never leave the previous export's store addressable.
    state_.storeEntryId.clear();
    host_.AppendLog("Looking for file saving location...");
    state_.outputFolder = host_.BrowseForFolder(kFolderPickerTitle);
    if (state_.outputFolder.empty()) return false;
    state_.outputFolder = WithTrailingSeparator(std::move(state_.outputFolder));

    const std::string prefix = std::string(kStoreNameStem) + std::string(kCreatedInfix);
    state_.displayName = prefix + FormatTimestamp(clock_());
    state_.pstPath = PickFreePstPath(state_.outputFolder + prefix + FormatTimestamp(clock_()));
    host_.AppendLog("Checking Outlook Components...");

    try {
        ReleaseStoreObjects();
        state_.session = sessions_.CreateSession();
        state_.store = state_.session->LogonPstStore(eudora::TrimSpaces(state_.pstPath),
                                                     kUnicodePstFormat, state_.displayName);
        host_.AppendLog("Successfully located required components.");
        const std::string version = state_.session->OutlookVersion();
        if (!VersionTextIsUsable(version)) {
            throw StoreError("the store writer reported an unusable version \"" + version + "\"");
        }
        host_.AppendLog("Creating Outlook Personal Storage File...");
        host_.AppendLog("Applying Personal Folders Naming...");
        state_.store->ApplyDisplayName();
        host_.AppendLog("Initializing default folders...");
        state_.storeEntryId = state_.store->EntryID();
        host_.ProcessEvents();
        state_.session->Logoff();
        ReleaseStoreObjects();
        return true;
    } catch (const StoreError& error) {
        // The session and store stay referenced until replaced, as after any failed preparation.
        state_.storeEntryId.clear();
        ShowOutlookError(error.what());
        return false;
    }
}

void Exporter::AddContact(const std::string& storeEntryId, int folderKind, const std::string& name,
                          const std::string& address, const std::string& displayName) {
    if (!state_.session) throw StoreError("no store session is open");
    auto store = state_.session->GetStoreFromID(storeEntryId);
    auto folder = store->GetDefaultFolder(static_cast<platform::DefaultFolder>(folderKind));
    state_.currentContactItem = folder->AddItem(platform::ItemKind::Contact);
    state_.currentContactItem->SetText(platform::ItemProperty::FirstName, name);
    state_.currentContactItem->SetText(platform::ItemProperty::Email1Address, address);
    if (!displayName.empty()) {
        state_.currentContactItem->SetText(platform::ItemProperty::Email1DisplayName, displayName);
    }
    state_.currentContactItem->Save();
    state_.currentContactItem.reset();
}

void Exporter::ReportBookUnreadable(const std::string& path, const std::string& cause,
                                    ExportOutcome& outcome) {
    outcome.bookUnreadable = true;
    if (cause.empty()) {
        host_.AppendLog("Address book not found: " + path);
    } else {
        host_.AppendLog("Address book could not be read: " + path + " (" + cause + ")");
    }
    host_.ShowMessage(kExportFailedTitle,
                      "The address book file could not be read:" + std::string(kCrLf) + path,
                      MessageIcon::Warning, MessageButtons::Ok);
}

void Exporter::ReportWriteFailure(const std::string& cause, ExportOutcome& outcome) {
    outcome.writeFailed = true;
    host_.AppendLog("Could not write the Outlook file: " + cause);
    std::string text = "The Outlook file could not be written:";
    text += kCrLf;
    text += cause;
    text += kCrLf;
    text += "Items saved before the failure are kept in:";
    text += kCrLf;
    text += state_.pstPath;
    host_.ShowMessage(kExportFailedTitle, text, MessageIcon::Warning, MessageButtons::Ok);
}

void Exporter::WriteGroup(const std::string& name, const std::string& addressText,
                          ExportOutcome& outcome) {
    // The previous wrapper refers to the previous list: release it before the list.
    state_.distListWrapper.reset();
    state_.currentDistList.reset();

    std::string failure;
    try {
        auto store = state_.session->GetStoreFromID(state_.storeEntryId);
        auto folder = store->GetDefaultFolder(platform::DefaultFolder::Contacts);
        state_.currentDistList = folder->AddItem(platform::ItemKind::DistList);
        state_.currentDistList->SetText(platform::ItemProperty::DLName, name);
        state_.currentDistList->SetText(platform::ItemProperty::Body, name);
        state_.currentDistList->Save();
    } catch (const PstWriteError&) {
        throw;
    } catch (const StoreError& error) {
        failure = error.what();
        state_.currentDistList.reset();
    }
    host_.AppendLog("+ Creating Group : " + name);
    if (!failure.empty()) {
        ++outcome.itemsFailed;
        host_.AppendLog("     ! Not written: " + failure);
        return;
    }

    const std::vector<eudora::Address> members = eudora::SplitMembers(addressText);
    host_.ProcessEvents();
    int added = 0;
    bool saved = false;
    try {
        state_.distListWrapper = state_.session->CreateDistListWrapper();
        state_.distListWrapper->SetItem(state_.currentDistList.get());
        for (const eudora::Address& entry : members) {
            host_.ProcessEvents();
            platform::Member member;
            member.displayName = entry.displayName.empty() ? entry.address : entry.displayName;
            member.address = entry.address;
            try {
                state_.distListWrapper->AddMember(member);
                ++added;
            } catch (const PstWriteError&) {
                throw;
            } catch (const StoreError& error) {
                if (failure.empty()) failure = error.what();
            }
        }
        state_.distListWrapper->Save();
        saved = true;
    } catch (const PstWriteError&) {
        throw;
    } catch (const StoreError& error) {
        failure = error.what();
    }
    // The count reports only members that were stored; a list without any member has no line.
    if (saved && added > 0) {
        host_.AppendLog("     - Saved " + std::to_string(added) + " Members in Group...");
    }
    if (failure.empty()) {
        ++outcome.itemsWritten;
    } else {
        ++outcome.itemsFailed;
        host_.AppendLog("     ! Not written: " + failure);
    }
}

void Exporter::WriteContact(const std::string& name, const std::string& addressText,
                            ExportOutcome& outcome) {
    const eudora::Address address = eudora::ParseAddress(addressText);
    host_.ProcessEvents();
    const std::string trimmedName = eudora::TrimSpaces(name);
    std::string failure;
    try {
        AddContact(state_.storeEntryId, static_cast<int>(platform::DefaultFolder::Contacts),
                   trimmedName, eudora::TrimSpaces(address.address), address.displayName);
    } catch (const PstWriteError&) {
        state_.currentContactItem.reset();
        throw;
    } catch (const StoreError& error) {
        state_.currentContactItem.reset();
        failure = error.what();
    }
    ++contactCounter_;
    host_.AppendLog("Creating Contact : " + std::to_string(contactCounter_) + " - " + trimmedName);
    if (failure.empty()) {
        ++outcome.itemsWritten;
    } else {
        ++outcome.itemsFailed;
        host_.AppendLog("     ! Not written: " + failure);
    }
    host_.ProcessEvents();
}

void Exporter::ReadBook(platform::TextFileOpener& opener, ExportOutcome& outcome) {
    const std::string& path = state_.nicknamesFilePath;
    std::unique_ptr<platform::TextReader> reader;
    try {
        reader = opener.Open(path);
    } catch (const platform::TextFileError& error) {
        ReportBookUnreadable(path, error.what(), outcome);
        return;
    }

    std::int64_t lineNumber = 0;
    while (true) {
        std::string line;
        try {
            host_.ProcessEvents();
            if (reader->AtEndOfStream()) break;
            line = reader->ReadLine();
        } catch (const platform::TextFileError& error) {
            ReportBookUnreadable(path, error.what(), outcome);
            return;
        }
        ++lineNumber;
        if (!eudora::IsNicknameLine(line)) continue;

        const eudora::ParsedNickname parsed = eudora::ParseNicknameLine(line);
        if (!parsed.paired) {
            ++outcome.linesSkipped;
            host_.AppendLog("Skipped line " + std::to_string(lineNumber) + ": " +
                            parsed.skipReason);
            continue;
        }
        if (parsed.kind == eudora::NicknameKind::Group) {
            WriteGroup(parsed.name, parsed.addressText, outcome);
        } else {
            WriteContact(parsed.name, parsed.addressText, outcome);
        }
        host_.ProcessEvents();
    }
}

ExportOutcome Exporter::ExportAddressBook() {
    ExportOutcome outcome;
    contactCounter_ = 0;

    const bool prepared = PrepareOutputStore();
    if (state_.outputFolder.empty()) {
        outcome.cancelled = true;
        return outcome;
    }
    if (!state_.pstPath.empty() && (prepared || FileExists(state_.pstPath))) {
        outcome.pstPath = state_.pstPath;
    }
    // After a failed preparation the run stops: there is no store of this export to write into.
    if (!prepared) {
        outcome.storeFailed = true;
        return outcome;
    }

    try {
        ReleaseStoreObjects();
        state_.session = sessions_.CreateSession();
        state_.session->LogonPstStore(eudora::TrimSpaces(state_.pstPath), kUnicodePstFormat,
                                      state_.displayName);
    } catch (const StoreError& error) {
        outcome.storeFailed = true;
        ShowOutlookError(error.what());
        return outcome;
    }
    host_.AppendLog("Reinitiating Outlook Connection...");
    host_.ProcessEvents();

    try {
        state_.nicknamesFilePath = NicknamesFilePath(host_.GetSelectedSource());
        if (!FileExists(state_.nicknamesFilePath)) {
            // Something that is there but has no length (a directory) is unreadable, not missing.
            bool present = false;
            if (auto native = platform::ResolveNativePath(state_.nicknamesFilePath)) {
                present = PathIsTaken(native->string());
            }
            if (!present) {
                ReportBookUnreadable(state_.nicknamesFilePath, {}, outcome);
                return outcome;
            }
        }
        host_.ProcessEvents();
        ReadBook(opener_ ? *opener_ : platform::DefaultTextFileOpener(), outcome);

        host_.ProcessEvents();
        // Everything saved so far becomes durable, also when the book failed part-way.
        state_.session->Flush();
    } catch (const StoreError& error) {
        // A failing write of the file itself (PstWriteError), or a flush the store refused.
        state_.distListWrapper.reset();
        state_.currentDistList.reset();
        ReportWriteFailure(error.what(), outcome);
        return outcome;
    }
    if (outcome.bookUnreadable) return outcome;

    host_.AppendLog("Finished...");
    outcome.finished = true;
    if (outcome.itemsFailed == 0) {
        host_.ShowMessage(kExportCompleteTitle, kExportCompleteText, MessageIcon::Information,
                          MessageButtons::Ok);
    } else {
        std::string text(kExportCompleteText);
        text += kCrLf;
        text += std::to_string(outcome.itemsFailed);
        text += " item(s) could not be written.";
        host_.ShowMessage(kExportCompleteTitle, text, MessageIcon::Warning, MessageButtons::Ok);
    }
    return outcome;
}

}  // namespace tarvelle::exporter
