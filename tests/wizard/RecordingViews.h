// Views that keep what the wizard asked them to show, and a wizard built over them with the
// recording services, a fake registry and a store double.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "support/RecordingStoreSession.h"
#include "support/WizardFakes.h"
#include "wizard/AboutBox.h"
#include "wizard/ProgressPage.h"
#include "wizard/SelectionPage.h"
#include "wizard/Wizard.h"

namespace tarvelle::fakes {

struct ControlState {
    bool visible = true;
    bool enabled = true;
    std::string text;
};

class RecordingSelectionView : public wizard::SelectionView {
  public:
    std::map<wizard::SelectionControl, ControlState> controls;
    wizard::SelectionControl selected = wizard::SelectionControl::DefaultOption;
    bool shown = false;

    ControlState& operator[](wizard::SelectionControl control) { return controls[control]; }
    wizard::WindowHandle Handle() const override { return wizard::WindowHandle{1}; }
    void Show() override { shown = true; }
    void Hide() override { shown = false; }
    void SetVisible(wizard::SelectionControl control, bool visible) override {
        controls[control].visible = visible;
    }
    void SetEnabled(wizard::SelectionControl control, bool enabled) override {
        controls[control].enabled = enabled;
    }
    void Select(wizard::SelectionControl option) override { selected = option; }
    void SetText(wizard::SelectionControl control, const std::string& text) override {
        controls[control].text = text;
    }
};

class RecordingProgressView : public wizard::ProgressView {
  public:
    std::map<wizard::ProgressControl, bool> enabled;
    std::string log;
    bool shown = false;

    wizard::WindowHandle Handle() const override { return wizard::WindowHandle{2}; }
    void Show() override { shown = true; }
    void Hide() override { shown = false; }
    void SetEnabled(wizard::ProgressControl control, bool on) override { enabled[control] = on; }
    void SetLog(const std::string& text) override { log = text; }
    void AppendLog(const std::string& lines) override { log += lines; }
};

class RecordingAboutView : public wizard::AboutView {
  public:
    bool shown = false;
    void Show() override { shown = true; }
    void Close() override { shown = false; }
};

class RecordingViews : public wizard::ViewFactory {
  public:
    RecordingSelectionView* selection = nullptr;
    RecordingProgressView* progress = nullptr;
    RecordingAboutView* about = nullptr;
    int made = 0;

    std::unique_ptr<wizard::SelectionView> MakeSelectionView(wizard::SelectionPage&) override {
        ++made;
        auto view = std::make_unique<RecordingSelectionView>();
        selection = view.get();
        return view;
    }
    std::unique_ptr<wizard::ProgressView> MakeProgressView(wizard::ProgressPage&) override {
        ++made;
        auto view = std::make_unique<RecordingProgressView>();
        progress = view.get();
        return view;
    }
    std::unique_ptr<wizard::AboutView> MakeAboutView(wizard::AboutBox&) override {
        ++made;
        auto view = std::make_unique<RecordingAboutView>();
        about = view.get();
        return view;
    }
};

// Everything a wizard needs, recorded; Eudora is installed when `commandLine` is given.
struct WizardBench {
    RecordingServices services;
    FakeRegistry registry;
    StoreRecord record;
    RecordingSessionFactory sessions{record};
    RecordingViews views;
    wizard::Wizard wizard{services, sessions, registry, views};

    explicit WizardBench(std::optional<std::string> commandLine = std::nullopt) {
        registry.commandLine = std::move(commandLine);
    }
    RecordingSelectionView& Selection() {
        wizard.Selection();
        return *views.selection;
    }
    RecordingProgressView& Progress() {
        wizard.Progress();
        return *views.progress;
    }
};

}  // namespace tarvelle::fakes
