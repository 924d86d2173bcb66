#include "app/Look.h"

#include <QApplication>
#include <QBitmap>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QStandardPaths>
#include <QSvgRenderer>
#include <QWidget>
#include <cmath>

// The resource initialiser must be named outside any namespace.
static void InitTarvelleResources() { Q_INIT_RESOURCE(tarvelle); }

namespace tarvelle::app {

namespace {

double PixelsPerTwip() {
    double dpi = 96.0;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        dpi = screen->logicalDotsPerInchX();
    }
    return dpi / 1440.0;
}

QString& TahomaFamily() {
    static QString family;
    return family;
}

QString FindTahoma() {
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma"))) {
        return QStringLiteral("Tahoma");
    }
    // Wine's copy, where the system's data folders (XDG_DATA_DIRS) keep it.
    for (const char* relative : {"wine/fonts/tahoma.ttf", "fonts/truetype/wine/tahoma.ttf"}) {
        const QString path = QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                    QString::fromLatin1(relative));
        if (path.isEmpty()) {
            continue;
        }
        const int id = QFontDatabase::addApplicationFont(path);
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty()) {
            return families.front();
        }
    }
    return QString();  // the toolkit's default family
}

}  // namespace

int Twips(int twips) { return static_cast<int>(std::lround(twips * PixelsPerTwip())); }

QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

QFont TahomaFont(double pointSize) {
    QFont font = QApplication::font();
    if (!TahomaFamily().isEmpty()) {
        font.setFamily(TahomaFamily());
    }
    font.setPointSizeF(pointSize);
    return font;
}

void InstallApplicationLook() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    InitTarvelleResources();
    TahomaFamily() = FindTahoma();
    QApplication::setFont(TahomaFont());
    QApplication::setWindowIcon(ProgramIcon());
}

QIcon ProgramIcon() { return QIcon(QStringLiteral(":/tarvelle/tarvelle.svg")); }

QPixmap Picture(const QString& name, const QSize& size) {
    QSvgRenderer renderer(QStringLiteral(":/tarvelle/") + name);
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

QCursor HandCursor() {
    // Drawn once into a 1-bit image and mask: the classic monochrome cursor form.
    const QImage art = Picture(QStringLiteral("hand.svg"), QSize(32, 32)).toImage();
    QBitmap shape(32, 32);
    QBitmap mask(32, 32);
    shape.fill(Qt::color0);
    mask.fill(Qt::color0);
    QPainter shapePainter(&shape);
    QPainter maskPainter(&mask);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const QRgb pixel = art.pixel(x, y);
            if (qAlpha(pixel) < 128) {
                continue;
            }
            maskPainter.setPen(Qt::color1);
            maskPainter.drawPoint(x, y);
            // Dark pixels are the outline (bit set = black), light ones the white fill.
            shapePainter.setPen(qGray(pixel) < 128 ? Qt::color1 : Qt::color0);
            shapePainter.drawPoint(x, y);
        }
    }
    shapePainter.end();
    maskPainter.end();
    return QCursor(shape, mask, 5, 0);
}

void SetBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::Base, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

}  // namespace tarvelle::app
