// The Qt windows of the wizard, made on the wizard's demand.
#pragma once

#include "wizard/Wizard.h"

namespace tarvelle::app {

class FrmAbout;
class FrmMain;
class FrmStatusConversion;

class QtViews : public wizard::ViewFactory {
  public:
    std::unique_ptr<wizard::SelectionView> MakeSelectionView(wizard::SelectionPage& page) override;
    std::unique_ptr<wizard::ProgressView> MakeProgressView(wizard::ProgressPage& page) override;
    std::unique_ptr<wizard::AboutView> MakeAboutView(wizard::AboutBox& box) override;
};

// The windows of a wizard whose views QtViews made, each created on first use.
FrmMain& MainWindow(wizard::Wizard& wizard);
FrmStatusConversion& StatusWindow(wizard::Wizard& wizard);
FrmAbout& AboutWindow(wizard::Wizard& wizard);

}  // namespace tarvelle::app
