// The Windows platform layer under the real system calls: code page conversion, native paths,
// OpenDocument through the shell, the common controls and the shell's folder picker.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// shlobj.h needs the declarations of windows.h first.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Codepage.h"
#include "platform/CommonControls.h"
#include "platform/FolderPicker.h"
#include "platform/NativePath.h"
#include "platform/ShellOpen.h"
#include "platform/TextFile.h"

namespace tarvelle::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The tests expect the Western code page that Eudora's books were written in.
TEST(CodepageWinTest, AnsiCodePageIsWindows1252) { ASSERT_EQ(GetACP(), 1252u); }

TEST(CodepageWinTest, DecodeAnsiGoesThroughTheSystemCodePage) {
    EXPECT_EQ(DecodeAnsi(""), "");
    EXPECT_EQ(DecodeAnsi("plain"), "plain");
    EXPECT_EQ(DecodeAnsi("Caf\xE9 \x80 \x93q\x94"),
              "Caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D");
    // NUL bytes are characters like any other.
    EXPECT_EQ(DecodeAnsi(std::string("a\0b", 3)), std::string("a\0b", 3));
    // Every byte decodes and the result agrees with the portable Windows-1252 table.
    std::string all;
    for (int byte = 1; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
    EXPECT_EQ(DecodeAnsi(all), DecodeWindows1252(all));
}

TEST(CodepageWinTest, EncodeAnsiRoundTripsAndMarksWhatTheCodePageLacks) {
    EXPECT_EQ(EncodeAnsi("Caf\xC3\xA9 \xE2\x82\xAC"), "Caf\xE9 \x80");
    EXPECT_EQ(EncodeAnsi(DecodeAnsi("\xE0\xFF\x9F")), "\xE0\xFF\x9F");
    // Greek and CJK are not in Windows-1252; no best-fit look-alikes are made up.
    EXPECT_EQ(EncodeAnsi("\xCE\xA9 \xE4\xB8\xAD"), "? ?");
    // A character whose best fit would be a backslash must not become a path separator.
    EXPECT_EQ(EncodeAnsi("a\xEF\xBC\xBC"
                         "b"),
              "a?b");
    // Malformed UTF-8 is replaced, never passed through as raw bytes.
    EXPECT_EQ(EncodeAnsi("x\xFFy"), "x?y");
}

TEST(CodepageWinTest, LongTextsConvertCompletely) {
    std::string text;
    for (int i = 0; i < 200000; ++i) text += "\xE9z";
    const std::string utf8 = DecodeAnsi(text);
    EXPECT_EQ(utf8.size(), 600000u);
    EXPECT_EQ(EncodeAnsi(utf8), text);
}

class TempFolder : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tarvelle-win-" + std::to_string(GetCurrentProcessId()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    // The folder as UTF-8 text, the form the program's paths take.
    std::string Utf8(const fs::path& path) const {
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    }
    fs::path dir_;
};

using NativePathWinTest = TempFolder;

TEST_F(NativePathWinTest, Utf8PathsReachFilesWithAnyName) {
    // Greek is outside the ANSI code page: only a UTF-8-aware path reaches this file.
    const fs::path file = dir_ / fs::path(u8"NNdbase \u03A9 caf\u00E9.txt");
    std::ofstream(file, std::ios::binary) << "alias a a@example.com\r\nalias b b@example.com";
    const std::string text = Utf8(file);
    const auto native = ResolveNativePath(text);
    ASSERT_TRUE(native.has_value());
    EXPECT_EQ(*native, file);
    EXPECT_TRUE(fs::exists(*native));

    auto reader = DefaultTextFileOpener().Open(text);
    std::vector<std::string> lines;
    while (!reader->AtEndOfStream()) lines.push_back(reader->ReadLine());
    EXPECT_EQ(lines, (std::vector<std::string>{"alias a a@example.com", "alias b b@example.com"}));
}

TEST_F(NativePathWinTest, WindowsPathsComeBackUnchanged) {
    for (const std::string text : {"C:\\DOCUME~1\\Me\\NNDBASE.TXT", "\\\\server\\share\\a b.txt",
                                   "relative\\NNdbase.txt", ""}) {
        SCOPED_TRACE(text);
        const auto native = ResolveNativePath(text);
        ASSERT_TRUE(native.has_value());
        EXPECT_EQ(Utf8(*native), text);
    }
}

// A URL scheme whose "open" command is open_probe.exe, which records what it was given.
class OpenDocumentWinTest : public TempFolder {
  protected:
    void SetUp() override {
        TempFolder::SetUp();
        out_ = dir_ / "opened.txt";
        SetEnvironmentVariableW(L"TARVELLE_OPEN_PROBE_OUT", out_.wstring().c_str());
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        const fs::path probe = fs::path(self).parent_path() / "open_probe.exe";
        ASSERT_TRUE(fs::exists(probe)) << probe.string();
        const std::wstring command = L"\"" + probe.wstring() + L"\" \"%1\"";
        HKEY scheme = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"tarvelleprobe", 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &scheme, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(scheme, L"URL Protocol", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""),
                       sizeof(wchar_t));
        RegCloseKey(scheme);
        HKEY open = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"tarvelleprobe\\shell\\open\\command", 0,
                                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &open, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(open, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(open);
    }

    // What the probe recorded, once it has written `lines` lines (or after a time limit).
    std::string Recorded(int lines) const {
        std::string text;
        for (auto waited = 0ms; waited < 20000ms; waited += 100ms) {
            std::ifstream in(out_, std::ios::binary);
            std::stringstream buffer;
            buffer << in.rdbuf();
            text = buffer.str();
            if (std::count(text.begin(), text.end(), '\n') >= lines) break;
            std::this_thread::sleep_for(100ms);
        }
        return text;
    }

    fs::path out_;
};

TEST_F(OpenDocumentWinTest, OpensTheTargetWithTheSchemesOpenCommand) {
    OpenDocument("tarvelleprobe:/tarvelle/guide.html");
    EXPECT_EQ(Recorded(1), "tarvelleprobe:/tarvelle/guide.html\n");
    // The target travels through the ANSI code page.
    OpenDocument("tarvelleprobe:caf\xC3\xA9");
    EXPECT_EQ(Recorded(2), "tarvelleprobe:/tarvelle/guide.html\ntarvelleprobe:caf\xC3\xA9\n");
}

TEST_F(OpenDocumentWinTest, EmptyTargetAndFailuresAreSilent) {
    OpenDocument("");
    OpenDocument("tarvelle-no-such-scheme-xyz:nothing");
    OpenDocument("C:\\no\\such\\document.txt");
    OpenDocument("tarvelleprobe:after");
    // Only the last call reached a program, and none of them raised or blocked.
    EXPECT_EQ(Recorded(1), "tarvelleprobe:after\n");
}

TEST(CommonControlsWinTest, ShellLibraryIsLoadedAndFreed) {
    InitCommonControls();
    InitCommonControlsEx(kUserExClasses);
    const ModuleHandle handle = LoadShellLibrary();
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(reinterpret_cast<HMODULE>(handle), GetModuleHandleA("shell32.dll"));
    FreeShellLibrary(handle);
    FreeShellLibrary(0);  // a failed load's zero handle is passed on harmlessly
}

// Drives the folder picker from a second thread: finds the dialog of the calling thread, checks
// its instruction line, then selects `folder` (or cancels when it is empty).
class PickerDriver {
  public:
    PickerDriver(DWORD pickerThread, std::string title, std::string folder)
        : thread_([=, this] { Run(pickerThread, title, folder); }) {}
    // Called once the picker has returned: a driver still looking for the dialog stops.
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    ~PickerDriver() { Stop(); }
    bool SawDialog() const { return sawDialog_; }
    bool SawTitle() const { return sawTitle_; }

  private:
    struct Search {
        DWORD thread;
        HWND found;
    };
    static BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
        auto* search = reinterpret_cast<Search*>(param);
        char className[64] = {};
        GetClassNameA(window, className, sizeof(className));
        if (GetWindowThreadProcessId(window, nullptr) == search->thread &&
            std::string(className) == "#32770" && IsWindowVisible(window)) {
            search->found = window;
            return FALSE;
        }
        return TRUE;
    }
    struct TextSearch {
        std::string text;
        bool found;
    };
    static BOOL CALLBACK FindText(HWND window, LPARAM param) {
        auto* search = reinterpret_cast<TextSearch*>(param);
        char text[512] = {};
        GetWindowTextA(window, text, sizeof(text));
        if (search->text == text) {
            search->found = true;
            return FALSE;
        }
        return TRUE;
    }
    void Run(DWORD pickerThread, const std::string& title, const std::string& folder) {
        Search search{pickerThread, nullptr};
        for (int tries = 0; tries < 200 && search.found == nullptr && !stop_; ++tries) {
            std::this_thread::sleep_for(50ms);
            EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
        }
        if (search.found == nullptr) return;
        sawDialog_ = true;
        TextSearch text{EncodeAnsi(title), false};
        EnumChildWindows(search.found, FindText, reinterpret_cast<LPARAM>(&text));
        sawTitle_ = text.found;
        if (!folder.empty()) {
            const std::string ansi = EncodeAnsi(folder);
            SendMessageA(search.found, BFFM_SETSELECTIONA, TRUE,
                         reinterpret_cast<LPARAM>(ansi.c_str()));
            std::this_thread::sleep_for(200ms);
            PostMessageA(search.found, WM_COMMAND, IDOK, 0);
        } else {
            PostMessageA(search.found, WM_COMMAND, IDCANCEL, 0);
        }
    }

    std::atomic<bool> stop_{false};
    std::atomic<bool> sawDialog_{false};
    std::atomic<bool> sawTitle_{false};
    std::thread thread_;
};

using FolderPickerWinTest = TempFolder;

constexpr const char* kPickerTitle = "Choose Folder to Save Exported Outlook Contacts File";

TEST_F(FolderPickerWinTest, ReturnsTheChosenFolderAsUtf8) {
    const fs::path chosen = dir_ / fs::path(u8"Caf\u00E9 out");
    fs::create_directories(chosen);
    std::string picked;
    bool sawDialog = false;
    bool sawTitle = false;
    {
        PickerDriver driver(GetCurrentThreadId(), kPickerTitle, Utf8(chosen));
        picked = BrowseForFolder(nullptr, kPickerTitle);
        driver.Stop();
        sawDialog = driver.SawDialog();
        sawTitle = driver.SawTitle();
    }
    if (!sawDialog) GTEST_SKIP() << "the folder picker shows no window on this system";
    EXPECT_TRUE(sawTitle);
    EXPECT_EQ(fs::path(std::u8string(picked.begin(), picked.end())), chosen);
}

// Without a display (as under Wine in CI) the picker cannot open: a failure, also the empty text.
TEST_F(FolderPickerWinTest, CancelOrFailureGivesTheEmptyText) {
    std::string picked = "unchanged";
    bool sawDialog = false;
    {
        PickerDriver driver(GetCurrentThreadId(), kPickerTitle, "");
        picked = BrowseForFolder(nullptr, kPickerTitle);
        driver.Stop();
        sawDialog = driver.SawDialog();
    }
    EXPECT_EQ(picked, "");
    RecordProperty("picker_shown", sawDialog ? "yes" : "no");
}

}  // namespace
}  // namespace tarvelle::platform
