#include "export/Export.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <ctime>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "eudora/ContactFields.h"
#include "eudora/ExtraBooks.h"
#include "eudora/Nicknames.h"
#include "eudora/PopulateAhead.h"
#include "export/LineFeed.h"
#include "export/ShownText.h"
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

// A folder whose names cannot be looked at: nothing can be created in it.
class UnusableFolder : public StoreError {
  public:
    using StoreError::StoreError;
};

// Whether something exists under `path`; any error other than "not found" is thrown (as the
// system's error), since nothing can be decided about a name that cannot be looked at.
bool PathIsTaken(const std::string& path) {
    std::error_code ec;
    auto status = std::filesystem::symlink_status(platform::PathFromUtf8(path), ec);
    if (ec && ec != std::errc::no_such_file_or_directory) throw std::system_error(ec);
    return std::filesystem::exists(status);
}

// Path texts are UTF-8 on every system (platform::ResolveNativePath).
std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The data folder's Nickname subfolder, under whatever case of its name it has.
std::filesystem::path NicknameSubfolder(const std::filesystem::path& dataFolder) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dataFolder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string name = Utf8(it->path().filename());
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (name == "nickname" && it->is_directory(ec)) return it->path();
    }
    return dataFolder / eudora::kNicknameFolderName;
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

std::string MainBookPath(const SelectedSource& source) {
    std::string path = NicknamesFilePath(source);
    if (!source.useDefault) return path;
    if (auto folder = platform::ResolveNativePath(eudora::TrimSpaces(source.path))) {
        const eudora::BookFiles files = eudora::FindBookFiles(*folder);
        if (files.mainBook && *files.mainBook != kNicknamesFileName) {
            // NNdbase.nnt, or the file under another case of its name.
            path = path.substr(0, path.size() - kNicknamesFileName.size()) + *files.mainBook;
        }
    }
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

std::string FileCreationErrorText(const std::string& folder, const std::string& cause) {
    // The folder as the user knows it: without the separator the run put after it.
    std::string shown = folder;
    if (shown.size() > 1 && IsSeparator(shown.back()) && shown[shown.size() - 2] != ':') {
        shown.pop_back();
    }
    std::string text = "The Outlook file could not be created in " + ShownPath(shown) + ":";
    text += kCrLf;
    text += ShownPath(cause);
    text += kCrLf;
    text += "Please choose another folder, or make room on its disk, and export again.";
    text += kCrLf;
    text += kWebSiteBase;
    text += "/tarvelle/guide.html";
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
    pendingLists_.clear();
    state_.bookFolder.reset();
    defaultFolder_.reset();
    state_.currentDistList.reset();
    state_.currentContactItem.reset();
    state_.store.reset();
    state_.session.reset();
}

void Exporter::ShowOutlookError(const std::string& cause, bool writerUnusable) {
    host_.AppendLog("Outlook file error: " + ShownPath(cause));
    // Re-installing Outlook helps only where the store writer itself is unusable; the file and
    // its folder are the user's to change.
    host_.ShowMessage(
        kOutlookErrorTitle,
        writerUnusable ? OutlookErrorText() : FileCreationErrorText(state_.outputFolder, cause),
        MessageIcon::Information, MessageButtons::Ok);
}

void Exporter::CloseStore(ExportOutcome& outcome) {
    if (state_.session) {
        try {
            state_.session->Close();
        } catch (const StoreError& error) {
            // The file keeps its last commit; a failure already reported is not reported again.
            if (!outcome.writeFailed && !outcome.storeFailed) {
                const auto* writeError = dynamic_cast<const PstWriteError*>(&error);
                ReportWriteFailure(
                    error.what(),
                    writeError ? std::optional(writeError->ItemsKept()) : std::nullopt, outcome);
            }
        }
    }
    ReleaseStoreObjects();
}

std::string Exporter::PickFreePstPath(const std::string& stem, int& from) const {
    // A folder holding this many exports of one second is not looked through any further.
    constexpr int kMostNumbers = 10'000;
    for (; from <= kMostNumbers; ++from) {
        const std::string candidate =
            from == 1 ? stem + ".pst" : stem + " (" + std::to_string(from) + ").pst";
        try {
            if (!PathIsTaken(candidate)) return candidate;
        } catch (const std::system_error& error) {
            throw UnusableFolder("Cannot use the folder " + ShownPath(state_.outputFolder) + ": " +
                                 error.code().message());
        }
    }
    throw UnusableFolder("Cannot use the folder " + ShownPath(state_.outputFolder) +
                         ": no free file name is left");
}

bool Exporter::PrepareOutputStore() {
    state_.pstPath.clear();
    pstCreated_ = false;
    // A failed preparation must never leave the previous export's store addressable.
    state_.storeEntryId.clear();
    host_.AppendLog("Looking for file saving location...");
    state_.outputFolder = host_.BrowseForFolder(kFolderPickerTitle);
    if (state_.outputFolder.empty()) return false;
    state_.outputFolder = WithTrailingSeparator(std::move(state_.outputFolder));

    // One reading of the clock: the display name and the file name carry the same time.
    const std::string name =
        std::string(kStoreNameStem) + std::string(kCreatedInfix) + FormatTimestamp(clock_());
    state_.displayName = name;
    const std::string stem = state_.outputFolder + name;
    auto reportUnusable = [this](const UnusableFolder& error) {
        state_.pstPath.clear();
        host_.AppendLog(error.what());
        host_.ShowMessage(kExportFailedTitle, error.what(), MessageIcon::Warning,
                          MessageButtons::Ok);
    };
    int number = 1;
    try {
        state_.pstPath = PickFreePstPath(stem, number);
    } catch (const UnusableFolder& error) {
        reportUnusable(error);
        return false;
    }
    host_.AppendLog("Checking Outlook Components...");

    bool writerUnusable = true;  // for a failure of the step running now
    try {
        ReleaseStoreObjects();
        state_.session = sessions_.CreateSession();
        writerUnusable = false;
        while (!state_.store) {
            try {
                state_.store = state_.session->LogonPstStore(eudora::TrimSpaces(state_.pstPath),
                                                             kUnicodePstFormat, state_.displayName);
            } catch (const platform::StoreNameTaken&) {
                // Another export took the name since it was looked at: the next free one.
                ++number;
                state_.pstPath = PickFreePstPath(stem, number);
            }
        }
        pstCreated_ = true;
        host_.AppendLog("Successfully located required components.");
        writerUnusable = true;
        const std::string version = state_.session->OutlookVersion();
        if (!VersionTextIsUsable(version)) {
            throw StoreError("the store writer reported an unusable version \"" + version + "\"");
        }
        writerUnusable = false;
        host_.AppendLog("Creating Outlook Personal Storage File...");
        host_.AppendLog("Applying Personal Folders Naming...");
        state_.store->ApplyDisplayName();
        host_.AppendLog("Initializing default folders...");
        state_.storeEntryId = state_.store->EntryID();
        host_.ProcessEvents();
        state_.session->Logoff();
        ReleaseStoreObjects();
        return true;
    } catch (const UnusableFolder& error) {
        // Found while looking for a name after another export took one.
        reportUnusable(error);
        return false;
    } catch (const StoreError& error) {
        // The session and store stay referenced until replaced, as after any failed preparation.
        state_.storeEntryId.clear();
        ShowOutlookError(error.what(), writerUnusable);
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
    const std::string shown = ShownText(path);
    if (cause.empty()) {
        host_.AppendLog("Address book not found: " + shown);
    } else {
        host_.AppendLog("Address book could not be read: " + shown + " (" + ShownPath(cause) + ")");
    }
    host_.ShowMessage(kExportFailedTitle,
                      "The address book file could not be read:" + std::string(kCrLf) + shown,
                      MessageIcon::Warning, MessageButtons::Ok);
}

void Exporter::ReportBookChanged(const std::string& path, ExportOutcome& outcome) {
    outcome.bookChanged = true;
    const std::string text = "The address book changed while it was being exported";
    host_.AppendLog(text + ": " + ShownText(path));
    host_.ShowMessage(kExportFailedTitle, text + ":" + std::string(kCrLf) + ShownText(path),
                      MessageIcon::Warning, MessageButtons::Ok);
}

void Exporter::ReportWriteFailure(const std::string& cause, std::optional<std::size_t> itemsKept,
                                  ExportOutcome& outcome) {
    outcome.writeFailed = true;
    host_.AppendLog("Could not write the Outlook file: " + ShownPath(cause));
    std::string text = "The Outlook file could not be written:";
    text += kCrLf;
    text += ShownPath(cause);
    text += kCrLf;
    if (!itemsKept) {
        text += "Items saved before the failure are kept in:";
    } else if (*itemsKept == 0) {
        text += "The file keeps none of the items:";
    } else if (*itemsKept == 1) {
        text += "The file keeps the first item:";
    } else {
        text += "The file keeps the first " + std::to_string(*itemsKept) + " items:";
    }
    text += kCrLf;
    text += ShownPath(state_.pstPath);
    host_.ShowMessage(kExportFailedTitle, text, MessageIcon::Warning, MessageButtons::Ok);
}

void Exporter::ReportNotEnoughSpace(const platform::NotEnoughSpaceError& error,
                                    ExportOutcome& outcome) {
    outcome.writeFailed = true;
    constexpr std::uint64_t kMB = 1000 * 1000;
    const std::string text = "Not enough free space in " + ShownPath(error.Folder()) + ": about " +
                             std::to_string((error.Needed() + kMB - 1) / kMB) + " MB needed, " +
                             std::to_string(error.Available() / kMB) + " MB free";
    host_.AppendLog(text);
    host_.ShowMessage(kExportFailedTitle, text, MessageIcon::Warning, MessageButtons::Ok);
}

platform::Folder& Exporter::CurrentFolder() {
    if (state_.bookFolder) return *state_.bookFolder;
    // The default Contacts folder, looked up once per run rather than once per item.
    if (!defaultFolder_) {
        auto store = state_.session->GetStoreFromID(state_.storeEntryId);
        defaultFolder_ = store->GetDefaultFolder(platform::DefaultFolder::Contacts);
    }
    return *defaultFolder_;
}

std::vector<platform::Member> Exporter::GroupMembers(
    const std::vector<eudora::ResolvedMember>& resolvedMembers) const {
    std::vector<platform::Member> members;
    for (const eudora::ResolvedMember& resolved : resolvedMembers) {
        platform::Member member;
        const eudora::Address& entry = resolved.member;
        if (resolved.target != eudora::MemberTarget::Address) {
            const eudora::BookEntry& target = books_.Entries().at(resolved.entry);
            WrittenItem written = items_.At(target.itemNumber);
            if (!written.entryId.empty()) {
                member.itemEntryId = std::move(written.entryId);
                if (resolved.target == eudora::MemberTarget::Contact) {
                    // The one-off counterpart carries what the contact's Email1 carries.
                    member.address = written.emailAddress;
                    member.displayName = written.emailDisplayName;
                    if (member.displayName.empty()) member.displayName = target.nickname;
                } else {
                    // A personal list has no address of its own; MAPIPDL is its address type.
                    member.displayName = target.nickname;
                    member.addressType = "MAPIPDL";
                }
                members.push_back(std::move(member));
                continue;
            }
            // An item that could not be written: the entry stays what Eudora would send to.
        }
        member.displayName = entry.displayName.empty() ? entry.address : entry.displayName;
        member.address = entry.address;
        members.push_back(std::move(member));
    }
    return members;
}

void Exporter::WriteGroup(const eudora::BookEntry& entry, const eudora::ParsedNickname& parsed,
                          ExportOutcome& outcome) {
    // The previous wrapper refers to the previous list: release it before the list.
    state_.distListWrapper.reset();
    state_.currentDistList.reset();

    const std::string& name = parsed.name;
    std::string failure;
    try {
        state_.currentDistList = CurrentFolder().AddItem(platform::ItemKind::DistList);
        state_.currentDistList->SetText(platform::ItemProperty::DLName, name);
        state_.currentDistList->SetText(platform::ItemProperty::Body,
                                        eudora::DistListBody(name, books_.NoteOf(entry)));
        state_.currentDistList->Save();
        items_.Record(entry.itemNumber, state_.currentDistList->EntryID());
    } catch (const PstWriteError&) {
        throw;
    } catch (const StoreError& error) {
        failure = error.what();
        state_.currentDistList.reset();
    }
    host_.AppendLog("+ Creating Group : " + ShownText(name));
    if (!failure.empty()) {
        ++outcome.itemsFailed;
        host_.AppendLog("     ! Not written: " + ShownPath(failure));
        return;
    }

    // A list naming items written after it gets its members once they are all written: until
    // then (and in a file kept after a failure) it holds its name and text only, so its members
    // are stored once, not twice, and built only then.
    const std::vector<eudora::ResolvedMember> resolved =
        books_.ResolveMembers(entry, parsed.addressText);
    int deferred = 0;
    for (const eudora::ResolvedMember& member : resolved) {
        if (member.target == eudora::MemberTarget::Address) continue;
        const std::size_t item = books_.Entries().at(member.entry).itemNumber;
        if (item > entry.itemNumber && !items_.Written(item)) ++deferred;
    }
    for (const eudora::ResolvedMember& member : resolved) {
        // Eudora would send to the word as it stands (adding its default domain): so does the
        // list, but the user should know the name matched nothing.
        const std::string& word = member.member.address;
        if (member.reason == eudora::AddressReason::NamesNothing &&
            unknownReported_.insert(eudora::FoldNickname(word)).second) {
            host_.AppendLog("     ! Unknown nickname kept as an address: " + word);
        }
    }
    host_.ProcessEvents();
    if (deferred > 0) {
        // Kept until the items it names are written, without its members meanwhile; they are
        // counted now.
        PendingList& pending = pendingLists_.emplace_back();
        pending.item = std::move(state_.currentDistList);
        pending.entry = static_cast<std::size_t>(&entry - books_.Entries().data());
        pending.addressText = parsed.addressText;
        pending.targets.reserve(resolved.size());
        for (const eudora::ResolvedMember& member : resolved) {
            pending.targets.push_back({static_cast<std::uint32_t>(member.entry),
                                       static_cast<std::uint8_t>(member.target),
                                       static_cast<std::uint8_t>(member.reason)});
        }
        host_.AppendLog("     - Saved " + std::to_string(resolved.size()) + " Members in Group...");
        return;
    }
    int added = 0;
    bool saved = false;
    try {
        state_.distListWrapper = state_.session->CreateDistListWrapper();
        state_.distListWrapper->SetItem(state_.currentDistList.get());
        for (const platform::Member& member : GroupMembers(resolved)) {
            host_.ProcessEvents();
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
    if (!failure.empty()) {
        ++outcome.itemsFailed;
        host_.AppendLog("     ! Not written: " + ShownPath(failure));
    }
}

std::vector<eudora::ResolvedMember> Exporter::PendingMembers(const PendingList& pending) const {
    std::vector<eudora::Address> split = eudora::SplitMembers(pending.addressText);
    if (split.size() != pending.targets.size()) {
        throw std::logic_error("a pending list's members changed");
    }
    std::vector<eudora::ResolvedMember> members(split.size());
    for (std::size_t i = 0; i < split.size(); ++i) {
        members[i].member = std::move(split[i]);
        members[i].target = static_cast<eudora::MemberTarget>(pending.targets[i].target);
        members[i].reason = static_cast<eudora::AddressReason>(pending.targets[i].reason);
        members[i].entry = pending.targets[i].entry;
    }
    return members;
}

void Exporter::SavePendingLists(ExportOutcome& outcome) {
    for (PendingList& pending : pendingLists_) {
        host_.ProcessEvents();
        const eudora::BookEntry& entry = books_.Entries().at(pending.entry);
        try {
            state_.distListWrapper = state_.session->CreateDistListWrapper();
            state_.distListWrapper->SetItem(pending.item.get());
            state_.distListWrapper->ClearMembers();
            for (const platform::Member& member : GroupMembers(PendingMembers(pending))) {
                state_.distListWrapper->AddMember(member);
            }
            state_.distListWrapper->Save();
        } catch (const PstWriteError&) {
            throw;
        } catch (const StoreError& error) {
            // The list stays as first saved, with its name and text and no members.
            ++outcome.itemsFailed;
            host_.AppendLog("     ! Not written: " + ShownText(entry.nickname) + ": " +
                            ShownPath(error.what()));
        }
        state_.distListWrapper.reset();
        pending.item.reset();
    }
    pendingLists_.clear();
}

void Exporter::WriteContact(const eudora::BookEntry& entry, ExportOutcome& outcome) {
    using platform::ItemProperty;
    const eudora::ContactFields fields = eudora::MapEntryFields(books_, entry);
    host_.ProcessEvents();
    const std::string trimmedName = eudora::TrimSpaces(entry.nickname);
    std::string failure;
    try {
        state_.currentContactItem = CurrentFolder().AddItem(platform::ItemKind::Contact);
        platform::Item& item = *state_.currentContactItem;
        auto set = [&](ItemProperty property, const std::optional<std::string>& value) {
            if (value && !value->empty()) item.SetText(property, *value);
        };
        // The note's name when it gives one; otherwise the nickname is the first name. The
        // nickname has its own property either way.
        if (fields.name.Empty()) {
            item.SetText(ItemProperty::FirstName, trimmedName);
        } else {
            set(ItemProperty::FirstName, fields.name.given);
            set(ItemProperty::MiddleName, fields.name.middle);
            set(ItemProperty::LastName, fields.name.surname);
            set(ItemProperty::FullName, fields.fullName);
        }
        if (!fields.emailAddress.empty()) {
            item.SetText(ItemProperty::Email1Address, fields.emailAddress);
            set(ItemProperty::Email1DisplayName, fields.emailDisplayName);
        }
        set(ItemProperty::Nickname, fields.nickname);
        const ItemProperty emailProps[2][2] = {
            {ItemProperty::Email2Address, ItemProperty::Email2DisplayName},
            {ItemProperty::Email3Address, ItemProperty::Email3DisplayName}};
        for (std::size_t i = 0; i < fields.otherEmails.size() && i < 2; ++i) {
            set(emailProps[i][0], fields.otherEmails[i].address);
            set(emailProps[i][1], fields.otherEmails[i].displayName);
        }
        const eudora::PostalAddress* sets[2] = {&fields.home, &fields.work};
        const ItemProperty addressProps[2][6] = {
            {ItemProperty::HomeAddressStreet, ItemProperty::HomeAddressCity,
             ItemProperty::HomeAddressState, ItemProperty::HomeAddressPostalCode,
             ItemProperty::HomeAddressCountry, ItemProperty::HomeAddress},
            {ItemProperty::BusinessAddressStreet, ItemProperty::BusinessAddressCity,
             ItemProperty::BusinessAddressState, ItemProperty::BusinessAddressPostalCode,
             ItemProperty::BusinessAddressCountry, ItemProperty::BusinessAddress}};
        for (int i = 0; i < 2; ++i) {
            const eudora::PostalAddress& a = *sets[i];
            if (a.Empty()) continue;
            set(addressProps[i][0], a.street);
            set(addressProps[i][1], a.city);
            set(addressProps[i][2], a.state);
            set(addressProps[i][3], a.postalCode);
            set(addressProps[i][4], a.country);
            set(addressProps[i][5], a.FullText());
        }
        if (fields.Mailing() != nullptr) {
            item.SetText(ItemProperty::SelectedMailingAddress,
                         std::to_string(static_cast<int>(fields.mailing)));
        }
        set(ItemProperty::HomeTelephoneNumber, fields.homePhone);
        set(ItemProperty::HomeFaxNumber, fields.homeFax);
        set(ItemProperty::MobileTelephoneNumber, fields.mobilePhone);
        set(ItemProperty::PersonalHomePage, fields.personalHomePage);
        set(ItemProperty::BusinessTelephoneNumber, fields.businessPhone);
        set(ItemProperty::BusinessFaxNumber, fields.businessFax);
        set(ItemProperty::BusinessHomePage, fields.businessHomePage);
        set(ItemProperty::JobTitle, fields.title);
        set(ItemProperty::CompanyName, fields.company);
        set(ItemProperty::OtherTelephoneNumber, fields.otherPhone);
        set(ItemProperty::Body, fields.body);
        item.Save();
        items_.Record(entry.itemNumber, item.EntryID(), fields.emailAddress,
                      fields.emailDisplayName.value_or(std::string()));
        state_.currentContactItem.reset();
    } catch (const PstWriteError&) {
        state_.currentContactItem.reset();
        throw;
    } catch (const StoreError& error) {
        state_.currentContactItem.reset();
        failure = error.what();
    }
    ++contactCounter_;
    host_.AppendLog("Creating Contact : " + std::to_string(contactCounter_) + " - " +
                    ShownText(trimmedName));
    if (!failure.empty()) {
        ++outcome.itemsFailed;
        host_.AppendLog("     ! Not written: " + ShownPath(failure));
    }
    host_.ProcessEvents();
}

std::vector<BookSource> ExtraBooks(const SelectedSource& source) {
    // The data folder whose Nickname subfolder holds the extra books: the selected one, or the
    // folder of a main book picked by hand, so that both give the same export.
    std::optional<std::filesystem::path> dataFolder;
    if (source.useDefault) {
        dataFolder = platform::ResolveNativePath(eudora::TrimSpaces(source.path));
    } else if (auto picked = platform::ResolveNativePath(NicknamesFilePath(source))) {
        if (eudora::IsMainBookName(Utf8(picked->filename()))) dataFolder = picked->parent_path();
    }
    std::vector<BookSource> extra;
    if (!dataFolder) return extra;
    const eudora::BookFiles files = eudora::FindBookFiles(*dataFolder);
    const std::filesystem::path subfolder = NicknameSubfolder(*dataFolder);
    for (const eudora::ExtraBook& book : files.extraBooks) {
        extra.push_back({Utf8(subfolder / platform::PathFromUtf8(book.fileName)), book.folderName});
    }
    return extra;
}

bool Exporter::ChooseBooks(const SelectedSource& source, std::vector<BookSource>& books,
                           ExportOutcome& outcome) {
    state_.nicknamesFilePath = MainBookPath(source);
    std::vector<BookSource> extra = ExtraBooks(source);
    if (!FileExists(state_.nicknamesFilePath)) {
        // Something that is there but has no length (a directory), or that cannot be looked at,
        // is unreadable, not missing: the reading says why.
        bool present = false;
        if (auto native = platform::ResolveNativePath(state_.nicknamesFilePath)) {
            try {
                present = PathIsTaken(native->string());
            } catch (const std::system_error&) {
                present = true;
            }
        }
        if (!present) {
            ReportBookUnreadable(state_.nicknamesFilePath, {}, outcome);
            return false;
        }
    }
    books.push_back({state_.nicknamesFilePath, {}});
    for (BookSource& book : extra) books.push_back(std::move(book));
    return true;
}

bool Exporter::IndexBooks(platform::TextFileOpener& opener, const std::vector<BookSource>& books,
                          std::vector<BookRead>& reads, ExportOutcome& outcome) {
    // An entry takes a line of at least a few dozen bytes: sizing the index once from the files'
    // lengths saves moving it while it grows (space reserved and not used is never touched).
    std::uint64_t bytes = 0;
    std::vector<std::uint64_t> bookBytes;
    for (const BookSource& source : books) {
        std::uint64_t size = 0;
        if (auto native = platform::ResolveNativePath(source.path)) {
            std::error_code ec;
            size = std::filesystem::file_size(*native, ec);
            if (ec) size = 0;
        }
        bookBytes.push_back(size);
        bytes += size;
    }
    auto entriesIn = [](std::uint64_t bookBytes) {
        return static_cast<std::size_t>(std::min<std::uint64_t>(bookBytes / 32, 50'000'000));
    };
    // Note texts take less than their books (a hint, so a modest one where room is scarce).
    books_.Reserve(entriesIn(bytes),
                   static_cast<std::size_t>(std::min<std::uint64_t>(bytes, 64 << 20)));
    for (const BookSource& source : books) {
        const std::size_t book = books_.AddBook(source.path);
        BookRead& read = reads.emplace_back();
        read.stamp = platform::StampOf(source.path);
        // Read, decoded and hashed on a thread of its own, while this one indexes.
        LineFeed feed(opener, source.path, encoding_);
        try {
            read.encoding = feed.Encoding();
        } catch (const platform::TextFileError& error) {
            if (book == 0) {
                // Nothing of the run can be written without its main book.
                ReportBookUnreadable(source.path, error.what(), outcome);
                return false;
            }
            read.failure = error.what();
            break;
        }
        eudora::BookLineReader lines;
        // A checkpoint per line that may make an entry: sized as the index is.
        read.checkpoints.reserve(entriesIn(bookBytes[book]));
        eudora::PopulateAhead checkpointsAhead;
        try {
            while (true) {
                host_.ProcessEvents();
                const FedLine* line = feed.Next();
                if (line == nullptr) break;
                read.textBytes += line->text.size();
                ++read.lines;
                read.hash = line->hash;
                if (line->mayMakeEntry) {
                    read.checkpoints.emplace_back(read.lines, read.hash);
                    checkpointsAhead.Use(read.checkpoints);
                }
                if (line->skipReason) {
                    books_.AddSkippedLine(book, read.lines, line->skipReason);
                    // The layout reader still counts it, as a blank line.
                    if (!line->aliasNoteLayout) lines.Add({});
                } else if (line->parsed != nullptr) {
                    // One line is one entry at most: taken apart already, it goes in directly.
                    IndexParsedLine(book, read.lines, line->text, std::move(*line->parsed));
                } else {
                    lines.Add(std::string(line->text));
                }
                while (const eudora::BookLine* next = lines.Next()) IndexLine(book, *next);
            }
        } catch (const platform::TextFileError& error) {
            // The lines before the failure are still written; later books are not read.
            read.failure = error.what();
        }
        lines.End();
        while (const eudora::BookLine* next = lines.Next()) IndexLine(book, *next);
        if (read.failure) break;
    }
    books_.Resolve();
    return true;
}

void Exporter::IndexLine(std::size_t book, const eudora::BookLine& line) {
    const std::size_t entries = books_.Entries().size();
    books_.AddLine(book, line);
    CountLine(entries, line.nickname.size() + line.text.size(),
              line.kind == eudora::BookLine::Kind::Note ||
                  (line.kind == eudora::BookLine::Kind::Line && eudora::IsNoteLine(line.text)));
}

void Exporter::IndexParsedLine(std::size_t book, int lineNumber, std::string_view text,
                               eudora::ParsedBookLine parsed) {
    const std::size_t entries = books_.Entries().size();
    books_.AddParsedLine(book, lineNumber, std::move(parsed));
    CountLine(entries, text.size(), eudora::IsNoteLine(text));
}

void Exporter::CountLine(std::size_t entriesBefore, std::uint64_t bytes, bool noteLine) {
    // What the line made, and how much text it brought, tells the store how much is coming.
    if (books_.Entries().size() > entriesBefore) {
        const eudora::BookEntry& entry = books_.Entries().back();
        if (entry.skipReason) return;  // a skipped line makes no item
        (entry.kind == eudora::EntryKind::Group ? expected_.listText : expected_.contactText) +=
            bytes;
    } else if (noteLine) {
        expected_.noteText += bytes;
    }
}

bool Exporter::WriteBook(platform::TextFileOpener& opener, std::size_t book,
                         const BookSource& source, const BookRead& read, ExportOutcome& outcome) {
    state_.bookFolder.reset();
    if (book > 0) {
        host_.AppendLog("Reading address book : " + ShownText(source.folderName));
        try {
            auto store = state_.session->GetStoreFromID(state_.storeEntryId);
            state_.bookFolder = store->CreateContactsFolder(source.folderName);
        } catch (const PstWriteError&) {
            throw;
        } catch (const StoreError& error) {
            // Without its folder none of the book's items can be written.
            for (const eudora::BookEntry& entry : books_.BookEntries(book)) {
                if (!entry.skipReason) ++outcome.itemsFailed;
            }
            host_.AppendLog("     ! Not written: " + ShownPath(error.what()));
            if (!read.failure) return true;
            ReportBookUnreadable(source.path, *read.failure, outcome);
            return false;
        }
    }

    // Read on this thread, not through a LineFeed: the store's writer keeps the other core busy
    // through this pass, and a third thread measured no faster.
    std::unique_ptr<platform::TextReader> reader;
    std::optional<std::string> failure = read.failure;
    try {
        reader = opener.Open(source.path, read.encoding);
    } catch (const platform::TextFileError& error) {
        failure = error.what();
    }
    // Every item comes from the text the first pass indexed, or the run stops: the file must be
    // the same one, unchanged, and every line up to an item must read as it did then.
    bool changed = reader && platform::StampOf(source.path) != read.stamp;
    std::uint64_t hash = 0;
    std::size_t checkpoint = 0;
    eudora::BookLineReader lines;
    bool readAll = reader != nullptr;
    for (int lineNumber = 1; reader && !changed && lineNumber <= read.lines; ++lineNumber) {
        std::string line;
        try {
            host_.ProcessEvents();
            if (reader->AtEndOfStream()) {
                changed = true;
                break;
            }
            line = reader->ReadLine();
        } catch (const platform::TextFileError& error) {
            failure = error.what();
            readAll = false;
            break;
        }
        hash = HashLine(hash, line, reader->LastLineTooLong());
        if (checkpoint < read.checkpoints.size() &&
            read.checkpoints[checkpoint].first == lineNumber) {
            if (read.checkpoints[checkpoint++].second != hash) {
                changed = true;
                break;
            }
        }
        if (SkipReason(line, reader->LastLineTooLong())) {
            // Logged from its entry here, since a blank line makes no line of either layout.
            LogSkippedLine(book, lineNumber);
            line.clear();
        }
        lines.Add(std::move(line));
        while (const eudora::BookLine* next = lines.Next()) WriteLine(book, *next, outcome);
    }
    if (reader && !changed && !failure) {
        // Lines after the last item, or appended to the file, are looked at last.
        changed = hash != read.hash || platform::StampOf(source.path) != read.stamp;
    }
    if (readAll && !changed && !failure) {
        // The first pass ended its last block at the same line.
        lines.End();
        while (const eudora::BookLine* next = lines.Next()) WriteLine(book, *next, outcome);
    }
    state_.bookFolder.reset();
    if (changed) {
        ReportBookChanged(source.path, outcome);
        return false;
    }
    if (failure) {
        ReportBookUnreadable(source.path, *failure, outcome);
        return false;
    }
    return true;
}

void Exporter::LogSkippedLine(std::size_t book, int lineNumber) {
    const eudora::BookEntry* entry = books_.EntryAt(book, lineNumber);
    if (entry == nullptr || !entry->skipReason) return;
    host_.AppendLog("Skipped line " + std::to_string(lineNumber) + ": " + *entry->skipReason);
}

void Exporter::WriteLine(std::size_t book, const eudora::BookLine& line, ExportOutcome& outcome) {
    // A blank line makes no entry (a line skipped before the index is logged on its own).
    if (line.kind == eudora::BookLine::Kind::Line && eudora::IsBlankLine(line.text)) return;
    const eudora::BookEntry* entry = books_.EntryAt(book, line.number);
    if (entry == nullptr) return;
    if (entry->skipReason) {
        LogSkippedLine(book, line.number);
        return;
    }
    if (entry->kind == eudora::EntryKind::Group) {
        WriteGroup(*entry, eudora::ParseBookAlias(line), outcome);
    } else {
        WriteContact(*entry, outcome);
    }
    host_.ProcessEvents();
}

ExportOutcome Exporter::ExportAddressBook() {
    ExportOutcome outcome;
    contactCounter_ = 0;
    unknownReported_.clear();
    books_ = eudora::AddressBooks();
    expected_ = {};
    items_.Clear();
    pendingLists_.clear();

    const bool prepared = PrepareOutputStore();
    if (state_.outputFolder.empty()) {
        outcome.cancelled = true;
        return outcome;
    }
    // Only a file this run created is its result: never one another program made meanwhile.
    if (pstCreated_) outcome.pstPath = state_.pstPath;
    // After a failed preparation the run stops: there is no store of this export to write into.
    // A file it created is closed all the same.
    if (!prepared) {
        outcome.storeFailed = true;
        CloseStore(outcome);
        return outcome;
    }

    bool writerUnusable = true;
    try {
        ReleaseStoreObjects();
        state_.session = sessions_.CreateSession();
        writerUnusable = false;
        state_.session->LogonPstStore(eudora::TrimSpaces(state_.pstPath), kUnicodePstFormat,
                                      state_.displayName);
    } catch (const StoreError& error) {
        outcome.storeFailed = true;
        ShowOutlookError(error.what(), writerUnusable);
        return outcome;
    }
    host_.AppendLog("Reinitiating Outlook Connection...");
    host_.ProcessEvents();

    try {
        std::vector<BookSource> books;
        if (!ChooseBooks(host_.GetSelectedSource(), books, outcome)) {
            CloseStore(outcome);
            return outcome;
        }
        host_.ProcessEvents();
        platform::TextFileOpener& opener = opener_ ? *opener_ : platform::DefaultTextFileOpener();
        std::vector<BookRead> reads;
        if (!IndexBooks(opener, books, reads, outcome)) {
            CloseStore(outcome);
            return outcome;
        }
        // The index knows how much is coming: the store tells whether the disk can take it.
        std::uint64_t textBytes = 0;
        for (const eudora::BookEntry& entry : books_.Entries()) {
            if (entry.skipReason) continue;
            ++(entry.kind == eudora::EntryKind::Group ? expected_.lists : expected_.contacts);
        }
        const std::uint64_t items = expected_.contacts + expected_.lists;
        for (const BookRead& read : reads) textBytes += read.textBytes;
        try {
            state_.session->ExpectItems(expected_);
        } catch (const platform::NotEnoughSpaceError& error) {
            // Said before anything is written; the new file, still empty, goes again.
            ReportNotEnoughSpace(error, outcome);
            state_.session->Discard();
            pstCreated_ = false;
            outcome.pstPath.clear();
            CloseStore(outcome);
            return outcome;
        }
        // Entry IDs take 9 characters past their shared start; the Email1 parts are a part of
        // the text read.
        items_.Reserve(items, items * 9 + textBytes / 4);
        for (std::size_t book = 0; book < reads.size(); ++book) {
            if (!WriteBook(opener, book, books[book], reads[book], outcome)) break;
        }
        // Lists naming items written after them get those members now, also after a failed
        // read: every item they name that was written is in the file.
        SavePendingLists(outcome);
        // Done with: released while the store's writer finishes its last items, not after.
        books_ = eudora::AddressBooks();
        items_.Clear();

        host_.ProcessEvents();
    } catch (const StoreError& error) {
        // A failing write of the file itself (PstWriteError).
        state_.distListWrapper.reset();
        pendingLists_.clear();
        state_.bookFolder.reset();
        state_.currentDistList.reset();
        const auto* writeError = dynamic_cast<const PstWriteError*>(&error);
        ReportWriteFailure(error.what(),
                           writeError ? std::optional(writeError->ItemsKept()) : std::nullopt,
                           outcome);
        CloseStore(outcome);
        return outcome;
    }
    // Every export ends with its file final, also when the book failed part-way: committed,
    // trimmed and closed before the run says it is finished.
    CloseStore(outcome);
    if (outcome.bookUnreadable || outcome.bookChanged || outcome.writeFailed) return outcome;

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
