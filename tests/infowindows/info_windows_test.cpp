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

TEST(Artwork, SizesPaletteAndCharacterArtThatRejectsRaggedRowsAndUnknownColours) {
  const runtime::Picture banner = SplashBanner();
  EXPECT_EQ(std::make_tuple(banner.PixelWidth(), banner.PixelHeight()), std::make_tuple(586, 314));
  EXPECT_TRUE(window_test::AllVga(banner));
  for (const runtime::Picture& icon : {ProductIcon(), HelpIcon()}) {
    EXPECT_EQ(std::make_tuple(icon.PixelWidth(), icon.PixelHeight()), std::make_tuple(32, 32));
    EXPECT_TRUE(window_test::AllVga(icon));
  }
  EXPECT_THROW(PictureFromArt({"kk", "k"}), std::invalid_argument);
  EXPECT_THROW(PictureFromArt({"kz"}), std::invalid_argument);
  const runtime::Picture art = PictureFromArt({"kw", "r."});
  const runtime::Bitmap* bmp = runtime::BitmapOf(art.Handle());
  ASSERT_NE(bmp, nullptr);
  const std::uint8_t* row = bmp->Row(1);  // blue, green, red
  EXPECT_EQ(std::vector<int>(row, row + 7), (std::vector<int>{0, 0, 0xFF, row[3], 0xC0, 0xC0, 0xC0}));
}

TEST(InfoWindows, SplashAndAboutArePlacedOnceOnTheirFirstShowingAndClose) {
  frmSplash& splash = frmSplashForm();
  std::vector<Call> calls;
  splash.SetWindowPos = window_test::Recorder(calls);
  splash.Move(1500, 1545, 8880, 4785);
  splash.Load();
  EXPECT_EQ(std::make_tuple(splash.lblVersion.Caption(), splash.Label2.Caption(), splash.Timer1.Running()),
            std::make_tuple("Version  1.0.2", std::string(23, ' ') + "A Tessakit product", true));
  // Without a native window yet, the placement waits for the first showing.
  splash.Form_Activate();
  splash.Form_Activate();
  EXPECT_EQ(calls, (std::vector<Call>{{splash.hWnd(), runtime::HWND_TOP, 100, 103, 592, 319, 0x50}}));
  splash.Timer1.Tick();
  EXPECT_FALSE(splash.Loaded() || splash.Timer1.Running());

  frmAbout& about = frmAboutForm();
  calls.clear();
  about.SetWindowPos = window_test::Recorder(calls);
  about.Move(3000, 1507.5, 5085, 3900);
  about.Load();
  EXPECT_EQ(std::make_tuple(about.Caption(), about.Label2.Caption(), about.Image1.GetPicture().PixelWidth()),
            std::make_tuple("About...", frmAbout::kAboutText, 32));
  // Each separator: a white line of width 2 under a grey one, same height.
  for (int i = 0; i < 4; ++i) {
    const runtime::Line& line = about.Line1[i];
    const double y = i < 2 ? 1680 : 2760;
    EXPECT_EQ(std::make_tuple(line.X1, line.X2, line.Y1, line.Y2), std::make_tuple(120.0, 4800.0, y, y)) << i;
    if (i % 2 == 0) EXPECT_EQ(std::make_tuple(line.BorderColor, line.BorderWidth), std::make_tuple(runtime::vbWhite, 2));
    else EXPECT_EQ(line.BorderColor, 0x808080u);
  }
  about.Form_Activate();
  about.Form_Activate();
  // 1507.5 / 15 = 100.5 rounds to the even 100.
  EXPECT_EQ(calls, (std::vector<Call>{{about.hWnd(), runtime::HWND_TOPMOST, 200, 100, 339, 260, 0}}));
  about.cmdOK.Click();
  EXPECT_FALSE(about.Loaded());
}

TEST(InfoWindows, HelpBuildsTheThirtyTwoLinesEachEndedByCrLfOnEveryLoad) {
  frmHelp& help = frmHelpForm();
  std::vector<Call> calls;
  help.SetWindowPos = window_test::Recorder(calls);
  help.Load();
  const std::string text = help.Text1.Text();
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  ASSERT_EQ(std::make_tuple(start, lines.size()), std::make_tuple(text.size(), 32u)) << "32 lines, the last one terminated";
  EXPECT_EQ(lines[0], "Tessakit: Glimmet for Veltrix 1.0.2");
  EXPECT_EQ(lines[21], "Exec(Glimmet + ' /WINDOWTEXT=' + GrabWindowText + ' /SAVE=' + GrabBitmapSave + ' /PRINT')");
  // The parameter descriptions share one column of the fixed-pitch font.
  for (int i = 8; i <= 12; ++i) EXPECT_EQ(std::make_tuple(lines[i][0], lines[i].find(" to ")), std::make_tuple('[', 23u)) << lines[i];
  for (int i : {1, 4, 5, 7, 13, 14, 16, 20, 22, 24, 27, 29, 31}) EXPECT_EQ(lines[i], "") << "line " << i + 1;
  EXPECT_EQ(std::make_tuple(help.Text1.GetFont().Name, help.Caption()), std::make_tuple("Courier New", "Help for Veltrix"));
  // Reloading, even over text the window still holds, gives the same text once.
  help.Unload();
  help.Load();
  EXPECT_EQ(help.Text1.Text(), text);
  help.Text1.SetText("left over\r\n");
  help.Form_Load();
  EXPECT_EQ(help.Text1.Text(), text);
  help.Move(1500, 1500, 10305, 8100);
  help.Form_Activate();
  EXPECT_EQ(calls, (std::vector<Call>{{help.hWnd(), runtime::HWND_TOPMOST, 100, 100, 687, 540, 0}}));
  help.cmdClose.Click();
  EXPECT_FALSE(help.Loaded());
}

}  // namespace
}  // namespace infowindows
