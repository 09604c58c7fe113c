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
using Controls = std::initializer_list<runtime::Control*>;

// A loaded main window whose platform calls and modal shows are recorded;
// the commands the toolbar runs find no dialog, printer or clipboard.
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

TEST_F(MainWindow, DesignContainersAndStartStatesComeBackOnReloadWithoutRunningHandlers) {
  for (runtime::Control* delay : Controls{&form.opt10sec, &form.opt5sec, &form.opt1sec})
    EXPECT_TRUE(delay->Container() == &form.Frame2 && !delay->Enabled());
  for (int i = 0; i < 4; ++i) EXPECT_EQ(form.optCapture(i).Container(), &form.Frame1);
  for (runtime::Control* c : Controls{&form.HScroll, &form.VScroll, &form.kadI}) EXPECT_EQ(c->Container(), &form.kadO);
  EXPECT_EQ(form.picS.Container(), &form.kadI);
  // The handle boxes are working storage, out of sight.
  for (runtime::Control* box : Controls{&form.txtHwnd, &form.txtHwndMe, &form.txtHwndChild, &form.txtHwndParent})
    EXPECT_GE(box->Left(), form.ClientWidth());
  EXPECT_TRUE(form.Timer1.TimerEnabled() && !form.Timer2.TimerEnabled());

  form.chkOnTop.SetValue(1);
  form.optCapture(3).SetValue(true);
  int captureClicks = 0;
  form.optCapture(0).Click = [&] { ++captureClicks; };
  calls.clear();
  form.Unload();
  form.Load();
  EXPECT_EQ(std::make_tuple(form.chkOnTop.Value(), form.optCapture(0).Value(), form.optCapture(3).Value()),
            std::make_tuple(0, true, false));
  EXPECT_TRUE(form.opt1sec.Value());
  EXPECT_EQ(captureClicks, 0);
  EXPECT_TRUE(calls.empty());
  form.optCapture(0).Click = nullptr;
}

TEST_F(MainWindow, MenusAndToolbarWithDistinctVgaImagesDispatchByExactKey) {
  std::vector<std::string> items;
  for (const runtime::Menu* menu : form.Menus) {
    items.push_back(menu->Caption() + ":");
    for (const runtime::Control* item : menu->Children()) {
      items.push_back(item->Caption());
      EXPECT_TRUE(static_cast<const runtime::Menu*>(item)->Shortcut.empty());
    }
  }
  EXPECT_EQ(items, (std::vector<std::string>{"&Grab:", "&Save", "&Print", "C&lear", "-", "&Copy to Clipboard", "-",
                                             "&Exit", "&Help:", "&Help for Veltrix", "-", "&About"}));
  std::vector<std::string> keys;
  std::set<std::vector<std::uint8_t>> images;
  for (const auto& b : form.Toolbar1.Buttons) {
    keys.push_back(b.Separator ? "|" : b.Key);
    if (b.Separator) continue;
    ASSERT_TRUE(b.ImageKey == b.Key && form.ilsMain.ListImages.count(b.Key)) << b.Key;
    const runtime::Picture& picture = form.ilsMain.ListImages.at(b.Key);
    EXPECT_EQ(std::make_tuple(picture.PixelWidth(), picture.PixelHeight()), std::make_tuple(16, 16));
    EXPECT_TRUE(window_test::AllVga(picture)) << b.Key;
    const runtime::Bitmap* bmp = runtime::BitmapOf(picture.Handle());
    images.insert(std::vector<std::uint8_t>(bmp->bits, bmp->bits + bmp->stride * bmp->height));
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"Exit", "|", "Save", "Print", "Clear", "|", "Copy", "|", "Help"}));
  EXPECT_EQ(images.size(), 6u) << "six different images, not one drawn six times";
  EXPECT_TRUE(form.Toolbar1.ImageListRef == &form.ilsMain && form.Toolbar1.Buttons[6].ToolTipText == "Copy to Clipboard");
  EXPECT_TRUE(window_test::AllVga(form.Icon));

  for (const char* key : {"exit", "EXIT", "help", "Exit ", "", "Open", "Save", "Print", "Clear", "Copy"})
    form.Toolbar1_ButtonClick(key);
  EXPECT_TRUE(form.Loaded());
  EXPECT_TRUE(shown.empty());
  // Help on the toolbar is the about box; the help window is the menu's.
  form.Toolbar1.ButtonClick(form.Toolbar1.Buttons[8]);
  form.mnuHelp.Click();
  form.mnuAbout.Click();
  EXPECT_EQ(shown, (std::vector<runtime::Form*>{&infowindows::frmAboutForm(), &infowindows::frmHelpForm(),
                                                &infowindows::frmAboutForm()}));
  form.Toolbar1.ButtonClick(form.Toolbar1.Buttons[0]);
  EXPECT_FALSE(form.Loaded());
  form.Load();
  form.mnuExit.Click();
  EXPECT_FALSE(form.Loaded());
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

TEST_F(MainWindow, BarsSlideThePictureAndAFourKPictureReachesItsFarEdgeInScaledSteps) {
  const auto at = [&] { return std::make_tuple(form.picS.Left(), form.picS.Top()); };
  form.picS.Move(0, 0, 9000, 4000);
  form.LayoutPicture();
  EXPECT_TRUE(form.HScroll.Visible() && form.VScroll.Visible());
  EXPECT_EQ(std::make_tuple(form.HScroll.Max(), form.VScroll.Max()), std::make_tuple(4125, 175));
  form.HScroll.SetValue(1200);
  form.VScroll.SetValue(100);
  EXPECT_EQ(at(), std::make_tuple(-1200.0, -100.0));
  form.HScroll.Scrolled(17);  // dragging moves the picture while the thumb moves
  form.VScroll.Scrolled(175);
  EXPECT_EQ(at(), std::make_tuple(-17.0, -175.0));
  // A later picture that needs no bar hides them, fills the view, and keeps the offset the bars gave.
  form.picS.Move(form.picS.Left(), form.picS.Top(), 300, 300);
  form.LayoutPicture();
  EXPECT_FALSE(form.HScroll.Visible() || form.VScroll.Visible());
  EXPECT_EQ(std::make_tuple(form.kadI.Width(), form.kadI.Height()), std::make_tuple(5205.0, 4125.0));
  EXPECT_EQ(at(), std::make_tuple(-17.0, -175.0));

  form.picS.Move(0, 0, 3840 * 15, 2160 * 15);
  form.LayoutPicture();
  // 57600 - 4920 + 45 = 52725 twips do not fit 16 bits; 32400 - 3870 + 45 = 28575 do.
  EXPECT_EQ(std::make_tuple(form.HScroll.Max(), form.VScroll.Max()), std::make_tuple(26363, 28575));
  form.HScroll.Scrolled(form.HScroll.Max());
  form.VScroll.SetValue(form.VScroll.Max());
  EXPECT_EQ(std::make_tuple(form.picS.Left() + form.picS.Width(), form.picS.Top() + form.picS.Height()),
            std::make_tuple(form.kadI.Width() - 45, form.kadI.Height() - 45));
  form.HScroll.SetValue(100);
  EXPECT_EQ(form.picS.Left(), -200);
}

TEST(SizeLabel, Texts) {
  EXPECT_EQ(frmBitmap::SizeLabel(640, 480), " 640 x 480");
  EXPECT_EQ(frmBitmap::SizeLabel(33, -1), " 33 x-1");
  EXPECT_EQ(frmBitmap::SizeLabel(640.5, 12.25), " 640.5 x 12.25");
}

}  // namespace
}  // namespace mainwindow
