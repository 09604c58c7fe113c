#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "infowindows/artwork.h"
#include "infowindows/frm_about.h"
#include "infowindows/frm_help.h"
#include "infowindows/frm_splash.h"
#include "infowindows/window_test_support.h"

namespace infowindows {
namespace {

using window_test::Call;

TEST(Artwork, SizesAndPalette) {
  const runtime::Picture banner = SplashBanner();
  EXPECT_EQ(std::make_pair(banner.PixelWidth(), banner.PixelHeight()), std::make_pair(586, 314));
  EXPECT_TRUE(window_test::AllVga(banner));
  for (const runtime::Picture& icon : {ProductIcon(), HelpIcon()}) {
    EXPECT_EQ(std::make_pair(icon.PixelWidth(), icon.PixelHeight()), std::make_pair(32, 32));
    EXPECT_TRUE(window_test::AllVga(icon));
  }
}

TEST(Artwork, CharacterArtRejectsRaggedRowsAndUnknownColours) {
  EXPECT_THROW(PictureFromArt({"kk", "k"}), std::invalid_argument);
  EXPECT_THROW(PictureFromArt({"kz"}), std::invalid_argument);
  const runtime::Picture p = PictureFromArt({"kw", "r."});
  const runtime::Bitmap* bmp = runtime::BitmapOf(p.Handle());
  ASSERT_NE(bmp, nullptr);
  // Device bitmaps hold blue, green, red.
  const std::uint8_t* row = bmp->Row(1);
  EXPECT_EQ(std::make_tuple(row[0], row[1], row[2]), std::make_tuple(0, 0, 0xFF));
  EXPECT_EQ(std::make_tuple(row[4], row[5], row[6]), std::make_tuple(0xC0, 0xC0, 0xC0));
}

TEST(Splash, DesignPlacementOnceAndTimerCloses) {
  frmSplash& splash = frmSplashForm();
  std::vector<Call> calls;
  splash.SetWindowPos = window_test::Recorder(calls);
  splash.Move(1500, 1545, 8880, 4785);
  splash.Load();
  EXPECT_EQ(splash.BackPicture.PixelWidth(), 586);
  EXPECT_EQ(splash.lblVersion.Caption(), "Version  1.0.2");
  EXPECT_EQ(splash.Label2.Caption(), std::string(23, ' ') + "A Tessakit product");
  EXPECT_EQ(splash.Timer1.Interval(), 2000u);
  EXPECT_TRUE(splash.Timer1.Running());

  // Without a native window yet, the placement waits for the first showing.
  splash.Form_Activate();
  splash.Form_Activate();
  EXPECT_EQ(calls, (std::vector<Call>{{splash.hWnd(), runtime::HWND_TOP, 100, 103, 592, 319, 0x50}}));

  splash.Timer1.Tick();
  EXPECT_FALSE(splash.Loaded());
  EXPECT_FALSE(splash.Timer1.Running());
}

TEST(About, DesignTextSeparatorsAndTopmost) {
  frmAbout& about = frmAboutForm();
  std::vector<Call> calls;
  about.SetWindowPos = window_test::Recorder(calls);
  about.Move(3000, 1507.5, 5085, 3900);
  about.Load();
  EXPECT_EQ(about.Caption(), "About...");
  EXPECT_EQ(about.Label2.Caption(), frmAbout::kAboutText);
  EXPECT_FALSE(about.Label2.Caption().empty());
  EXPECT_EQ(about.Image1.GetPicture().PixelWidth(), 32);

  // Each separator: a white line of width 2 under a grey one, same height.
  for (int i = 0; i < 2; ++i) {
    const runtime::Line& white = about.Line1[2 * i];
    const runtime::Line& grey = about.Line1[2 * i + 1];
    const double y = i == 0 ? 1680 : 2760;
    for (const runtime::Line* line : {&white, &grey})
      EXPECT_EQ(std::make_tuple(line->X1, line->X2, line->Y1, line->Y2), std::make_tuple(120.0, 4800.0, y, y));
    EXPECT_EQ(std::make_pair(white.BorderColor, white.BorderWidth), std::make_pair(runtime::vbWhite, 2));
    EXPECT_EQ(grey.BorderColor, 0x808080u);
  }

  about.Form_Activate();
  about.Form_Activate();
  // 1507.5 / 15 = 100.5 rounds to the even 100.
  EXPECT_EQ(calls, (std::vector<Call>{{about.hWnd(), runtime::HWND_TOPMOST, 200, 100, 339, 260, 0}}));
  about.cmdOK.Click();
  EXPECT_FALSE(about.Loaded());
}

TEST(Help, EveryLoadBuildsTheThirtyTwoLinesEachEndedByCrLf) {
  frmHelp& help = frmHelpForm();
  std::vector<Call> calls;
  help.SetWindowPos = window_test::Recorder(calls);
  help.Load();
  const std::string text = help.Text1.Text();
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(start, text.size()) << "unterminated last line";
  ASSERT_EQ(lines.size(), 32u);
  EXPECT_EQ(lines[0], "Tessakit: Glimmet for Veltrix 1.0.2");
  EXPECT_EQ(lines[17], "Glimmet = 'C:\\Tessakit\\Glimmet\\Glimmet.exe'");
  EXPECT_EQ(lines[21], "Exec(Glimmet + ' /WINDOWTEXT=' + GrabWindowText + ' /SAVE=' + GrabBitmapSave + ' /PRINT')");
  // The parameter descriptions share one column of the fixed-pitch font.
  for (int i = 8; i <= 12; ++i) {
    EXPECT_EQ(lines[i].find(" to "), 23u) << lines[i];
    EXPECT_EQ(lines[i][0], '[');
  }
  for (int i : {1, 4, 5, 7, 13, 14, 16, 20, 22, 24, 27, 29, 31}) EXPECT_EQ(lines[i], "") << "line " << i + 1;
  EXPECT_TRUE(text.ends_with("/PRINT')\r\n\r\n"));
  EXPECT_EQ(help.Text1.GetFont().Name, "Courier New");
  EXPECT_EQ(help.Caption(), "Help for Veltrix");

  // Reloading, even over text the window still holds, gives the same text once.
  help.Unload();
  help.Load();
  EXPECT_EQ(help.Text1.Text(), text);
  help.Text1.SetText("left over\r\n");
  help.Form_Load();
  EXPECT_EQ(help.Text1.Text(), text);
  help.Move(1500, 1500, 10305, 8100);
  help.Form_Activate();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back(), (Call{help.hWnd(), runtime::HWND_TOPMOST, 100, 100, 687, 540, 0}));
  help.cmdClose.Click();
  EXPECT_FALSE(help.Loaded());
}

}  // namespace
}  // namespace infowindows
