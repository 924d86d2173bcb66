// A self-contained control that switches on the extended common controls when it is placed on
// a window. It keeps the size of its face, 810 x 810 twips, and holds the shell library while it
// lives (on Windows). No window of the program places one.
#pragma once

#include <QPixmap>
#include <QWidget>

#include "platform/CommonControls.h"

namespace tarvelle::app {

class XPStyle : public QWidget {
  public:
    explicit XPStyle(QWidget* parent = nullptr);
    ~XPStyle() override;

    platform::ModuleHandle ShellLibrary() const { return shellLibrary_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    platform::ModuleHandle shellLibrary_ = 0;
    QPixmap face_;
};

}  // namespace tarvelle::app
