#include "startup/batch.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <variant>

#include "capture/capture_bitmap.h"
#include "output/picture_commands.h"
#include "runtime/app.h"
#include "runtime/error.h"
#include "runtime/events.h"
#include "runtime/picture.h"
#include "runtime/text.h"
#include "runtime/user32.h"
#include "startup/interactive.h"
#include "startup/mod_global.h"

namespace startup {
namespace {

// The value as the reader cut it, already without its blanks.
std::string ReadAll(const std::string& command, const char* key) {
  const ParameterValue value = ReadParameter(command, key, "All");
  const auto* text = std::get_if<std::string>(&value);
  return text ? *text : std::string();
}

// Why a window gave no picture, as one line for stderr.
std::string NotCaptured(const std::string& window, runtime::HWND hwnd) {
  const char* why = runtime::WhyNotOnScreen(hwnd);
  return window + " " + (why ? why : "could not be captured") + "; nothing was captured";
}

// The capture step: the first target that applies, /SCREEN over /HWND=
// over /WINDOWTEXT=. Fills Image1 and bCaptured; a failure lands in result.
void Capture(mainwindow::frmBitmap& f, BatchResult& result) {
  if (f.bScreen) {
    f.Image1.SetPicture(capture::GrabScreen());
    runtime::DoEvents();
    // A screen that gave no bitmap is not a capture worth saving.
    f.bCaptured = f.Image1.GetPicture().Handle() != 0;
    if (!f.bCaptured) result = {kExitNoTarget, runtime::ScreenNotCapturedReason()};
  } else if (!f.txtHwndParent.Text().empty()) {
    const std::string text = f.txtHwndParent.Text();
    const std::optional<std::int32_t> hwnd = HandleFromText(text);
    if (!hwnd) {
      result = {kExitBadArgument, "/HWND=" + text + " is not a 32-bit window handle (decimal, or hexadecimal after 0x)"};
      return;
    }
    f.Image1.SetPicture(capture::GrabWindow(*hwnd));
    runtime::DoEvents();
    f.bCaptured = f.Image1.GetPicture().Handle() != 0;
    if (!f.bCaptured) result = {kExitNoTarget, NotCaptured("the window with the handle " + text, *hwnd)};
  } else if (!f.sWindowText.empty()) {
    const runtime::HWND found = runtime::FindWindowA(nullptr, f.sWindowText.c_str());
    f.txtHwndParent.SetText(std::to_string(found));
    const std::optional<std::int32_t> hwnd = HandleFromText(f.txtHwndParent.Text());
    if (hwnd && *hwnd != 0) {
      f.Image1.SetPicture(capture::GrabWindow(*hwnd));
      runtime::DoEvents();
      // Closed between the lookup and the capture: nothing was captured.
      f.bCaptured = f.Image1.GetPicture().Handle() != 0;
    }
    if (!f.bCaptured)
      result = {kExitNoTarget, hwnd && *hwnd != 0 ? NotCaptured("the window \"" + f.sWindowText + "\"", *hwnd)
                                                   : "no window with the caption \"" + f.sWindowText + "\""};
  } else {
    result = {kExitNoTarget, "nothing to capture: give /SCREEN, /HWND= or /WINDOWTEXT="};
  }
}

bool NeedsDisplay(const mainwindow::frmBitmap& f) {
  return f.bScreen || !f.txtHwndParent.Text().empty() || !f.sWindowText.empty();
}

// A command line a script cannot have meant: a word no parameter takes (a
// mistyped key would otherwise be dropped and the run end in success), or a
// /SAVE= that names no file. Empty when the line can be run.
std::string Unusable(const mainwindow::frmBitmap& f, const std::string& sCommandLine) {
  if (const std::string word = StrayWord(sCommandLine); !word.empty())
    return "\"" + word + "\" belongs to no parameter; nothing was captured (glimmet --help lists them)";
  if (f.sSaveFile.empty() && FindKey(sCommandLine, "/SAVE=") != std::string::npos)
    return "/SAVE= names no file; nothing was captured";
  return {};
}

BatchResult BatchRun(mainwindow::frmBitmap& f, const std::string& sCommandLine) {
  BatchResult result;
  runtime::DoEvents();
  f.sWindowText = ReadAll(sCommandLine, "/WINDOWTEXT=");
  f.txtHwndParent.SetText(ReadAll(sCommandLine, "/HWND="));
  f.sSaveFile = ReadAll(sCommandLine, "/SAVE=");
  f.bScreen = FindKey(sCommandLine, "/SCREEN") != std::string::npos;
  f.bPrint = FindKey(sCommandLine, "/PRINT") != std::string::npos;
  f.bCaptured = false;

  if (std::string why = Unusable(f, sCommandLine); !why.empty()) {
    result = {kExitBadArgument, std::move(why)};
  } else if (NeedsDisplay(f) && !runtime::HasDisplay()) {
    result = {kExitNoDisplay, runtime::NoDisplayReason()};
  } else {
    Capture(f, result);
  }

  if (f.bCaptured) {
    f.ShowCapturedPicture();
    bool saved = true;
    if (!f.sSaveFile.empty()) {
      try {
        output::SavePictureFile(f.picS.GetPicture(), f.sSaveFile);
      } catch (const runtime::RuntimeError& e) {
        // Nothing partial was written; an unattended run reports and ends.
        result = {kExitSaveFailed, "cannot save \"" + f.sSaveFile + "\": " + e.Description};
        saved = false;
      }
    }
    if (f.bPrint && saved) {
      f.cmdPrint_Click();
      // A script that asked for a printout must not be told it succeeded.
      if (!f.sPrintFailure.empty()) result = {kExitPrintFailed, "nothing printed: " + f.sPrintFailure};
    }
    if (f.sSaveFile.empty() && !f.bPrint) result.warning = "nothing was saved or printed (give /SAVE= or /PRINT)";
  }
  return result;
}

}  // namespace


std::string TrimmedCommand() { return runtime::TrimBlanks(runtime::App().Command); }

bool IsInteractive() { return TrimmedCommand().empty(); }

BatchResult FormLoad(mainwindow::frmBitmap& form) {
  const std::string sCommandLine = TrimmedCommand();
  if (sCommandLine.empty()) {
    InteractiveStart(form);
    return {};
  }
  BatchResult result = BatchRun(form, sCommandLine);
  form.Unload();
  return result;
}

}  // namespace startup
