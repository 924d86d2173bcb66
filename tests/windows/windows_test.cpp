// The Windows layers under the real system calls, run under Wine (or on Windows itself): code
// page conversion, OpenDocument through the shell, the registry (registry-values.reg is imported
// with regedit first: the windows_registry fixture) and the PST writer's file operations
// (pst/ndb/File_win.cpp). Paths named in UTF-8 and Eudora's key are exercised end to end by the
// export and wizard checks of run-wine-tests.sh.
#include <windows.h>
// shellapi.h needs the declarations of windows.h first.
#include <gtest/gtest.h>
#include <shellapi.h>
#undef RegQueryValue  // winreg.h's alias of RegQueryValueA, not ours

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Codepage.h"
#include "platform/Registry.h"
#include "platform/ShellOpen.h"
#include "pst/ndb/File.h"
#include "pst/ndb/NodeDatabase.h"
#include "tests/support/TempDir.h"

namespace tarvelle {
namespace {

using namespace platform;
using namespace pst::ndb;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

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

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The browser of the OpenDocument test is this program itself: started with a tarvelleprobe:
// address, it appends the address as UTF-8 to the file the test names, and ends.
[[maybe_unused]] const bool kRanAsBrowser = [] {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    wchar_t out[MAX_PATH] = {};
    if (count != 2 || std::wstring(args[1]).rfind(L"tarvelleprobe:", 0) != 0 ||
        GetEnvironmentVariableW(L"TARVELLE_OPEN_PROBE_OUT", out, MAX_PATH) == 0) {
        return false;
    }
    std::ofstream(out, std::ios::binary | std::ios::app) << Utf8(fs::path(args[1])) << "\n";
    ExitProcess(0);
}();

// Eudora's books were written in the Western code page, the one these conversions go through.
TEST(CodepageWinTest, DecodeAnsiAgreesWithThePortableWindows1252Table) {
    ASSERT_EQ(GetACP(), 1252u);
    std::string all(1, '\0');  // NUL is a character like any other
    for (int byte = 1; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
    EXPECT_EQ(DecodeAnsi(""), "");
    EXPECT_EQ(DecodeAnsi(all), DecodeWindows1252(all));
}

TEST(CodepageWinTest, EncodeAnsiRoundTripsAndMarksWhatTheCodePageLacks) {
    // Greek and CJK get no best-fit look-alikes, a best-fit backslash would split a path, and
    // malformed UTF-8 never passes through as raw bytes.
    const std::pair<std::string, std::string> cases[] = {
        {"Caf\xC3\xA9 \xE2\x82\xAC", "Caf\xE9 \x80"},
        {"\xCE\xA9 \xE4\xB8\xAD", "? ?"},
        {"a\uFF3Cb", "a?b"},
        {"x\xFFy", "x?y"}};
    for (const auto& [utf8, ansi] : cases) EXPECT_EQ(EncodeAnsi(utf8), ansi) << utf8;
    std::string text;  // long enough to outgrow any fixed buffer, both ways
    for (int i = 0; i < 100000; ++i) text += "\xE0\xFF\x9Fz";
    EXPECT_EQ(EncodeAnsi(DecodeAnsi(text)), text);
}

// What the browser recorded, once it has written `lines` lines (or after a time limit).
std::string Recorded(const fs::path& out, int lines) {
    std::string text;
    for (int tries = 0; tries < 200 && std::count(text.begin(), text.end(), '\n') < lines;
         ++tries) {
        std::this_thread::sleep_for(100ms);
        text = Contents(out);
    }
    return text;
}

// The address goes to the "open" command of its scheme, through the ANSI code page; an empty
// target and the shell's failures are silent and do not block.
TEST(OpenDocumentWinTest, OpensTheAddressWithItsSchemesCommandAndIgnoresFailures) {
    const fakes::TempDir dir("tarvelle-win-");
    const fs::path out = dir.path() / "opened.txt";
    SetEnvironmentVariableW(L"TARVELLE_OPEN_PROBE_OUT", out.wstring().c_str());
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring command = L"\"" + std::wstring(self) + L"\" \"%1\"";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, L"tarvelleprobe", L"URL Protocol", REG_SZ, L"",
                              sizeof(wchar_t)),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, L"tarvelleprobe\\shell\\open\\command", nullptr,
                              REG_SZ, command.c_str(),
                              static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);

    OpenDocument("tarvelleprobe:/tarvelle/guide.html");
    EXPECT_EQ(Recorded(out, 1), "tarvelleprobe:/tarvelle/guide.html\n");
    OpenDocument("");
    OpenDocument("tarvelle-no-such-scheme-xyz:nothing");
    OpenDocument("C:\\no\\such\\document.txt");
    OpenDocument("tarvelleprobe:caf\xC3\xA9");
    EXPECT_EQ(Recorded(out, 2), "tarvelleprobe:/tarvelle/guide.html\ntarvelleprobe:caf\xC3\xA9\n");
}

// The PST writer's file operations: the ways the node database creates, writes, grows, trims and
// takes back its file.
class FileWinTest : public testing::Test {
  protected:
    std::vector<fs::path> Entries() const {
        return {fs::directory_iterator(dir_.path()), fs::directory_iterator()};
    }
    const fakes::TempDir dir_{"tarvelle-file-"};
    const fs::path target_ = dir_.path() / fs::path(u8"Eudora Address Book \u03A9.pst");
};

TEST_F(FileWinTest, NewFilesAreCreatedUnderTheirNameNeverOverAnotherAndUnlinkTakesThemBack) {
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
    EXPECT_THROW(File::CreateNew(dir_.path() / "missing folder" / "x.pst"), IoError);
    first.Unlink();  // takes back the open file
    first.Close();
    EXPECT_TRUE(Entries().empty());
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

constexpr const char* kValues = "Software\\Tarvelle Test\\Values";
constexpr std::uint32_t kNoPredefinedKey = 0x12345678u;

TEST(RegistryWinTest, KeysExistWhenTheyCanBeOpened) {
    // Caf\xC3\xA9 was written as Windows-1252 and is named in UTF-8.
    const std::pair<std::string, bool> keys[] = {
        {kValues, true},
        {"Software\\Tarvelle Test\\Empty Key", true},
        {"software\\tarvelle test\\VALUES", true},
        {"Software\\Tarvelle Test\\Caf\xC3\xA9", true},
        {"Software\\Tarvelle Test\\Missing", false},
        {"Software\\Tarvelle Test\\Values\\Missing", false}};
    for (const auto& [key, exists] : keys)
        EXPECT_EQ(RegKeyExists(kHkeyCurrentUser, key), exists) << key;
    EXPECT_FALSE(RegKeyExists(kNoPredefinedKey, kValues));
}

// Strings come back as UTF-8, raw ones whole or cut at the first NUL; DWORDs as signed numbers;
// other types, missing values and failures as the empty text.
TEST(RegistryWinTest, ValuesComeBackByType) {
    const std::string text = "C:\\Eudora\\Eudora.exe C:\\EUDORA\\DATA C:\\EUDORA\\DATA\\EUDORA.INI";
    const std::pair<const char*, RegValue> values[] = {
        {"Text", text},
        {"TEXT", text},
        {"Accented", std::string("Caf\xC3\xA9 \xC2\xAB\xE2\x82\xAC\xC2\xBB")},
        {"NoTerminatingNul", std::string("ABC")},
        {"InnerNul", std::string("AB")},
        {"AccentedRaw", std::string("c\xC3\xA9 \xE2\x82\xAC")},
        {"Number", std::int32_t{42}},
        {"Negative", std::int32_t{-1}},
        {"Largest", std::int32_t{2147483647}}};
    for (const auto& [name, value] : values)
        EXPECT_EQ(RegQueryValue(kHkeyCurrentUser, kValues, name), value) << name;
    for (const char* name : {"Empty", "Expandable", "Multi", "Binary", "Quad", "Missing", ""})
        EXPECT_EQ(RegQueryValue(kHkeyCurrentUser, kValues, name), RegValue(std::string())) << name;
    EXPECT_EQ(RegValueText(RegQueryValue(kHkeyCurrentUser, kValues, "Negative")), "-1");
    EXPECT_EQ(RegQueryValue(kHkeyCurrentUser, "Software\\Tarvelle Test\\Caf\xC3\xA9", "current"),
              RegValue(std::string("found")));
    EXPECT_EQ(RegQueryValue(kHkeyCurrentUser, "Software\\Tarvelle Test\\Missing", "Text"),
              RegValue(std::string()));
    EXPECT_EQ(RegQueryValue(kNoPredefinedKey, kValues, "Text"), RegValue(std::string()));
}

}  // namespace
}  // namespace tarvelle
