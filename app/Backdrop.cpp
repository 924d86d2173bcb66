#include "app/Backdrop.h"

#include <QPainter>

namespace tarvelle::app {

Backdrop::Backdrop(const QColor& colour, const QPixmap& picture, QWidget* parent)
    : QWidget(parent), colour_(colour), picture_(picture) {}

void Backdrop::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), colour_);
    painter.drawPixmap(0, 0, picture_);
}

}  // namespace tarvelle::app
