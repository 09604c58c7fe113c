// Batch runs with /PRINT on the private CUPS server of the tests: one page
// after the save, and status 6 whenever no page reached a printer.
#include <sys/socket.h>
#include <sys/un.h>

#include <thread>

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
  EXPECT_NE(r.err.find("the print service at " + out / "no-such-socket" + " is not running"), std::string::npos)
      << r.err;

  Shell("cupsaccept " + Quote(printer));
  EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + out / "missing/a.bmp", "/PRINT"}), kSaveFailed);
  EXPECT_TRUE(printcheck::Idle());
  EXPECT_EQ(printcheck::CompletedJobs(), before);
}

// A print service that takes the connection and never answers holds the
// run a few seconds, not minutes, and the reason says so.
TEST_F(BatchPrint, APrintServiceThatDoesNotAnswerIsGivenUpOn) {
  const std::string path = out / "silent.sock";
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 16), 0);
  std::vector<int> held;
  std::thread acceptor([&] {  // takes every connection and says nothing
    for (int c; (c = ::accept(listener, nullptr, nullptr)) >= 0;) held.push_back(c);
  });
  const RunResult r = RunErr({"/SCREEN", "/SAVE=silent.jpg", "/PRINT"}, "CUPS_SERVER=" + Quote(path));
  ::shutdown(listener, SHUT_RDWR);
  acceptor.join();
  ::close(listener);
  for (int c : held) ::close(c);
  EXPECT_EQ(r.status, kNotPrinted);
  ExpectScreenJpeg(out / "silent.jpg");
  EXPECT_NE(r.err.find("the print service at " + path + " does not answer"), std::string::npos) << r.err;
  EXPECT_EQ(Lines(r.err), 1u) << r.err;
}

}  // namespace
}  // namespace e2e
