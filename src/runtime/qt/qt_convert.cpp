#include "runtime/qt/qt_convert.h"

#include <QFontDatabase>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "runtime/gdi.h"

namespace runtime::qt {

QString ToQString(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

std::string FromQString(const QString& s) { return s.toUtf8().toStdString(); }

QColor ToQColor(OLE_COLOR color, const QPalette& palette) {
  if (!(color & 0x80000000u)) return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
  switch (color & 0xFF) {
    case 0x01: case 0x04: return palette.color(QPalette::Window);
    case 0x02: case 0x0D: return palette.color(QPalette::Highlight);
    case 0x03: case 0x10: return palette.color(QPalette::Mid);
    case 0x05: return palette.color(QPalette::Base);
    case 0x06: case 0x15: return palette.color(QPalette::Shadow);
    case 0x07: case 0x08: return palette.color(QPalette::WindowText);
    case 0x09: case 0x0E: return palette.color(QPalette::HighlightedText);
    case 0x0C: return palette.color(QPalette::Dark);
    case 0x11: return palette.color(QPalette::Disabled, QPalette::WindowText);
    case 0x12: case 0x13: return palette.color(QPalette::ButtonText);
    case 0x14: return palette.color(QPalette::Light);
    case 0x16: return palette.color(QPalette::Midlight);
    case 0x17: return palette.color(QPalette::ToolTipText);
    case 0x18: return palette.color(QPalette::ToolTipBase);
    default: return palette.color(QPalette::Button);
  }
}

namespace {
std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}
}  // namespace

QFont ToQFont(const runtime::Font& font, const QFont& base) {
  QFont f = base;
  if (!font.Name.empty()) {
    const std::string name = Lower(font.Name);
    QStringList families{ToQString(font.Name)};
    if (name.find("courier") != std::string::npos || name.find("mono") != std::string::npos) {
      // Liberation Mono has Courier New's metrics, so columns line up as designed.
      families << "Liberation Mono" << QFontDatabase::systemFont(QFontDatabase::FixedFont).family() << "monospace";
      f.setStyleHint(QFont::TypeWriter);
      f.setFixedPitch(true);
    } else if (name.find("comic") != std::string::npos) {
      families << "Comic Neue" << "URW Gothic" << base.family();
    } else {
      // Liberation Sans has the metrics of the sans-serif faces the designs
      // were measured with, so captions fit their boxes.
      families << "Liberation Sans" << base.family();
    }
    f.setFamilies(families);
  }
  // Points at the fixed 15 twips per pixel (96 pixels per inch), so that the
  // text fits the design sizes whatever DPI the display claims.
  if (font.Size > 0) f.setPixelSize(std::max(1, static_cast<int>(font.Size * 96.0 / 72.0 + 0.5)));
  f.setBold(font.Bold);
  return f;
}

Qt::CursorShape ToCursorShape(runtime::MousePointer pointer) {
  switch (pointer) {
    case MousePointer::Hourglass: return Qt::WaitCursor;
    case MousePointer::Cross: return Qt::CrossCursor;
    case MousePointer::SizeAll: return Qt::SizeAllCursor;
    case MousePointer::SizeNWSE: return Qt::SizeFDiagCursor;
    case MousePointer::SizeNESW: return Qt::SizeBDiagCursor;
    default: return Qt::ArrowCursor;
  }
}

QImage ToQImage(const Bitmap& bitmap, long maskColor) {
  if (!bitmap.bits || bitmap.width <= 0 || bitmap.height <= 0) return {};
  if (bitmap.bitsPixel != 32 && bitmap.bitsPixel != 24) return {};
  const bool masked = maskColor >= 0;
  // The mask as 0xRRGGBB, the way QRgb holds it.
  const QRgb mask = masked ? qRgb(maskColor & 0xFF, (maskColor >> 8) & 0xFF, (maskColor >> 16) & 0xFF) & 0xFFFFFF : 0;
  QImage image(bitmap.width, bitmap.height, masked ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  for (std::int32_t y = 0; y < bitmap.height; ++y) {
    const std::uint8_t* src = bitmap.Row(y);
    auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
    const int step = bitmap.bitsPixel / 8;
    for (std::int32_t x = 0; x < bitmap.width; ++x, src += step) {
      const QRgb rgb = (QRgb(src[2]) << 16) | (QRgb(src[1]) << 8) | src[0];
      dst[x] = (masked && rgb == mask) ? 0 : (0xFF000000u | rgb);
    }
  }
  return image;
}

QImage ToQImage(const runtime::Picture& picture, long maskColor) {
  const Bitmap* bitmap = picture ? BitmapOf(picture.Handle()) : nullptr;
  return bitmap ? ToQImage(*bitmap, maskColor) : QImage();
}

int VirtualKey(int key, bool keypad) {
  if (keypad) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return 96 + (key - Qt::Key_0);
    switch (key) {
      case Qt::Key_Asterisk: return 106;
      case Qt::Key_Plus: return 107;
      case Qt::Key_Minus: return 109;
      case Qt::Key_Period: case Qt::Key_Comma: return 110;
      case Qt::Key_Slash: return 111;
      default: break;
    }
  }
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) return key;
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 112 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: case Qt::Key_Backtab: return 9;
    case Qt::Key_Clear: return 12;
    case Qt::Key_Return: case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Print: return 44;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    case Qt::Key_Help: return 47;
    case Qt::Key_Menu: return 93;
    case Qt::Key_NumLock: return 144;
    case Qt::Key_ScrollLock: return 145;
    // Shifted digits report the digit's key, as the keyboard has it.
    case Qt::Key_ParenRight: return '0';
    case Qt::Key_Exclam: return '1';
    case Qt::Key_At: return '2';
    case Qt::Key_NumberSign: return '3';
    case Qt::Key_Dollar: return '4';
    case Qt::Key_Percent: return '5';
    case Qt::Key_AsciiCircum: return '6';
    case Qt::Key_Ampersand: return '7';
    case Qt::Key_Asterisk: return '8';
    case Qt::Key_ParenLeft: return '9';
    case Qt::Key_Semicolon: case Qt::Key_Colon: return 186;
    case Qt::Key_Equal: case Qt::Key_Plus: return 187;
    case Qt::Key_Comma: case Qt::Key_Less: return 188;
    case Qt::Key_Minus: case Qt::Key_Underscore: return 189;
    case Qt::Key_Period: case Qt::Key_Greater: return 190;
    case Qt::Key_Slash: case Qt::Key_Question: return 191;
    case Qt::Key_QuoteLeft: case Qt::Key_AsciiTilde: return 192;
    case Qt::Key_BracketLeft: case Qt::Key_BraceLeft: return 219;
    case Qt::Key_Backslash: case Qt::Key_Bar: return 220;
    case Qt::Key_BracketRight: case Qt::Key_BraceRight: return 221;
    case Qt::Key_Apostrophe: case Qt::Key_QuoteDbl: return 222;
    default: return 0;
  }
}

int ShiftState(Qt::KeyboardModifiers modifiers) {
  return (modifiers & Qt::ShiftModifier ? vbShiftMask : 0) | (modifiers & Qt::ControlModifier ? vbCtrlMask : 0) |
         (modifiers & Qt::AltModifier ? vbAltMask : 0);
}

int ButtonMask(Qt::MouseButtons buttons) {
  return (buttons & Qt::LeftButton ? vbLeftButton : 0) | (buttons & Qt::RightButton ? vbRightButton : 0) |
         (buttons & Qt::MiddleButton ? vbMiddleButton : 0);
}

QStringList ToNameFilters(const std::string& filter) {
  const QStringList parts = ToQString(filter).split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& text = parts[i];
    QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
    // "*.*" means every file, with or without a dot.
    for (QString& p : patterns) p = p.trimmed() == "*.*" ? "*" : p.trimmed();
    filters << QString("%1 (%2)").arg(text, patterns.join(' '));
  }
  return filters;
}

}  // namespace runtime::qt
