// How a batch run writes its picture file, seen from a shared machine: what
// is at the target decides how it is written, nothing partial is left, and
// another user who can write the folder cannot turn the write against the
// user who runs it (the tests run as root in CI; the other user is nobody).
#include <poll.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <climits>
#include <cstring>
#include <thread>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

constexpr uid_t kNobody = 65534;

struct stat Lstat(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st;
}

constexpr int kTooLate = 4;

// Another user who can write dir: as soon as a file shows up there, it is
// moved away and a link to victim takes its name. The process ends with
// status 0 when that file was private (0600) when it showed up, kTooLate
// when it was gone before it could be moved.
pid_t SwapForLink(const std::string& dir, const std::string& victim) {
  const int watch = inotify_init1(IN_CLOEXEC);
  inotify_add_watch(watch, dir.c_str(), IN_CREATE);
  if (const pid_t pid = ::fork(); pid != 0) {
    ::close(watch);
    return pid;
  }
  if (geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) _exit(3);
  pollfd event{watch, POLLIN, 0};
  alignas(inotify_event) char buffer[4096];
  if (::poll(&event, 1, 60000) != 1 || ::read(watch, buffer, sizeof buffer) <= 0) _exit(2);
  const std::string name = dir + "/" + reinterpret_cast<inotify_event*>(buffer)->name;
  struct stat st {};
  if (::lstat(name.c_str(), &st) != 0 || ::rename(name.c_str(), (dir + "/moved-away").c_str()) != 0) _exit(kTooLate);
  _exit(::symlink(victim.c_str(), name.c_str()) == 0 && (st.st_mode & 07777) == 0600 ? 0 : 1);
}

using SafeWrite = E2eTest;

// The temporary file is private from the start and used only through its
// descriptor: swapping it for a link to root's private file gives the other
// user neither that file nor the capture.
TEST_F(SafeWrite, SwappingTheTemporaryFileForALinkGainsNothing) {
  TempDir vault;
  const std::string victim = vault / "secret", shared = out / "shared", target = shared + "/shot.jpg";
  WriteFile(victim, "root's secret\n");
  ::chmod(victim.c_str(), 0600);
  std::filesystem::create_directory(shared);
  ::chmod(out.path.c_str(), 0711);
  ::chmod(shared.c_str(), 0777);
  // The swap has a few milliseconds between the temporary file's creation
  // and its rename; a swapper that came too late tries again with a new run.
  int status = -1, swapped = -1;
  for (int run = 0; run < 10 && !(WIFEXITED(swapped) && WEXITSTATUS(swapped) != kTooLate); ++run) {
    WriteFile(target, "the other user's old file");
    ::chmod(target.c_str(), 0600);
    if (geteuid() == 0) (void)!::chown(target.c_str(), kNobody, kNobody);
    const pid_t swapper = SwapForLink(shared, victim);
    status = Run({"/SCREEN", "/SAVE=" + target});
    ::waitpid(swapper, &swapped, 0);
  }
  EXPECT_TRUE(WIFEXITED(swapped) && WEXITSTATUS(swapped) == 0)
      << (WEXITSTATUS(swapped) == kTooLate ? "no run left time for the swap" : "the temporary file was not private");
  EXPECT_TRUE(ReadFile(victim) == "root's secret\n") << "the capture went into the victim";
  EXPECT_EQ(Lstat(victim).st_mode & 07777, 0600u);
  EXPECT_EQ(Lstat(victim).st_uid, geteuid());
  if (status == kOk) ExpectScreenJpeg(target);
  else EXPECT_TRUE(status == kSaveFailed && ReadFile(target) == "the other user's old file") << status;
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
  ExpectScreenJpeg(out / "from-fifo");

  // /dev/fd/1 is what /dev/stdout names; unlike it, a writer that wrongly
  // replaced the link could not harm the machine's /dev through it.
  Shell("cd " + Quote(out.path) + " && { XDG_CONFIG_HOME=" + Quote(config.path) + " " + Quote(GLIMMET_BINARY) +
        " /SCREEN /SAVE=/dev/fd/1 </dev/null; echo $? >status; } | cat > piped.bmp");
  EXPECT_EQ(ReadFile(out / "status"), "0\n");
  EXPECT_EQ(PictureSize(out / "piped.bmp"), Size(Screen()));

  if (geteuid() == 0) {  // a private null device, never the real one
    const std::string null = out / "null.jpg";
    ASSERT_EQ(::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + null}), kOk);
    EXPECT_TRUE(S_ISCHR(Lstat(null).st_mode));
  }
  EXPECT_EQ(out.Names().size(), geteuid() == 0 ? 5u : 4u);  // nothing left behind
}

// Links are resolved once; folders, links to folders, links to nothing,
// missing folders and paths too long for the system are refused with one
// line and nothing left behind; names up to the folder's limit work.
TEST_F(SafeWrite, TheTargetDecidesAndNothingIsLeftBehind) {
  WriteFile(out / "real.bmp", "old");
  std::filesystem::create_symlink("real.bmp", out / "link.bmp");
  EXPECT_EQ(Run({"/SCREEN", "/SAVE=link.bmp"}), kOk);
  EXPECT_TRUE(S_ISLNK(Lstat(out / "link.bmp").st_mode));
  EXPECT_EQ(PictureSize(out / "real.bmp"), Size(Screen()));

  std::filesystem::create_directory(out / "folder");
  std::filesystem::create_directory_symlink("folder", out / "to-folder.jpg");
  std::filesystem::create_symlink("nothing-here.jpg", out / "dangling.jpg");
  std::string tooLong = out.path;
  while (tooLong.size() <= PATH_MAX) tooLong += "/deeper";
  for (const std::string bad : {"folder", "to-folder.jpg", "dangling.jpg", "missing/a.bmp", tooLong.c_str()}) {
    const RunResult r = RunErr({"/SCREEN", "/SAVE=" + bad});
    EXPECT_EQ(r.status, kSaveFailed) << bad.substr(0, 80);
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
  }
  EXPECT_TRUE(std::filesystem::is_empty(out / "folder"));

  for (const std::size_t length : {241, 255}) {
    const std::string name = std::string(length - 4, 'n') + ".jpg";
    EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + name}), kOk) << length;
    ExpectScreenJpeg(out / name);
    std::filesystem::remove(out / name);
  }
  EXPECT_EQ(out.Names(), (Files{"dangling.jpg", "folder", "link.bmp", "real.bmp", "to-folder.jpg"}));
}

// A replaced file keeps its mode, owner and group whatever the format; a new
// one gets what the umask allows.
TEST_F(SafeWrite, ModeAndOwnerCarryOverAndNewFilesFollowTheUmask) {
  for (const std::string name : {"private.bmp", "private.jpg"}) {
    WriteFile(out / name, "old");
    ::chmod((out / name).c_str(), 0600);
    const uid_t owner = geteuid() == 0 ? kNobody : geteuid();
    (void)!::chown((out / name).c_str(), owner, owner == kNobody ? kNobody : getegid());
    EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + name}), kOk);
    EXPECT_EQ(Lstat(out / name).st_mode & 07777, 0600u) << name;
    EXPECT_EQ(Lstat(out / name).st_uid, owner) << name;
    EXPECT_NE(ReadFile(out / name), "old");
  }
  Run({"/SCREEN", "/SAVE=new.jpg"}, "sh -c 'umask 027 && exec \"$0\" \"$@\"'");
  EXPECT_EQ(Lstat(out / "new.jpg").st_mode & 07777, 0640u);
}

// Writes that fail half-way, in either format: past the file-size limit
// (which binds root too), on a full small file system (mounting one needs
// root), in a folder the user cannot write (which does not bind root). The
// old file survives byte for byte and no temporary file is left.
TEST_F(SafeWrite, FailedWritesKeepTheOldFile) {
  const std::string old = "an old capture", dir = out / "small";
  std::filesystem::create_directory(dir);
  auto expectFailure = [&](const std::string& prefix = "") {
    for (const std::string name : {"/shot.bmp", "/shot.jpg"}) {
      WriteFile(dir + name, old);
      EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + dir + name}, prefix), kSaveFailed) << prefix << name;
      EXPECT_EQ(ReadFile(dir + name), old);
    }
    EXPECT_EQ(ListDir(dir).size(), 3u);
  };
  WriteFile(dir + "/filler", "");
  expectFailure("prlimit --fsize=16384");
  if (geteuid() == 0) {
    ASSERT_EQ(::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=256k"), 0) << std::strerror(errno);
    WriteFile(dir + "/filler", std::string(248 * 1024, 'f'));  // the old files take the last pages
    expectFailure();
    ::umount2(dir.c_str(), MNT_DETACH);
  } else {
    std::filesystem::permissions(dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    expectFailure();
  }
}

}  // namespace
}  // namespace e2e
