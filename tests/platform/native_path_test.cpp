// Windows paths recorded under Wine resolved to files in a temporary WINEPREFIX.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/NativePath.h"
#include "tests/support/WinePrefix.h"

namespace tarvelle::platform {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32

TEST(NativePathTest, LeavesNativePathsAlone) {
    for (const char* path : {"/home/someone/NNdbase.txt", "books/NNdbase.txt", ""})
        EXPECT_EQ(ResolveNativePath(path), fs::path(path));
}

TEST(NativePathTest, ResolvesDriveCPathsByLongShortAndWineHashedNames) {
    // Drive C: linked as Wine links it, with these files and folders (ending in "/").
    const fakes::ScopedWinePrefix prefix;
    // clang-format off
    for (const fs::path file : {"Documents and Settings/jdoe/Application Data/QUALCOMM/Eudora/NNDBASE.TXT",
             "users/jdoe/Application Data/Qualcomm/My Eudora/NNdbase.txt", "Eudora/Eudora Nicknames.txt",
             "Books/nndbase.txt", "Books/NNDBASE.TXT", "Documents and Settings/jdoe/Local Settings/",
             "Program Files/Qualcomm/", "Program Files (x86)/Qualcomm/"}) {
        // clang-format on
        fs::create_directories((prefix.Drive() / file).parent_path());
        if (file.has_filename()) std::ofstream(prefix.Drive() / file) << "alias a a@example.com\n";
    }
    const std::string jdoe = "Documents and Settings/jdoe/";
    const std::string eudora = jdoe + "Application Data/QUALCOMM/Eudora";
    const std::pair<std::string, std::optional<std::string>> rows[] = {
        // clang-format off
        // Short names; drive letter and separators in either form; case ignored everywhere.
        {R"(C:\DOCUME~1\jdoe\APPLIC~1\QUALCOMM\Eudora\NNdbase.txt)", eudora + "/NNDBASE.TXT"},
        {R"(c:/docume~1/JDOE/applic~1/qualcomm/EUDORA/nndbase.txt)", eudora + "/NNDBASE.TXT"},
        {R"(C:\Documents and Settings\jdoe\Application Data\QUALCOMM\Eudora)", eudora},
        {R"(C:\DOCUME~1\jdoe\LOCALS~1)", jdoe + "Local Settings"},
        {R"(C:\DOCUME~1\.\jdoe\..\jdoe\APPLIC~1\QUALCOMM\Eudora\\NNDBASE.TXT)", eudora + "/NNDBASE.TXT"},
        // Names Wine 8 gave these folders.
        {R"(C:\users\jdoe\APPL~JHT\Qualcomm\MY_E~HYU\NNDBASE.TXT)", "users/jdoe/Application Data/Qualcomm/My Eudora/NNdbase.txt"},
        {R"(C:\PROG~FBU\Qualcomm)", "Program Files/Qualcomm"}, {R"(C:\PROG~5P2\Qualcomm)", "Program Files (x86)/Qualcomm"},
        {R"(C:\prog~5p2)", "Program Files (x86)"}, {R"(C:\PROG~AAA)", std::nullopt},
        // Short file names match by extension.
        {R"(C:\Eudora\EUDORA~1.TXT)", "Eudora/Eudora Nicknames.txt"},
        {R"(C:\Eudora\EUDORA~1.DOC)", std::nullopt}, {R"(C:\Eudora\EUDORA~1)", std::nullopt},
        // Ambiguous (two fit, or two differ only in case) unless exact; missing; a file as a folder.
        {R"(C:\PROGRA~1)", std::nullopt}, {R"(C:\Books\NNdbase.txt)", std::nullopt}, {R"(C:\Books\NNDBASE.TXT)", "Books/NNDBASE.TXT"},
        {R"(C:\Books\missing.txt)", std::nullopt}, {R"(C:\Nowhere\NNdbase.txt)", std::nullopt}, {R"(C:\Books\NNDBASE.TXT\x)", std::nullopt},
        // No such drive, and paths with no drive at all.
        {R"(D:\Books\NNDBASE.TXT)", std::nullopt}, {R"(\NNdbase.txt)", std::nullopt},
        {R"(\\server\share\NNdbase.txt)", std::nullopt}, {R"(C:\)", ""},
        // clang-format on
    };
    for (const auto& [text, expected] : rows) {
        const auto resolved = ResolveNativePath(text);
        ASSERT_EQ(resolved.has_value(), expected.has_value()) << text;
        if (!resolved) continue;
        // Reached through dosdevices/c:, so compared as the real paths.
        EXPECT_EQ(fs::canonical(*resolved), fs::canonical(prefix.Drive() / *expected)) << text;
    }
    ::unsetenv("WINEPREFIX");
    ::setenv("HOME", (prefix.Root() / "nohome").c_str(), 1);
    EXPECT_EQ(ResolveNativePath(R"(C:\)"), std::nullopt);
}

#endif  // _WIN32

}  // namespace
}  // namespace tarvelle::platform
