#include "app/XPStyle.h"

#include <QPainter>
#include <QResizeEvent>

#include "app/Look.h"

namespace tarvelle::app {

namespace {
constexpr int kFaceTwips = 810;  // the 54 x 54-pixel face at 96 dots per inch
}

XPStyle::XPStyle(QWidget* parent) : QWidget(parent) {
    platform::InitCommonControlsEx(platform::kUserExClasses);
    shellLibrary_ = platform::LoadShellLibrary();
    face_ = Picture(QStringLiteral("xpstyle.svg"), QSize(Twips(kFaceTwips), Twips(kFaceTwips)));
    // Fixed: a host's layout cannot stretch it, and a resize request snaps back at once.
    setFixedSize(Twips(kFaceTwips), Twips(kFaceTwips));
}

XPStyle::~XPStyle() { platform::FreeShellLibrary(shellLibrary_); }

void XPStyle::resizeEvent(QResizeEvent* event) {
    const int side = Twips(kFaceTwips);
    // Whatever size the host gives, the control snaps back to its face's size.
    if (event->size() != QSize(side, side)) {
        resize(side, side);
    }
}

void XPStyle::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, face_);
}

}  // namespace tarvelle::app
