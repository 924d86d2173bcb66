// The registry routines against the real (Wine) registry. registry-values.reg is imported with
// regedit before these tests run (the windows_registry fixture).
#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "eudora/DataFolder.h"
#include "platform/Registry.h"

namespace tarvelle::platform {
namespace {

constexpr const char* kValues = "Software\\Tarvelle Test\\Values";

RegValue Query(const std::string& name) { return RegQueryValue(kHkeyCurrentUser, kValues, name); }

TEST(RegistryWinTest, KeysExistWhenTheyCanBeOpened) {
    EXPECT_TRUE(RegKeyExists(kHkeyCurrentUser, kValues));
    EXPECT_TRUE(RegKeyExists(kHkeyCurrentUser, "Software\\Tarvelle Test\\Empty Key"));
    EXPECT_TRUE(RegKeyExists(kHkeyCurrentUser, "software\\tarvelle test\\VALUES"));
    EXPECT_FALSE(RegKeyExists(kHkeyCurrentUser, "Software\\Tarvelle Test\\Missing"));
    EXPECT_FALSE(RegKeyExists(kHkeyCurrentUser, "Software\\Tarvelle Test\\Values\\Missing"));
    // A root that is no predefined key opens nothing.
    EXPECT_FALSE(RegKeyExists(0x12345678u, kValues));
}

TEST(RegistryWinTest, KeyPathsAreConvertedToTheAnsiCodePage) {
    // The key was written as Windows-1252 "Caf\xE9"; the program names it in UTF-8.
    EXPECT_TRUE(RegKeyExists(kHkeyCurrentUser, "Software\\Tarvelle Test\\Caf\xC3\xA9"));
    EXPECT_EQ(RegQueryValue(kHkeyCurrentUser, "Software\\Tarvelle Test\\Caf\xC3\xA9", "current"),
              RegValue(std::string("found")));
}

TEST(RegistryWinTest, StringValuesComeBackAsUtf8Text) {
    EXPECT_EQ(Query("Text"),
              RegValue(std::string(
                  "C:\\Eudora\\Eudora.exe C:\\EUDORA\\DATA C:\\EUDORA\\DATA\\EUDORA.INI")));
    // Value names are compared without regard to case, as Windows does.
    EXPECT_EQ(Query("TEXT"), Query("Text"));
    EXPECT_EQ(Query("Empty"), RegValue(std::string()));
    // "Caf\xE9 \xAB\x80\xBB" in Windows-1252: e acute, guillemets and the euro sign.
    EXPECT_EQ(Query("Accented"), RegValue(std::string("Caf\xC3\xA9 \xC2\xAB\xE2\x82\xAC\xC2\xBB")));
}

TEST(RegistryWinTest, StringsStoredAsRawBytesAreWholeOrCutAtTheFirstNul) {
    EXPECT_EQ(Query("NoTerminatingNul"), RegValue(std::string("ABC")));
    EXPECT_EQ(Query("InnerNul"), RegValue(std::string("AB")));
    EXPECT_EQ(Query("AccentedRaw"), RegValue(std::string("c\xC3\xA9 \xE2\x82\xAC")));
}

TEST(RegistryWinTest, DwordValuesAreSigned32BitNumbers) {
    EXPECT_EQ(Query("Number"), RegValue(std::int32_t{42}));
    EXPECT_EQ(Query("Negative"), RegValue(std::int32_t{-1}));
    EXPECT_EQ(Query("Largest"), RegValue(std::int32_t{2147483647}));
    EXPECT_EQ(RegValueText(Query("Negative")), "-1");
    EXPECT_EQ(RegValueText(Query("Number")), "42");
}

TEST(RegistryWinTest, OtherTypesAndFailuresAreTheEmptyText) {
    for (const char* name : {"Expandable", "Multi", "Binary", "Quad", "Missing", ""}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Query(name), RegValue(std::string()));
    }
    EXPECT_EQ(RegQueryValue(kHkeyCurrentUser, "Software\\Tarvelle Test\\Missing", "Text"),
              RegValue(std::string()));
    EXPECT_EQ(RegQueryValue(0x12345678u, kValues, "Text"), RegValue(std::string()));
}

class NoMessages : public eudora::MessageSink {
  public:
    void ShowInformation(std::string_view title, std::string_view text) override {
        ADD_FAILURE() << "unexpected message " << title << ": " << text;
    }
};

TEST(RegistryWinTest, EudoraLookupReadsTheCommandLineThroughTheRegistry) {
    PlatformRegistry registry;
    NoMessages messages;
    const eudora::DataFolderLookup lookup = eudora::LocateEudoraDataFolder(registry, messages);
    EXPECT_EQ(lookup.outcome, eudora::DataFolderOutcome::FolderFound);
    EXPECT_EQ(lookup.folder, "C:\\EUDORA~1\\DATA");
}

}  // namespace
}  // namespace tarvelle::platform
