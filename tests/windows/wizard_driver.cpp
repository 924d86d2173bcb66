// Drives the running Windows wizard (tarvelle.exe) through a whole export with window messages
// only, as a user would with the mouse: both options, Browse cancelled, a file that is no book
// refused, a book picked, the About box, Next, Start Exporting with the output folder answered,
// the log read back, Exit declined and then confirmed.
//
// usage: wizard_driver DATA_FOLDER NOT_A_BOOK BOOK OUTPUT_FOLDER LOG_FILE
// Start the wizard first. Prints one line per check; the log shown after the export is written
// to LOG_FILE (UTF-8, as shown). Exits 1 when a check fails.
// With TARVELLE_DRIVER_SHOTS set, it stops at the moments worth a screenshot: it prints
// "shot NAME LEFT TOP WIDTH HEIGHT" (the window's place on the screen) and goes on when a line
// arrives on its standard input.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "win/resource.h"
#include "wizard/AboutBox.h"
#include "wizard/AddressBookCheck.h"
#include "wizard/Menus.h"

namespace {

int failures = 0;
DWORD wizardProcess = 0;

std::string Narrow(const std::wstring& wide) {
    std::string out(wide.size() * 3, '\0');
    out.resize(static_cast<std::size_t>(
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(),
                              static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

void Check(bool passed, const std::string& what) {
    std::printf("%s: %s\n", passed ? "ok" : "FAIL", what.c_str());
    failures += passed ? 0 : 1;
}

// Another process's window text: WM_GETTEXT, which the system copies across processes.
std::wstring Text(HWND window) {
    if (window == nullptr) return {};
    std::wstring text(::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0) + 1, L'\0');
    text.resize(
        ::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    return text;
}

bool WaitFor(const std::function<bool()>& condition, int milliseconds = 30000) {
    for (int waited = 0; waited < milliseconds && !condition(); waited += 50) ::Sleep(50);
    return condition();
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

BOOL CALLBACK Collect(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// The top-level windows, or the children of `parent`.
std::vector<HWND> Windows(HWND parent = nullptr) {
    std::vector<HWND> found;
    const auto list = reinterpret_cast<LPARAM>(&found);
    parent ? ::EnumChildWindows(parent, Collect, list) : ::EnumWindows(Collect, list);
    return found;
}

// The visible dialog windows of the wizard's process (all of them when it is not known yet).
std::vector<HWND> Dialogs() {
    std::vector<HWND> found;
    for (HWND window : Windows()) {
        DWORD process = 0;
        ::GetWindowThreadProcessId(window, &process);
        if (::IsWindowVisible(window) && ClassOf(window) == L"#32770" &&
            (wizardProcess == 0 || process == wizardProcess))
            found.push_back(window);
    }
    return found;
}

// The wizard's window holding a control with this identifier, or null.
HWND WindowWith(int control) {
    for (HWND window : Dialogs())
        if (::GetDlgItem(window, control) != nullptr) return window;
    return nullptr;
}

// A box or picker of the wizard's: a dialog that is none of its own three windows.
HWND Modal() {
    for (HWND window : Dialogs())
        if (!::GetDlgItem(window, IDC_OPT_DEFAULT) && !::GetDlgItem(window, IDC_LOG) &&
            !::GetDlgItem(window, IDC_SITE_LINK))
            return window;
    return nullptr;
}

// The first window that `find` returns within the time limit, or null.
HWND Await(const std::function<HWND()>& find, int milliseconds = 30000) {
    HWND found = nullptr;
    WaitFor([&] { return (found = find()) != nullptr; }, milliseconds);
    return found;
}

int Finish() { return std::printf("wizard checks: %d failed\n", failures), failures == 0 ? 0 : 1; }

// The texts of a message box's static controls, joined.
std::wstring BoxText(HWND box) {
    std::wstring text;
    for (HWND child : Windows(box))
        if (ClassOf(child) == L"Static") text += Text(child);
    return text;
}

// The file-name box of a picker: its first visible edit control.
HWND NameBox(HWND picker) {
    for (HWND child : Windows(picker))
        if (ClassOf(child) == L"Edit" && ::IsWindowVisible(child)) return child;
    return nullptr;
}

void Answer(HWND box, int button) {
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    WaitFor([&] { return !::IsWindow(box) || !::IsWindowVisible(box); });
}

// Types a path into a picker and presses its OK button.
bool Pick(HWND picker, const std::wstring& path) {
    HWND name = NameBox(picker);
    if (name == nullptr) return false;
    ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    Answer(picker, IDOK);
    return !::IsWindowVisible(picker);
}

// A click on a button that may open a modal box: posted, so the driver does not wait for it.
void PostClick(HWND window, int control) {
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(window, control)));
}

void Shot(const char* name, HWND window) {
    static const bool wanted = _wgetenv(L"TARVELLE_DRIVER_SHOTS") != nullptr;
    if (!wanted || window == nullptr) return;
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ::Sleep(700);
    RECT r{};
    ::GetWindowRect(window, &r);
    std::printf("shot %s %ld %ld %ld %ld\n", name, r.left, r.top, r.right - r.left,
                r.bottom - r.top);
    char line[16];
    (void)std::fgets(line, sizeof line, stdin);
}

bool Visible(HWND window, int control) { return ::IsWindowVisible(::GetDlgItem(window, control)); }
bool Enabled(HWND window, int control) { return ::IsWindowEnabled(::GetDlgItem(window, control)); }
std::wstring ControlText(HWND window, int control) { return Text(::GetDlgItem(window, control)); }
bool Checked(HWND w, int control) { return ::IsDlgButtonChecked(w, control) == BST_CHECKED; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 6) return 2;
    std::setvbuf(stdout, nullptr, _IONBF, 0);  // each line reaches the runner at once
    const std::wstring dataFolder = argv[1], notABook = argv[2], book = argv[3], output = argv[4];

    HWND selection = Await([] { return WindowWith(IDC_OPT_DEFAULT); }, 60000);
    Check(selection != nullptr, "the selection page is shown");
    if (selection == nullptr) return Finish();
    ::GetWindowThreadProcessId(selection, &wizardProcess);
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, wizardProcess);

    Check(ControlText(selection, IDC_SOURCE) == dataFolder && Checked(selection, IDC_OPT_DEFAULT) &&
              !Visible(selection, IDC_FILENAME) && !Visible(selection, IDC_BROWSE) &&
              Enabled(selection, IDC_NEXT),
          "the page opens on Eudora's data folder: " + Narrow(ControlText(selection, IDC_SOURCE)));
    Shot("selection-default", selection);

    ::SendDlgItemMessageW(selection, IDC_OPT_CHOOSE, BM_CLICK, 0, 0);
    Check(Checked(selection, IDC_OPT_CHOOSE) && Visible(selection, IDC_FILENAME) &&
              Visible(selection, IDC_BROWSE) && !Enabled(selection, IDC_NEXT),
          "choosing a book shows the file name and Browse, and turns Next off");
    ::SendDlgItemMessageW(selection, IDC_OPT_DEFAULT, BM_CLICK, 0, 0);
    Check(!Visible(selection, IDC_FILENAME) && Enabled(selection, IDC_NEXT) &&
              ControlText(selection, IDC_SOURCE) == dataFolder,
          "the default book again hides them, shows the data folder and turns Next on");
    ::SendDlgItemMessageW(selection, IDC_OPT_CHOOSE, BM_CLICK, 0, 0);

    PostClick(selection, IDC_BROWSE);
    HWND picker = Await(Modal);
    Check(picker != nullptr && NameBox(picker) != nullptr, "Browse opens the file picker");
    if (picker != nullptr) Answer(picker, IDCANCEL);
    Check(picker != nullptr && !::IsWindowVisible(picker) && !Enabled(selection, IDC_NEXT) &&
              ControlText(selection, IDC_FILENAME).empty(),
          "the picker cancelled: no file, Next stays off");

    PostClick(selection, IDC_BROWSE);
    picker = Await(Modal);
    const bool pickedBad = picker != nullptr && Pick(picker, notABook);
    HWND box = pickedBad ? Await(Modal) : nullptr;
    const std::wstring refusal = box != nullptr ? BoxText(box) : L"";
    Check(Narrow(refusal) == tarvelle::wizard::kNotAnAddressBookText,
          "a file that is no address book is refused: " + Narrow(refusal));
    if (box != nullptr) Answer(box, IDOK);
    Check(ControlText(selection, IDC_FILENAME).empty() && !Enabled(selection, IDC_NEXT),
          "after the refusal no file is chosen and Next stays off");

    PostClick(selection, IDC_BROWSE);
    picker = Await(Modal);
    const bool pickedBook = picker != nullptr && Pick(picker, book);
    const bool checked = pickedBook && WaitFor([&] { return Enabled(selection, IDC_NEXT); });
    const std::wstring chosen = ControlText(selection, IDC_FILENAME);
    Check(checked && _wcsicmp(chosen.c_str(), book.c_str()) == 0 &&
              ControlText(selection, IDC_SOURCE) == chosen,
          "a book picked and checked turns Next on: " + Narrow(chosen));
    Shot("selection-chosen", selection);

    const int aboutCommand = IDM_FIRST + static_cast<int>(tarvelle::wizard::MenuCommand::About);
    ::PostMessageW(selection, WM_COMMAND, MAKEWPARAM(aboutCommand, 0), 0);
    HWND about = Await([] { return WindowWith(IDC_SITE_LINK); });
    Check(about != nullptr && Narrow(Text(about)) == tarvelle::wizard::kAboutTexts.title &&
              !ControlText(about, IDC_SITE_LINK).empty(),
          "Help > About... opens the About box");
    Shot("about", about);
    PostClick(about, IDOK);
    Check(WaitFor([&] { return WindowWith(IDC_SITE_LINK) == nullptr; }), "OK closes it");

    PostClick(selection, IDC_NEXT);
    HWND progress =
        Await([&] { return ::IsWindowVisible(selection) ? nullptr : WindowWith(IDC_LOG); });
    Check(progress != nullptr && !::IsWindowVisible(selection), "Next shows the progress page");
    if (progress == nullptr) return Finish();
    Check(!ControlText(progress, IDC_LOG).empty() && Enabled(progress, IDC_START),
          "the log shows its first lines and Start Exporting is on");
    Shot("progress", progress);

    PostClick(progress, IDC_START);
    picker = Await(Modal);
    Check(picker != nullptr && Pick(picker, output),
          "Start Exporting asks for the folder, answered");
    // The run ends with its completion box; any other box is a failure, answered with OK.
    bool complete = false;
    while (!complete && (box = Await(Modal, 120000)) != nullptr) {
        const std::wstring title = Text(box);
        complete = title == L"Export Complete";
        Check(complete, "box during the export: " + Narrow(title) + ": " + Narrow(BoxText(box)));
        Answer(box, IDOK);
    }
    Check(complete && WaitFor([&] { return Enabled(progress, IDC_START); }),
          "the export completes and Start Exporting is on again");
    Shot("progress-finished", progress);
    std::ofstream(std::filesystem::path(argv[5]), std::ios::binary)
        << Narrow(ControlText(progress, IDC_LOG));

    PostClick(progress, IDC_EXIT);
    box = Await(Modal);
    Check(
        box != nullptr && ::GetDlgItem(box, IDYES) != nullptr && ::GetDlgItem(box, IDNO) != nullptr,
        "Exit asks for confirmation: " + Narrow(Text(box)));
    if (box != nullptr) Answer(box, IDNO);
    Check(::WaitForSingleObject(process, 500) == WAIT_TIMEOUT && ::IsWindowVisible(progress),
          "No keeps the wizard open");
    PostClick(progress, IDC_EXIT);
    box = Await(Modal);
    if (box != nullptr) PostClick(box, IDYES);
    Check(box != nullptr && ::WaitForSingleObject(process, 30000) == WAIT_OBJECT_0,
          "Yes ends the wizard");
    return Finish();
}
