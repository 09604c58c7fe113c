// Batch runs with /PRINT on the private CUPS server of the tests: one page
// after the save, and status 6 whenever no page reached a printer.
#include "e2e/e2e_support.h"
#include "output/x11/printed_page.h"

namespace e2e {
namespace {

class BatchPrint : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (IsSkipped()) return;
    if (!printcheck::Available()) GTEST_SKIP() << "needs the private CUPS server (scripts/test starts it)";
    printer = std::getenv("CUPS_SESSION_PRINTER");
  }
  void TearDown() override {
    if (!printer.empty()) Shell("cupsaccept " + Quote(printer) + " 2>/dev/null");
  }
  std::string printer;
};

TEST_F(BatchPrint, SavesThenPrintsOnePageOfTheScreenWithoutShowingAWindow) {
  // The page's geometry is that of any print, checked with the Print command.
  const Rect screen = Screen();
  const int before = printcheck::CompletedJobs();
  const std::string windowsBefore = Shell("xdotool search --onlyvisible --name . 2>/dev/null | sort");
  ASSERT_EQ(Run({"/SCREEN", "/SAVE=shot.bmp", "/PRINT"}), kOk);
  EXPECT_EQ(PictureSize(out / "shot.bmp"), Size(screen));
  const std::optional<printcheck::Page> page = printcheck::LastPage();
  ASSERT_TRUE(page);
  EXPECT_EQ(printcheck::CompletedJobs(), before + 1);
  EXPECT_NEAR(static_cast<double>(page->inkW) / page->inkH, static_cast<double>(screen.width) / screen.height, 0.02);
  EXPECT_EQ(Shell("xdotool search --onlyvisible --name . 2>/dev/null | sort"), windowsBefore);

  // Without /SAVE= it prints and writes nothing; letters glued to the flag
  // keep its reading.
  ASSERT_EQ(Run({"/SCREEN", "/PRINTER"}), kOk);
  EXPECT_TRUE(printcheck::Idle());
  EXPECT_EQ(printcheck::CompletedJobs(), before + 2);
  EXPECT_EQ(out.Names(), Files{"shot.bmp"});
}

// A refused job, or no printing service at all: the file is saved, one line
// says why, status 6. A save that fails keeps its own status, unprinted.
TEST_F(BatchPrint, NoPageMeansStatus6AfterTheFileWasSaved) {
  const int before = printcheck::CompletedJobs();
  Shell("cupsreject " + Quote(printer));
  RunResult r = RunErr({"/SCREEN", "/SAVE=refused.jpg", "/PRINT"});
  EXPECT_EQ(r.status, kNotPrinted);
  ExpectScreenJpeg(out / "refused.jpg");
  EXPECT_NE(r.err.find("not accepting jobs"), std::string::npos) << r.err;
  EXPECT_EQ(Lines(r.err), 1u) << r.err;

  r = RunErr({"/SCREEN", "/SAVE=none.bmp", "/PRINT"}, "CUPS_SERVER=" + Quote(out / "no-such-socket"));
  EXPECT_EQ(r.status, kNotPrinted);
  EXPECT_EQ(PictureSize(out / "none.bmp"), Size(Screen()));
  EXPECT_NE(r.err.find("no default printer"), std::string::npos) << r.err;

  Shell("cupsaccept " + Quote(printer));
  EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + out / "missing/a.bmp", "/PRINT"}), kSaveFailed);
  EXPECT_TRUE(printcheck::Idle());
  EXPECT_EQ(printcheck::CompletedJobs(), before);
}

}  // namespace
}  // namespace e2e
