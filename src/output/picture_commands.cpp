#include "output/picture_commands.h"

#include <functional>
#include <memory>

#include "output/c_dib_section.h"
#include "output/m_intel_jpeg_library.h"
#include "output/print_to_fit.h"
#include "runtime/clipboard.h"
#include "runtime/error.h"
#include "runtime/gui.h"
#include "runtime/printer.h"

namespace output {
namespace {

constexpr int kCancelled = 32755;
constexpr int kJpegQuality = 80;
constexpr long kSaveFlags = 6148;  // hide read-only, path and file must exist
constexpr const char* kSaveFilter =
    "Supported Formats|*.jpg;*.bmp;*.wmf;*.emf;*.ico;|Intel JPEG (.jpg)|*.jpg|Bitmaps (.bmp)|*.bmp|"
    "Icons (.ico)|*.ico|Windows Meta File (.wmf)|*.wmf|Enhanced Windows Meta File (.emf)|*.emf|"
    "All Files (*.*)|*.*";

// One step of the Save command: an error is shown (a cancel is not) and
// the command goes on with its next step.
void Step(const std::function<void()>& step) {
  try {
    step();
  } catch (const runtime::RuntimeError& e) {
    if (e.Number != kCancelled) runtime::MsgBox(e.Description, runtime::MsgBoxStyle::Critical, "Invalid Picture");
  }
}

}  // namespace

bool IsJpegName(const std::string& sFile) {
  return sFile.size() >= 4 && sFile.compare(sFile.size() - 4, 4, ".jpg") == 0;
}

void SavePictureFile(const runtime::Picture& picture, const std::string& sFile) {
  if (IsJpegName(sFile)) {
    cDIBSection dib;
    dib.CreateFromPicture(picture);
    SaveDibToJpeg(dib, sFile, kJpegQuality);
    dib.ClearUp();
  } else {
    runtime::SavePicture(picture, sFile);
  }
}

void SaveCommand(runtime::CommonDialog& dialog, const runtime::Picture& picture, runtime::Control& form) {
  dialog.CancelError = true;
  dialog.FileName.clear();
  Step([&] {
    dialog.DialogTitle = "Save Bitmap";
    dialog.Flags = kSaveFlags;
    dialog.Filter = kSaveFilter;
    dialog.FilterIndex = 1;
  });
  Step([&] { dialog.ShowSave(); });
  if (dialog.FileName.empty()) return;
  const std::string sFile = dialog.FileName;
  Step([&] { form.SetMousePointer(runtime::MousePointer::Hourglass); });
  if (IsJpegName(sFile)) {
    auto cDib = std::make_unique<cDIBSection>();
    Step([&] { cDib->CreateFromPicture(picture); });
    Step([&] { SaveDibToJpeg(*cDib, sFile, kJpegQuality); });
    Step([&] { cDib->ClearUp(); });
    cDib.reset();
  } else {
    Step([&] { runtime::SavePicture(picture, sFile); });
  }
  Step([&] { form.SetMousePointer(runtime::MousePointer::Default); });
}

std::string PrintCommand(const runtime::Picture& picture) {
  std::unique_ptr<runtime::PrinterObject> printer;
  try {
    printer = runtime::DefaultPrinter();
  } catch (const runtime::RuntimeError& e) {
    return e.Description;
  }
  std::string why;
  const auto attempt = [&why](const std::function<void()>& step) {
    try {
      step();
    } catch (const runtime::RuntimeError& e) {
      why = e.Description;
    } catch (const std::exception& e) {
      why = e.what();
    }
  };
  attempt([&] { PrintPictureToFit(*printer, picture); });
  attempt([&] { printer->EndDoc(); });
  if (printer->Printed()) return {};
  return why.empty() ? "nothing was drawn" : why;
}

void CopyCommand(const runtime::Picture& picture) {
  runtime::Clipboard().Clear();
  runtime::Clipboard().SetData(picture, runtime::CF_BITMAP);
}

}  // namespace output
