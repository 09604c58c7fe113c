#include "startup/startup.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "areaselect/frm_full_scr.h"
#include "mainwindow/frm_bitmap.h"
#include "runtime/app.h"
#include "runtime/events.h"
#include "runtime/gui.h"
#include "startup/batch.h"
#include "startup/installation.h"
#include "startup/report.h"
#include "startup/usage.h"

namespace startup {

namespace {

int Run(int argc, char** argv, bool& recorded) {
  runtime::InitApp(argc, argv);
  if (const auto answer = AnswerFor(TrimmedCommand())) {
    // Asked for on a terminal or by a script; neither needs a display.
    if (std::fputs(answer->c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
      PrintReason(std::string("cannot write to standard output: ") + std::strerror(errno));
      return kExitFailure;
    }
    return kExitOk;
  }
  // The interactive program needs its windows before the splash and the
  // start-up pause, not after.
  if (IsInteractive() && !runtime::Gui()) {
    std::fprintf(stderr, "glimmet: cannot open the display for the main window\n");
    return kExitNoDisplay;
  }
  mainwindow::frmBitmap& form = mainwindow::MainForm();
  BatchResult result;
  form.OnLoad = [&result](mainwindow::frmBitmap& f) { result = FormLoad(f); };
  form.OnUnload = [&recorded](mainwindow::frmBitmap&) {
    recorded = true;
    WriteInstallationRecord();
    areaselect::frmFullScrForm().Unload();  // so that no window of the program remains
  };
  form.Load();
  if (!form.Loaded()) {  // a batch run unloads the window itself
    if (!result.message.empty()) PrintReason(result.message);
    if (!result.warning.empty()) PrintWarning(result.warning);
    runtime::ShutdownGui();  // printing may have started it
    return result.status;
  }
  form.Show();
  runtime::RunMessageLoop();
  runtime::ShutdownGui();
  return kExitOk;
}

void ReportUnexpected(const char* what) { PrintReason(std::string("unexpected error: ") + what); }

}  // namespace

int RunGuarded(const std::function<int()>& body, const std::function<void()>& onFailure) {
  try {
    return body();
  } catch (const std::exception& e) {
    ReportUnexpected(e.what());
  } catch (...) {
    ReportUnexpected("an unknown exception");
  }
  try {
    onFailure();
  } catch (...) {
    // The status and reason above already say the run failed.
  }
  return kExitFailure;
}

int Main(int argc, char** argv) {
  bool recorded = false;
  return RunGuarded([&] { return Run(argc, argv, recorded); },
                    [&] {
                      if (!recorded) WriteInstallationRecord();
                    });
}

}  // namespace startup
