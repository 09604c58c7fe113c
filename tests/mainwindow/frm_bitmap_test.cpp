#include "mainwindow/frm_bitmap.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <vector>

#include "infowindows/frm_about.h"
#include "infowindows/frm_help.h"
#include "infowindows/pixel_art.h"
#include "runtime/gdi.h"

namespace mainwindow {
namespace {

using Call = std::tuple<runtime::HWND, runtime::HWND, int, int, int, int, std::uint32_t>;

// A loaded main window whose platform calls and modal shows are recorded.
struct MainWindow : testing::Test {
  frmBitmap form;
  std::vector<Call> calls;
  std::vector<runtime::Form*> shown;

  void SetUp() override {
    form.SetWindowPos = [this](runtime::HWND h, runtime::HWND after, int x, int y, int cx, int cy,
                               std::uint32_t flags) {
      calls.emplace_back(h, after, x, y, cx, cy, flags);
      return true;
    };
    form.ShowModal = [this](runtime::Form& f) { shown.push_back(&f); };
    form.Load();
  }
  void TearDown() override { form.Unload(); }
};

bool AllVga(const runtime::Picture& picture) {
  const runtime::Bitmap* bmp = runtime::BitmapOf(picture.Handle());
  if (!bmp) return false;
  for (int y = 0; y < bmp->height; ++y)
    for (int x = 0; x < bmp->width; ++x) {
      const std::uint8_t* p = bmp->Row(y) + 4 * x;
      if (!infowindows::vga::IsVga((p[2] << 16) | (p[1] << 8) | p[0])) return false;
    }
  return true;
}

TEST_F(MainWindow, DesignPlacesControlsInTheirContainers) {
  for (runtime::Control* option : {&form.opt10sec, &form.opt5sec, &form.opt1sec})
    EXPECT_EQ(option->Container(), &form.Frame2);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(form.optCapture(i).Container(), &form.Frame1);
  EXPECT_EQ(form.HScroll.Container(), &form.kadO);
  EXPECT_EQ(form.VScroll.Container(), &form.kadO);
  EXPECT_EQ(form.kadI.Container(), &form.kadO);
  EXPECT_EQ(form.picS.Container(), &form.kadI);

  EXPECT_EQ(form.ClientWidth(), 6630);
  EXPECT_EQ(form.ClientHeight(), 6240);
  EXPECT_EQ(form.optCapture(2).Top(), 840);
  EXPECT_EQ(form.optCapture(2).Width(), 855);
  EXPECT_EQ(form.opt10sec.Width(), 820);
  EXPECT_EQ(form.kadO.Left(), 1080);
  EXPECT_EQ(form.kadO.Height(), 4245);
  EXPECT_EQ(form.VScroll.Left(), 5280);
  EXPECT_EQ(form.HScroll.Top(), 4200);
  EXPECT_EQ(form.kadI.Width(), 1485);
  EXPECT_EQ(form.Toolbar1.Width(), 6630);
  EXPECT_EQ(form.Toolbar1.Height(), 360);
  // The handle boxes are working storage, out of sight.
  for (runtime::Control* box : {&form.txtHwnd, &form.txtHwndMe, &form.txtHwndChild, &form.txtHwndParent})
    EXPECT_GE(box->Left(), form.ClientWidth());
}

TEST_F(MainWindow, DesignStates) {
  EXPECT_TRUE(form.opt1sec.Value());
  EXPECT_FALSE(form.opt5sec.Value());
  for (runtime::Control* delay : {&form.opt10sec, &form.opt5sec, &form.opt1sec}) EXPECT_FALSE(delay->Enabled());
  EXPECT_TRUE(form.optCapture(0).Value());
  EXPECT_EQ(form.optCapture(0).Caption(), "Screen");
  EXPECT_EQ(form.chkOnTop.Value(), 0);
  EXPECT_FALSE(form.Image1.Visible());
  EXPECT_EQ(form.lblAfm.Caption(), "");
  EXPECT_EQ(form.Label5.GetFont().Name, "Comic Sans MS");
  EXPECT_EQ(form.Label5.GetFont().Size, 18);
  EXPECT_EQ(form.Label5.ForeColor(), runtime::vbHighlight);
  EXPECT_EQ(form.txtHwndParent.Text(), "txtHwndParent");
  EXPECT_EQ(form.Timer1.Interval(), 10u);
  EXPECT_TRUE(form.Timer1.TimerEnabled());
  EXPECT_EQ(form.Timer2.Interval(), 200u);
  EXPECT_FALSE(form.Timer2.TimerEnabled());
}

TEST_F(MainWindow, ReloadingRestoresTheDesignWithoutRunningHandlers) {
  form.chkOnTop.SetValue(1);
  form.optCapture(3).SetValue(true);
  int captureClicks = 0;
  form.optCapture(0).Click = [&] { ++captureClicks; };
  calls.clear();
  form.Unload();
  form.Load();
  EXPECT_EQ(form.chkOnTop.Value(), 0);
  EXPECT_TRUE(form.optCapture(0).Value());
  EXPECT_FALSE(form.optCapture(3).Value());
  EXPECT_EQ(captureClicks, 0);
  EXPECT_TRUE(calls.empty());
  form.optCapture(0).Click = nullptr;
}

TEST_F(MainWindow, MenusAndToolbar) {
  ASSERT_EQ(form.Menus.size(), 2u);
  EXPECT_EQ(form.Menus[0]->Caption(), "&Grab");
  EXPECT_EQ(form.Menus[1]->Caption(), "&Help");
  std::vector<std::string> items;
  for (const runtime::Menu* menu : form.Menus)
    for (const runtime::Control* item : menu->Children()) {
      items.push_back(item->Caption());
      EXPECT_TRUE(static_cast<const runtime::Menu*>(item)->Shortcut.empty());
    }
  EXPECT_EQ(items, (std::vector<std::string>{"&Save", "&Print", "C&lear", "-", "&Copy to Clipboard", "-",
                                             "&Exit", "&Help for Veltrix", "-", "&About"}));

  const auto& buttons = form.Toolbar1.Buttons;
  ASSERT_EQ(buttons.size(), 9u);
  std::vector<std::string> keys;
  for (const auto& b : buttons) keys.push_back(b.Separator ? "|" : b.Key);
  EXPECT_EQ(keys, (std::vector<std::string>{"Exit", "|", "Save", "Print", "Clear", "|", "Copy", "|", "Help"}));
  EXPECT_EQ(buttons[0].ToolTipText, "Exit Glimmet");
  EXPECT_EQ(buttons[6].ToolTipText, "Copy to Clipboard");
  EXPECT_EQ(form.Toolbar1.ImageListRef, &form.ilsMain);
  EXPECT_EQ(form.ilsMain.MaskColor, 0xC0C0C0u);
  for (const auto& b : buttons) {
    if (b.Separator) continue;
    EXPECT_EQ(b.ImageKey, b.Key);
    ASSERT_TRUE(form.ilsMain.ListImages.count(b.ImageKey)) << b.ImageKey;
  }
}

TEST_F(MainWindow, ArtworkSizesAndColours) {
  EXPECT_EQ(form.ilsMain.ListImages.size(), 6u);
  for (const auto& [key, picture] : form.ilsMain.ListImages) {
    SCOPED_TRACE(key);
    EXPECT_EQ(picture.PixelWidth(), 16);
    EXPECT_EQ(picture.PixelHeight(), 16);
    EXPECT_TRUE(AllVga(picture));
  }
  // Six different images, not one drawn six times.
  std::set<std::vector<std::uint8_t>> distinct;
  for (const auto& [key, picture] : form.ilsMain.ListImages) {
    const runtime::Bitmap* bmp = runtime::BitmapOf(picture.Handle());
    distinct.insert(std::vector<std::uint8_t>(bmp->bits, bmp->bits + bmp->stride * bmp->height));
  }
  EXPECT_EQ(distinct.size(), 6u);
  EXPECT_EQ(form.Icon.PixelWidth(), 32);
  EXPECT_EQ(form.Icon.PixelHeight(), 32);
  EXPECT_TRUE(AllVga(form.Icon));
}

TEST_F(MainWindow, ToolbarDispatchByExactKey) {
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

TEST_F(MainWindow, OnTopSwitchRestacksInPlace) {
  form.Move(1500, 3000, 6720, 7035);  // 100, 200, 448 x 469 pixels
  form.chkOnTop.SetValue(1);
  form.chkOnTop.SetValue(0);
  const runtime::HWND h = form.hWnd();
  EXPECT_EQ(calls, (std::vector<Call>{{h, runtime::HWND_TOPMOST, 100, 200, 448, 469, 0},
                                      {h, runtime::HWND_TOPMOST, 100, 200, 448, 469, 0},
                                      {h, runtime::HWND_BOTTOM, 100, 200, 448, 469, 0},
                                      {h, runtime::HWND_TOP, 100, 200, 448, 469, 0}}));
}

TEST_F(MainWindow, OnTopSwitchReadsThePlaceBeforeEachCall) {
  // A window manager may move the window between the two calls.
  form.Move(1510, 2992, 6720, 7035);
  form.SetWindowPos = [this](runtime::HWND h, runtime::HWND after, int x, int y, int cx, int cy,
                             std::uint32_t flags) {
    calls.emplace_back(h, after, x, y, cx, cy, flags);
    form.Move(form.Left() + 150, form.Top(), form.Width(), form.Height());
    return true;
  };
  form.chkOnTop.SetValue(1);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(std::get<2>(calls[0]), 101);  // 1510 / 15 rounded
  EXPECT_EQ(std::get<3>(calls[0]), 199);
  EXPECT_EQ(std::get<2>(calls[1]), 111);
}

TEST_F(MainWindow, LayoutSetsTheViewFromThePicture) {
  form.picS.Move(0, 0, 9000, 4000);
  form.LayoutPicture();
  EXPECT_EQ(form.kadI.Left(), 30);
  EXPECT_EQ(form.kadI.Top(), 30);
  EXPECT_EQ(form.kadI.Width(), 4920);
  EXPECT_EQ(form.kadI.Height(), 3870);
  EXPECT_TRUE(form.HScroll.Visible());
  EXPECT_TRUE(form.VScroll.Visible());
  EXPECT_EQ(form.HScroll.Max(), 4125);
  EXPECT_EQ(form.VScroll.Max(), 175);
  EXPECT_EQ(form.HScroll.Min(), 0);
  EXPECT_EQ(form.HScroll.Left(), 0);
  EXPECT_EQ(form.HScroll.Width(), 4920);
  EXPECT_EQ(form.HScroll.Top(), 3915);
  EXPECT_EQ(form.VScroll.Top(), 0);
  EXPECT_EQ(form.VScroll.Left(), 4965);
  EXPECT_EQ(form.VScroll.Height(), 3870);

  form.picS.Move(0, 0, 300, 300);
  form.LayoutPicture();
  EXPECT_FALSE(form.HScroll.Visible());
  EXPECT_FALSE(form.VScroll.Visible());
  EXPECT_EQ(form.kadI.Width(), 5205);
  EXPECT_EQ(form.kadI.Height(), 4125);
}

TEST_F(MainWindow, ScrollBarsSlideThePicture) {
  form.picS.Move(0, 0, 9000, 9000);
  form.LayoutPicture();
  form.HScroll.SetValue(1200);
  form.VScroll.SetValue(345);
  EXPECT_EQ(form.picS.Left(), -1200);
  EXPECT_EQ(form.picS.Top(), -345);
  // Dragging moves the picture while the thumb moves.
  form.HScroll.Scrolled(17);
  form.VScroll.Scrolled(4000);
  EXPECT_EQ(form.picS.Left(), -17);
  EXPECT_EQ(form.picS.Top(), -4000);

  // A later picture that needs no bar keeps the offset the bars gave.
  form.picS.Move(form.picS.Left(), form.picS.Top(), 600, 600);
  form.LayoutPicture();
  EXPECT_EQ(form.picS.Left(), -17);
  EXPECT_EQ(form.picS.Top(), -4000);
  EXPECT_EQ(form.HScroll.Value(), 17);
}

TEST_F(MainWindow, FourKPictureScrollsToItsFarEdge) {
  form.picS.Move(0, 0, 3840 * 15, 2160 * 15);
  form.LayoutPicture();
  form.HScroll.Scrolled(form.HScroll.Max());
  form.VScroll.SetValue(form.VScroll.Max());
  EXPECT_EQ(form.picS.Left() + form.picS.Width(), form.kadI.Width() - 45);
  EXPECT_EQ(form.picS.Top() + form.picS.Height(), form.kadI.Height() - 45);
  form.HScroll.SetValue(100);
  EXPECT_EQ(form.picS.Left(), -200);
  EXPECT_EQ(form.VScroll.Max(), 28575);  // fits: plain twips
}

TEST(SizeLabel, Texts) {
  EXPECT_EQ(frmBitmap::SizeLabel(640, 480), " 640 x 480");
  EXPECT_EQ(frmBitmap::SizeLabel(0, 0), " 0 x 0");
  EXPECT_EQ(frmBitmap::SizeLabel(-12, 480), "-12 x 480");
  EXPECT_EQ(frmBitmap::SizeLabel(33, -1), " 33 x-1");
  EXPECT_EQ(frmBitmap::SizeLabel(640.5, 12.25), " 640.5 x 12.25");
  EXPECT_EQ(frmBitmap::SizeLabel(3840, 2160), " 3840 x 2160");
}

}  // namespace
}  // namespace mainwindow
