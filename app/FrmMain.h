// The address-book selection page: the default book found through Eudora's registry entry, or a
// file picked by hand and checked line by line.
#pragma once

#include <QMainWindow>
#include <string>

#include "app/EventPump.h"
#include "export/ExportHost.h"

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tarvelle::app {

class Wizard;

class FrmMain : public QMainWindow {
  public:
    explicit FrmMain(Wizard& wizard);

    // Runs once, on first use: the Eudora lookup and the page's reaction to it.
    void Load();
    // Shows the page modeless, centred on the screen the first time.
    void ShowPage();
    // The Selected source the export run reads: the default option's state and the label.
    exporter::SelectedSource SelectedSource() const;
    // Browse and check: the file-open dialog, then the line-by-line test of the picked file.
    void BrowseAndCheck();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildControls();
    void ChooseSelected();
    void DefaultSelected();
    void SetPath(const std::string& path);
    void Next();

    Wizard& wizard_;
    EventPump pump_;
    bool shownOnce_ = false;
    bool checking_ = false;
    std::string folderFoundAtLoad_;

    QLabel* label3_ = nullptr;
    QLabel* label4_ = nullptr;
    QLabel* label2_ = nullptr;
    QFrame* shape1_ = nullptr;
    QLabel* lblWabFileName_ = nullptr;
    QGroupBox* frame1_ = nullptr;
    QWidget* picture1_ = nullptr;
    QRadioButton* optDefaultWab_ = nullptr;
    QRadioButton* optChooseWab_ = nullptr;
    QLineEdit* txtWabFilename_ = nullptr;
    QPushButton* cmdWabBrowse_ = nullptr;
    QPushButton* cmdNext_ = nullptr;
    QAction* mnuOpen_ = nullptr;
};

}  // namespace tarvelle::app
