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
#include "mainwindow/frm_bitmap.h"
#include "runtime/app.h"
#include "runtime/forms.h"
#include "runtime/gui.h"
#include "runtime/printer.h"
#include "startup/batch.h"
#include "startup/mod_global.h"

namespace {

// A printer that takes every page, or none when the desktop has no printer.
struct FakePrinter : runtime::PrinterDevice {
  int* pages;
  explicit FakePrinter(int* p) : pages(p) {}
  bool SetLandscape(bool) override { return true; }
  double PrintableWidth() const override { return 540; }
  double PrintableHeight() const override { return 780; }
  double Resolution() const override { return 72; }
  bool Draw(const runtime::Bitmap& bitmap, double, double, double width, double height) override {
    if (bitmap.width <= 0 || width <= 0 || height <= 0) return false;
    ++*pages;
    return true;
  }
  bool EndDoc(std::string&) override { return true; }
};

struct Recorder : runtime::GuiBackend {
  int messages = 0, beeps = 0, pages = 0;
  bool hasPrinter = true;
  std::unique_ptr<runtime::PrinterDevice> OpenDefaultPrinter(std::string& why) override {
    if (hasPrinter) return std::make_unique<FakePrinter>(&pages);
    why = "no default printer";
    return nullptr;
  }
  void Realize(runtime::Form&) override {}
  void Destroy(runtime::Form&) override {}
  void Sync(runtime::Control&, runtime::Prop) override {}
  void Pump(int) override {}
  void Beep() override { ++beeps; }
  void MsgBox(const std::string&, runtime::MsgBoxStyle, const std::string&) override { ++messages; }
  runtime::HWND Handle(const runtime::Control&) override { return 0; }
  void Focus(runtime::Control&) override {}
};
Recorder* recorder = nullptr;

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "batch fuzz: %s\n", what);
  std::abort();
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string TrimBlanks(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// The command line as a script writer reads it: a key begins the line or
// follows a blank; a value runs to the blank before the next key.
struct Reading {
  std::string windowText, hwnd, save;
  bool screen = false, print = false;
};

Reading Read(const std::string& line) {
  static const std::string keys[] = {"/WINDOWTEXT=", "/HWND=", "/SCREEN", "/SAVE=", "/PRINT"};
  const std::string upper = Upper(line);
  std::vector<std::pair<std::size_t, int>> starts;
  for (std::size_t pos = 0; pos < line.size(); ++pos) {
    if (pos > 0 && line[pos - 1] != ' ') continue;
    for (int k = 0; k < 5; ++k)
      if (upper.compare(pos, keys[k].size(), keys[k]) == 0) starts.emplace_back(pos, k);
  }
  auto value = [&](int k) -> std::string {
    for (std::size_t i = 0; i < starts.size(); ++i) {
      if (starts[i].second != k) continue;
      const std::size_t from = starts[i].first + keys[k].size();
      if (i + 1 == starts.size()) return TrimBlanks(line.substr(from));
      const std::size_t to = starts[i + 1].first - 1;  // the blank before the next key
      return TrimBlanks(to > from ? line.substr(from, to - from) : std::string());
    }
    return {};
  };
  Reading r;
  r.windowText = value(0);
  r.hwnd = value(1);
  r.save = value(3);
  for (const auto& [pos, k] : starts) {
    r.screen |= k == 2;
    r.print |= k == 4;
  }
  return r;
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The status the run must end with, from the reading and the desktop.
int ExpectedStatus(const Reading& r) {
  using namespace fakedesktop;
  const bool target = r.screen || !r.hwnd.empty() || !r.windowText.empty();
  if (!target) return startup::kExitNoTarget;
  if (!Setup().display) return startup::kExitNoDisplay;
  runtime::HWND hwnd = kRoot;
  if (!r.screen && !r.hwnd.empty()) {
    const auto handle = startup::HandleFromText(r.hwnd);
    if (!handle) return startup::kExitBadArgument;
    hwnd = *handle;
  } else if (!r.screen) {
    hwnd = 0;
    for (const Window& w : Windows())
      if (w.caption == r.windowText) {
        hwnd = w.id;
        break;
      }
  }
  const bool shown = hwnd == kRoot || (hwnd != 0 && runtime::WhyNotOnScreen(hwnd) == nullptr);
  if (!shown || Setup().readsFail) return startup::kExitNoTarget;
  if (!r.save.empty() && Setup().writesFail) return startup::kExitSaveFailed;
  if (r.print && !recorder->hasPrinter) return startup::kExitPrintFailed;
  return startup::kExitOk;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  auto backend = std::make_unique<Recorder>();
  recorder = backend.get();
  runtime::SetGui(std::move(backend));
  runtime::App().Path = "/opt/glimmet";
  runtime::App().EXEName = "glimmet";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t mood = data[0];
  std::string line(reinterpret_cast<const char*>(data + 1), size - 1);
  // An argument vector holds no NUL bytes.
  if (line.find('\0') != std::string::npos) return 0;
  fakedesktop::Setup() = {(mood & 1) == 0, (mood & 2) != 0, (mood & 4) != 0};
  fakedesktop::Reset();
  recorder->messages = recorder->beeps = recorder->pages = 0;
  recorder->hasPrinter = (mood & 0x40) == 0;

  // The reader itself, with every value type: never more than the
  // documented messages, and none for "All".
  static const char* types[] = {"All", "Number", "NumericComma", "Alpha", "Date", "NoPunc", "BrokenNumbers", "Other"};
  const std::string type = types[(mood >> 3) & 7];
  const startup::ParameterValue v = startup::ReadParameter(line, "/SAVE=", type);
  Check(type != "All" || (recorder->messages == 0 && recorder->beeps == 0), "type All showed a message");
  Check(recorder->messages <= 1, "the reader showed more than one message");
  if (type == "All") Check(std::holds_alternative<std::string>(v), "type All gave no string");
  recorder->messages = recorder->beeps = 0;

  if (TrimBlanks(line).empty()) return 0;  // the interactive start
  runtime::App().Command = line;
  // The load handler straight away: loading the form first would paint its
  // icons and toolbar every time, which costs a hundred times the run.
  mainwindow::frmBitmap& form = mainwindow::MainForm();
  const startup::BatchResult result = startup::FormLoad(form);
  Check(runtime::LoadedForms().empty(), "the batch run left a form loaded");
  Check(recorder->messages == 0 && recorder->beeps == 0, "the batch run showed a message or beeped");

  const Reading r = Read(TrimBlanks(line));
  Check(form.sWindowText == r.windowText, "caption read differently");
  Check(form.sSaveFile == r.save, "file name read differently");
  Check(form.bScreen == r.screen, "/SCREEN read differently");
  Check(form.bPrint == r.print, "/PRINT read differently");
  Check(result.status == ExpectedStatus(r), "unexpected exit status");
  Check((result.status == startup::kExitOk) == result.message.empty(), "a reason without a failure or the reverse");
  // One page when asked and a picture was captured and saved, none otherwise.
  Check(recorder->pages == (r.print && (result.status == startup::kExitOk) ? 1 : 0), "pages printed");
  const auto& written = fakedesktop::Log().written;
  // A printout that failed comes after the save, which stands.
  const bool saved = result.status == startup::kExitOk || result.status == startup::kExitPrintFailed;
  if (saved && !r.save.empty()) {
    Check(written.size() == 1 && written[0] == r.save, "not exactly the named file was written");
    const std::string& head = fakedesktop::Log().lastBytes;
    Check(EndsWith(r.save, ".jpg") ? head.rfind("\xFF\xD8\xFF", 0) == 0 : head.rfind("BM", 0) == 0,
          "the file's format does not follow its name");
  } else {
    Check(written.empty(), "a file was written by a run that failed or named none");
  }
  return 0;
}
