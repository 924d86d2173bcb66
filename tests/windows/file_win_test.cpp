// The PST writer's file operations on Windows (pst/ndb/File_win.cpp) against the real file
// system: the ways the node database creates, writes, grows, trims and takes back its file.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "pst/ndb/File.h"
#include "pst/ndb/NodeDatabase.h"

namespace tarvelle::pst::ndb {
namespace {

namespace fs = std::filesystem;

// Reads a file that the writer may still hold open (its handles share reading and deletion).
std::string Contents(const fs::path& path) {
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return "<cannot open>";
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(handle, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(handle);
    return text;
}

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

class FileWinTest : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tarvelle-file-" +
                std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        target_ = dir_ / fs::path(u8"Eudora Address Book \u03A9.pst");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    std::vector<fs::path> Entries() const {
        std::vector<fs::path> names;
        for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path());
        return names;
    }
    fs::path dir_;
    fs::path target_;
};

TEST_F(FileWinTest, NewFilesAreCreatedUnderTheirNameAndNeverOverAnExistingOne) {
    File first = File::CreateNew(target_);
    ASSERT_TRUE(first.IsOpen());
    EXPECT_FALSE(first.Nameless()) << "Windows has no nameless files";
    EXPECT_EQ(first.Path(), target_);
    EXPECT_TRUE(first.LinkAsNew(target_));
    first.WriteAt(Bytes("first"), 0);
    EXPECT_THROW(File::CreateNew(target_), IoError);
    EXPECT_FALSE(File::CreateExclusive(target_).has_value());
    EXPECT_EQ(Contents(target_), "first");
    EXPECT_EQ(Entries(), std::vector<fs::path>{target_}) << "no hidden files beside it";
    EXPECT_THROW(File::CreateNew(dir_ / "missing folder" / "x.pst"), IoError);
}

TEST_F(FileWinTest, PositionedWritesZerosAndResize) {
    File file = File::CreateNew(target_);
    file.Resize(16);
    file.WriteAt(Bytes("abcdef"), 2);
    std::string tail = "XY";
    std::string more = "Z";
    std::vector<iovec> buffers{{tail.data(), tail.size()}, {nullptr, 0}, {more.data(), 1}};
    file.WriteVectorAt(buffers, 10);
    file.ZeroAt(4, 2);
    file.StartWriteBack(0, 16);
    file.Sync();
    EXPECT_EQ(Contents(target_), std::string("\0\0ab\0\0ef\0\0XYZ\0\0\0", 16));
    file.Resize(6);
    EXPECT_EQ(Contents(target_), std::string("\0\0ab\0\0", 6));
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    SyncDirectoryOf(target_);
}

TEST_F(FileWinTest, UnlinkTakesBackTheOpenFile) {
    File file = File::CreateNew(target_);
    file.WriteAt(Bytes("x"), 0);
    file.Unlink();
    file.Close();
    EXPECT_TRUE(Entries().empty());
}

}  // namespace
}  // namespace tarvelle::pst::ndb
