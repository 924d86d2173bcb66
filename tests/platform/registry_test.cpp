// The registry as the Linux build reads it: Wine's user hive in a temporary WINEPREFIX. The
// hive lines below are the forms Wine itself writes (captured from Wine 8 with RegSetValueExA/W
// and regedit), so the reader is checked against real files, not against its own assumptions.
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "eudora/DataFolder.h"
#include "platform/WineRegistry.h"
#include "tests/support/WinePrefix.h"

namespace tarvelle::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// clang-format off
std::string Hive(std::string_view body) {
    return "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n" + std::string(body);
}

// A hive holding Eudora's key with one line of values.
std::string EudoraHive(std::string_view valueLines) {
    return Hive("\n[Software\\\\Qualcomm\\\\Eudora\\\\CommandLine] 1796592664\n#time=1dd85c91934116e\n" + std::string(valueLines) + "\n");
}
// clang-format on

const std::string kEudoraKey(eudora::kCommandLineKey);

std::string Text(const WineHive& hive, std::string_view key, std::string_view name) {
    const auto value = hive.FindValue(key, name);
    return value ? RegValueText(WineValueToRegValue(*value)) : std::string("<missing>");
}

TEST(WineHive, ValuesReadAsText) {
    const struct {
        const char* what;
        std::string line;  // the value "V" as Wine writes it
        std::string text;
    } rows[] = {
        // clang-format off
        {"plain", R"("V"="C:\\EUDORA\\Eudora.exe C:\\Mein Ordner\\Eudora C:\\x.ini")",
         R"(C:\EUDORA\Eudora.exe C:\Mein Ordner\Eudora C:\x.ini)"},
        {"escapes", R"("V"="say \"hi\" \a\t\r\n|")", "say \"hi\" \a\t\r\n|"},
        // \x takes up to four hex digits; Wine writes four when a hex digit follows.
        {"hex escapes", R"("V"="\x00fcb x \xe9t\xe9")", "\xC3\xBC" "b x \xC3\xA9t\xC3\xA9"},
        {"bad hex escape", R"("V"="\xzz")", "xzz"}, {"octal escapes", R"("V"="\101\1012")", "AA2"},
        {"surrogate pair", R"("V"="\xd83d\xde00")", "\xF0\x9F\x98\x80"}, {"embedded NUL", R"("V"="exe folder\0rest")", "exe folder"},
        // A string stored without a terminating NUL: Wine writes it as raw UTF-16LE bytes.
        {"raw string",
         "\"V\"=hex(1):65,00,78,00,65,00,20,00,43,00,3a,00,5c,00,45,00,5c,00,41,00,20,\\\n"
         "  00,78,00,2e,00,69,00,6e,00,69,00",
         R"(exe C:\E\A x.ini)"},
        {"raw string with a NUL",
         "\"V\"=hex(1):65,00,78,00,65,00,20,00,66,00,6f,00,6c,00,64,00,00,00,65,\\\n  00,72,00",
         "exe fold"},
        {"lone trailing byte", "\"V\"=hex(1):61,00,62", "a"}, {"empty raw string", "\"V\"=hex(1):", ""}, {"empty string", R"("V"="")", ""},
        {"number", "\"V\"=dword:0000002a", "42"}, {"negative number", "\"V\"=dword:ffffffff", "-1"},
        {"raw number", "\"V\"=hex(4):2a,00,00,80", "-2147483606"}, {"short raw number", "\"V\"=hex(4):2a,00", "42"},
        {"number too long for four bytes", "\"V\"=hex(4):01,00,00,00,00,00,00,00", ""},
        // Other types and malformed data are present but have no text.
        {"expandable string", R"("V"=str(2):"%USERPROFILE% x")", ""}, {"multi-string", R"("V"=str(7):"a b\0c d\0")", ""},
        {"binary", "\"V\"=hex:61,00,20,00,62,00", ""}, {"raw multi-string", "\"V\"=hex(7):61,00,20,00,62,00,00,00,00,00", ""},
        {"raw expandable string", "\"V\"=hex(2):61,00,20,00,62,00,00,00", ""}, {"unterminated", "\"V\"=\"a b", ""},
        {"unknown type", "\"V\"=qword:1", ""}, {"bad byte", "\"V\"=hex(1):610,00", ""},
        // clang-format on
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Text(WineHive::FromText(EudoraHive(row.line)).value(), kEudoraKey, "V"), row.text)
            << row.what;
    }
    const WineHive hive =
        WineHive::FromText(EudoraHive("\"N\"=dword:0000002a\n\"E\"=hex(7):00\n\"Q\"=qword:1"))
            .value();
    EXPECT_EQ(WineValueToRegValue(*hive.FindValue(kEudoraKey, "N")), RegValue(std::int32_t{42}));
    EXPECT_EQ(hive.FindValue(kEudoraKey, "E")->type, 7u);
    EXPECT_EQ(hive.FindValue(kEudoraKey, "Q")->type, kRegNone);
}

TEST(WineHive, FindsKeysAndValuesWithoutRegardToCaseLaterDefinitionsWinning) {
    const WineHive hive =
        // Wine writes no section for a key whose only content is subkeys, like Software\Wine.
        // clang-format off
        WineHive::FromText(Hive("\"Orphan\"=\"before any key\"\n\n[Software\\\\Qualcomm\\\\Eudora\\\\CommandLine] 1\r\n"
                                "#time=1dd85c91934116e\r\n;; comment\r\n  \"Current\" = \"first\"\r\n\"Bin\"=hex:01,02,\\\n  03,04\n"
                                "garbage line\n\"\\xc3\\xa9\"=\"accent\"\n@=\"default\"\n\n[Software\\\\Other] 1\n\"Current\"=\"other key\"\n"
                                "\n[software\\\\QUALCOMM\\\\eudora\\\\commandline] 2\n\"Current\"=\"second\"\n"
                                "\n[Software\\\\Wine\\\\A\\[b\\]] 2\n")).value();
    // clang-format on
    const struct {
        std::string key, name, text;
    } rows[] = {
        // clang-format off
        {kEudoraKey, "current", "second"}, {kEudoraKey, "CURRENT", "second"},
        {kEudoraKey, "\xC3\x83\xC2\xA9", "accent"},  // U+00C3 U+00A9
        {kEudoraKey, "", "default"}, {kEudoraKey, "Curren", "<missing>"},
        {kEudoraKey + "\\Sub", "Current", "<missing>"}, {"Software\\Qualcomm\\Eudora", "Current", "<missing>"},
        {"Software\\Other", "Current", "other key"}, {"", "Orphan", "<missing>"},
        // clang-format on
    };
    for (const auto& row : rows)
        EXPECT_EQ(Text(hive, row.key, row.name), row.text) << row.key << " " << row.name;
    EXPECT_EQ(hive.FindValue(kEudoraKey, "Bin")->data, std::string("\x01\x02\x03\x04", 4));
    for (const std::string& key : {kEudoraKey, "Software\\Qualcomm\\Eudora"s, "SOFTWARE\\qualcomm"s,
                                   "Software\\Wine\\A[b]"s, ""s})
        EXPECT_TRUE(hive.KeyExists(key)) << key;
    for (const std::string& key :
         {"Software\\Qualcomm\\Eud"s, kEudoraKey + "\\Deeper", "Qualcomm\\Eudora\\CommandLine"s})
        EXPECT_FALSE(hive.KeyExists(key)) << key;
}

TEST(WineHive, RefusesFilesWithoutWinesHeader) {
    for (const char* text :
         {"", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n", "WINE REGISTRY Version 1\n"})
        EXPECT_FALSE(WineHive::FromText(text).has_value()) << text;
    EXPECT_TRUE(WineHive::FromText("WINE REGISTRY Version 2\r\n").has_value());
}

TEST(WineHashedShortName, MatchesNamesWineGave) {
    // Short names Wine 8 reported (winepath -s) for these directories.
    // clang-format off
    for (const auto& [name, shortName] : {std::pair{"Program Files", "PROG~FBU"}, {"Program Files (x86)", "PROG~5P2"},
             {"Application Data", "APPL~JHT"}, {"My Eudora", "MY_E~HYU"}, {"a b", "A_B~~GOE"}, {"Saved Games", "SAVE~YWG"},
             {"Long.Name.With.Dots.text", "LONG~DRI.TEX"}})
        EXPECT_EQ(WineHashedShortName(name), shortName);
    // clang-format on
}

TEST(Utf16, RoundTripsAndReplacesBrokenInput) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
    EXPECT_EQ(Utf8ToUtf16(text).size(), 5u);
    EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(Utf8ToUtf16("\xC3("), u"\xFFFD(");
}

#ifndef _WIN32

using fakes::ScopedWinePrefix;

// Every text shown, after a "|", with the title checked.
class RecordingSink : public eudora::MessageSink {
  public:
    std::string shown;
    void ShowInformation(std::string_view title, std::string_view text) override {
        EXPECT_EQ(title, "Address Book Help");
        shown += "|" + std::string(text);
    }
};

// The lookup over the current prefix: "folder <folder>", "no installation" or "no book", then
// what it showed.
std::string LookUp() {
    PlatformRegistry registry;
    RecordingSink sink;
    const auto lookup = eudora::LocateEudoraDataFolder(registry, sink);
    const std::string outcomes[] = {"folder ", "no installation", "no book"};
    return outcomes[static_cast<int>(lookup.outcome)] + lookup.folder + sink.shown;
}

const std::string kNoInstallation =
    "no installation|" + std::string(eudora::kInstallationNotFoundText);

TEST(WineUserHive, LookupEdgeCasesOverRealFiles) {
    ScopedWinePrefix prefix;
    // Expected: the folder found, or "-" when there is none and the lookup says so.
    const std::pair<std::string, std::string> cases[] = {
        // clang-format off
        {R"("Current"="C:\\E\\Eudora.exe C:\\DOCUME~1\\me C:\\E\\x.ini")", R"(C:\DOCUME~1\me)"},
        {R"("Current"="C:\\E\\Eudora.exe  C:\\E C:\\E\\x.ini")", ""}, {R"("Current"="C:\\E\\Eudora.exe")", "-"},
        {R"("Current"="")", "-"}, {R"("Current"="C:\\E\\Eudora.exe \"C:\\My Data\" C:\\x.ini")", R"(C:\My Data)"},
        {"\"Current\"=dword:0000002a", "-"}, {R"("Current"="exe\0 C:\\E x.ini")", "-"},
        {R"("Other"="exe C:\\E x.ini")", "-"}, {R"("current"="exe C:\\E x.ini")", R"(C:\E)"},
        // clang-format on
    };
    const std::string noBook = "no book|" + std::string(eudora::kAddressBookNotFoundText);
    for (const auto& [valueLines, folder] : cases) {
        prefix.WriteUserReg(EudoraHive(valueLines));
        EXPECT_EQ(LookUp(), folder == "-" ? noBook : "folder " + folder) << valueLines;
    }
    // Only the current user's keys are backed: not HKEY_LOCAL_MACHINE or HKEY_CLASSES_ROOT.
    EXPECT_TRUE(RegKeyExists(kHkeyCurrentUser, kEudoraKey));
    for (const std::uint32_t other : {0x80000002u, 0x80000000u}) {
        EXPECT_FALSE(RegKeyExists(other, kEudoraKey));
        EXPECT_EQ(RegValueText(RegQueryValue(other, kEudoraKey, "Current")), "");
    }
}

TEST(WineUserHive, MissingKeyOrHiveMeansNoInstallation) {
    ScopedWinePrefix prefix;
    // No user.reg at all.
    EXPECT_FALSE(RegKeyExists(kHkeyCurrentUser, kEudoraKey));
    EXPECT_EQ(RegValueText(RegQueryValue(kHkeyCurrentUser, kEudoraKey, "current")), "");
    EXPECT_EQ(LookUp(), kNoInstallation);
    // A hive without the key.
    prefix.WriteUserReg(Hive("\n[Software\\\\Wine] 1\n\"Current\"=\"exe dir ini\"\n"));
    EXPECT_EQ(LookUp(), kNoInstallation);
    // A file that is not Wine's hive.
    prefix.WriteUserReg("[Software\\\\Qualcomm\\\\Eudora\\\\CommandLine] 1\n\"Current\"=\"a b\"\n");
    EXPECT_FALSE(RegKeyExists(kHkeyCurrentUser, kEudoraKey));
    // A folder where the file should be.
    fs::remove(prefix.Root() / "user.reg");
    fs::create_directory(prefix.Root() / "user.reg");
    EXPECT_FALSE(RegKeyExists(kHkeyCurrentUser, kEudoraKey));
    EXPECT_EQ(RegValueText(RegQueryValue(kHkeyCurrentUser, kEudoraKey, "current")), "");
}

TEST(WineUserHive, DefaultsToDotWineInHome) {
    ScopedWinePrefix prefix;
    const fs::path home = prefix.Root() / "home";
    prefix.WriteUserReg(EudoraHive(R"("Current"="exe C:\\FromHome x.ini")"), home / ".wine");
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("WINEPREFIX", "", 1);  // empty counts as unset
    EXPECT_EQ(LookUp(), R"(folder C:\FromHome)");
    ::unsetenv("WINEPREFIX");
    EXPECT_EQ(LookUp(), R"(folder C:\FromHome)");
    ::unsetenv("HOME");
    EXPECT_EQ(LookUp(), kNoInstallation);
}

#endif  // _WIN32

}  // namespace
}  // namespace tarvelle::platform
