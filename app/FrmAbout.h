// The About box's window: widgets, layout and look. What the box does is wizard::AboutBox's.
#pragma once

#include <QDialog>

#include "wizard/AboutBox.h"

namespace tarvelle::app {

class FrmAbout : public QDialog, public wizard::AboutView {
  public:
    explicit FrmAbout(wizard::AboutBox& box);

    // AboutView
    void Show() override;
    void Close() override { close(); }

  private:
    wizard::AboutBox& box_;
};

}  // namespace tarvelle::app
