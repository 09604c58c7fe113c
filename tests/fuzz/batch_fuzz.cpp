// Fuzzes the command-line reader and the decisions of the batch run (which
// target, which file, which format, which exit status) against a reading
// of the command line written independently of the reader, on the desktop
// of fake_desktop.h with a printer of its own. The first byte sets the
// desktop's mood; the rest is the command line.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <variant>

#include "fuzz/fake_desktop.h"
#include "infowindows/window_test_support.h"
#include "mainwindow/frm_bitmap.h"
#include "runtime/app.h"
#include "runtime/forms.h"
#include "runtime/printer.h"
#include "startup/batch.h"
#include "startup/mod_global.h"

namespace {

using fakedesktop::Desk;

// A printer that takes every page, or none when the desktop has no printer.
struct FakePrinter : runtime::PrinterDevice {
  int* pages;
  explicit FakePrinter(int* p) : pages(p) {}
  bool SetLandscape(bool) override { return true; }
  double PrintableWidth() const override { return 540; }
  double PrintableHeight() const override { return 780; }
  double Resolution() const override { return 72; }
  bool Draw(const runtime::Bitmap& bitmap, double, double, double width, double height) override {
    return bitmap.width > 0 && width > 0 && height > 0 && ++*pages;
  }
  bool EndDoc(std::string&) override { return true; }
};

struct Gui : window_test::QuietGui {
  int pages = 0;
  bool hasPrinter = true;
  std::unique_ptr<runtime::PrinterDevice> OpenDefaultPrinter(std::string& why) override {
    if (hasPrinter) return std::make_unique<FakePrinter>(&pages);
    why = "no default printer";
    return nullptr;
  }
};
Gui* gui = nullptr;

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "batch fuzz: %s\n", what);
  std::abort();
}

std::string TrimBlanks(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// The command line as a script writer reads it: a key begins the line or
// follows a blank, in any case; a value runs to the blank before the next key.
struct Reading {
  std::string value[5];  // by key; flags hold "1" when present
  bool saveGiven = false;  // /SAVE= occurs, perhaps with no name
  bool stray = false;      // a word stands before the first key or apart after a flag
};

Reading Read(const std::string& line) {
  static const std::string keys[] = {"/WINDOWTEXT=", "/HWND=", "/SCREEN", "/SAVE=", "/PRINT"};
  std::string upper = line;
  for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  std::vector<std::pair<std::size_t, int>> starts;  // where each key begins, in order
  for (std::size_t pos = 0; pos < line.size(); ++pos)
    for (int k = 0; k < 5 && (pos == 0 || line[pos - 1] == ' '); ++k)
      if (upper.compare(pos, keys[k].size(), keys[k]) == 0) starts.emplace_back(pos, k);
  Reading r;
  r.stray = !TrimBlanks(line.substr(0, starts.empty() ? line.size() : starts[0].first)).empty();
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const auto [pos, k] = starts[i];
    r.saveGiven = r.saveGiven || k == 3;
    if (k != 2 && k != 4) continue;
    const std::size_t from = pos + keys[k].size(), to = i + 1 == starts.size() ? line.size() : starts[i + 1].first;
    const std::size_t blank = line.find(' ', from);  // letters glued to the flag are its own
    if (blank < to && !TrimBlanks(line.substr(blank, to - blank)).empty()) r.stray = true;
  }
  for (std::size_t i = starts.size(); i-- > 0;) {  // backwards, so that the first occurrence wins
    const auto [pos, k] = starts[i];
    const std::size_t from = pos + keys[k].size(), to = i + 1 == starts.size() ? line.size() : starts[i + 1].first - 1;
    r.value[k] = k == 2 || k == 4 ? "1" : TrimBlanks(to > from ? line.substr(from, to - from) : std::string());
  }
  return r;
}

// The status the run must end with, from the reading and the desktop.
int ExpectedStatus(const Reading& r) {
  if (r.stray || (r.saveGiven && r.value[3].empty())) return startup::kExitBadArgument;
  const bool screen = !r.value[2].empty();
  if (!screen && r.value[1].empty() && r.value[0].empty()) return startup::kExitNoTarget;
  if (!Desk().display) return startup::kExitNoDisplay;
  runtime::HWND hwnd = fakedesktop::kRoot;
  if (!screen && !r.value[1].empty()) {
    const auto handle = startup::HandleFromText(r.value[1]);
    if (!handle) return startup::kExitBadArgument;
    hwnd = *handle;
  } else if (!screen) {
    hwnd = 0;
    for (auto w = fakedesktop::Windows().rbegin(); w != fakedesktop::Windows().rend(); ++w)
      if (w->caption == r.value[0]) hwnd = w->id;  // the topmost of twins
  }
  const bool shown = hwnd == fakedesktop::kRoot || (hwnd != 0 && runtime::WhyNotOnScreen(hwnd) == nullptr);
  if (!shown || Desk().readsFail) return startup::kExitNoTarget;
  if (!r.value[3].empty() && Desk().writesFail) return startup::kExitSaveFailed;
  if (!r.value[4].empty() && !gui->hasPrinter) return startup::kExitPrintFailed;
  return startup::kExitOk;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  auto backend = std::make_unique<Gui>();
  gui = backend.get();
  runtime::SetGui(std::move(backend));
  runtime::App().Path = "/opt/glimmet";
  runtime::App().EXEName = "glimmet";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t mood = data[0];
  const std::string line(reinterpret_cast<const char*>(data + 1), size - 1);
  if (line.find('\0') != std::string::npos) return 0;  // an argument vector holds no NUL bytes
  Desk() = {(mood & 1) == 0, (mood & 2) != 0, (mood & 4) != 0};
  gui->messages.clear();
  gui->beeps = gui->pages = 0;
  gui->hasPrinter = (mood & 0x40) == 0;

  // The reader itself, with every value type: never more than one message, and none for "All".
  static const char* types[] = {"All", "Number", "NumericComma", "Alpha", "Date", "NoPunc", "BrokenNumbers", "Other"};
  const std::string type = types[(mood >> 3) & 7];
  const startup::ParameterValue v = startup::ReadParameter(line, "/SAVE=", type);
  Check(type != "All" || (gui->messages.empty() && gui->beeps == 0 && std::holds_alternative<std::string>(v)),
        "type All showed a message or gave no string");
  Check(gui->messages.size() <= 1, "the reader showed more than one message");
  gui->messages.clear();
  gui->beeps = 0;

  if (TrimBlanks(line).empty()) return 0;  // the interactive start
  runtime::App().Command = line;
  // The load handler straight away: loading the form first would paint its
  // icons and toolbar every time, which costs a hundred times the run.
  mainwindow::frmBitmap& form = mainwindow::MainForm();
  const startup::BatchResult result = startup::FormLoad(form);
  Check(runtime::LoadedForms().empty(), "the batch run left a form loaded");
  Check(gui->messages.empty() && gui->beeps == 0, "the batch run showed a message or beeped");

  const Reading r = Read(TrimBlanks(line));
  Check(form.sWindowText == r.value[0] && form.sSaveFile == r.value[3], "caption or file name read differently");
  Check(form.bScreen == !r.value[2].empty() && form.bPrint == !r.value[4].empty(), "a flag read differently");
  Check(result.status == ExpectedStatus(r), "unexpected exit status");
  Check((result.status == startup::kExitOk) == result.message.empty(), "a reason without a failure or the reverse");
  // One page when asked and a picture was captured and saved, none otherwise.
  Check(gui->pages == (!r.value[4].empty() && result.status == startup::kExitOk ? 1 : 0), "pages printed");
  // A printout that failed comes after the save, which stands.
  const std::string& save = r.value[3];
  if ((result.status == startup::kExitOk || result.status == startup::kExitPrintFailed) && !save.empty()) {
    Check(Desk().written == std::vector<std::string>{save}, "not exactly the named file was written");
    const bool jpeg = save.size() >= 4 && save.compare(save.size() - 4, 4, ".jpg") == 0;
    Check(Desk().lastBytes.rfind(jpeg ? "\xFF\xD8\xFF" : "BM", 0) == 0, "the file's format does not follow its name");
  } else {
    Check(Desk().written.empty(), "a file was written by a run that failed or named none");
  }
  return 0;
}
