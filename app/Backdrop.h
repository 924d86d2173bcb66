// A window's client area: a flat colour with one of our background pictures drawn at its
// top-left corner, behind the controls.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>

namespace tarvelle::app {

class Backdrop : public QWidget {
  public:
    Backdrop(const QColor& colour, const QPixmap& picture, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor colour_;
    QPixmap picture_;
};

}  // namespace tarvelle::app
