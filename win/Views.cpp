#include "Views.h"

#include <commctrl.h>

#include "Look.h"
#include "Services.h"
#include "resource.h"

namespace tarvelle::win {

namespace {

using wizard::ProgressControl;
using wizard::SelectionControl;

// Places in twips within the client area, as the Qt wizard lays its windows out.
struct Place {
    int id;
    RECT twips;  // left, top, width, height
};

constexpr int kPageWidth = 7470;
constexpr int kPageHeight = 5430;
// The backdrop pictures cover 497 x 375 pixels at 96 dots per inch.
constexpr int kBackdropWidth = 497 * 15;
constexpr int kBackdropHeight = 375 * 15;

// Label4 reaches down to Label2: Windows wraps its text onto a third line that the Qt layout's
// height would cut off.
constexpr Place kSelectionPlaces[] = {
    {IDC_LABEL3, {120, 120, 7215, 615}},       {IDC_LABEL4, {120, 600, 7215, 720}},
    {IDC_LABEL2, {120, 1320, 4335, 255}},      {IDC_SHAPE1, {120, 1560, 7215, 1215}},
    {IDC_SOURCE, {240, 1680, 6975, 1065}},     {IDC_CHOOSE_FRAME, {120, 2880, 7215, 1695}},
    {IDC_OPT_DEFAULT, {240, 3240, 4575, 255}}, {IDC_OPT_CHOOSE, {240, 3600, 4455, 255}},
    {IDC_FILENAME, {480, 3960, 5535, 320}},    {IDC_BROWSE, {6120, 3960, 975, 320}},
    {IDC_NEXT, {6000, 4920, 1335, 375}},
};

constexpr Place kProgressPlaces[] = {
    {IDC_PROGRESS_FRAME, {120, 120, 7215, 4575}}, {IDC_LOG, {240, 360, 6975, 4215}},
    {IDC_START, {1560, 4920, 1695, 375}},         {IDC_BACK, {120, 4920, 1335, 375}},
    {IDC_EXIT, {6120, 4920, 1215, 375}},
};

constexpr int kAboutWidth = 6570;
constexpr int kAboutHeight = 2145;
constexpr Place kAboutPlaces[] = {
    {IDC_ABOUT_TITLE, {0, 240, 4935, 345}},
    {IDC_ABOUT_NOTICE, {360, 960, 4935, 345}},
    {IDC_SITE_CAPTION, {480, 1365, 855, 225}},
    {IDC_SITE_LINK, {1320, 1365, 2295, 225}},
    {IDC_HELP_CAPTION, {480, 1680, 855, 225}},
    {IDC_HELP_LINK, {1320, 1680, 4335, 225}},
    {IDOK, {5160, 120, 1215, 375}},
    {IDCANCEL, {5160, 600, 1215, 375}},
};
constexpr RECT kGlobePlace{120, 1365, 240, 240};
constexpr RECT kHelpPlace{120, 1680, 240, 240};

template <std::size_t N>
void PlaceAll(HWND dialog, const Place (&places)[N]) {
    const int dpi = WindowDpi(dialog);
    for (const Place& place : places) PlaceControl(dialog, place.id, place.twips, dpi);
}

void SetBigAndSmallIcons(HWND window, int resource) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    for (const auto& [which, metric] :
         {std::pair{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}}) {
        const int side = ::GetSystemMetrics(metric);
        auto icon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(resource),
                                                    IMAGE_ICON, side, side, LR_DEFAULTCOLOR));
        ::SendMessageW(window, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
    }
}

// Fills the client area with `colour` and draws the picture from its top left corner.
void PaintBackdrop(HWND window, HDC dc, COLORREF colour, int picture) {
    RECT client{};
    ::GetClientRect(window, &client);
    ::FillRect(dc, &client, SolidBrush(colour));
    const int dpi = WindowDpi(window);
    DrawPicture(dc, picture, TwipsRect(0, 0, kBackdropWidth, kBackdropHeight, dpi));
}

// Colours of a static control (or a read-only edit) on a page: text colour, background colour.
LRESULT ControlColours(WPARAM dc, COLORREF text, COLORREF background) {
    const auto context = reinterpret_cast<HDC>(dc);
    ::SetTextColor(context, text);
    ::SetBkColor(context, background);
    return reinterpret_cast<LRESULT>(SolidBrush(background));
}

}  // namespace

// --- DialogWindow -----------------------------------------------------------------------------

DialogWindow::~DialogWindow() { Destroy(); }

void DialogWindow::Create(int templateId) {
    ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), nullptr,
                         &DialogWindow::Procedure, reinterpret_cast<LPARAM>(this));
}

void DialogWindow::Destroy() {
    if (window_ != nullptr) {
        HWND window = window_;
        window_ = nullptr;
        ::DestroyWindow(window);
    }
    shownOnce_ = false;
}

INT_PTR CALLBACK DialogWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogWindow* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<DialogWindow*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->window_ = window;
        self->OnInit();
        return TRUE;
    }
    self = reinterpret_cast<DialogWindow*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr || self->window_ != window) return FALSE;
    LRESULT result = 0;
    if (!self->OnMessage(message, wParam, lParam, result)) return FALSE;
    switch (message) {
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
            return static_cast<INT_PTR>(result);
        default:
            ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
            return TRUE;
    }
}

void DialogWindow::SetControlText(int id, std::string_view utf8) {
    ::SetDlgItemTextW(window_, id, Wide(utf8).c_str());
}

void DialogWindow::ShowInFront() {
    if (!shownOnce_) {
        shownOnce_ = true;
        Centre(window_);
    }
    ::ShowWindow(window_, SW_SHOW);
    ::SetForegroundWindow(window_);
    ::BringWindowToTop(window_);
}

// --- PageMenuBar ------------------------------------------------------------------------------

void PageMenuBar::Build(HWND window, wizard::PageKind kind) {
    window_ = window;
    HMENU bar = ::CreateMenu();
    for (const wizard::Menu& menu : wizard::PageMenus(kind)) {
        HMENU popup = ::CreatePopupMenu();
        for (const wizard::MenuEntry& entry : menu.entries) {
            if (!entry.command) {
                ::AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
                continue;
            }
            const std::wstring caption = Wide(entry.caption);
            ::AppendMenuW(popup, MF_STRING, IDM_FIRST + static_cast<int>(*entry.command),
                          caption.c_str());
            if (*entry.command == wizard::MenuCommand::OpenAddressBook) {
                fileMenu_ = popup;
                openCaption_ = caption;
            }
        }
        ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), Wide(menu.caption).c_str());
    }
    ::SetMenu(window, bar);
}

void PageMenuBar::SetOpenEnabled(bool enabled) {
    openEnabled_ = enabled;
    ::EnableMenuItem(fileMenu_, IDM_FIRST + static_cast<int>(wizard::MenuCommand::OpenAddressBook),
                     MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void PageMenuBar::SetOpenVisible(bool visible) {
    // A Windows menu cannot hide an entry: it is taken out and put back in first place.
    if (visible == openVisible_) return;
    openVisible_ = visible;
    const UINT id = IDM_FIRST + static_cast<int>(wizard::MenuCommand::OpenAddressBook);
    if (visible) {
        ::InsertMenuW(fileMenu_, 0, MF_BYPOSITION | MF_STRING, id, openCaption_.c_str());
        SetOpenEnabled(openEnabled_);
    } else {
        ::RemoveMenu(fileMenu_, id, MF_BYCOMMAND);
    }
    ::DrawMenuBar(window_);
}

std::optional<wizard::MenuCommand> PageMenuBar::CommandOf(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    const int last = IDM_FIRST + static_cast<int>(wizard::MenuCommand::OtherProducts);
    if (HIWORD(wParam) != 0 || lParam != 0 || id < IDM_FIRST || id > last) return std::nullopt;
    return static_cast<wizard::MenuCommand>(id - IDM_FIRST);
}

// --- SelectionWindow --------------------------------------------------------------------------

namespace {

int SelectionControlId(SelectionControl control) {
    switch (control) {
        case SelectionControl::SourceLabel:
            return IDC_SOURCE;
        case SelectionControl::DefaultOption:
            return IDC_OPT_DEFAULT;
        case SelectionControl::ChooseOption:
            return IDC_OPT_CHOOSE;
        case SelectionControl::FileName:
            return IDC_FILENAME;
        case SelectionControl::Browse:
            return IDC_BROWSE;
        case SelectionControl::Next:
            return IDC_NEXT;
        case SelectionControl::OpenMenu:
            break;
    }
    return 0;
}

}  // namespace

SelectionWindow::SelectionWindow(wizard::SelectionPage& page) : page_(page) {
    Create(IDD_SELECTION);
}

void SelectionWindow::OnInit() {
    const wizard::SelectionTexts& texts = wizard::kSelectionTexts;
    HWND window = Window();
    ::SetWindowTextW(window, Wide(texts.title).c_str());
    SetBigAndSmallIcons(window, IDI_TARVELLE);
    menus_.Build(window, wizard::PageKind::Selection);
    SetControlText(IDC_LABEL3, texts.label3);
    SetControlText(IDC_LABEL4, texts.label4);
    SetControlText(IDC_LABEL2, texts.label2);
    SetControlText(IDC_CHOOSE_FRAME, texts.frame1);
    SetControlText(IDC_OPT_DEFAULT, texts.optDefaultWab);
    SetControlText(IDC_OPT_CHOOSE, texts.optChooseWab);
    SetControlText(IDC_BROWSE, texts.cmdWabBrowse);
    SetControlText(IDC_NEXT, texts.cmdNext);
    const int dpi = WindowDpi(window);
    SizeClientArea(window, kPageWidth, kPageHeight, dpi);
    PlaceAll(window, kSelectionPlaces);
}

wizard::WindowHandle SelectionWindow::Handle() const { return HandleOf(Window()); }

void SelectionWindow::Hide() { ::ShowWindow(Window(), SW_HIDE); }

void SelectionWindow::SetVisible(SelectionControl control, bool visible) {
    if (control == SelectionControl::OpenMenu) {
        menus_.SetOpenVisible(visible);
    } else {
        ::ShowWindow(::GetDlgItem(Window(), SelectionControlId(control)),
                     visible ? SW_SHOWNA : SW_HIDE);
    }
}

void SelectionWindow::SetEnabled(SelectionControl control, bool enabled) {
    if (control == SelectionControl::OpenMenu) {
        menus_.SetOpenEnabled(enabled);
    } else {
        ::EnableWindow(::GetDlgItem(Window(), SelectionControlId(control)), enabled);
    }
}

void SelectionWindow::Select(SelectionControl option) {
    ::CheckRadioButton(Window(), IDC_OPT_DEFAULT, IDC_OPT_CHOOSE, SelectionControlId(option));
}

void SelectionWindow::SetText(SelectionControl control, const std::string& text) {
    const int id = SelectionControlId(control);
    SetControlText(id, text);
    if (control == SelectionControl::SourceLabel) ::UpdateWindow(::GetDlgItem(Window(), id));
}

bool SelectionWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_ERASEBKGND:
            PaintBackdrop(Window(), reinterpret_cast<HDC>(wParam), kWhite, IDR_SELECTION_BACKDROP);
            result = TRUE;
            return true;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            switch (::GetDlgCtrlID(reinterpret_cast<HWND>(lParam))) {
                case IDC_LABEL2:
                case IDC_CHOOSE_FRAME:
                case IDC_FILENAME:
                    result = ControlColours(wParam, kBlue, kWhite);
                    break;
                case IDC_SOURCE:
                    result = ControlColours(wParam, kDarkRed, kWhite);
                    break;
                default:
                    result = ControlColours(wParam, RGB(0, 0, 0), kWhite);
                    break;
            }
            return true;
        case WM_COMMAND:
            if (const auto command = PageMenuBar::CommandOf(wParam, lParam)) {
                page_.OnMenu(*command);
                return true;
            }
            if (HIWORD(wParam) != BN_CLICKED) return false;
            switch (LOWORD(wParam)) {
                case IDC_OPT_DEFAULT:
                    page_.OnOptionSelected(SelectionControl::DefaultOption);
                    return true;
                case IDC_OPT_CHOOSE:
                    page_.OnOptionSelected(SelectionControl::ChooseOption);
                    return true;
                case IDC_BROWSE:
                    page_.OnBrowse();
                    return true;
                case IDC_NEXT:
                    page_.OnNext();
                    return true;
                default:
                    // Enter and Esc have no meaning on the page.
                    return true;
            }
        case WM_CLOSE:
            page_.OnClose();
            return true;
        case WM_ENDSESSION:
            if (wParam) page_.OnClose();
            return true;
        default:
            return false;
    }
}

// --- ProgressWindow ---------------------------------------------------------------------------

ProgressWindow::ProgressWindow(wizard::ProgressPage& page) : page_(page) { Create(IDD_PROGRESS); }

void ProgressWindow::OnInit() {
    const wizard::ProgressTexts& texts = wizard::kProgressTexts;
    HWND window = Window();
    ::SetWindowTextW(window, Wide(texts.title).c_str());
    SetBigAndSmallIcons(window, IDI_TARVELLE);
    menus_.Build(window, wizard::PageKind::Progress);
    SetControlText(IDC_PROGRESS_FRAME, texts.frame1);
    SetControlText(IDC_START, texts.cmdStart);
    SetControlText(IDC_BACK, texts.cmdBack);
    SetControlText(IDC_EXIT, texts.cmdExit);
    // No limit but memory: an export of a large book logs a line per item.
    ::SendDlgItemMessageW(window, IDC_LOG, EM_SETLIMITTEXT, 0, 0);
    SizeClientArea(window, kPageWidth, kPageHeight, WindowDpi(window));
    PlaceAll(window, kProgressPlaces);
}

wizard::WindowHandle ProgressWindow::Handle() const { return HandleOf(Window()); }

void ProgressWindow::Hide() { ::ShowWindow(Window(), SW_HIDE); }

void ProgressWindow::SetEnabled(ProgressControl control, bool enabled) {
    int id = 0;
    switch (control) {
        case ProgressControl::Start:
            id = IDC_START;
            break;
        case ProgressControl::Back:
            id = IDC_BACK;
            break;
        case ProgressControl::Exit:
            id = IDC_EXIT;
            break;
        case ProgressControl::OpenMenu:
            menus_.SetOpenEnabled(enabled);
            return;
    }
    ::EnableWindow(::GetDlgItem(Window(), id), enabled);
}

void ProgressWindow::SetLog(const std::string& text) {
    ::SetDlgItemTextW(Window(), IDC_LOG, Wide(text).c_str());
    ShowEndOfLog();
}

void ProgressWindow::AppendLog(const std::string& lines) {
    HWND log = ::GetDlgItem(Window(), IDC_LOG);
    const auto end = static_cast<WPARAM>(::GetWindowTextLengthW(log));
    ::SendMessageW(log, EM_SETSEL, end, static_cast<LPARAM>(end));
    ::SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Wide(lines).c_str()));
    ShowEndOfLog();
}

void ProgressWindow::ShowEndOfLog() {
    HWND log = ::GetDlgItem(Window(), IDC_LOG);
    const auto end = static_cast<WPARAM>(::GetWindowTextLengthW(log));
    ::SendMessageW(log, EM_SETSEL, end, static_cast<LPARAM>(end));
    ::SendMessageW(log, EM_SCROLLCARET, 0, 0);
}

bool ProgressWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_ERASEBKGND:
            PaintBackdrop(Window(), reinterpret_cast<HDC>(wParam), kProgressBackground,
                          IDR_PROGRESS_BACKDROP);
            result = TRUE;
            return true;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            if (::GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_LOG) {
                result = ControlColours(wParam, RGB(0, 0, 0), kWhite);
            } else {
                result = ControlColours(wParam, RGB(0, 0, 0), kProgressBackground);
            }
            return true;
        case WM_COMMAND:
            if (const auto command = PageMenuBar::CommandOf(wParam, lParam)) {
                page_.OnMenu(*command);
                return true;
            }
            if (HIWORD(wParam) != BN_CLICKED) return false;
            switch (LOWORD(wParam)) {
                case IDC_START:
                    page_.OnStart();
                    return true;
                case IDC_BACK:
                    page_.OnBack();
                    return true;
                case IDC_EXIT:
                    page_.OnExit();
                    return true;
                default:
                    return true;
            }
        case WM_CLOSE:
            page_.OnClose();
            return true;
        case WM_ENDSESSION:
            if (wParam) page_.OnClose();
            return true;
        default:
            return false;
    }
}

// --- AboutWindow ------------------------------------------------------------------------------

AboutWindow::~AboutWindow() { Close(); }

void AboutWindow::Show() {
    if (Window() == nullptr) Create(IDD_ABOUT);
    ShowInFront();
}

void AboutWindow::Close() {
    Destroy();
    DeleteFonts();
}

void AboutWindow::DeleteFonts() {
    if (titleFont_ != nullptr) ::DeleteObject(titleFont_);
    titleFont_ = nullptr;
}

void AboutWindow::OnInit() {
    const wizard::AboutTexts& texts = wizard::kAboutTexts;
    HWND window = Window();
    ::SetWindowTextW(window, Wide(texts.title).c_str());
    SetBigAndSmallIcons(window, IDI_ABOUT);
    SetControlText(IDC_ABOUT_TITLE, texts.label6);
    SetControlText(IDC_ABOUT_NOTICE, texts.notice);
    SetControlText(IDC_SITE_CAPTION, texts.label2);
    SetControlText(IDC_HELP_CAPTION, texts.label5);
    SetControlText(IDC_SITE_LINK, wizard::AboutBox::SiteAddress());
    SetControlText(IDC_HELP_LINK, wizard::AboutBox::HelpAddress());
    SetControlText(IDOK, texts.okButton);
    SetControlText(IDCANCEL, texts.cancelButton);
    titleFont_ = DerivedFont(window, 14.25);
    ::SendDlgItemMessageW(window, IDC_ABOUT_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_),
                          FALSE);
    // Tooltips of the two links.
    HWND tips =
        ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0,
                          0, 0, window, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    for (const auto& [link, tip] :
         {std::pair{IDC_SITE_LINK, texts.siteTip}, {IDC_HELP_LINK, texts.helpTip}}) {
        std::wstring text = Wide(tip);
        TOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window;
        tool.uId = reinterpret_cast<UINT_PTR>(::GetDlgItem(window, link));
        tool.lpszText = text.data();
        ::SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    SizeClientArea(window, kAboutWidth, kAboutHeight, WindowDpi(window));
    PlaceAll(window, kAboutPlaces);
}

bool AboutWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_ERASEBKGND: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            RECT client{};
            ::GetClientRect(Window(), &client);
            ::FillRect(dc, &client, SolidBrush(kWhite));
            const int dpi = WindowDpi(Window());
            const RECT& g = kGlobePlace;
            const RECT& h = kHelpPlace;
            DrawPicture(dc, IDR_GLOBE, TwipsRect(g.left, g.top, g.right, g.bottom, dpi));
            DrawPicture(dc, IDR_HELP, TwipsRect(h.left, h.top, h.right, h.bottom, dpi));
            result = TRUE;
            return true;
        }
        case WM_CTLCOLORSTATIC:
            switch (::GetDlgCtrlID(reinterpret_cast<HWND>(lParam))) {
                case IDC_ABOUT_TITLE:
                    result = ControlColours(wParam, kAboutTitle, kWhite);
                    break;
                case IDC_SITE_LINK:
                case IDC_HELP_LINK:
                    result = ControlColours(wParam, kBlue, kWhite);
                    break;
                default:
                    result = ControlColours(wParam, RGB(0, 0, 0), kWhite);
                    break;
            }
            return true;
        case WM_CTLCOLORBTN:
            result = ControlColours(wParam, RGB(0, 0, 0), kWhite);
            return true;
        case WM_SETCURSOR: {
            const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(wParam));
            if (id != IDC_SITE_LINK && id != IDC_HELP_LINK) return false;
            ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
            result = TRUE;
            return true;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    box_.OnOk();
                    return true;
                case IDCANCEL:
                    box_.OnCancel();
                    return true;
                case IDC_SITE_LINK:
                    if (HIWORD(wParam) == STN_CLICKED) box_.OnSiteLink();
                    return true;
                case IDC_HELP_LINK:
                    if (HIWORD(wParam) == STN_CLICKED) box_.OnHelpLink();
                    return true;
                default:
                    return false;
            }
        case WM_CLOSE:
            // The close box closes the box and touches nothing else.
            Close();
            return true;
        default:
            return false;
    }
}

// --- WindowsViews -----------------------------------------------------------------------------

std::unique_ptr<wizard::SelectionView> WindowsViews::MakeSelectionView(
    wizard::SelectionPage& page) {
    return std::make_unique<SelectionWindow>(page);
}

std::unique_ptr<wizard::ProgressView> WindowsViews::MakeProgressView(wizard::ProgressPage& page) {
    return std::make_unique<ProgressWindow>(page);
}

std::unique_ptr<wizard::AboutView> WindowsViews::MakeAboutView(wizard::AboutBox& box) {
    return std::make_unique<AboutWindow>(box);
}

}  // namespace tarvelle::win
