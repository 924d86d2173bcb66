// The wizard's three windows as Windows dialogs: each one draws what the wizard core asks and
// reports the user's clicks and menu choices to it, nothing more.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "wizard/AboutBox.h"
#include "wizard/Menus.h"
#include "wizard/ProgressPage.h"
#include "wizard/SelectionPage.h"
#include "wizard/Wizard.h"

namespace tarvelle::win {

// A modeless dialog made from a template of the resources.
class DialogWindow {
  public:
    virtual ~DialogWindow();
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;
    HWND Window() const { return window_; }

  protected:
    DialogWindow() = default;
    // Creates the dialog; OnInit runs before this returns.
    void Create(int templateId);
    void Destroy();
    // Handles a message; false leaves it to the dialog manager.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
    virtual void OnInit() = 0;
    void SetControlText(int id, std::string_view utf8);
    // Shows the window and brings it to the front, centred the first time.
    void ShowInFront();

  private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
    bool shownOnce_ = false;
};

// The menu bar of a page, made from the core's menus; commands are IDM_FIRST + command.
class PageMenuBar {
  public:
    void Build(HWND window, wizard::PageKind kind);
    void SetOpenEnabled(bool enabled);
    void SetOpenVisible(bool visible);
    static std::optional<wizard::MenuCommand> CommandOf(WPARAM wParam, LPARAM lParam);

  private:
    HWND window_ = nullptr;
    HMENU fileMenu_ = nullptr;
    std::wstring openCaption_;
    bool openEnabled_ = true;
    bool openVisible_ = true;
};

class SelectionWindow : public wizard::SelectionView, private DialogWindow {
  public:
    explicit SelectionWindow(wizard::SelectionPage& page);
    wizard::WindowHandle Handle() const override;
    void Show() override { ShowInFront(); }
    void Hide() override;
    void SetVisible(wizard::SelectionControl control, bool visible) override;
    void SetEnabled(wizard::SelectionControl control, bool enabled) override;
    void Select(wizard::SelectionControl option) override;
    void SetText(wizard::SelectionControl control, const std::string& text) override;

  private:
    void OnInit() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    wizard::SelectionPage& page_;
    PageMenuBar menus_;
};

class ProgressWindow : public wizard::ProgressView, private DialogWindow {
  public:
    explicit ProgressWindow(wizard::ProgressPage& page);
    wizard::WindowHandle Handle() const override;
    void Show() override { ShowInFront(); }
    void Hide() override;
    void SetEnabled(wizard::ProgressControl control, bool enabled) override;
    void SetLog(const std::string& text) override;
    void AppendLog(const std::string& lines) override;

  private:
    void OnInit() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void ShowEndOfLog();
    wizard::ProgressPage& page_;
    PageMenuBar menus_;
};

class AboutWindow : public wizard::AboutView, private DialogWindow {
  public:
    explicit AboutWindow(wizard::AboutBox& box) : box_(box) {}
    ~AboutWindow() override;
    void Show() override;
    void Close() override;

  private:
    void OnInit() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void DeleteFonts();
    wizard::AboutBox& box_;
    HFONT titleFont_ = nullptr;
};

class WindowsViews : public wizard::ViewFactory {
  public:
    std::unique_ptr<wizard::SelectionView> MakeSelectionView(wizard::SelectionPage& page) override;
    std::unique_ptr<wizard::ProgressView> MakeProgressView(wizard::ProgressPage& page) override;
    std::unique_ptr<wizard::AboutView> MakeAboutView(wizard::AboutBox& box) override;
};

}  // namespace tarvelle::win
