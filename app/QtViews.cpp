#include "app/QtViews.h"

#include "app/FrmAbout.h"
#include "app/FrmMain.h"
#include "app/FrmStatusConversion.h"

namespace tarvelle::app {

std::unique_ptr<wizard::SelectionView> QtViews::MakeSelectionView(wizard::SelectionPage& page) {
    return std::make_unique<FrmMain>(page);
}

std::unique_ptr<wizard::ProgressView> QtViews::MakeProgressView(wizard::ProgressPage& page) {
    return std::make_unique<FrmStatusConversion>(page);
}

std::unique_ptr<wizard::AboutView> QtViews::MakeAboutView(wizard::AboutBox& box) {
    return std::make_unique<FrmAbout>(box);
}

FrmMain& MainWindow(wizard::Wizard& wizard) {
    return dynamic_cast<FrmMain&>(wizard.Selection().View());
}

FrmStatusConversion& StatusWindow(wizard::Wizard& wizard) {
    return dynamic_cast<FrmStatusConversion&>(wizard.Progress().View());
}

FrmAbout& AboutWindow(wizard::Wizard& wizard) {
    return dynamic_cast<FrmAbout&>(wizard.About().View());
}

}  // namespace tarvelle::app
