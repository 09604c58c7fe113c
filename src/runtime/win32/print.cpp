// Printing on Windows: the default printer's device context, one document
// begun at the first picture, pictures stretched into the printable area
// with StretchDIBits (whose origin the printer DC already puts at the
// printable area's top-left).
#include "runtime/win32/print.h"

#include "runtime/app.h"
#include "runtime/printer.h"

#include <windows.h>

#include <string>
#include <vector>

#include "runtime/win32/wide.h"

namespace runtime::win32 {
namespace {

class Win32Printer final : public PrinterDevice {
 public:
  Win32Printer(std::wstring name, ::HDC dc) : name_(std::move(name)), dc_(dc) {}
  ~Win32Printer() override {
    if (started_) AbortDoc(dc_);
    DeleteDC(dc_);
  }
  Win32Printer(const Win32Printer&) = delete;
  Win32Printer& operator=(const Win32Printer&) = delete;

  bool SetLandscape(bool landscape) override {
    if (started_) return false;  // the page has begun
    // The printer's own settings with the orientation changed, then the
    // device context made anew from them.
    ::HANDLE printer = nullptr;
    if (!OpenPrinterW(name_.data(), &printer, nullptr)) return false;
    bool done = false;
    const LONG size = DocumentPropertiesW(nullptr, printer, name_.data(), nullptr, nullptr, 0);
    if (size > 0) {
      std::vector<std::uint8_t> buffer(static_cast<std::size_t>(size));
      auto* mode = reinterpret_cast<DEVMODEW*>(buffer.data());
      if (DocumentPropertiesW(nullptr, printer, name_.data(), mode, nullptr, DM_OUT_BUFFER) == IDOK) {
        mode->dmFields |= DM_ORIENTATION;
        mode->dmOrientation = landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
        if (DocumentPropertiesW(nullptr, printer, name_.data(), mode, mode, DM_IN_BUFFER | DM_OUT_BUFFER) == IDOK)
          done = ResetDCW(dc_, mode) != nullptr;
      }
    }
    ClosePrinter(printer);
    return done;
  }

  double PrintableWidth() const override { return Points(HORZRES, LOGPIXELSX); }
  double PrintableHeight() const override { return Points(VERTRES, LOGPIXELSY); }
  double Resolution() const override { return ::GetDeviceCaps(dc_, LOGPIXELSX); }

  bool Draw(const Bitmap& bitmap, double x, double y, double width, double height) override {
    if (!bitmap.bits || (bitmap.bitsPixel != 24 && bitmap.bitsPixel != 32) || bitmap.width <= 0 ||
        bitmap.height <= 0 || bitmap.stride != ((bitmap.width * bitmap.bitsPixel + 31) / 32) * 4)
      return false;
    if (!started_) {
      const std::wstring title = [] {
        std::wstring t;
        return ToWide(App().Title, t) ? t : std::wstring(L"Glimmet");
      }();
      DOCINFOW doc{};
      doc.cbSize = sizeof(doc);
      doc.lpszDocName = title.c_str();
      if (StartDocW(dc_, &doc) <= 0) return false;
      started_ = true;
      if (::StartPage(dc_) <= 0) return false;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = bitmap.width;
    info.bmiHeader.biHeight = bitmap.bottomUp ? bitmap.height : -bitmap.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bitmap.bitsPixel;
    info.bmiHeader.biCompression = BI_RGB;
    const double dpiX = ::GetDeviceCaps(dc_, LOGPIXELSX) / 72.0, dpiY = ::GetDeviceCaps(dc_, LOGPIXELSY) / 72.0;
    const auto px = [](double v) { return static_cast<int>(v + 0.5); };
    SetStretchBltMode(dc_, HALFTONE);
    SetBrushOrgEx(dc_, 0, 0, nullptr);
    const int lines = StretchDIBits(dc_, px(x * dpiX), px(y * dpiY), px(width * dpiX), px(height * dpiY), 0, 0,
                                    bitmap.width, bitmap.height, bitmap.bits, &info, DIB_RGB_COLORS, SRCCOPY);
    if (lines == 0 || lines == static_cast<int>(GDI_ERROR)) return false;
    drawn_ = true;
    return true;
  }

  bool EndDoc(std::string& why) override {
    if (!started_) return true;  // nothing drawn: no page, no job
    started_ = false;
    if (!drawn_) {
      AbortDoc(dc_);
      return true;
    }
    drawn_ = false;
    if (::EndPage(dc_) <= 0 || ::EndDoc(dc_) <= 0) {
      why = "the printer refused the job: " + ErrorText(GetLastError());
      return false;
    }
    return true;
  }

 private:
  double Points(int size, int resolution) const {
    const int dpi = ::GetDeviceCaps(dc_, resolution);
    return dpi > 0 ? ::GetDeviceCaps(dc_, size) * 72.0 / dpi : 0;
  }

  std::wstring name_;
  ::HDC dc_;
  bool started_ = false;
  bool drawn_ = false;
};

}  // namespace

std::unique_ptr<PrinterDevice> OpenDefaultPrinter(std::string& why) {
  DWORD size = 0;
  GetDefaultPrinterW(nullptr, &size);
  std::wstring name(size, L'\0');
  if (size == 0 || !GetDefaultPrinterW(name.data(), &size)) {
    why = "no default printer (choose one in the system's printer settings)";
    return nullptr;
  }
  name.resize(size > 0 ? size - 1 : 0);
  ::HDC dc = CreateDCW(L"WINSPOOL", name.c_str(), nullptr, nullptr);
  if (!dc) {
    why = "the default printer " + ToUtf8(name) + " cannot be used";
    return nullptr;
  }
  return std::make_unique<Win32Printer>(std::move(name), dc);
}

}  // namespace runtime::win32
