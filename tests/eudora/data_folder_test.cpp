#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "eudora/DataFolder.h"

namespace tarvelle::eudora {
namespace {

using Pieces = std::vector<std::string>;

TEST(SplitCommandLine, CutsAtEverySingleSpace) {
    EXPECT_EQ(SplitCommandLine("a b c"), (Pieces{"a", "b", "c"}));
    EXPECT_EQ(SplitCommandLine("a  b"), (Pieces{"a", "", "b"}));
    EXPECT_EQ(SplitCommandLine(" a b"), (Pieces{"", "a", "b"}));
    EXPECT_EQ(SplitCommandLine("a "), (Pieces{"a", ""}));
    EXPECT_EQ(SplitCommandLine(" "), (Pieces{"", ""}));
    EXPECT_EQ(SplitCommandLine("word"), (Pieces{"word"}));
    EXPECT_TRUE(SplitCommandLine("").empty());
    // Tabs are not separators.
    EXPECT_EQ(SplitCommandLine("a\tb c"), (Pieces{"a\tb", "c"}));
}

TEST(SplitCommandLine, KeepsQuotedPiecesWholeWithoutQuotes) {
    EXPECT_EQ(SplitCommandLine(R"("C:\Program Files\Eudora.exe" "C:\My Data\Eudora" x.ini)"),
              (Pieces{R"(C:\Program Files\Eudora.exe)", R"(C:\My Data\Eudora)", "x.ini"}));
    EXPECT_EQ(SplitCommandLine(R"(exe "C:\My Data")"), (Pieces{"exe", R"(C:\My Data)"}));
    EXPECT_EQ(SplitCommandLine(R"(exe "")"), (Pieces{"exe", ""}));
    // Spacing around quoted pieces follows the single-space rule.
    EXPECT_EQ(SplitCommandLine(R"("a b"  c)"), (Pieces{"a b", "", "c"}));
    EXPECT_EQ(SplitCommandLine(R"( "a b")"), (Pieces{"", "a b"}));
}

TEST(SplitCommandLine, TreatsOtherQuotesAsOrdinaryCharacters) {
    // No closing quote: the quote stays, the text splits as usual.
    EXPECT_EQ(SplitCommandLine(R"(exe "C:\My Data)"), (Pieces{"exe", R"("C:\My)", "Data"}));
    // A quote inside a piece.
    EXPECT_EQ(SplitCommandLine(R"(exe C:\a"b c")"), (Pieces{"exe", R"(C:\a"b)", R"(c")"}));
    // A closing quote not followed by a space or the end does not close a piece.
    EXPECT_EQ(SplitCommandLine(R"(exe "a b"c d)"), (Pieces{"exe", R"("a)", R"(b"c)", "d"}));
}

TEST(DataFolderFromCommandLine, TakesTheSecondPieceAsIs) {
    const auto three = DataFolderFromCommandLine(
        R"(C:\PROGRA~1\QUALCOMM\EUDORA\Eudora.exe C:\DOCUME~1\jdoe\APPLIC~1\QUALCOMM\Eudora )"
        R"(C:\DOCUME~1\jdoe\APPLIC~1\QUALCOMM\Eudora\Eudora.ini)");
    EXPECT_EQ(three.outcome, DataFolderOutcome::FolderFound);
    EXPECT_EQ(three.folder, R"(C:\DOCUME~1\jdoe\APPLIC~1\QUALCOMM\Eudora)");

    const auto twoSpaces = DataFolderFromCommandLine("exe  folder");
    EXPECT_EQ(twoSpaces.outcome, DataFolderOutcome::FolderFound);
    EXPECT_EQ(twoSpaces.folder, "");

    const auto leading = DataFolderFromCommandLine(" first second");
    EXPECT_EQ(leading.outcome, DataFolderOutcome::FolderFound);
    EXPECT_EQ(leading.folder, "first");

    // An unquoted folder with a space is cut at it.
    const auto spaced = DataFolderFromCommandLine(R"(exe C:\My Data\Eudora x.ini)");
    EXPECT_EQ(spaced.folder, R"(C:\My)");

    const auto quoted = DataFolderFromCommandLine(R"(exe "C:\My Data\Eudora" x.ini)");
    EXPECT_EQ(quoted.outcome, DataFolderOutcome::FolderFound);
    EXPECT_EQ(quoted.folder, R"(C:\My Data\Eudora)");

    const auto twoWords = DataFolderFromCommandLine("exe folder");
    EXPECT_EQ(twoWords.folder, "folder");
}

TEST(DataFolderFromCommandLine, FewerThanTwoPiecesFindNoBook) {
    for (const char* text : {"", "Eudora.exe", "42", "-1", R"("C:\Program Files\Eudora.exe")"}) {
        const auto lookup = DataFolderFromCommandLine(text);
        EXPECT_EQ(lookup.outcome, DataFolderOutcome::AddressBookNotFound) << text;
        EXPECT_EQ(lookup.folder, "") << text;
    }
}

class FakeRegistry : public RegistryReader {
  public:
    bool keyExists = true;
    std::string value;
    std::vector<std::string> keysAsked;
    std::vector<std::pair<std::string, std::string>> valuesAsked;

    bool KeyExists(std::string_view keyPath) override {
        keysAsked.emplace_back(keyPath);
        return keyExists;
    }
    std::string QueryValueText(std::string_view keyPath, std::string_view valueName) override {
        valuesAsked.emplace_back(keyPath, valueName);
        return keyExists ? value : std::string();
    }
};

class RecordingSink : public MessageSink {
  public:
    std::vector<std::pair<std::string, std::string>> shown;
    void ShowInformation(std::string_view title, std::string_view text) override {
        shown.emplace_back(title, text);
    }
};

TEST(LocateEudoraDataFolder, MissingKeyReportsNoInstallation) {
    FakeRegistry registry;
    registry.keyExists = false;
    RecordingSink sink;
    const auto lookup = LocateEudoraDataFolder(registry, sink);
    EXPECT_EQ(lookup.outcome, DataFolderOutcome::InstallationNotFound);
    EXPECT_EQ(lookup.folder, "");
    EXPECT_EQ(registry.keysAsked,
              (std::vector<std::string>{R"(Software\Qualcomm\Eudora\CommandLine)"}));
    EXPECT_TRUE(registry.valuesAsked.empty());
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].first, "Address Book Help");
    EXPECT_EQ(sink.shown[0].second,
              "Unable to Locate Eudora Installation.\r\n"
              "Please visit webpage to know, how to locate eudora address book file.");
}

TEST(LocateEudoraDataFolder, ValueWithoutSecondPieceReportsNoBook) {
    // Empty (value missing, unreadable or of another type), a number's digits, one word.
    for (const char* value : {"", "42", "-7", R"(C:\EUDORA\Eudora.exe)"}) {
        FakeRegistry registry;
        registry.value = value;
        RecordingSink sink;
        const auto lookup = LocateEudoraDataFolder(registry, sink);
        EXPECT_EQ(lookup.outcome, DataFolderOutcome::AddressBookNotFound) << value;
        ASSERT_EQ(sink.shown.size(), 1u) << value;
        EXPECT_EQ(sink.shown[0].first, "Address Book Help");
        EXPECT_EQ(sink.shown[0].second,
                  "Unable to Locate Eudora Address Book.\r\n"
                  "Please visit webpage to know, how to locate eudora address book file(s) "
                  "manually.");
    }
}

TEST(LocateEudoraDataFolder, FoundFolderShowsNothing) {
    FakeRegistry registry;
    registry.value = R"(C:\EUDORA\Eudora.exe C:\EUDORA C:\EUDORA\Eudora.ini)";
    RecordingSink sink;
    const auto lookup = LocateEudoraDataFolder(registry, sink);
    EXPECT_EQ(lookup.outcome, DataFolderOutcome::FolderFound);
    EXPECT_EQ(lookup.folder, R"(C:\EUDORA)");
    EXPECT_TRUE(sink.shown.empty());
    ASSERT_EQ(registry.valuesAsked.size(), 1u);
    EXPECT_EQ(registry.valuesAsked[0].first, R"(Software\Qualcomm\Eudora\CommandLine)");
    EXPECT_EQ(registry.valuesAsked[0].second, "current");

    // Two spaces: an empty folder is still a found folder, with no message.
    registry.value = "exe  folder";
    const auto empty = LocateEudoraDataFolder(registry, sink);
    EXPECT_EQ(empty.outcome, DataFolderOutcome::FolderFound);
    EXPECT_EQ(empty.folder, "");
    EXPECT_TRUE(sink.shown.empty());
}

}  // namespace
}  // namespace tarvelle::eudora
