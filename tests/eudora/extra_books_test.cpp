#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "eudora/ExtraBooks.h"
#include "tests/support/TempDir.h"

namespace tarvelle::eudora {
namespace {

using Names = std::vector<std::string>;

// "main: file name" (or "-"), then each extra book as "file -> folder".
Names Describe(const BookFiles& files) {
    Names out{"main: " + files.mainBook.value_or("-")};
    for (const ExtraBook& b : files.extraBooks) out.push_back(b.fileName + " -> " + b.folderName);
    return out;
}

TEST(ChooseBookFiles, MainBookTxtElseNntExtraBooksInByteOrderWithFreeFolderNames) {
    const struct {
        Names dataFolder, nicknameFolder, expected;
    } rows[] = {
        // clang-format off
        {{"Eudora.ini", "NNdbase.nnt", "NNdbase.txt"}, {}, {"main: NNdbase.txt"}},
        {{"NNdbase.nnt", "NNdbase.toc"}, {}, {"main: NNdbase.nnt"}},
        // Matched without regard to case; the name comes back as listed.
        {{"nndbase.NNT", "NNDBASE.TXT"}, {}, {"main: NNDBASE.TXT"}},
        {{"NNdbase.toc", "RCPdbase.txt", "NNdbase.txt.bak"}, {}, {"main: -"}},
        // Byte order, as Eudora sorts the paths: capitals first.
        {{"NNdbase.txt"}, {"Work.txt", "Work.toc", "Club.nnt", "Plugin.pre", "notes.doc", "RCPdbase.txt", "rcpdbase.TXT", "FAMILY.TXT", "alpha.txt", "txt"},
         {"main: NNdbase.txt", "Club.nnt -> Club", "FAMILY.TXT -> FAMILY", "Work.txt -> Work", "alpha.txt -> alpha"}},
        // Taken folder names get a number.
        {{}, {"Work.txt", "Work.nnt", "contacts.txt", "Work (2).txt", "Contacts (2).nnt", ".txt"},
         {"main: -", ".txt -> .txt", "Contacts (2).nnt -> Contacts (2)", "Work (2).txt -> Work (2)", "Work.nnt -> Work", "Work.txt -> Work (3)", "contacts.txt -> contacts (3)"}},
        // clang-format on
    };
    for (const auto& row : rows)
        EXPECT_EQ(Describe(ChooseBookFiles(row.dataFolder, row.nicknameFolder)), row.expected);
}

TEST(FindBookFiles, ListsTheDataFolderAndItsNicknameSubfolderInAnyCase) {
    const fakes::TempDir temp("tarvelle-books-");
    EXPECT_EQ(Describe(FindBookFiles(temp.path() / "absent")), Names{"main: -"});
    for (const char* file :
         {"a/NNdbase.nnt", "a/RCPdbase.txt", "a/Nickname/Work.txt", "a/Nickname/Club.nnt",
          "a/Nickname/Work.toc", "b/NNdbase.txt", "b/NICKNAME/Friends.txt", "c/NNdbase.txt"}) {
        std::filesystem::create_directories((temp.path() / file).parent_path());
        std::ofstream(temp.path() / file) << "alias a a@example.com\r\n";
    }
    std::filesystem::create_directories(temp.path() / "a/Nickname/Folder.txt");  // not a file
    EXPECT_EQ(Describe(FindBookFiles(temp.path() / "a")),
              (Names{"main: NNdbase.nnt", "Club.nnt -> Club", "Work.txt -> Work"}));
    EXPECT_EQ(Describe(FindBookFiles(temp.path() / "b")),
              (Names{"main: NNdbase.txt", "Friends.txt -> Friends"}));
    EXPECT_EQ(Describe(FindBookFiles(temp.path() / "c")), Names{"main: NNdbase.txt"});
}

}  // namespace
}  // namespace tarvelle::eudora
