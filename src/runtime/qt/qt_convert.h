// Conversions between the forms model's values and Qt's: colours, fonts,
// pointers, pictures, key codes and file-dialog filters.
#pragma once
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPalette>
#include <QString>
#include <QStringList>
#include <Qt>
#include <string>

#include "runtime/forms.h"

namespace runtime::qt {

inline constexpr int kTwipsPerPixel = 15;

QString ToQString(const std::string& s);
std::string FromQString(const QString& s);

// 0x00BBGGRR as is; 0x80000000 | index through the palette's matching role.
QColor ToQColor(OLE_COLOR color, const QPalette& palette);
// The model's font on top of base; unknown family names fall back to a
// family of the same kind (fixed pitch for the Courier names).
QFont ToQFont(const runtime::Font& font, const QFont& base);
Qt::CursorShape ToCursorShape(runtime::MousePointer pointer);

// A pixel-exact copy of a bitmap (32 or 24 bits per pixel); a null image
// for other depths. With maskColor >= 0 that colour becomes transparent.
QImage ToQImage(const Bitmap& bitmap, long maskColor = -1);
QImage ToQImage(const runtime::Picture& picture, long maskColor = -1);

// Windows virtual-key code of a Qt key; 0 for keys without one.
int VirtualKey(int qtKey, bool keypad = false);
// The shift argument of key and mouse events: Shift 1, Ctrl 2, Alt 4.
int ShiftState(Qt::KeyboardModifiers modifiers);
// The button argument: left 1, right 2, middle 4.
int ButtonMask(Qt::MouseButtons buttons);

// "Text|*.a;*.b|All|*.*" as Qt name filters, one per description.
QStringList ToNameFilters(const std::string& filter);

}  // namespace runtime::qt
