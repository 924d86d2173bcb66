// The conversion progress page's window: widgets, layout and look, and the log control kept
// scrolled to its newest line. What the page does is wizard::ProgressPage's.
#pragma once

#include <QMainWindow>
#include <QString>

#include "wizard/ProgressPage.h"

class QAction;
class QPlainTextEdit;
class QPushButton;

namespace tarvelle::app {

class FrmStatusConversion : public QMainWindow, public wizard::ProgressView {
  public:
    explicit FrmStatusConversion(wizard::ProgressPage& page);

    // The log's text, every line ending in CR LF.
    QString LogText() const;

    // ProgressView
    wizard::WindowHandle Handle() const override;
    void Show() override;
    void Hide() override { hide(); }
    void SetEnabled(wizard::ProgressControl control, bool enabled) override;
    void SetLog(const std::string& text) override;
    void AppendLog(const std::string& lines) override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildControls();
    void KeepNewestLineInView();

    wizard::ProgressPage& page_;
    bool shownOnce_ = false;
    QPlainTextEdit* log_ = nullptr;
    QPushButton* cmdStart_ = nullptr;
    QPushButton* cmdBack_ = nullptr;
    QPushButton* cmdExit_ = nullptr;
    QAction* mnuOpen_ = nullptr;
};

}  // namespace tarvelle::app
