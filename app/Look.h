// Shared look of the wizard's windows: twips to pixels, the Tahoma font, colours and pictures.
#pragma once

#include <QColor>
#include <QCursor>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QRect>
#include <QString>

class QWidget;

namespace tarvelle::app {

// Window geometry is laid out in twips (1440 to the inch); at 96 dots per inch 15 twips make a
// pixel. Pixels follow the screen's logical DPI so the windows keep their proportions.
int Twips(int twips);
QRect TwipsRect(int left, int top, int width, int height);

// Tahoma 8.25 pt (or the given size). When the system has no Tahoma, the copy Wine ships is
// loaded once; without either, the toolkit's default family is used at the same size.
QFont TahomaFont(double pointSize = 8.25);
// Registers the font and makes it the application default. Call once after QApplication exists.
void InstallApplicationLook();

inline const QColor kBlue{0, 0, 255};
inline const QColor kDarkRed{128, 0, 0};
inline const QColor kAboutTitle{128, 64, 0};

// Pictures drawn for the product (app/resources, compiled in).
QIcon ProgramIcon();
QPixmap Picture(const QString& name, const QSize& size);
// The pointing hand for link labels: 32 x 32, black and white, hot spot at the fingertip (5, 0).
QCursor HandCursor();

// Sets a widget's background to a flat colour.
void SetBackground(QWidget* widget, const QColor& colour);
// Sets a widget's text colour.
void SetTextColour(QWidget* widget, const QColor& colour);

}  // namespace tarvelle::app
