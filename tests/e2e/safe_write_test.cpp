// How a batch run writes its picture file, seen from a shared machine: what
// is at the target decides how it is written, nothing partial is left, and
// another user who can write the folder cannot turn the write against the
// user who runs it (the tests run as root in CI; the other user is nobody).
#include <poll.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/sysmacros.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <thread>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

constexpr int kOk = 0;
constexpr int kSaveFailed = 4;
constexpr uid_t kNobody = 65534;
using Files = std::vector<std::string>;

struct stat Lstat(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st;
}

// A whole 24-bit BMP of the screen's size, read from the bytes.
void ExpectScreenBmp(const std::string& bytes) {
  ASSERT_GT(bytes.size(), 54u);
  const Rect screen = Screen();
  auto u32 = [&](int at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return v;
  };
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(u32(2), bytes.size());
  EXPECT_EQ(static_cast<int>(u32(18)), screen.width);
  EXPECT_EQ(static_cast<int>(u32(22)), screen.height);
}

// Another user who can write the target's folder: as soon as a file shows
// up in it, it is moved away and a link to victim takes its name. Reports
// the mode the file had when it showed up.
class LinkSwapper {
 public:
  LinkSwapper(const std::string& dir, const std::string& victim) {
    int ready[2], report[2];
    if (::pipe(ready) != 0 || ::pipe(report) != 0) return;
    if ((pid_ = ::fork()) == 0) {
      if (geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) _exit(1);
      const int watch = inotify_init1(IN_CLOEXEC);
      inotify_add_watch(watch, dir.c_str(), IN_CREATE);
      (void)!::write(ready[1], "r", 1);
      pollfd wait{watch, POLLIN, 0};
      alignas(inotify_event) char buffer[4096];
      int mode = -1;
      if (::poll(&wait, 1, 60000) == 1 && ::read(watch, buffer, sizeof buffer) > 0) {
        const std::string name = dir + "/" + reinterpret_cast<inotify_event*>(buffer)->name;
        mode = static_cast<int>(Lstat(name).st_mode & 07777);
        ::rename(name.c_str(), (dir + "/moved-away").c_str());
        (void)!::symlink(victim.c_str(), name.c_str());
      }
      (void)!::write(report[1], &mode, sizeof mode);
      _exit(0);
    }
    ::close(ready[1]);
    ::close(report[1]);
    char c;
    (void)!::read(ready[0], &c, 1);
    ::close(ready[0]);
    report_ = report[0];
  }
  // The mode of the file that showed up, -1 when none did.
  int Wait() {
    int mode = -1;
    if (::read(report_, &mode, sizeof mode) != sizeof mode) mode = -1;
    ::close(report_);
    ::waitpid(pid_, nullptr, 0);
    return mode;
  }

 private:
  pid_t pid_ = -1;
  int report_ = -1;
};

class SafeWrite : public E2eTest {
 protected:
  RunResult RunWith(const std::vector<std::string>& args) { return RunGlimmetWith(args, out.path, config.path); }
};

// The temporary file is private from the start and only ever used through
// its descriptor: swapping it for a link to a private file of root's gives
// the other user neither that file nor the capture.
TEST_F(SafeWrite, SwappingTheTemporaryFileForALinkGainsNothing) {
  TempDir vault;
  const std::string victim = vault / "secret";
  WriteFile(victim, "root's secret\n");
  ::chmod(victim.c_str(), 0600);
  const std::string shared = out / "shared";
  std::filesystem::create_directory(shared);
  ::chmod(out.path.c_str(), 0711);
  ::chmod(shared.c_str(), 0777);
  const std::string target = shared + "/shot.jpg";
  WriteFile(target, "the other user's old file");
  if (geteuid() == 0) (void)!::chown(target.c_str(), kNobody, kNobody);
  ::chmod(target.c_str(), 0600);

  LinkSwapper swapper(shared, victim);
  const int status = Run({"/SCREEN", "/SAVE=" + target});
  EXPECT_EQ(swapper.Wait(), 0600) << "the temporary file was readable by others";

  EXPECT_TRUE(ReadFile(victim) == "root's secret\n") << "the capture went into the victim";
  const struct stat st = Lstat(victim);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(st.st_uid, geteuid());
  if (status == kOk) {
    EXPECT_TRUE(S_ISREG(Lstat(target).st_mode));
    jpegcheck::ExpectJpeg(target, Screen().width, Screen().height);
  } else {
    EXPECT_EQ(status, kSaveFailed);
    EXPECT_EQ(ReadFile(target), "the other user's old file");
  }
}

// A device or a FIFO is written into and stays what it was; a pipe on
// standard output carries the capture.
TEST_F(SafeWrite, DevicesAndFifosAreWrittenIntoNeverReplaced) {
  const std::string fifo = out / "pipe.jpg";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::thread reader([&] { Shell("timeout 60 cat " + Quote(fifo) + " > " + Quote(out / "from-fifo")); });
  EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + fifo}), kOk);
  reader.join();
  EXPECT_TRUE(S_ISFIFO(Lstat(fifo).st_mode));
  jpegcheck::ExpectJpeg(out / "from-fifo", Screen().width, Screen().height);

  // /dev/fd/1 is what /dev/stdout names; unlike it, a writer that wrongly
  // replaced the link could not harm the machine's /dev through it.
  Shell("cd " + Quote(out.path) + " && { XDG_CONFIG_HOME=" + Quote(config.path) + " " + Quote(GLIMMET_BINARY) +
        " /SCREEN /SAVE=/dev/fd/1 </dev/null; echo $? >status; } | cat > piped.bmp");
  EXPECT_EQ(ReadFile(out / "status"), "0\n");
  std::filesystem::remove(out / "status");
  ExpectScreenBmp(ReadFile(out / "piped.bmp"));

  if (geteuid() == 0) {  // a private null device, never the real one
    const std::string null = out / "null.jpg";
    ASSERT_EQ(::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + null}), kOk);
    EXPECT_TRUE(S_ISCHR(Lstat(null).st_mode));
    EXPECT_EQ(Lstat(null).st_rdev, makedev(1, 3));
  }
  for (const std::string& name : out.Names()) EXPECT_FALSE(name.starts_with(".")) << "left behind: " << name;
}

// Links are resolved once; folders, links to folders, links to nothing and
// paths too long for the system are refused with nothing left behind;
// names up to the folder's limit work.
TEST_F(SafeWrite, TheTargetDecidesAndNothingIsLeftBehind) {
  WriteFile(out / "real.bmp", "old");
  std::filesystem::create_symlink("real.bmp", out / "link.bmp");
  EXPECT_EQ(Run({"/SCREEN", "/SAVE=link.bmp"}), kOk);
  EXPECT_TRUE(S_ISLNK(Lstat(out / "link.bmp").st_mode));
  ExpectScreenBmp(ReadFile(out / "real.bmp"));

  std::filesystem::create_directory(out / "folder");
  std::filesystem::create_directory_symlink("folder", out / "to-folder.jpg");
  std::filesystem::create_symlink("nothing-here.jpg", out / "dangling.jpg");
  std::string tooLong = out.path;
  while (tooLong.size() <= PATH_MAX) tooLong += "/deeper";
  for (const std::string& bad : {std::string("folder"), std::string("to-folder.jpg"), std::string("dangling.jpg"),
                                 tooLong + "/x.jpg"}) {
    SCOPED_TRACE(bad.substr(0, 80));
    const RunResult r = RunWith({"/SCREEN", "/SAVE=" + bad});
    EXPECT_EQ(r.status, kSaveFailed);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_TRUE(std::filesystem::is_empty(out / "folder"));
  EXPECT_TRUE(S_ISLNK(Lstat(out / "dangling.jpg").st_mode));

  for (const std::size_t length : {241, 250, 255}) {
    const std::string name = std::string(length - 4, 'n') + ".jpg";
    EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + name}), kOk) << length;
    jpegcheck::ExpectJpeg(out / name, Screen().width, Screen().height);
    std::filesystem::remove(out / name);
  }
  EXPECT_EQ(out.Names(), (Files{"dangling.jpg", "folder", "link.bmp", "real.bmp", "to-folder.jpg"}));
}

// A replaced file keeps its mode, owner and group whatever the format; a new
// one gets what the umask allows.
TEST_F(SafeWrite, ModeAndOwnerCarryOverAndNewFilesFollowTheUmask) {
  for (const std::string name : {"private.bmp", "private.JPG", "private.jpg"}) {
    WriteFile(out / name, "old");
    ::chmod((out / name).c_str(), 0600);
    if (geteuid() == 0) (void)!::chown((out / name).c_str(), kNobody, kNobody);
    EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + name}), kOk);
    const struct stat st = Lstat(out / name);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << name;
    if (geteuid() == 0) {
      EXPECT_EQ(st.st_uid, kNobody) << name;
      EXPECT_EQ(st.st_gid, kNobody) << name;
    }
    EXPECT_NE(ReadFile(out / name), "old");
  }
  int status = -1;
  Shell("cd " + Quote(out.path) + " && umask 027 && XDG_CONFIG_HOME=" + Quote(config.path) + " " +
            Quote(GLIMMET_BINARY) + " /SCREEN /SAVE=new.jpg </dev/null",
        &status);
  EXPECT_EQ(status, kOk);
  EXPECT_EQ(Lstat(out / "new.jpg").st_mode & 07777, 0640u);
}

// A file system that fills up half-way: the old file survives byte for byte.
TEST_F(SafeWrite, FullFileSystemKeepsTheOldFile) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
  const std::string small = out / "small";
  std::filesystem::create_directory(small);
  ASSERT_EQ(::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=256k"), 0) << std::strerror(errno);
  WriteFile(small + "/shot.jpg", "an old capture");
  WriteFile(small + "/filler", std::string(252 * 1024, 'f'));  // not a page left
  EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + small + "/shot.bmp"}), kSaveFailed);
  EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + small + "/shot.jpg"}), kSaveFailed);
  EXPECT_EQ(ReadFile(small + "/shot.jpg"), "an old capture");
  EXPECT_EQ(ListDir(small), (Files{"filler", "shot.jpg"}));
  ::umount2(small.c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace e2e
