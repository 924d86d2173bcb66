// A label that acts as a web link: hand cursor, not underlined, reports a click.
#pragma once

#include <QLabel>

namespace tarvelle::app {

class LinkLabel : public QLabel {
    Q_OBJECT

  public:
    LinkLabel(const QString& text, QWidget* parent = nullptr);

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace tarvelle::app
