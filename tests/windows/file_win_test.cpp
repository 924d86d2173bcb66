// The PST writer's file operations on Windows (pst/ndb/File_win.cpp) against the real file
// system: the ways the node database creates, grows and replaces its file.
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

TEST_F(FileWinTest, TemporaryFilesAreNewHiddenNamesBesideTheTarget) {
    File a = File::CreateTemporary(target_);
    File b = File::CreateTemporary(target_);
    ASSERT_TRUE(a.IsOpen());
    ASSERT_TRUE(b.IsOpen());
    EXPECT_NE(a.Path(), b.Path());
    EXPECT_EQ(a.Path().parent_path(), dir_);
    const std::wstring name = a.Path().filename().wstring();
    EXPECT_EQ(name.rfind(L"." + target_.filename().wstring() + L".", 0), 0u);
    EXPECT_EQ(a.Path().extension(), ".tmp");
    EXPECT_EQ(Entries().size(), 2u);
    EXPECT_THROW(File::CreateTemporary(dir_ / "missing folder" / "x.pst"), IoError);
}

TEST_F(FileWinTest, PositionedWritesResizeAndCopy) {
    File file = File::CreateTemporary(target_);
    file.Resize(16);
    file.WriteAt(Bytes("abc"), 2);
    std::string tail = "XY";
    std::string more = "Z";
    std::vector<iovec> buffers{{tail.data(), tail.size()}, {nullptr, 0}, {more.data(), 1}};
    file.WriteVectorAt(buffers, 10);
    file.Sync();
    EXPECT_EQ(Contents(file.Path()), std::string("\0\0abc\0\0\0\0\0XYZ\0\0\0", 16));
    file.Resize(6);
    EXPECT_EQ(Contents(file.Path()), std::string("\0\0abc\0", 6));

    File copy = File::CreateTemporary(target_);
    copy.CopyFrom(file, 5);
    EXPECT_EQ(Contents(copy.Path()), std::string("\0\0abc", 5));
    EXPECT_THROW(copy.CopyFrom(file, 100), IoError);  // the source is shorter
}

TEST_F(FileWinTest, LinkAsNewNeverReplacesAnExistingFile) {
    File first = File::CreateTemporary(target_);
    first.WriteAt(Bytes("first"), 0);
    ASSERT_TRUE(first.LinkAsNew(target_));
    EXPECT_EQ(first.Path(), target_);
    EXPECT_EQ(Entries(), std::vector<fs::path>{target_});

    File second = File::CreateTemporary(target_);
    second.WriteAt(Bytes("second"), 0);
    EXPECT_FALSE(second.LinkAsNew(target_));
    EXPECT_EQ(Contents(target_), "first");
    // The file went on being written under its own name.
    first.WriteAt(Bytes("FIRST"), 0);
    EXPECT_EQ(Contents(target_), "FIRST");
}

TEST_F(FileWinTest, RenameReplacesTheTargetWhileBothAreOpen) {
    // As the writer grows and finally compacts its file: a copy replaces the open original.
    File original = File::CreateTemporary(target_);
    original.WriteAt(Bytes("old contents"), 0);
    ASSERT_TRUE(original.LinkAsNew(target_));
    File copy = File::CreateTemporary(target_);
    copy.WriteAt(Bytes("new"), 0);
    copy.Sync();
    copy.RenameTo(target_);
    EXPECT_EQ(copy.Path(), target_);
    EXPECT_EQ(Contents(target_), "new");
    original = std::move(copy);  // the old handle closes here
    original.WriteAt(Bytes("NEW"), 0);
    original.Close();
    EXPECT_FALSE(original.IsOpen());
    EXPECT_EQ(Contents(target_), "NEW");
    EXPECT_EQ(Entries(), std::vector<fs::path>{target_});
    SyncDirectoryOf(target_);
}

TEST_F(FileWinTest, UnlinkRemovesTheNameOpenOrClosed) {
    File open = File::CreateTemporary(target_);
    const fs::path openName = open.Path();
    open.WriteAt(Bytes("x"), 0);
    open.Unlink();
    open.Close();
    EXPECT_FALSE(fs::exists(openName));

    File closed = File::CreateTemporary(target_);
    closed.Close();
    closed.Unlink();
    EXPECT_TRUE(Entries().empty());
}

}  // namespace
}  // namespace tarvelle::pst::ndb
