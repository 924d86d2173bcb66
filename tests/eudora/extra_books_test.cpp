#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "eudora/ExtraBooks.h"

namespace tarvelle::eudora {
namespace {

std::vector<std::string> FileNames(const BookFiles& files) {
    std::vector<std::string> names;
    for (const ExtraBook& b : files.extraBooks) names.push_back(b.fileName);
    return names;
}

std::vector<std::string> FolderNames(const BookFiles& files) {
    std::vector<std::string> names;
    for (const ExtraBook& b : files.extraBooks) names.push_back(b.folderName);
    return names;
}

TEST(ChooseBookFiles, MainBookIsTxtElseNnt) {
    EXPECT_EQ(ChooseBookFiles({"Eudora.ini", "NNdbase.nnt", "NNdbase.txt"}, {}).mainBook,
              "NNdbase.txt");
    EXPECT_EQ(ChooseBookFiles({"NNdbase.nnt", "NNdbase.toc"}, {}).mainBook, "NNdbase.nnt");
    // Matched without regard to case; the name comes back as listed.
    EXPECT_EQ(ChooseBookFiles({"nndbase.NNT", "NNDBASE.TXT"}, {}).mainBook, "NNDBASE.TXT");
    EXPECT_FALSE(ChooseBookFiles({"NNdbase.toc", "RCPdbase.txt", "NNdbase.txt.bak"}, {}).mainBook);
}

TEST(ChooseBookFiles, ExtraBooksAreTxtAndNntSortedByName) {
    const BookFiles files = ChooseBookFiles(
        {"NNdbase.txt"}, {"Work.txt", "Work.toc", "Club.nnt", "Plugin.pre", "notes.doc",
                          "RCPdbase.txt", "rcpdbase.TXT", "FAMILY.TXT", "alpha.txt", "txt"});
    // Byte order, as Eudora sorts the paths: capitals first.
    EXPECT_EQ(FileNames(files),
              (std::vector<std::string>{"Club.nnt", "FAMILY.TXT", "Work.txt", "alpha.txt"}));
    EXPECT_EQ(FolderNames(files), (std::vector<std::string>{"Club", "FAMILY", "Work", "alpha"}));
}

TEST(ChooseBookFiles, TakenFolderNamesGetANumber) {
    const BookFiles files = ChooseBookFiles(
        {}, {"Work.txt", "Work.nnt", "contacts.txt", "Work (2).txt", "Contacts (2).nnt", ".txt"});
    // Sorted: ".txt", "Contacts (2).nnt", "Work (2).txt", "Work.nnt", "Work.txt", "contacts.txt"
    EXPECT_EQ(FolderNames(files), (std::vector<std::string>{".txt", "Contacts (2)", "Work (2)",
                                                            "Work", "Work (3)", "contacts (3)"}));
    EXPECT_FALSE(files.mainBook);
}

class FindBookFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() /
                ("tarvelle-books-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    void TearDown() override { std::filesystem::remove_all(root_); }
    void Touch(const std::filesystem::path& relative) {
        std::filesystem::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative) << "alias a a@example.com\r\n";
    }
    std::filesystem::path root_;
};

TEST_F(FindBookFilesTest, ListsTheDataFolderAndItsNicknameSubfolder) {
    Touch("NNdbase.nnt");
    Touch("RCPdbase.txt");
    Touch("Nickname/Work.txt");
    Touch("Nickname/Club.nnt");
    Touch("Nickname/Work.toc");
    std::filesystem::create_directories(root_ / "Nickname" / "Folder.txt");  // not a file
    const BookFiles files = FindBookFiles(root_);
    EXPECT_EQ(files.mainBook, "NNdbase.nnt");
    EXPECT_EQ(FileNames(files), (std::vector<std::string>{"Club.nnt", "Work.txt"}));
    EXPECT_EQ(FolderNames(files), (std::vector<std::string>{"Club", "Work"}));
}

TEST_F(FindBookFilesTest, SubfolderFoundWithoutRegardToCase) {
    Touch("NNdbase.txt");
    Touch("NICKNAME/Friends.txt");
    const BookFiles files = FindBookFiles(root_);
    EXPECT_EQ(files.mainBook, "NNdbase.txt");
    EXPECT_EQ(FileNames(files), (std::vector<std::string>{"Friends.txt"}));
}

TEST_F(FindBookFilesTest, MissingFoldersListAsEmpty) {
    const BookFiles none = FindBookFiles(root_ / "absent");
    EXPECT_FALSE(none.mainBook);
    EXPECT_TRUE(none.extraBooks.empty());

    Touch("NNdbase.txt");  // no Nickname subfolder
    const BookFiles mainOnly = FindBookFiles(root_);
    EXPECT_EQ(mainOnly.mainBook, "NNdbase.txt");
    EXPECT_TRUE(mainOnly.extraBooks.empty());
}

}  // namespace
}  // namespace tarvelle::eudora
