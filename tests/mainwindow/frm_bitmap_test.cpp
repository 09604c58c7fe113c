#include "mainwindow/frm_bitmap.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

#include "infowindows/frm_about.h"
#include "infowindows/frm_help.h"
#include "infowindows/window_test_support.h"

namespace mainwindow {
namespace {

using window_test::Call;

// A loaded main window whose platform calls are recorded; the commands the
// toolbar runs find no dialog, printer or clipboard.
struct MainWindow : testing::Test {
  frmBitmap form;
  std::vector<Call> calls;
  std::vector<runtime::Form*> shown;
  void SetUp() override {
    runtime::SetGui(std::make_unique<window_test::QuietGui>());
    form.SetWindowPos = window_test::Recorder(calls);
    form.ShowModal = [this](runtime::Form& f) { shown.push_back(&f); };
    form.Load();
  }
  void TearDown() override {
    form.Unload();
    runtime::SetGui(nullptr);
  }
};

TEST_F(MainWindow, MenusAndToolbarWithDistinctVgaImagesDispatchByExactKeyAndReloadRunsNoHandler) {
  std::vector<std::string> items;
  for (const runtime::Menu* menu : form.Menus) {
    items.push_back(menu->Caption() + ":");
    for (const runtime::Control* item : menu->Children()) items.push_back(item->Caption());
  }
  EXPECT_EQ(items, (std::vector<std::string>{"&Grab:", "&Save", "&Print", "C&lear", "-", "&Copy to Clipboard", "-",
                                             "&Exit", "&Help:", "&Help for Veltrix", "-", "&About"}));
  std::vector<std::string> keys;
  std::set<std::string> images;
  for (const auto& b : form.Toolbar1.Buttons) {
    keys.push_back(b.Separator ? "|" : b.Key);
    if (b.Separator) continue;
    ASSERT_TRUE(b.ImageKey == b.Key && form.ilsMain.ListImages.count(b.Key)) << b.Key;
    const runtime::Picture& picture = form.ilsMain.ListImages.at(b.Key);
    EXPECT_TRUE(picture.PixelWidth() == 16 && picture.PixelHeight() == 16 && window_test::AllVga(picture)) << b.Key;
    const runtime::Bitmap* bmp = runtime::BitmapOf(picture.Handle());
    images.insert(std::string(reinterpret_cast<const char*>(bmp->bits), bmp->stride * bmp->height));
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"Exit", "|", "Save", "Print", "Clear", "|", "Copy", "|", "Help"}));
  EXPECT_EQ(images.size(), 6u) << "six different images, not one drawn six times";
  EXPECT_TRUE(form.Toolbar1.ImageListRef == &form.ilsMain && form.Toolbar1.Buttons[6].ToolTipText == "Copy to Clipboard");

  for (const char* key : {"exit", "EXIT", "help", "Exit ", "", "Open", "Save", "Print", "Clear", "Copy"}) form.Toolbar1_ButtonClick(key);
  EXPECT_TRUE(form.Loaded() && shown.empty());
  // Help on the toolbar is the about box; the help window is the menu's.
  form.Toolbar1.ButtonClick(form.Toolbar1.Buttons[8]);
  form.mnuHelp.Click();
  EXPECT_EQ(shown, (std::vector<runtime::Form*>{&infowindows::frmAboutForm(), &infowindows::frmHelpForm()}));
  form.Toolbar1.ButtonClick(form.Toolbar1.Buttons[0]);
  EXPECT_FALSE(form.Loaded());
  form.Load();
  form.mnuExit.Click();
  EXPECT_FALSE(form.Loaded());

  // Loading again restores the design without running the handlers.
  form.Load();
  form.chkOnTop.SetValue(1);
  form.optCapture(3).SetValue(true);
  int captureClicks = 0;
  form.optCapture(0).Click = [&] { ++captureClicks; };
  calls.clear();
  form.Unload();
  form.Load();
  EXPECT_EQ(std::make_tuple(form.chkOnTop.Value(), form.optCapture(0).Value(), form.optCapture(3).Value(), form.opt1sec.Value()),
            std::make_tuple(0, true, false, true));
  EXPECT_TRUE(captureClicks == 0 && calls.empty());
  form.optCapture(0).Click = nullptr;
}

TEST_F(MainWindow, OnTopSwitchRestacksInPlaceReadingThePlaceBeforeEachCall) {
  // A window manager may move the window between the two calls.
  form.SetWindowPos = window_test::Recorder(calls, [&] { form.Move(form.Left() + 150, form.Top(), 6720, 7035); });
  form.Move(1510, 2992, 6720, 7035);  // 100.7, 199.5 pixels: rounded
  form.chkOnTop.SetValue(1);
  form.chkOnTop.SetValue(0);
  const runtime::HWND h = form.hWnd();
  EXPECT_EQ(calls, (std::vector<Call>{{h, runtime::HWND_TOPMOST, 101, 199, 448, 469, 0},
                                      {h, runtime::HWND_TOPMOST, 111, 199, 448, 469, 0},
                                      {h, runtime::HWND_BOTTOM, 121, 199, 448, 469, 0},
                                      {h, runtime::HWND_TOP, 131, 199, 448, 469, 0}}));
}

// The bars slide the picture in scaled steps to its far edge; a later
// picture that needs no bar hides them, fills the view, and keeps the offset.
TEST_F(MainWindow, BarsSlideAFourKPictureToItsFarEdgeAndASmallOneKeepsTheOffset) {
  form.picS.Move(0, 0, 3840 * 15, 2160 * 15);
  form.LayoutPicture();
  // 57600 - 4920 + 45 = 52725 twips do not fit 16 bits; 32400 - 3870 + 45 = 28575 do.
  EXPECT_EQ(std::make_tuple(form.HScroll.Max(), form.VScroll.Max()), std::make_tuple(26363, 28575));
  form.HScroll.Scrolled(form.HScroll.Max());  // dragging moves the picture while the thumb moves
  form.VScroll.SetValue(form.VScroll.Max());
  EXPECT_EQ(std::make_tuple(form.picS.Left() + form.picS.Width(), form.picS.Top() + form.picS.Height()),
            std::make_tuple(form.kadI.Width() - 45, form.kadI.Height() - 45));
  form.HScroll.SetValue(100);
  EXPECT_EQ(std::make_tuple(form.picS.Left(), form.picS.Top()), std::make_tuple(-200.0, -28575.0));
  form.picS.Move(form.picS.Left(), form.picS.Top(), 300, 300);
  form.LayoutPicture();
  EXPECT_FALSE(form.HScroll.Visible() || form.VScroll.Visible());
  EXPECT_EQ(std::make_tuple(form.kadI.Width(), form.kadI.Height()), std::make_tuple(5205.0, 4125.0));
  EXPECT_EQ(std::make_tuple(form.picS.Left(), form.picS.Top(), form.HScroll.Value()), std::make_tuple(-200.0, -28575.0, 100));
}

TEST(SizeLabel, Texts) {
  EXPECT_EQ(frmBitmap::SizeLabel(640, 480), " 640 x 480");
  EXPECT_EQ(frmBitmap::SizeLabel(33, -1), " 33 x-1");
  EXPECT_EQ(frmBitmap::SizeLabel(640.5, 12.25), " 640.5 x 12.25");
}

}  // namespace
}  // namespace mainwindow
