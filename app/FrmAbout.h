// The About box: the product's name, a notice line, and links to the web site and the help page.
#pragma once

#include <QDialog>

class QPushButton;

namespace tarvelle::app {

class LinkLabel;
class Wizard;

class FrmAbout : public QDialog {
  public:
    explicit FrmAbout(Wizard& wizard);

    // Loads and shows the box, or brings it to the front when it is already shown.
    void ShowBox();

  private:
    Wizard& wizard_;
    bool shownOnce_ = false;
    LinkLabel* label3_ = nullptr;
    LinkLabel* label4_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

}  // namespace tarvelle::app
