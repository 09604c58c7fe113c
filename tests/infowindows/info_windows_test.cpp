#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "infowindows/artwork.h"
#include "infowindows/frm_about.h"
#include "infowindows/frm_help.h"
#include "infowindows/frm_splash.h"
#include "infowindows/pixel_art.h"
#include "runtime/gdi.h"

namespace infowindows {
namespace {

using Call = std::tuple<runtime::HWND, runtime::HWND, int, int, int, int, std::uint32_t>;

SetWindowPosFn Recorder(std::vector<Call>& calls) {
  return [&calls](runtime::HWND h, runtime::HWND after, int x, int y, int cx, int cy, std::uint32_t flags) {
    calls.emplace_back(h, after, x, y, cx, cy, flags);
    return true;
  };
}

bool AllVga(const runtime::Picture& picture) {
  const runtime::Bitmap* bmp = runtime::BitmapOf(picture.Handle());
  if (!bmp) return false;
  for (int y = 0; y < bmp->height; ++y)
    for (int x = 0; x < bmp->width; ++x) {
      const std::uint8_t* p = bmp->Row(y) + 4 * x;
      if (!vga::IsVga((p[2] << 16) | (p[1] << 8) | p[0])) return false;
    }
  return true;
}

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  if (start != text.size()) lines.push_back("<unterminated>" + text.substr(start));
  return lines;
}

TEST(Artwork, SizesAndPalette) {
  const runtime::Picture banner = SplashBanner();
  EXPECT_EQ(banner.PixelWidth(), 586);
  EXPECT_EQ(banner.PixelHeight(), 314);
  EXPECT_TRUE(AllVga(banner));
  for (const runtime::Picture& icon : {ProductIcon(), HelpIcon()}) {
    EXPECT_EQ(icon.PixelWidth(), 32);
    EXPECT_EQ(icon.PixelHeight(), 32);
    EXPECT_TRUE(AllVga(icon));
  }
}

TEST(Artwork, CharacterArtRejectsRaggedRowsAndUnknownColours) {
  EXPECT_THROW(PictureFromArt({"kk", "k"}), std::invalid_argument);
  EXPECT_THROW(PictureFromArt({"kz"}), std::invalid_argument);
  const runtime::Picture p = PictureFromArt({"kw", "r."});
  const runtime::Bitmap* bmp = runtime::BitmapOf(p.Handle());
  ASSERT_NE(bmp, nullptr);
  // Device bitmaps hold blue, green, red.
  const std::uint8_t* red = bmp->Row(1);
  EXPECT_EQ(red[0], 0);
  EXPECT_EQ(red[2], 0xFF);
  EXPECT_EQ(bmp->Row(1)[4], 0xC0);
}

TEST(Splash, DesignPlacementAndTimer) {
  frmSplash& splash = frmSplashForm();
  EXPECT_EQ(&splash, &frmSplashForm());
  std::vector<Call> calls;
  splash.SetWindowPos = Recorder(calls);
  splash.Move(1500, 1545, 8880, 4785);
  splash.Load();
  EXPECT_EQ(splash.ClientWidth(), 8790);
  EXPECT_EQ(splash.ClientHeight(), 4695);
  EXPECT_EQ(splash.BackPicture.PixelWidth(), 586);
  EXPECT_EQ(splash.lblTitle.GetFont().Size, 24);
  EXPECT_TRUE(splash.lblTitle.GetFont().Bold);
  EXPECT_EQ(splash.Label1.GetFont().Size, 9.75);
  EXPECT_EQ(splash.lblVersion.Caption(), "Version  1.0.2");
  EXPECT_EQ(splash.Label2.Caption(), std::string(23, ' ') + "A Tessakit product");
  EXPECT_EQ(splash.Label2.Left(), 4800);
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

TEST(About, DesignTextAndTopmost) {
  frmAbout& about = frmAboutForm();
  EXPECT_EQ(&about, &frmAboutForm());
  std::vector<Call> calls;
  about.SetWindowPos = Recorder(calls);
  about.Move(3000, 1507.5, 5085, 3900);
  about.Load();
  EXPECT_EQ(about.Caption(), "About...");
  EXPECT_EQ(about.ClientWidth(), 4995);
  EXPECT_EQ(about.lblTitle.GetFont().Size, 12);
  EXPECT_EQ(about.Label2.Caption(), frmAbout::kAboutText);
  EXPECT_FALSE(about.Label2.Caption().empty());
  EXPECT_EQ(about.cmdOK.Caption(), "OK");
  EXPECT_EQ(about.Image1.GetPicture().PixelWidth(), 32);
  EXPECT_EQ(about.Image1.Width(), 540);
  EXPECT_EQ(about.Image1.Left(), 120);

  // Each separator: a white line of width 2 under a grey one, same height.
  for (int i = 0; i < 2; ++i) {
    const runtime::Line& white = about.Line1[2 * i];
    const runtime::Line& grey = about.Line1[2 * i + 1];
    const double y = i == 0 ? 1680 : 2760;
    for (const runtime::Line* line : {&white, &grey}) {
      EXPECT_EQ(line->X1, 120);
      EXPECT_EQ(line->X2, 4800);
      EXPECT_EQ(line->Y1, y);
      EXPECT_EQ(line->Y2, y);
    }
    EXPECT_EQ(white.BorderColor, runtime::vbWhite);
    EXPECT_EQ(white.BorderWidth, 2);
    EXPECT_EQ(grey.BorderColor, 0x808080u);
  }

  about.Form_Activate();
  about.Form_Activate();
  // 1507.5 / 15 = 100.5 rounds to the even 100.
  EXPECT_EQ(calls, (std::vector<Call>{{about.hWnd(), runtime::HWND_TOPMOST, 200, 100, 339, 260, 0}}));
  about.cmdOK.Click();
  EXPECT_FALSE(about.Loaded());
}

TEST(Help, TextIsTheThirtyTwoLinesEachEndedByCrLf) {
  frmHelp& help = frmHelpForm();
  std::vector<Call> calls;
  help.SetWindowPos = Recorder(calls);
  help.Load();
  const std::vector<std::string> lines = SplitCrLf(help.Text1.Text());
  ASSERT_EQ(lines.size(), 32u);
  EXPECT_EQ(lines[0], "Tessakit: Glimmet for Veltrix 1.0.2");
  EXPECT_EQ(lines[6], "Batch mode parameters: ");
  EXPECT_EQ(lines[17], "Glimmet = 'C:\\Tessakit\\Glimmet\\Glimmet.exe'");
  EXPECT_EQ(lines[21], "Exec(Glimmet + ' /WINDOWTEXT=' + GrabWindowText + ' /SAVE=' + GrabBitmapSave + ' /PRINT')");
  // The parameter descriptions share one column of the fixed-pitch font.
  for (int i = 8; i <= 12; ++i) {
    EXPECT_EQ(lines[i].find(" to "), 23u) << lines[i];
    EXPECT_EQ(lines[i][0], '[');
  }
  const std::vector<int> empty = {1, 4, 5, 7, 13, 14, 16, 20, 22, 24, 27, 29, 31};
  for (int i : empty) EXPECT_EQ(lines[i], "") << "line " << i + 1;
  EXPECT_TRUE(help.Text1.Text().ends_with("/PRINT')\r\n\r\n"));
  EXPECT_TRUE(help.Text1.MultiLine);
  EXPECT_EQ(help.Text1.GetFont().Name, "Courier New");
  EXPECT_EQ(help.Text1.GetFont().Size, 8.25);
  EXPECT_EQ(help.Icon.PixelWidth(), 32);
  EXPECT_EQ(help.Caption(), "Help for Veltrix");
  help.cmdClose.Click();
  EXPECT_FALSE(help.Loaded());
}

TEST(Help, EveryLoadRebuildsTheTextOnce) {
  frmHelp& help = frmHelpForm();
  std::vector<Call> calls;
  help.SetWindowPos = Recorder(calls);
  help.Load();
  const std::string first = help.Text1.Text();
  help.Unload();
  help.Load();
  EXPECT_EQ(help.Text1.Text(), first);
  // Even over text the window still holds.
  help.Text1.SetText("left over\r\n");
  help.Form_Load();
  EXPECT_EQ(help.Text1.Text(), first);
  help.Move(1500, 1500, 10305, 8100);
  help.Form_Activate();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back(), (Call{help.hWnd(), runtime::HWND_TOPMOST, 100, 100, 687, 540, 0}));
  help.Unload();
}

}  // namespace
}  // namespace infowindows
