// Save, Print, Copy and Clear of the main window with real parts: the Qt
// save dialog driven by xdotool, a private CUPS server (scripts/test starts
// it) whose PDF pages poppler renders, and the X11 CLIPBOARD read back by
// xclip after the program that copied has ended.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "mainwindow/frm_bitmap.h"
#include "output/c_dib_section.h"
#include "output/dib_test_pictures.h"
#include "output/x11/printed_page.h"
#include "runtime/app.h"
#include "runtime/events.h"
#include "runtime/gui.h"
#include "runtime/jpeg/jpeg_check.h"
#include "runtime/x11/x11_session.h"

namespace {

using namespace testshell;

void UseTheBuiltModule() { runtime::App().Path = std::filesystem::path(GLIMMET_BINARY).parent_path().string(); }

struct Commands : ::testing::Test {
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (scripts/test starts one)";
    UseTheBuiltModule();
    form.Load();
  }
  void TearDown() override { form.Unload(); }
  mainwindow::frmBitmap form;
};

// Clear empties only the view and tells the poll, even when already empty;
// Print then makes no page. A4 is 842 x 595 points; 1 cm margins leave
// 785 x 539 at (28, 28).
TEST_F(Commands, ClearThenPrintMakesNoPageAndAPictureOnePageOrientedByShapeFittedAtTheTopLeft) {
  form.picS.SetPicture(testpictures::MakePicture(50, 40));
  form.picS.Move(0, 0, 750, 600);
  form.lblAfm.SetCaption(" 50 x 40");
  form.cmdClear_Click();
  EXPECT_EQ(std::make_tuple(bool(form.picS.GetPicture()), form.bCleared, form.picS.Width(), form.lblAfm.Caption()),
            std::make_tuple(false, true, 750.0, " 50 x 40"));
  form.bCleared = false;
  form.Toolbar1_ButtonClick("Clear");
  EXPECT_TRUE(form.bCleared);
  if (!printcheck::Available()) GTEST_SKIP() << "needs the private CUPS server (scripts/test starts it)";
  int before = printcheck::CompletedJobs();
  form.mnuPrint.Click();
  EXPECT_NE(form.sPrintFailure, "");
  EXPECT_TRUE(printcheck::Idle());
  EXPECT_EQ(printcheck::CompletedJobs(), before);

  const int cases[][5] = {
      {640, 480, true, 718, 539},   // landscape, the height fills: 19.0 x 25.3 cm
      {100, 400, false, 196, 785},  // the height fills: 27.7 x 6.9 cm
      {300, 300, false, 539, 539},  // square: portrait, the width fills
  };
  for (const auto [width, height, landscape, inkW, inkH] : cases) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    before = printcheck::CompletedJobs();
    // One flat colour, so that the ink's bounding box is the picture.
    form.picS.SetPicture(testpictures::MakePicture(width, height, std::vector<std::uint8_t>(width * height * 3, 60)));
    form.cmdPrint_Click();
    EXPECT_EQ(form.sPrintFailure, "");
    const std::optional<printcheck::Page> page = printcheck::LastPage();
    ASSERT_TRUE(page);
    EXPECT_EQ(printcheck::CompletedJobs(), before + 1);
    EXPECT_EQ(std::make_tuple(page->width > page->height, std::max(page->width, page->height)), std::make_tuple(landscape != 0, 842));
    EXPECT_LE(std::max(std::abs(page->x - 28), std::abs(page->y - 28)), 1);
    EXPECT_LE(std::max(std::abs(page->inkW - inkW), std::abs(page->inkH - inkH)), 2) << page->inkW << " x " << page->inkH;
  }
}

// Names typed into the dialog decide the format; a cancel writes nothing;
// without a picture one "Invalid Picture" box shows while the hourglass is
// up, and the pointer is reset afterwards.
TEST_F(Commands, SaveWritesByTheNamesEndingAndReportsAFailureOnce) {
  TempDir dir;
  std::string keys;
  form.Timer1.Tick = [&] {
    if (!keys.empty() && !Shell("xdotool search --onlyvisible --name '^Save Bitmap$' 2>/dev/null").empty())
      Shell(std::exchange(keys, ""));
  };
  const auto save = [&](const std::string& name) {
    keys = name.empty() ? "xdotool key Escape" : "xdotool type " + Quote(dir / name) + " && xdotool key Return";
    form.cmdSave_Click();
  };
  form.picS.SetPicture(testpictures::MakePicture(64, 48));
  save("shot.jpg");
  jpegcheck::ExpectJpeg(dir / "shot.jpg", 64, 48);
  save("shot.JPG");
  EXPECT_EQ(Shell("identify -format '%m %w %h' " + Quote(dir / "shot.JPG")), "BMP3 64 48");
  save("");

  int boxes = 0;
  form.Timer2.SetInterval(100);
  form.Timer2.SetTimerEnabled(true);
  form.Timer2.Tick = [&] {
    const std::string box = Shell("xdotool search --onlyvisible --name '^Invalid Picture$' 2>/dev/null");
    if (box.empty()) return;
    ++boxes;
    EXPECT_EQ(form.GetMousePointer(), runtime::MousePointer::Hourglass);
    Shell("xdotool windowactivate --sync " + box.substr(0, box.find('\n')) + " key Return");
    WaitUntil([] { return Shell("xdotool search --onlyvisible --name '^Invalid Picture$'").empty(); }, 5);
  };
  form.cmdClear_Click();
  save("empty.bmp");
  EXPECT_EQ(boxes, 1);
  EXPECT_EQ(form.GetMousePointer(), runtime::MousePointer::Default);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"shot.JPG", "shot.jpg"}));
}

// ---- Copy ----

xcb_window_t SelectionOwner(const char* name) {
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
  xcb_get_selection_owner_reply_t* owner =
      atom ? xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr) : nullptr;
  const xcb_window_t result = owner ? owner->owner : 0;
  free(owner);
  free(atom);
  xcb_disconnect(c);
  return result;
}

bool KeeperRuns() { return Shell("xwininfo -root -tree 2>/dev/null").find("\"glimmet clipboard\"") != std::string::npos; }

std::string Paste(const std::string& target) { return Shell("timeout 10 xclip -selection clipboard -t " + target + " -o 2>/dev/null"); }

// Whether the clipboard's picture of that type is the test pattern, pixel for pixel.
bool PastedIsPattern(const std::string& type, int width, int height) {
  const std::vector<std::uint8_t> rgb = testpictures::Pattern(width, height);
  return Shell("timeout 10 xclip -selection clipboard -t image/" + type + " -o 2>/dev/null | convert " + type +
               ":- -depth 8 rgb:- 2>/dev/null") == std::string(rgb.begin(), rgb.end());
}

// Runs this test program again as the program that copies (Copier.Run):
// it copies as mode says, ends the GUI as the program does, and ends.
int RunCopier(const std::string& mode) {
  int status = -1;
  Shell("GLIMMET_COPIER=" + mode + " timeout 60 " + Quote(std::filesystem::read_symlink("/proc/self/exe")) +
            " --gtest_filter=Copier.Run >/dev/null 2>&1",
        &status);
  return status;
}

void Copier(const std::string& mode) {
  UseTheBuiltModule();
  mainwindow::frmBitmap& form = mainwindow::MainForm();
  form.Load();
  int status = 0;
  if (mode.starts_with("dib")) {
    output::cDIBSection dib;
    dib.CreateFromPicture(testpictures::MakePicture(33, 17));
    status = dib.CopyToClipboard(mode == "dib-message") ? 0 : 3;
  } else {  // "twice": large enough that the BMP goes in pieces (INCR); "cleared": copy, clear, copy
    const bool twice = mode == "twice";
    form.picS.SetPicture(testpictures::MakePicture(twice ? 1500 : 8, twice ? 1000 : 8));
    form.cmdCopy_Click();
    if (!twice) form.cmdClear_Click();
    twice ? form.Toolbar1_ButtonClick("Copy") : form.mnuCopy.Click();
  }
  runtime::DoEvents();
  form.Unload();
  runtime::ShutdownGui();
  std::exit(status);
}

// Registered only in the copying program, so that it never shows as a
// skipped test of its own.
struct CopierRun : testing::Test {
  void TestBody() override { Copier(std::getenv("GLIMMET_COPIER")); }
};
[[maybe_unused]] const bool copierRegistered =
    std::getenv("GLIMMET_COPIER") && *std::getenv("GLIMMET_COPIER") &&
    testing::RegisterTest("Copier", "Run", nullptr, nullptr, __FILE__, __LINE__,
                          []() -> testing::Test* { return new CopierRun; });

struct Clipboard : ::testing::Test {
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (scripts/test starts one)";
    TearDown();
  }
  // Leaves the clipboard to a client that ends after one paste.
  void TearDown() override {
    Shell("printf x | timeout 10 xclip -selection clipboard -i -l 1 >/dev/null 2>&1 &");
    WaitUntil([] { return !KeeperRuns(); }, 5);
    Paste("UTF8_STRING");
  }
};

TEST_F(Clipboard, PictureOutlivesTheProgramInPngAndBmpUntilAnotherClientTakesIt) {
  ASSERT_EQ(SelectionOwner("CLIPBOARD_MANAGER"), 0u) << "a clipboard manager runs on this display";
  ASSERT_EQ(RunCopier("twice"), 0);
  EXPECT_TRUE(KeeperRuns());
  EXPECT_TRUE(PastedIsPattern("png", 1500, 1000) && PastedIsPattern("bmp", 1500, 1000));
  EXPECT_EQ(Shell("timeout 10 xclip -selection clipboard -t TARGETS -o | grep -c '^image/'"), "2\n");
  Shell("printf taken | timeout 10 xclip -selection clipboard -i -l 1 >/dev/null 2>&1 &");
  EXPECT_TRUE(WaitUntil([] { return !KeeperRuns(); }, 10)) << "the keeper ends when it loses the selection";
  EXPECT_EQ(Paste("UTF8_STRING"), "taken");
  ASSERT_EQ(RunCopier("cleared"), 0);  // copying an empty view leaves the clipboard empty
  EXPECT_EQ(SelectionOwner("CLIPBOARD"), 0u);
  EXPECT_FALSE(KeeperRuns());
}

// Debian's xfce4-clipman owns CLIPBOARD_MANAGER but answers no SAVE_TARGETS
// request (it copies each new owner's content instead): whoever serves the
// picture afterwards, it must still be there, in full.
TEST_F(Clipboard, PictureOutlivesTheProgramWhereAClipboardManagerRuns) {
  x11test::Child manager({"xfce4-clipman"});
  if (!WaitUntil([] { return SelectionOwner("CLIPBOARD_MANAGER") != 0; }, 15))
    GTEST_SKIP() << "xfce4-clipman did not take CLIPBOARD_MANAGER";
  ASSERT_EQ(RunCopier("twice"), 0);
  EXPECT_TRUE(PastedIsPattern("png", 1500, 1000) && PastedIsPattern("bmp", 1500, 1000));
}

// What stays behind is a program of its own holding the picture, not a
// copy of the toolkit and the screen's memory; and one MULTIPLE request
// gets each picture once, however often it names it.
TEST_F(Clipboard, TheKeeperHoldsOnlyThePictureAndAnswersEachTargetOnce) {
  ASSERT_EQ(RunCopier("twice"), 0);
  ASSERT_TRUE(KeeperRuns());
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  std::vector<std::string> names = {"CLIPBOARD", "MULTIPLE", "ATOM_PAIR", "image/png", "GLIMMET_TEST_PAIRS"};
  constexpr int kPairs = 64;
  for (int i = 0; i < kPairs; ++i) names.push_back("GLIMMET_TEST_P" + std::to_string(i));
  std::vector<xcb_atom_t> atoms;
  for (const std::string& name : names) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.data()), nullptr);
    atoms.push_back(r ? r->atom : 0);
    free(r);
  }
  const xcb_window_t window = xcb_generate_id(c);
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                    XCB_COPY_FROM_PARENT, 0, nullptr);
  std::vector<xcb_atom_t> pairs;
  for (int i = 0; i < kPairs; ++i) pairs.insert(pairs.end(), {atoms[3], atoms[5 + i]});
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atoms[4], atoms[2], 32,
                      static_cast<std::uint32_t>(pairs.size()), pairs.data());
  xcb_convert_selection(c, window, atoms[0], atoms[1], atoms[4], XCB_CURRENT_TIME);
  xcb_flush(c);
  const bool answered = WaitUntil(
      [&] {
        bool got = false;
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
          got = got || (e->response_type & ~0x80) == XCB_SELECTION_NOTIFY;
          free(e);
        }
        return got;
      },
      10);
  EXPECT_TRUE(answered);
  int set = 0;
  for (int i = 0; i < kPairs; ++i) {
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, atoms[5 + i], XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr);
    set += r && r->type != XCB_ATOM_NONE;
    free(r);
  }
  EXPECT_EQ(set, 1);
  xcb_disconnect(c);

  const std::string pid = Shell("xdotool search --name '^glimmet clipboard$' getwindowpid 2>/dev/null");
  ASSERT_FALSE(pid.empty()) << "the keeper's window names no process";
  const std::string maps = ReadFile("/proc/" + pid.substr(0, pid.find('\n')) + "/maps");
  ASSERT_FALSE(maps.empty());
  for (const char* part : {"libQt6", "libglimmet", "glimmet-pixels"})
    EXPECT_EQ(maps.find(part), std::string::npos) << part << " is still mapped in the keeper";
}

TEST_F(Clipboard, DibSectionCopiesAsABitmapOrSaysOnceWhyNot) {
  ASSERT_EQ(RunCopier("dib"), 0);
  EXPECT_TRUE(PastedIsPattern("png", 33, 17));
  std::optional<int> status;
  std::thread copier([&] { status = RunCopier("dib-message"); });
  std::string box;
  WaitUntil([&] { return !(box = Shell("xdotool search --onlyvisible --name '^Glimmet$' 2>/dev/null")).empty(); }, 20);
  EXPECT_EQ(std::count(box.begin(), box.end(), '\n'), 1) << "one message box";
  if (!box.empty()) Shell("xdotool windowactivate --sync " + box.substr(0, box.find('\n')) + " key Return");
  copier.join();
  EXPECT_EQ(status, 3);
  EXPECT_TRUE(PastedIsPattern("png", 33, 17)) << "the clipboard is as it was";
}

}  // namespace
