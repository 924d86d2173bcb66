// The export run and the output store preparation over the recording store double. The texts
// the run shows (log lines and message boxes) are checked exactly once, in kEndings.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "export/Export.h"
#include "export/ShownText.h"
#include "support/FakeTextFile.h"
#include "support/RecordingExportHost.h"
#include "support/RecordingStoreSession.h"
#include "support/TempDir.h"

namespace tarvelle::exporter {
namespace {

namespace fs = std::filesystem;
using platform::ItemKind;
using platform::ItemProperty;
using tarvelle::fakes::FakeTextFileOpener;
using tarvelle::fakes::RecordedItem;
using tarvelle::fakes::RecordingExportHost;
using tarvelle::fakes::RecordingSessionFactory;
using tarvelle::fakes::StoreRecord;
using tarvelle::fakes::TempDir;
using ::testing::_;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Key;
using ::testing::StartsWith;

// The separator the run puts after the picked folder.
const char kSep = WithTrailingSeparator("x").back();

const std::vector<std::string> kPreparationLines = {
    "Looking for file saving location...",       "Checking Outlook Components...",
    "Successfully located required components.", "Creating Outlook Personal Storage File...",
    "Applying Personal Folders Naming...",       "Initializing default folders...",
};

// Fails for each text property of `item` that is not as given.
void ExpectTexts(const RecordedItem& item,
                 std::initializer_list<std::pair<ItemProperty, std::string>> texts) {
    for (const auto& [property, value] : texts)
        EXPECT_EQ(item.Text(property), value) << "property " << static_cast<int>(property);
}

// A list's members as "display name <address> TYPE", with " -> nickname" for a member naming an
// item of the store.
std::vector<std::string> Members(const StoreRecord& record, const RecordedItem& list) {
    std::vector<std::string> out;
    for (const platform::Member& m : list.members) {
        std::string text = m.displayName + " <" + m.address + "> " + m.addressType;
        for (const auto& item : record.items)
            if (m.itemEntryId && item->entryId == *m.itemEntryId)
                text +=
                    " -> " + item->Text(ItemProperty::Nickname) + item->Text(ItemProperty::DLName);
        out.push_back(text);
    }
    return out;
}

class ExportRunTest : public ::testing::Test {
  public:
    ExportRunTest() : factory(record), exporter(host, factory) {
        fs::create_directory(dir.path() / "out");
        host.folder = (dir.path() / "out").string();
        exporter.SetClock([this] { return now; });
    }

    // Points the selection at a picked book with these lines (CR LF terminated).
    void UseBook(const std::vector<std::string>& lines) {
        std::string bytes;
        for (const auto& line : lines) bytes += line + "\r\n";
        host.source = {false, dir.Write("NNdbase.txt", bytes)};
    }

    std::string ExpectedPstPath(const std::string& suffix = "") const {
        return host.folder + kSep + "Eudora Address Book Created-05-12-26 9-5-3" + suffix + ".pst";
    }

    // The log lines after the preparation and the re-open.
    std::vector<std::string> RunLines() const {
        const auto skip = std::min(std::ssize(kPreparationLines) + 1, std::ssize(host.log));
        return {host.log.begin() + skip, host.log.end()};
    }

    // Runs again a second later, with the log and the messages of the earlier runs cleared.
    ExportOutcome RunAgain() {
        host.log.clear();
        host.messages.clear();
        now += std::chrono::seconds(1);
        return exporter.ExportAddressBook();
    }

    TempDir dir;
    FakeTextFileOpener fake;
    RecordingExportHost host;
    StoreRecord record;
    RecordingSessionFactory factory;
    Exporter exporter;
    std::chrono::system_clock::time_point now = [] {
        std::tm tm{};  // 2026-12-05 09:05:03 local time
        tm.tm_year = 126, tm.tm_mon = 11, tm.tm_mday = 5, tm.tm_hour = 9, tm.tm_min = 5,
        tm.tm_sec = 3;
        tm.tm_isdst = -1;
        return std::chrono::system_clock::from_time_t(std::mktime(&tm));
    }();
};

TEST_F(ExportRunTest, WritesContactsAndGroupsWithTheirNoteFieldsIntoTheNewStore) {
    std::vector<std::string> callsAtMessage;
    host.onMessage = [&] { callsAtMessage = record.calls; };
    UseBook({"alias john john@example.com", "note john <name:John Smith>", "",
             "alias team a@example.com, \"Bea Brown\" <b@example.org>, c@example.net (Cy Clark)",
             "alias carol \"White, Carol\" <carol@example.org>",
             "note ann <name:Ann Lee><address:1 Main St\x03"
             "Flat 2><city:Springfield><state:IL>"
             "<zip:62701><country:USA><phone:555-1000><fax:555-1001><mobile:555-1002>"
             "<web:ann.example.com><address2:9 Work Rd><city2:Shelbyville><phone2:555-2000>"
             "<fax2:555-2001><web2:work.example.com><title:Engineer><company:Acme>"
             "<primary:work><otheremail:ann2@example.org,ann3@example.org,ann4@example.org>"
             "<otherphone:555-3000>Likes tea",
             "alias ann ann@example.com", "note bob <phone:555-9999>",
             "alias plain plain@example.com"});
    const ExportOutcome outcome = exporter.ExportAddressBook();
    EXPECT_THAT(host.pickerTitles,
                ElementsAre("Choose Folder to Save Exported Outlook Contacts File"));
    EXPECT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.itemsFailed, 0);
    EXPECT_EQ(outcome.pstPath, ExpectedPstPath());

    // Created once, then opened again: both log-ons name the same file and display name.
    const std::string logon = ExpectedPstPath() + "|1|Eudora Address Book Created-05-12-26 9-5-3";
    EXPECT_THAT(record.logons, ElementsAre(logon, logon));
    EXPECT_EQ(record.Count("Logoff"), 1);  // the preparation logs off; the run closes
    // The completion is announced once the file is final.
    ASSERT_FALSE(callsAtMessage.empty());
    EXPECT_EQ(callsAtMessage.back(), "Close");

    const auto items = record.SavedItems();
    ASSERT_EQ(items.size(), 6u);
    for (const auto& item : items) EXPECT_EQ(item->storeEntryId, exporter.State().storeEntryId);
    using P = ItemProperty;
    // The note's name names the person and the address; the nickname keeps its own property.
    EXPECT_EQ(items[0]->kind, ItemKind::Contact);
    ExpectTexts(*items[0], {{P::FirstName, "John"},
                            {P::LastName, "Smith"},
                            {P::FullName, "John Smith"},
                            {P::Email1Address, "john@example.com"},
                            {P::Email1DisplayName, "John Smith"},
                            {P::Nickname, "john"}});
    EXPECT_EQ(items[1]->kind, ItemKind::DistList);
    ExpectTexts(*items[1], {{P::DLName, "team"}, {P::Body, "team"}});
    EXPECT_THAT(Members(record, *items[1]),
                ElementsAre("a@example.com <a@example.com> SMTP", "Bea Brown <b@example.org> SMTP",
                            "Cy Clark <c@example.net> SMTP"));
    ExpectTexts(*items[2], {{P::FirstName, "carol"},
                            {P::Email1Address, "carol@example.org"},
                            {P::Email1DisplayName, "White, Carol"}});
    // The note fields the sample books in the binary tests do not have.
    ExpectTexts(*items[3], {{P::HomeFaxNumber, "555-1001"},
                            {P::BusinessAddress, "9 Work Rd\r\nShelbyville"},
                            {P::BusinessHomePage, "work.example.com"},
                            {P::SelectedMailingAddress, "2"},
                            {P::Email2DisplayName, "Ann Lee"}});
    // The free text first, then the address there is no property for.
    const std::string body = items[3]->Text(P::Body);
    EXPECT_EQ(body.rfind("Likes tea", 0), 0u) << body;
    EXPECT_NE(body.find("ann4@example.org"), std::string::npos) << body;
    // A note without an alias line: a contact without e-mail address, placed at its note line.
    ExpectTexts(*items[4], {{P::FirstName, "bob"}, {P::HomeTelephoneNumber, "555-9999"}});
    EXPECT_EQ(items[4]->texts.count(P::Email1Address), 0u);
    // Without a note only the name, the address and the nickname are set.
    EXPECT_THAT(items[5]->texts,
                ElementsAre(Key(P::FirstName), Key(P::Email1Address), Key(P::Nickname)));

    // The window gets a chance to repaint for every line read.
    EXPECT_GE(host.processEventsCalls, 9);
}

// Every way a run ends, with the texts it shows exactly: the log from where the run leaves the
// preparation, and the one message box.
struct Ending {
    const char* name;
    std::vector<std::string> book;
    std::function<void(ExportRunTest&)> arrange;
    std::size_t preparationLines;  // lines of the preparation logged before `log`
    std::vector<std::string> log;  // "{book}" and "{pst}" stand for the paths
    const char* title;
    std::string text;
    MessageIcon icon;
    bool ExportOutcome::*outcome;  // the one flag of these that is set
    std::size_t saved;             // items saved
    int failed = 0;                // items reported as not written
    bool closes = true;  // false where no session (or store) was made that could be closed
};

void PrintTo(const Ending& e, std::ostream* os) { *os << e.name; }

// Re-installing Outlook is advised only where the writer itself failed.
const std::string kOutlookErrorText =
    "Outlook Session Creation Error !\r\n"
    "Check if Outlook is installed and configured.\r\n"
    "If Outlook 2013/2010 (64 Bit) is installed, then please try to re-install it as "
    "Outlook 2013/2010 (32 Bit).\r\n"
    "Here are steps to downgrade Outlook 2013/2010 to 32 Bit from 64 Bit Edition.\r\n"
    "https://tarvelle.example/help/downgrade-office-2010-to-32-bit.pdf";

// A file that cannot be made is reported with its folder and cause.
const std::string kFileNotCreatedText =
    "The Outlook file could not be created in {folder}:\r\nno\r\n"
    "Please choose another folder, or make room on its disk, and export again.\r\n"
    "https://tarvelle.example/tarvelle/guide.html";

auto FailOn(const char* operation, int nth, bool writeError, std::string cause) {
    return [=](ExportRunTest& t) { t.record.FailOn(operation, nth, writeError, cause); };
}

using Lines = std::vector<std::string>;
using Arrange = std::function<void(ExportRunTest&)>;
const std::string kComplete = "Address Book Export Complete !";

// clang-format off
// A store call of the preparation or the re-open that fails ("no") on a book of one contact.
Ending StoreFailure(const char* name, const char* operation, int nth, std::size_t preparationLines,
                    const std::string& text, bool closes = true) {
    return {name, {"alias a a@example.com"}, FailOn(operation, nth, false, "no"), preparationLines,
            {"Outlook file error: no"}, "Outlook Error", text, MessageIcon::Information,
            &ExportOutcome::storeFailed, 0, 0, closes};
}

// A run that reaches its end, with a warning when items were not written.
Ending Finished(const char* name, Lines book, Arrange arrange, Lines log, std::size_t saved, int failed = 0) {
    log.push_back("Finished...");
    return {name, std::move(book), std::move(arrange), 7, std::move(log), "Export Complete",
            failed ? kComplete + "\r\n" + std::to_string(failed) + " item(s) could not be written." : kComplete,
            failed ? MessageIcon::Warning : MessageIcon::Information, &ExportOutcome::finished, saved, failed};
}

Ending Unreadable(const char* name, Lines book, Arrange arrange, Lines log, std::size_t saved) {
    return {name, std::move(book), std::move(arrange), 7, std::move(log), "Export Failed",
            "The address book file could not be read:\r\n{book}", MessageIcon::Warning, &ExportOutcome::bookUnreadable, saved};
}

// The nth call of `operation` fails to write after the run logged `first`; the file keeps one item.
Ending WriteFailure(const char* name, Lines book, const char* operation, int nth, const std::string& cause, const char* first) {
    return {name, std::move(book), FailOn(operation, nth, true, cause), 7, {first, "Could not write the Outlook file: " + cause},
            "Export Failed", "The Outlook file could not be written:\r\n" + cause + "\r\nThe file keeps the first item:\r\n{pst}",
            MessageIcon::Warning, &ExportOutcome::writeFailed, 1};
}

const Lines kThree = {"alias a a@example.com", "alias b b@example.com", "alias c c@example.com"};

const Ending kEndings[] = {
    Finished("EmptyBook", {}, nullptr, {}, 0),
    Finished("NoNicknames", {"", " \t", "note \"\" names nothing"}, nullptr, {}, 0),
    StoreFailure("CreateSession", "CreateSession", 1, 2, kOutlookErrorText, false),
    StoreFailure("LogonPstStore", "LogonPstStore", 1, 2, kFileNotCreatedText),
    StoreFailure("OutlookVersion", "OutlookVersion", 1, 3, kOutlookErrorText),
    StoreFailure("ApplyDisplayName", "ApplyDisplayName", 1, 5, kFileNotCreatedText),
    StoreFailure("EntryID", "EntryID", 1, 6, kFileNotCreatedText),
    StoreFailure("Logoff", "Logoff", 1, 6, kFileNotCreatedText),
    StoreFailure("ReopenSession", "CreateSession", 2, 6, kOutlookErrorText, false),
    StoreFailure("ReopenStore", "LogonPstStore", 2, 6, kFileNotCreatedText, false),
    Unreadable("MissingBook", {}, [](ExportRunTest& t) { t.host.source = {false, (t.dir.path() / "nowhere" / "NNdbase.txt").string()}; },
               {"Address book not found: {book}"}, 0),
    Unreadable("BookCannotBeOpened", {"alias a a@example.com"},
               [](ExportRunTest& t) { t.fake.failOpen = true, t.fake.cause = "Permission denied"; t.exporter.SetTextFileOpener(t.fake); },
               {"Address book could not be read: {book} (Permission denied)"}, 0),
    Unreadable("ReadFailsPartWay", {}, [](ExportRunTest& t) { t.fake.lines = kThree, t.fake.failAfter = 2; t.exporter.SetTextFileOpener(t.fake); },
               {"Creating Contact : 1 - a", "Creating Contact : 2 - b", "Address book could not be read: {book} (Input/output error)"}, 2),
    Finished("RefusedItems", {"alias a a@example.com", "alias bad bad@example.com", "alias c c@example.com",
                              "alias badlist x@example.com, y@example.com", "alias list p@example.com, refuse@example.com, q@example.com"},
             [](ExportRunTest& t) {
                 t.record.onSave = [](const RecordedItem& item) {
                     if (item.Text(ItemProperty::FirstName) == "bad" || item.Text(ItemProperty::DLName) == "badlist") throw platform::StoreError("item refused");
                 };
                 t.record.onAddMember = [](const platform::Member& member) {
                     if (member.address == "refuse@example.com") throw platform::StoreError("member refused");
                 };
             },
             {"Creating Contact : 1 - a", "Creating Contact : 2 - bad", "     ! Not written: item refused", "Creating Contact : 3 - c",
              "+ Creating Group : badlist", "     ! Not written: item refused", "+ Creating Group : list",
              "     - Saved 2 Members in Group...", "     ! Not written: member refused"}, 3, 3),
    WriteFailure("FileCannotBeWritten", kThree, "Item.Save", 2, "No space left on device", "Creating Contact : 1 - a"),
    WriteFailure("MembersCannotBeWritten", {"alias g x@example.com, y@example.com", "alias a a@example.com"}, "Wrapper.Save", 1, "File too large", "+ Creating Group : g"),
    WriteFailure("CloseFails", {"alias a a@example.com"}, "Close", 1, "Input/output error", "Creating Contact : 1 - a"),
    Finished("SkippedLines", {"alias a a@example.com", "alias b", "alias g x@example.com, y@example.com", "alias \"Smith, John\" js@example.com",
                              "alias c c@example.com", "alias \"\" d@example.com", " alias e e@example.com", "alias d d@example.com"}, nullptr,
             {"Creating Contact : 1 - a", "Skipped line 2: no address", "+ Creating Group : g", "     - Saved 2 Members in Group...",
              "+ Creating Group : Smith, John", "     - Saved 1 Members in Group...", "Creating Contact : 2 - c",
              "Skipped line 6: no nickname", "Skipped line 7: not a nickname line", "Creating Contact : 3 - d"}, 5),
    // b and g are not written; the line without nickname is no item
    Finished("RefusedFolderOfAnExtraBook", {"alias a a@example.com"},
             [](ExportRunTest& t) {
                 fs::create_directory(t.dir.path() / "Nickname");
                 t.dir.Write("Nickname/one.txt", "alias b b@example.com\r\nalias g b, a\r\nalias\r\n");
                 t.dir.Write("Nickname/two.txt", "alias c c@example.com\r\n");
                 t.record.FailOn("CreateContactsFolder", 1, false, "folder refused");
                 t.host.source = {true, t.dir.path().string()};
             },
             {"Creating Contact : 1 - a", "Reading address book : one", "     ! Not written: folder refused",
              "Reading address book : two", "Creating Contact : 2 - c"}, 2, 2),
};
// clang-format on

class EndingTest : public ExportRunTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(EndingTest, LogsAndShowsExactlyTheseTexts) {
    const Ending& e = GetParam();
    UseBook(e.book);
    if (e.arrange) e.arrange(*this);
    std::size_t logAtClose = 0;
    record.onCall = [&](const std::string& operation) {
        if (operation == "Close") logAtClose = host.log.size();
    };
    const ExportOutcome outcome = exporter.ExportAddressBook();
    auto fill = [&](std::string text) {
        for (const auto& [mark, value] :
             {std::pair<std::string, std::string>{"{book}", host.source.path},
              {"{pst}", ExpectedPstPath()},
              {"{folder}", host.folder}})
            if (const auto at = text.find(mark); at != std::string::npos)
                text.replace(at, mark.size(), value);
        return text;
    };
    std::vector<std::string> expected = kPreparationLines;
    expected.push_back("Reinitiating Outlook Connection...");
    expected.resize(e.preparationLines);
    for (const std::string& line : e.log) expected.push_back(fill(line));
    EXPECT_THAT(host.log, ElementsAreArray(expected));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].title, e.title);
    EXPECT_EQ(host.messages[0].text, fill(e.text));
    EXPECT_EQ(host.messages[0].icon, e.icon);
    EXPECT_EQ(host.messages[0].buttons, MessageButtons::Ok);
    EXPECT_TRUE(outcome.*e.outcome);
    EXPECT_EQ(outcome.finished + outcome.storeFailed + outcome.bookUnreadable + outcome.writeFailed,
              1);
    EXPECT_EQ(record.SavedItems().size(), e.saved);
    EXPECT_EQ(outcome.itemsFailed, e.failed);
    EXPECT_TRUE(!outcome.storeFailed || host.sourceReads == 0);  // the book is not even read
    // However the run ends once its file exists, the file is closed and every store object
    // released; a finished run closes before it says so.
    EXPECT_THAT(record.violations, ::testing::IsEmpty());
    EXPECT_EQ(record.Count("Close"), e.closes ? 1 : 0);
    EXPECT_TRUE(!e.closes || record.openSessions == 0) << record.openSessions;
    EXPECT_EQ(exporter.State().store, nullptr);
    EXPECT_EQ(exporter.State().distListWrapper, nullptr);
    EXPECT_TRUE(!outcome.finished || host.log.at(logAtClose) == "Finished...") << logAtClose;
}

INSTANTIATE_TEST_SUITE_P(EveryEnding, EndingTest, ::testing::ValuesIn(kEndings),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExportRunTest, CancelledFolderPickerEndsTheRunSilently) {
    host.folder.clear();
    UseBook({"alias a a@example.com"});
    const ExportOutcome outcome = exporter.ExportAddressBook();
    EXPECT_THAT(host.log, ElementsAre("Looking for file saving location..."));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(record.calls.empty());
    EXPECT_EQ(host.sourceReads, 0);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_FALSE(outcome.finished);
    EXPECT_TRUE(exporter.State().outputFolder.empty());
    EXPECT_TRUE(fs::is_empty(dir.path() / "out"));
}

TEST_F(ExportRunTest, VersionTextMustStartWithANumber) {
    UseBook({});
    // clang-format off
    for (const auto& [version, accepted] : std::vector<std::pair<const char*, bool>>{
             {"", false}, {"x", false}, {"ab.1", false}, {" ", false}, {"16.0.5", true}, {"9.0", true}, {"12", true}, {"7", true}}) {
        // clang-format on
        record.versionText = version;
        const ExportOutcome outcome = RunAgain();
        EXPECT_EQ(outcome.finished, accepted) << '"' << version << '"';
        EXPECT_EQ(outcome.storeFailed, !accepted) << '"' << version << '"';
        EXPECT_EQ(host.messages.at(0).title, accepted ? "Export Complete" : "Outlook Error");
    }
}

TEST_F(ExportRunTest, NeverReusesAnExistingFileNameAndNamesTheFileAndStoreByOneTime) {
    UseBook({"alias a a@example.com"});
    int reads = 0;
    exporter.SetClock([&] { return now + std::chrono::seconds(reads++); });
    std::ofstream(ExpectedPstPath()) << "someone else's file";
    std::ofstream(ExpectedPstPath(" (2)")) << "another";
    const ExportOutcome outcome = exporter.ExportAddressBook();
    EXPECT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.pstPath, ExpectedPstPath(" (3)"));
    ASSERT_EQ(record.logons.size(), 2u);
    EXPECT_EQ(record.logons[0].substr(0, record.logons[0].find('|')), ExpectedPstPath(" (3)"));
    EXPECT_EQ(exporter.State().displayName, "Eudora Address Book Created-05-12-26 9-5-3");
    std::string content;
    std::getline(std::ifstream(ExpectedPstPath()), content);
    EXPECT_EQ(content, "someone else's file");
}

// Serves the first content to the first open, the last one to every later open, read with a
// line bound of 24 bytes.
class ChangingOpener : public platform::TextFileOpener {
  public:
    std::vector<std::string> contents;
    std::size_t opens = 0;
    using platform::TextFileOpener::Open;
    std::unique_ptr<platform::TextReader> Open(const std::string&,
                                               platform::TextEncoding encoding) override {
        return platform::MakeStringTextReader(contents.at(std::min(opens++, contents.size() - 1)),
                                              0, encoding, {}, 24);
    }
};

TEST_F(ExportRunTest, SkipsOverlongAndControlLinesAndStopsWhenALineChanges) {
    UseBook({});  // the file stays as it is: only the lines read tell the change
    const std::string book =
        "alias a a@example.org\r\nalias b bbbbbbbb@example.org\r\nalias c c@x\x01y\r\n";
    ChangingOpener opener;
    opener.contents = {book + "alias d d@example.org\r\n"};
    exporter.SetTextFileOpener(opener);
    ExportOutcome outcome = exporter.ExportAddressBook();
    EXPECT_TRUE(outcome.finished);
    EXPECT_THAT(RunLines(), ElementsAre("Creating Contact : 1 - a", "Skipped line 2: line too long",
                                        "Skipped line 3: control character",
                                        "Creating Contact : 2 - d", "Finished..."));

    opener.contents.push_back(book + "alias e d@example.org\r\n");
    opener.opens = 0;
    outcome = RunAgain();
    EXPECT_TRUE(outcome.bookChanged);
    EXPECT_FALSE(outcome.finished);
    EXPECT_THAT(RunLines(),
                ElementsAre(_, _, "Skipped line 3: control character",
                            StartsWith("The address book changed while it was being exported: ")));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].title, "Export Failed");
    EXPECT_EQ(record.SavedItems().size(), 3u);  // two from the first run, "a" from the second
}

TEST(ShownTextTest, QuotesAndEscapesOnlyTextWithControlCharacters) {
    EXPECT_EQ(ShownPath("C:\\x41\\Eudora \"b\""), "C:\\x41\\Eudora \"b\"");
    EXPECT_EQ(ShownPath("/tmp/a\nb\tc\\d\x1B"), "\"/tmp/a\\nb\\tc\\\\d\\x1B\"");
    EXPECT_EQ(ShownPath("\"q\""), "\"\\\"q\\\"\"");
    EXPECT_EQ(ShownPath("caf\xC3\xA9 \xC2\x9B"), "\"caf\xC3\xA9 \\xC2\\x9B\"");
    EXPECT_EQ(ShownPath(std::string(5000, 'p')).size(), 5000u);

    std::string text;
    for (std::size_t i = 0; i < kShownTextLimit; ++i) text += "\xC3\xA9";
    EXPECT_EQ(ShownText(text), text);
    EXPECT_EQ(ShownText(text + "\n"), text + "\xE2\x80\xA6");
}

TEST_F(ExportRunTest, SecondRunUsesANewFileAndRestartsNumbering) {
    UseBook({"alias a a@example.com", "alias b b@example.com"});
    exporter.ExportAddressBook();
    host.log.clear();
    now += std::chrono::seconds(14 * 3600 + 54 * 60 + 55);  // 23:59:58
    const ExportOutcome second = exporter.ExportAddressBook();
    EXPECT_THAT(RunLines(),
                ElementsAre("Creating Contact : 1 - a", "Creating Contact : 2 - b", "Finished..."));
    EXPECT_EQ(second.pstPath,
              host.folder + kSep + "Eudora Address Book Created-05-12-26 23-59-58.pst");
    EXPECT_EQ(record.sessionsCreated, 4);
    const auto items = record.SavedItems();
    ASSERT_EQ(items.size(), 4u);
    EXPECT_NE(items[0]->storeEntryId, items[2]->storeEntryId);
}

TEST_F(ExportRunTest, StoreObjectsAreReleasedBeforeTheirSessionAndAFailedStoreIsForgotten) {
    UseBook({"alias g x@example.com, y@example.com", "alias a a@example.com"});
    {
        Exporter scoped(host, factory);
        scoped.SetClock([this] { return now; });
        for (const bool failPreparation : {false, false, true, false}) {
            // A failed preparation keeps its session and store.
            if (failPreparation) record.FailOn("ApplyDisplayName");
            EXPECT_EQ(scoped.ExportAddressBook().finished, !failPreparation);
            EXPECT_EQ(scoped.State().storeEntryId.empty(), failPreparation);
            now += std::chrono::seconds(1);
        }
    }
    EXPECT_EQ(record.openSessions, 0);
    EXPECT_THAT(record.violations, ::testing::IsEmpty());
    EXPECT_EQ(record.SavedItems().size(), 6u);  // nothing from the failed run
}

TEST_F(ExportRunTest, GroupMembersNamingNicknamesReferToTheirItems) {
    UseBook({"alias ann ann@example.com", "note ann <name:Ann Lee>",
             "alias family ann, \"big bob\", kids, family, stranger, x@example.com, nomail",
             "alias \"Big Bob\" bob@example.com", "alias kids family, ANN, Stranger, nobody",
             "alias nomail", "note nomail <phone:1>"});
    ASSERT_TRUE(exporter.ExportAddressBook().finished);
    // A word naming no nickname is reported once per run, whatever its case.
    EXPECT_THAT(RunLines(), ElementsAre("Creating Contact : 1 - ann", "+ Creating Group : family",
                                        "     ! Unknown nickname kept as an address: stranger",
                                        "     - Saved 7 Members in Group...",
                                        "Creating Contact : 2 - Big Bob", "+ Creating Group : kids",
                                        "     ! Unknown nickname kept as an address: nobody",
                                        "     - Saved 4 Members in Group...",
                                        "Creating Contact : 3 - nomail", "Finished..."));
    const auto items = record.SavedItems();
    ASSERT_EQ(items.size(), 5u);
    // family names items written after it: saved again with every member, in order, at the end.
    // Its own nickname, a word naming nothing, an address, a contact without e-mail address:
    // one-off members with the entry as their address.
    EXPECT_THAT(Members(record, *items[1]),
                ElementsAre("Ann Lee <ann@example.com> SMTP -> ann",
                            "Big Bob <bob@example.com> SMTP -> Big Bob", "kids <> MAPIPDL -> kids",
                            "family <family> SMTP", "stranger <stranger> SMTP",
                            "x@example.com <x@example.com> SMTP", "nomail <nomail> SMTP"));
    // Only family waited for later items: its members are saved once, all of them at the end
    // (kids's at once); it is never stored with a part of them.
    EXPECT_EQ(record.Count("Wrapper.Save"), 2);
    EXPECT_EQ(record.Count("ClearMembers"), 1);
    // A cycle (family -> kids -> family) is stored once each way and never expanded.
    EXPECT_THAT(Members(record, *items[3]),
                ElementsAre("family <> MAPIPDL -> family", "Ann Lee <ann@example.com> SMTP -> ann",
                            "Stranger <Stranger> SMTP", "nobody <nobody> SMTP"));
}

TEST_F(ExportRunTest, RefusedTargetsAndReadFailuresLeaveListsComplete) {
    UseBook({"alias g later, b@example.com", "alias later later@example.com"});
    record.onSave = [](const RecordedItem& item) {
        if (item.Text(ItemProperty::FirstName) == "later")
            throw platform::StoreError("item refused");
    };
    const ExportOutcome outcome = exporter.ExportAddressBook();
    EXPECT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.itemsFailed, 1);
    const auto items = record.SavedItems();
    ASSERT_EQ(items.size(), 1u);
    // The contact it names was not written: the entry stays what Eudora would send to.
    EXPECT_THAT(Members(record, *items[0]),
                ElementsAre("later <later> SMTP", "b@example.com <b@example.com> SMTP"));
}

TEST_F(ExportRunTest, ExtraBooksGoIntoTheirOwnFoldersWithTheMainBook) {
    dir.Write("NNdbase.nnt", "alias main main@example.com\r\nalias all w, c, main\r\n");
    fs::create_directory(dir.path() / "nickname");
    dir.Write("nickname/Work.txt", "alias w w@example.com\r\nalias main other@example.com\r\n");
    dir.Write("nickname/Club.nnt", "alias c c@example.com\r\nnote c <phone:7>\r\n");
    dir.Write("nickname/Contacts.txt", "alias k k@example.com\r\n");
    dir.Write("nickname/readme.doc", "alias no no@example.com\r\n");
    dir.Write("RCPdbase.txt", "alias r r@example.com\r\n");
    host.source = {true, "  " + dir.path().string() + "  "};
    ASSERT_TRUE(exporter.ExportAddressBook().finished);
    EXPECT_EQ(exporter.State().nicknamesFilePath, (dir.path() / "NNdbase.nnt").string());
    const std::vector<std::string> defaultLines = RunLines();
    EXPECT_THAT(
        defaultLines,
        ElementsAre("Creating Contact : 1 - main", "+ Creating Group : all",
                    "     - Saved 3 Members in Group...", "Reading address book : Club",
                    "Creating Contact : 2 - c", "Reading address book : Contacts (2)",
                    "Creating Contact : 3 - k", "Reading address book : Work",
                    "Creating Contact : 4 - w", "Creating Contact : 5 - main", "Finished..."));
    const auto items = record.SavedItems();
    ASSERT_EQ(items.size(), 6u);
    std::vector<std::string> folders;
    for (const auto& item : items) folders.push_back(item->folderName);
    EXPECT_THAT(folders,
                ElementsAre("Contacts", "Contacts", "Club", "Contacts (2)", "Work", "Work"));
    EXPECT_EQ(items[2]->Text(ItemProperty::HomeTelephoneNumber), "7");
    // References reach into the other books; the main book's own nickname wins over Work's.
    EXPECT_THAT(Members(record, *items[1]),
                ElementsAre("w <w@example.com> SMTP -> w", "c <c@example.com> SMTP -> c",
                            "main <main@example.com> SMTP -> main"));
    EXPECT_EQ(record.Count("CreateContactsFolder"), 3);

    // The main book picked by hand brings its extra books along, as the default mode does.
    host.source = {false, (dir.path() / "NNdbase.nnt").string()};
    ASSERT_TRUE(RunAgain().finished);
    EXPECT_EQ(RunLines(), defaultLines);
    EXPECT_EQ(record.Count("CreateContactsFolder"), 6);

    // Any other file picked by hand is read alone.
    fs::copy_file(dir.path() / "NNdbase.nnt", dir.path() / "copy.txt");
    host.source = {false, (dir.path() / "copy.txt").string()};
    ASSERT_TRUE(RunAgain().finished);
    EXPECT_THAT(RunLines(), ElementsAre("Creating Contact : 1 - main", "+ Creating Group : all",
                                        "     ! Unknown nickname kept as an address: w",
                                        "     ! Unknown nickname kept as an address: c",
                                        "     - Saved 3 Members in Group...", "Finished..."));
    EXPECT_EQ(record.Count("CreateContactsFolder"), 6);
}

TEST_F(ExportRunTest, ReadFailureInAnExtraBookKeepsTheEarlierBooks) {
    dir.Write("NNdbase.txt", "alias g a, b\r\n");
    fs::create_directory(dir.path() / "Nickname");
    dir.Write("Nickname/a.txt", "alias a a@example.com\r\n");
    dir.Write("Nickname/b.txt", "alias b b@example.com\r\n");
    // b.txt cannot be opened; the others are read from the disk.
    struct FailingOpener : platform::TextFileOpener {
        std::unique_ptr<platform::TextReader> Open(const std::string& path,
                                                   platform::TextEncoding encoding) override {
            if (path.ends_with("b.txt")) throw platform::TextFileError("Permission denied");
            return platform::DefaultTextFileOpener().Open(path, encoding);
        }
    } opener;
    exporter.SetTextFileOpener(opener);
    host.source = {true, dir.path().string()};
    const ExportOutcome outcome = exporter.ExportAddressBook();
    EXPECT_TRUE(outcome.bookUnreadable);
    EXPECT_FALSE(outcome.finished);
    const auto items = record.SavedItems();
    ASSERT_EQ(items.size(), 2u);
    // The list refers to what was written; the book not read leaves its entry a one-off.
    EXPECT_THAT(Members(record, *items[0]),
                ElementsAre("a <a@example.com> SMTP -> a", "b <b> SMTP"));
    EXPECT_EQ(record.Count("Close"), 1);
}

TEST(ExportPaths, NicknamesFilePathFromTheSelectedSource) {
    EXPECT_EQ(NicknamesFilePath({false, "  /books/my book.txt  "}), "/books/my book.txt");
    EXPECT_EQ(NicknamesFilePath({true, "C:\\Program Files\\Eudora "}),
              "C:\\Program Files\\Eudora\\NNdbase.txt");
    EXPECT_EQ(NicknamesFilePath({true, "C:\\"}), "C:\\NNdbase.txt");
    EXPECT_EQ(NicknamesFilePath({true, ""}), "\\NNdbase.txt");
#ifndef _WIN32
    EXPECT_EQ(NicknamesFilePath({true, "/home/me/eudora"}), "/home/me/eudora/NNdbase.txt");
    EXPECT_EQ(NicknamesFilePath({true, "/home/me/eudora/"}), "/home/me/eudora/NNdbase.txt");
#endif
}

TEST(ExportPaths, OutputFolderGetsExactlyOneTrailingSeparator) {
#ifdef _WIN32
    EXPECT_EQ(WithTrailingSeparator("C:\\"), "C:\\");
    EXPECT_EQ(WithTrailingSeparator("C:\\Out"), "C:\\Out\\");
    EXPECT_EQ(WithTrailingSeparator("C:\\Out\\"), "C:\\Out\\");
#else
    EXPECT_EQ(WithTrailingSeparator("/"), "/");
    EXPECT_EQ(WithTrailingSeparator("/tmp/out"), "/tmp/out/");
    EXPECT_EQ(WithTrailingSeparator("/tmp/out/"), "/tmp/out/");
#endif
    EXPECT_EQ(WithTrailingSeparator(""), "");
}

TEST(ExportPaths, FileExistsForEmptyFilesButNotForDirectoriesOrMissingFiles) {
    TempDir dir;
    EXPECT_TRUE(FileExists(dir.Write("empty.txt", "")));
    EXPECT_TRUE(FileExists(dir.Write("one.txt", "x")));
    EXPECT_FALSE(FileExists((dir.path() / "missing.txt").string()));
    EXPECT_FALSE(FileExists(dir.path().string()));
}

}  // namespace
}  // namespace tarvelle::exporter
