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

// A fresh prefix with drive C: linked the way Wine links it (dosdevices/c: -> ../drive_c).
class NativePathTest : public ::testing::Test {
  protected:
    fs::path Drive() const { return prefix_.Drive(); }
    // Creates the file (and its folders) under drive C: and returns its real path.
    fs::path MakeFile(const fs::path& relative) const {
        fs::create_directories((Drive() / relative).parent_path());
        std::ofstream(Drive() / relative) << "alias a a@example.com\n";
        return Drive() / relative;
    }
    fs::path MakeDir(const fs::path& relative) const {
        fs::create_directories(Drive() / relative);
        return Drive() / relative;
    }
    static std::optional<fs::path> Resolve(const std::string& text) {
        return ResolveNativePath(text);
    }
    // The resolved path names `expected` (the drive is reached through dosdevices/c:).
    static ::testing::AssertionResult ResolvesTo(const std::string& text,
                                                 const fs::path& expected) {
        const auto resolved = ResolveNativePath(text);
        if (!resolved) return ::testing::AssertionFailure() << text << " did not resolve";
        std::error_code ec;
        const fs::path real = fs::canonical(*resolved, ec);
        if (ec || real != fs::canonical(expected)) {
            return ::testing::AssertionFailure() << text << " resolved to " << *resolved;
        }
        return ::testing::AssertionSuccess();
    }

    fakes::ScopedWinePrefix prefix_;
    const fs::path root_ = prefix_.Root();
};

TEST_F(NativePathTest, LeavesNativePathsAlone) {
    EXPECT_EQ(Resolve("/home/someone/NNdbase.txt"), fs::path("/home/someone/NNdbase.txt"));
    EXPECT_EQ(Resolve("books/NNdbase.txt"), fs::path("books/NNdbase.txt"));
    EXPECT_EQ(Resolve(""), fs::path(""));
}

TEST_F(NativePathTest, ResolvesShortNamesToLongNamesWithSpaces) {
    const fs::path book =
        MakeFile("Documents and Settings/jdoe/Application Data/QUALCOMM/Eudora/NNDBASE.TXT");
    MakeDir("Documents and Settings/jdoe/Local Settings");
    const std::string windows = R"(C:\DOCUME~1\jdoe\APPLIC~1\QUALCOMM\Eudora\NNdbase.txt)";
    EXPECT_TRUE(ResolvesTo(windows, book));
    // Drive letter and separators in either form; case ignored in every component.
    EXPECT_TRUE(ResolvesTo(R"(c:/docume~1/JDOE/applic~1/qualcomm/EUDORA/nndbase.txt)", book));
    EXPECT_TRUE(ResolvesTo(R"(C:\Documents and Settings\jdoe\Application Data\QUALCOMM\Eudora)",
                           book.parent_path()));
    EXPECT_TRUE(ResolvesTo(R"(C:\DOCUME~1\jdoe\LOCALS~1)",
                           Drive() / "Documents and Settings/jdoe/Local Settings"));
    // The folder Eudora records, with the book name the export appends.
    EXPECT_TRUE(ResolvesTo(
        std::string(R"(C:\DOCUME~1\jdoe\APPLIC~1\QUALCOMM\Eudora)") + "\\" + "NNdbase.txt", book));
    EXPECT_TRUE(
        ResolvesTo(R"(C:\DOCUME~1\.\jdoe\..\jdoe\APPLIC~1\QUALCOMM\Eudora\\NNDBASE.TXT)", book));
}

TEST_F(NativePathTest, ResolvesWineHashedShortNames) {
    const fs::path book = MakeFile("users/jdoe/Application Data/Qualcomm/My Eudora/NNdbase.txt");
    MakeDir("Program Files/Qualcomm");
    MakeDir("Program Files (x86)/Qualcomm");
    // Names Wine 8 gave these folders.
    EXPECT_TRUE(ResolvesTo(R"(C:\users\jdoe\APPL~JHT\Qualcomm\MY_E~HYU\NNDBASE.TXT)", book));
    EXPECT_TRUE(ResolvesTo(R"(C:\PROG~FBU\Qualcomm)", Drive() / "Program Files/Qualcomm"));
    EXPECT_TRUE(ResolvesTo(R"(C:\PROG~5P2\Qualcomm)", Drive() / "Program Files (x86)/Qualcomm"));
    EXPECT_TRUE(ResolvesTo(R"(C:\prog~5p2)", Drive() / "Program Files (x86)"));
    EXPECT_EQ(Resolve(R"(C:\PROG~AAA)"), std::nullopt);
}

TEST_F(NativePathTest, MatchesShortFileNamesByExtension) {
    const fs::path file = MakeFile("Eudora/Eudora Nicknames.txt");
    EXPECT_TRUE(ResolvesTo(R"(C:\Eudora\EUDORA~1.TXT)", file));
    EXPECT_EQ(Resolve(R"(C:\Eudora\EUDORA~1.DOC)"), std::nullopt);
    EXPECT_EQ(Resolve(R"(C:\Eudora\EUDORA~1)"), std::nullopt);
}

TEST_F(NativePathTest, AmbiguousOrMissingEntriesFail) {
    MakeDir("Program Files");
    MakeDir("Program Files (x86)");
    EXPECT_EQ(Resolve(R"(C:\PROGRA~1)"), std::nullopt);  // both fit

    MakeFile("Books/nndbase.txt");
    MakeFile("Books/NNDBASE.TXT");
    EXPECT_EQ(Resolve(R"(C:\Books\NNdbase.txt)"), std::nullopt);  // two differ only in case
    EXPECT_TRUE(ResolvesTo(R"(C:\Books\NNDBASE.TXT)", Drive() / "Books/NNDBASE.TXT"));  // exact

    EXPECT_EQ(Resolve(R"(C:\Books\missing.txt)"), std::nullopt);
    EXPECT_EQ(Resolve(R"(C:\Nowhere\NNdbase.txt)"), std::nullopt);
    // A file cannot stand for a folder.
    EXPECT_EQ(Resolve(R"(C:\Books\NNDBASE.TXT\x)"), std::nullopt);
    // No such drive, and paths with no drive at all.
    EXPECT_EQ(Resolve(R"(D:\Books\NNDBASE.TXT)"), std::nullopt);
    EXPECT_EQ(Resolve(R"(\NNdbase.txt)"), std::nullopt);
    EXPECT_EQ(Resolve(R"(\\server\share\NNdbase.txt)"), std::nullopt);
}

TEST_F(NativePathTest, DriveRootAndMissingPrefix) {
    EXPECT_TRUE(ResolvesTo(R"(C:\)", root_ / "dosdevices" / "c:"));
    ::unsetenv("WINEPREFIX");
    ::setenv("HOME", (root_ / "nohome").c_str(), 1);
    EXPECT_EQ(Resolve(R"(C:\)"), std::nullopt);
}

#endif  // _WIN32

}  // namespace
}  // namespace tarvelle::platform
