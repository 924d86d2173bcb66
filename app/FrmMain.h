// The address-book selection page's window: widgets, layout and look. What the page does is
// wizard::SelectionPage's; this window forwards the user's actions to it and shows its states.
#pragma once

#include <QMainWindow>

#include "wizard/SelectionPage.h"

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tarvelle::app {

class FrmMain : public QMainWindow, public wizard::SelectionView {
  public:
    explicit FrmMain(wizard::SelectionPage& page);

    // SelectionView
    wizard::WindowHandle Handle() const override;
    void Show() override;
    void Hide() override { hide(); }
    void SetVisible(wizard::SelectionControl control, bool visible) override;
    void SetEnabled(wizard::SelectionControl control, bool enabled) override;
    void Select(wizard::SelectionControl option) override;
    void SetText(wizard::SelectionControl control, const std::string& text) override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildControls();
    QWidget* Control(wizard::SelectionControl control) const;

    wizard::SelectionPage& page_;
    bool shownOnce_ = false;
    QLabel* lblWabFileName_ = nullptr;
    QRadioButton* optDefaultWab_ = nullptr;
    QRadioButton* optChooseWab_ = nullptr;
    QLineEdit* txtWabFilename_ = nullptr;
    QPushButton* cmdWabBrowse_ = nullptr;
    QPushButton* cmdNext_ = nullptr;
    QAction* mnuOpen_ = nullptr;
};

}  // namespace tarvelle::app
