#include "runtime/qt/qt_convert.h"

#include <QFontDatabase>

#include <algorithm>
#include <cctype>
#include <cstddef>
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

namespace {
struct KeyCode {
  int qt;
  int code;
};

// The number pad's own keys; its digits follow from Qt's.
constexpr KeyCode kKeypadKeys[] = {
    {Qt::Key_Asterisk, 106}, {Qt::Key_Plus, 107}, {Qt::Key_Minus, 109},
    {Qt::Key_Period, 110},   {Qt::Key_Comma, 110}, {Qt::Key_Slash, 111},
};

constexpr KeyCode kKeys[] = {
    {Qt::Key_Backspace, 8},     {Qt::Key_Tab, 9},         {Qt::Key_Backtab, 9},      {Qt::Key_Clear, 12},
    {Qt::Key_Return, 13},       {Qt::Key_Enter, 13},      {Qt::Key_Shift, 16},       {Qt::Key_Control, 17},
    {Qt::Key_Alt, 18},          {Qt::Key_Pause, 19},      {Qt::Key_CapsLock, 20},    {Qt::Key_Escape, 27},
    {Qt::Key_Space, 32},        {Qt::Key_PageUp, 33},     {Qt::Key_PageDown, 34},    {Qt::Key_End, 35},
    {Qt::Key_Home, 36},         {Qt::Key_Left, 37},       {Qt::Key_Up, 38},          {Qt::Key_Right, 39},
    {Qt::Key_Down, 40},         {Qt::Key_Print, 44},      {Qt::Key_Insert, 45},      {Qt::Key_Delete, 46},
    {Qt::Key_Help, 47},         {Qt::Key_Menu, 93},       {Qt::Key_NumLock, 144},    {Qt::Key_ScrollLock, 145},
    // Shifted digits report the digit's key, as the keyboard has it.
    {Qt::Key_ParenRight, '0'},  {Qt::Key_Exclam, '1'},    {Qt::Key_At, '2'},         {Qt::Key_NumberSign, '3'},
    {Qt::Key_Dollar, '4'},      {Qt::Key_Percent, '5'},   {Qt::Key_AsciiCircum, '6'}, {Qt::Key_Ampersand, '7'},
    {Qt::Key_Asterisk, '8'},    {Qt::Key_ParenLeft, '9'},
    // Punctuation, plain and shifted, as the US layout places it.
    {Qt::Key_Semicolon, 186},   {Qt::Key_Colon, 186},     {Qt::Key_Equal, 187},      {Qt::Key_Plus, 187},
    {Qt::Key_Comma, 188},       {Qt::Key_Less, 188},      {Qt::Key_Minus, 189},      {Qt::Key_Underscore, 189},
    {Qt::Key_Period, 190},      {Qt::Key_Greater, 190},   {Qt::Key_Slash, 191},      {Qt::Key_Question, 191},
    {Qt::Key_QuoteLeft, 192},   {Qt::Key_AsciiTilde, 192}, {Qt::Key_BracketLeft, 219}, {Qt::Key_BraceLeft, 219},
    {Qt::Key_Backslash, 220},   {Qt::Key_Bar, 220},       {Qt::Key_BracketRight, 221}, {Qt::Key_BraceRight, 221},
    {Qt::Key_Apostrophe, 222},  {Qt::Key_QuoteDbl, 222},
};

template <std::size_t N>
int Find(const KeyCode (&table)[N], int key) {
  for (const KeyCode& entry : table)
    if (entry.qt == key) return entry.code;
  return 0;
}
}  // namespace

int VirtualKey(int key, bool keypad) {
  if (keypad) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return 96 + (key - Qt::Key_0);
    if (const int code = Find(kKeypadKeys, key)) return code;
  }
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) return key;
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 112 + (key - Qt::Key_F1);
  return Find(kKeys, key);
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
