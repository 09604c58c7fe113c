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
  // Runs glimmet with extra environment; its status, and stderr in err.
  int RunWith(const std::string& env, const std::vector<std::string>& args) {
    std::string command = "cd " + Quote(out.path) + " && env XDG_CONFIG_HOME=" + Quote(config.path) + " " + env +
                          " timeout -s KILL 120 " + Quote(GLIMMET_BINARY);
    for (const std::string& arg : args) (command += ' ') += Quote(arg);
    int status = -1;
    Shell(command + " </dev/null >/dev/null 2>" + Quote(config / "stderr"), &status);
    // The toolkit's own notes (QStandardPaths) are not the program's.
    err = Shell("grep -v '^QStandardPaths' " + Quote(config / "stderr"));
    return status;
  }
  std::string printer, err;
};

TEST_F(BatchPrint, SavesThenPrintsOnePageOfTheScreenWithoutShowingAWindow) {
  const Rect screen = Screen();
  const int before = printcheck::CompletedJobs();
  const std::string windowsBefore = Shell("xdotool search --onlyvisible --name . 2>/dev/null | sort");
  ASSERT_EQ(Run({"/SCREEN", "/SAVE=shot.bmp", "/PRINT"}), 0);
  EXPECT_TRUE(std::filesystem::exists(out / "shot.bmp"));
  const std::optional<printcheck::Page> page = printcheck::LastPage();
  ASSERT_TRUE(page);
  EXPECT_EQ(printcheck::CompletedJobs(), before + 1);
  EXPECT_EQ(page->width > page->height, screen.width > screen.height);
  EXPECT_NEAR(static_cast<double>(page->inkW) / page->inkH, static_cast<double>(screen.width) / screen.height, 0.02);
  EXPECT_NEAR(page->x, 28, 1);
  EXPECT_NEAR(page->y, 28, 1);
  EXPECT_EQ(Shell("xdotool search --onlyvisible --name . 2>/dev/null | sort"), windowsBefore);

  // Without /SAVE= it prints and writes nothing.
  ASSERT_EQ(Run({"/SCREEN", "/PRINT"}), 0);
  EXPECT_TRUE(printcheck::Idle());
  EXPECT_EQ(printcheck::CompletedJobs(), before + 2);
  EXPECT_EQ(out.Names(), std::vector<std::string>{"shot.bmp"});
}

TEST_F(BatchPrint, NoPageMeansStatus6AfterTheFileWasSaved) {
  const int before = printcheck::CompletedJobs();
  Shell("cupsreject " + Quote(printer));
  EXPECT_EQ(RunWith("", {"/SCREEN", "/SAVE=refused.jpg", "/PRINT"}), 6);
  jpegcheck::ExpectJpeg(out / "refused.jpg", Screen().width, Screen().height);
  EXPECT_NE(err.find("not accepting jobs"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

  // No printing service at all: no default printer.
  EXPECT_EQ(RunWith("CUPS_SERVER=" + Quote(out / "no-such-socket"), {"/SCREEN", "/SAVE=none.bmp", "/PRINT"}), 6);
  EXPECT_TRUE(std::filesystem::exists(out / "none.bmp"));
  EXPECT_NE(err.find("no default printer"), std::string::npos) << err;

  // A save that fails keeps its own status, and nothing is printed.
  Shell("cupsaccept " + Quote(printer));
  EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + out / "missing/a.bmp", "/PRINT"}), 4);
  EXPECT_TRUE(printcheck::Idle());
  EXPECT_EQ(printcheck::CompletedJobs(), before);
}

}  // namespace
}  // namespace e2e
