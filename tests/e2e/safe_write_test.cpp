// How a batch run writes its picture file, seen from a shared machine: what
// is at the target decides how it is written, nothing partial is left, and
// another user who can write the folder cannot turn the write against the
// user who runs it (the tests run as root in CI; the other user is nobody).
#include <poll.h>
#include <signal.h>
#include <spawn.h>
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


// Runs a shell command as nobody (the tests run as root).
std::string AsNobody(const std::string& command) {
  return Shell("setpriv --reuid=nobody --regid=nogroup --clear-groups sh -c " + Quote(command) + " 2>&1");
}

// Links, FIFOs and devices that another user put in a folder shared with
// them are neither followed nor written into, wherever they lead and at any
// step of a chain of links; the reason names their owner. Those of root, of
// the user and of the folder's owner still work.
TEST_F(SafeWrite, WhatAnotherUserPlantedIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to act as another user";
  TempDir vault;
  const std::string victim = vault / "secret", shared = out / "shared";
  WriteFile(victim, "root's secret\n");
  ::chmod(victim.c_str(), 0600);
  ::chmod(out.path.c_str(), 0711);
  std::filesystem::create_directory(shared);
  ::chmod(shared.c_str(), 01777);  // like /tmp
  const auto expectRefused = [&](const std::string& name, const std::string& what) {
    const RunResult r = RunErr({"/SCREEN", "/SAVE=" + shared + "/" + name});
    EXPECT_EQ(r.status, kSaveFailed) << name;
    EXPECT_NE(r.err.find("the " + what), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("belongs to nobody"), std::string::npos) << r.err;
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
    EXPECT_TRUE(ReadFile(victim) == "root's secret\n") << name << ": the victim was written";
  };

  AsNobody("ln -s " + Quote(victim) + " " + Quote(shared + "/shot.bmp"));
  expectRefused("shot.bmp", "link " + shared + "/shot.bmp");
  // Root's own link leading to nobody's: the second link is refused.
  AsNobody("ln -s " + Quote(victim) + " " + Quote(shared + "/next.jpg"));
  std::filesystem::create_symlink("next.jpg", shared + "/chain.jpg");
  expectRefused("chain.jpg", "link " + shared + "/next.jpg");
  // A link standing for a folder on the way.
  AsNobody("ln -s " + Quote(vault.path) + " " + Quote(shared + "/vault"));
  expectRefused("vault/secret", "link " + shared + "/vault");

  // A FIFO with a reader waiting, and a device: both nobody's.
  const std::string fifo = shared + "/pipe.jpg";
  AsNobody("mkfifo " + Quote(fifo));
  Shell("setpriv --reuid=nobody --regid=nogroup --clear-groups timeout 60 sh -c " +
        Quote("cat " + Quote(fifo) + " > /dev/null") + " >/dev/null 2>&1 &");
  expectRefused("pipe.jpg", "FIFO " + fifo);
  const int release = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);  // lets the reader end
  if (release >= 0) ::close(release);
  ASSERT_EQ(::mknod((shared + "/null.bmp").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  ASSERT_EQ(::chown((shared + "/null.bmp").c_str(), kNobody, kNobody), 0);
  expectRefused("null.bmp", "device " + shared + "/null.bmp");

  // Root's link, and nobody's link in nobody's own folder, are followed.
  WriteFile(shared + "/real.bmp", "old");
  std::filesystem::create_symlink("real.bmp", shared + "/roots.bmp");
  EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + shared + "/roots.bmp"}), kOk);
  EXPECT_EQ(PictureSize(shared + "/real.bmp"), Size(Screen()));
  AsNobody("mkdir " + Quote(shared + "/own") + " && cd " + Quote(shared + "/own") + " && echo old >mine.jpg && ln -s mine.jpg link.jpg");
  EXPECT_EQ(Run({"/SCREEN", "/SAVE=" + shared + "/own/link.jpg"}), kOk);
  ExpectScreenJpeg(shared + "/own/mine.jpg");
  EXPECT_TRUE(ReadFile(victim) == "root's secret\n");
}

// A FIFO that nobody reads, or whose reader never takes anything, fails
// the write after a bounded wait instead of holding the run for ever.
TEST_F(SafeWrite, AFifoThatIsNotReadFailsTheRunInsteadOfHangingIt) {
  const std::string fifo = out / "unread.jpg";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  RunResult r = RunErr({"/SCREEN", "/SAVE=" + fifo}, "timeout -s KILL 60");
  EXPECT_EQ(r.status, kSaveFailed);
  EXPECT_NE(r.err.find("no program opened it for reading"), std::string::npos) << r.err;

  // The reader opens the FIFO and sleeps: the pipe fills with the start of
  // a BMP (larger than any pipe) and stays full.
  const std::string full = out / "unread.bmp";
  ASSERT_EQ(::mkfifo(full.c_str(), 0600), 0);
  x11test::Child reader({"sh", "-c", "exec sleep 120 < " + Quote(full)});
  r = RunErr({"/SCREEN", "/SAVE=" + full}, "timeout -s KILL 60");
  EXPECT_EQ(r.status, kSaveFailed);
  EXPECT_NE(r.err.find("nothing was read from it"), std::string::npos) << r.err;
  EXPECT_EQ(Lines(r.err), 1u) << r.err;
  EXPECT_TRUE(S_ISFIFO(Lstat(full).st_mode));
}

// A run ended by SIGTERM, SIGHUP or SIGINT while its file is being written
// leaves the old file as it was and no temporary file. The signal is sent
// the moment the temporary file shows up; a run that finished first (its
// file is new) tries again.
TEST_F(SafeWrite, ARunEndedBySignalWhileWritingLeavesNoTemporaryFile) {
  const std::string target = out / "shot.jpg";
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
    bool caught = false;
    for (int run = 0; run < 10 && !caught; ++run) {
      WriteFile(target, "the old file");
      const int watch = inotify_init1(IN_CLOEXEC);
      inotify_add_watch(watch, out.path.c_str(), IN_CREATE);
      const std::string config_ = "XDG_CONFIG_HOME=" + config.path;
      const std::string save = "/SAVE=" + target;
      const char* argv[] = {GLIMMET_BINARY, "/SCREEN", save.c_str(), nullptr};
      std::vector<char*> env = {const_cast<char*>(config_.c_str())};
      for (char** e = environ; *e; ++e) env.push_back(*e);
      env.push_back(nullptr);
      // As a script's shell would start it, even when this test's own
      // shell ignores SIGINT (a job started in the background).
      posix_spawnattr_t attributes;
      posix_spawnattr_init(&attributes);
      sigset_t defaults;
      sigemptyset(&defaults);
      sigaddset(&defaults, signal);
      posix_spawnattr_setsigdefault(&attributes, &defaults);
      posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
      pid_t pid = -1;
      const int spawned = posix_spawn(&pid, GLIMMET_BINARY, nullptr, &attributes, const_cast<char**>(argv), env.data());
      posix_spawnattr_destroy(&attributes);
      ASSERT_EQ(spawned, 0);
      pollfd event{watch, POLLIN, 0};
      if (::poll(&event, 1, 30000) == 1) ::kill(pid, signal);
      int status = 0;
      ::waitpid(pid, &status, 0);
      ::close(watch);
      caught = WIFSIGNALED(status) && WTERMSIG(status) == signal && ReadFile(target) == "the old file";
      EXPECT_EQ(out.Names(), Files{"shot.jpg"}) << strsignal(signal);
    }
    EXPECT_TRUE(caught) << "no run was still writing when " << strsignal(signal) << " came";
  }
}

// Started with its standard descriptors closed, the program opens them on
// /dev/null, so that no reason it writes can go into a file it opened later
// (its connection to the X server).
TEST_F(SafeWrite, ClosedStandardDescriptorsAreOpenedOnDevNull) {
  const std::string fifo = out / "slow.jpg";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // The run waits for a reader of the FIFO: long enough to look at it.
  x11test::Child run({"sh", "-c", "cd " + Quote(out.path) + " && XDG_CONFIG_HOME=" + Quote(config.path) +
                                      " exec " + Quote(GLIMMET_BINARY) + " /SCREEN /SAVE=slow.jpg <&- >&- 2>&-"});
  const std::string proc = "/proc/" + std::to_string(run.pid());
  ASSERT_TRUE(WaitUntil([&] { return Shell("readlink " + proc + "/exe").find("glimmet") != std::string::npos; }, 20));
  std::string fds;
  WaitUntil([&] {
    fds = Shell("readlink /proc/" + std::to_string(run.pid()) + "/fd/0 /proc/" + std::to_string(run.pid()) +
                "/fd/1 /proc/" + std::to_string(run.pid()) + "/fd/2 2>/dev/null");
    return Lines(fds) == 3;
  }, 20);
  EXPECT_EQ(fds, "/dev/null\n/dev/null\n/dev/null\n");
}

// A save refused by the file system gives its real reason, not a missing
// path: a file system that takes no new files, a read-only one, a folder
// the user may not write.
TEST_F(SafeWrite, RefusedSavesSayWhy) {
  RunResult r = RunErr({"/SCREEN", "/SAVE=/proc/x.jpg"});
  EXPECT_EQ(r.status, kSaveFailed);
  EXPECT_EQ(r.err.find("Path not found"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Permission denied: /proc/x.jpg"), std::string::npos) << r.err;
  const std::string dir = out / "closed";
  std::filesystem::create_directory(dir);
  if (geteuid() == 0) {
    ASSERT_EQ(::mount("tmpfs", dir.c_str(), "tmpfs", MS_RDONLY, "size=64k"), 0) << std::strerror(errno);
    r = RunErr({"/SCREEN", "/SAVE=" + dir + "/x.bmp"});
    ::umount2(dir.c_str(), MNT_DETACH);
    EXPECT_EQ(r.status, kSaveFailed);
    EXPECT_NE(r.err.find("Read-only file system: " + dir + "/x.bmp"), std::string::npos) << r.err;
    ::chown(out.path.c_str(), kNobody, kNobody);
    ::chmod(dir.c_str(), 0555);
    r = RunErr({"/SCREEN", "/SAVE=" + dir + "/x.jpg"}, "setpriv --reuid=nobody --regid=nogroup --clear-groups");
  } else {
    ::chmod(dir.c_str(), 0555);
    r = RunErr({"/SCREEN", "/SAVE=" + dir + "/x.jpg"});
  }
  EXPECT_EQ(r.status, kSaveFailed);
  EXPECT_NE(r.err.find("Permission denied: " + dir + "/x.jpg"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace e2e
