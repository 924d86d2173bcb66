#include "app/LinkLabel.h"

#include <QMouseEvent>

#include "app/Look.h"

namespace tarvelle::app {

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setTextFormat(Qt::PlainText);
    setCursor(HandCursor());
    SetTextColour(this, kBlue);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
    QLabel::mouseReleaseEvent(event);
}

}  // namespace tarvelle::app
