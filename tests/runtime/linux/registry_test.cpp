#include "runtime/registry.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "runtime/linux/shell.h"

namespace {

namespace fs = std::filesystem;
const char* kKey = "software\\ostmarin\\Tessakit\\Glimmet\\Installation";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("XDG_CONFIG_HOME", dir.path.c_str(), 1); }
  static void Set(const char* key, const std::string& name, const std::string& value) {
    runtime::HKEY h = 0;
    ASSERT_EQ(runtime::RegCreateKeyA(runtime::HKEY_CURRENT_USER, key, &h), 0);
    runtime::RegSetValueExA(h, name.c_str(), 0, runtime::REG_SZ, reinterpret_cast<const std::uint8_t*>(value.c_str()),
                            static_cast<std::uint32_t>(value.size() + 1));
    runtime::RegCloseKey(h);
  }
  testshell::TempDir dir;
};

// Names ignore case; other roots and stale handles are refused.
TEST_F(RegistryTest, KeyFileMirrorsTheKeyPathAndKeepsOtherValues) {
  const std::string file = runtime::RegistryKeyFile(kKey);
  EXPECT_EQ(file, dir / "software/ostmarin/Tessakit/Glimmet/Installation.ini");
  Set(kKey, "Other", "kept");
  Set(kKey, "InstallDir", "/opt/a");
  Set(kKey, "installdir", "/opt/b");  // value names ignore case: replaced in place
  Set("SOFTWARE\\OSTMARIN\\tessakit\\glimmet\\installation", "ExeName", "glimmet");  // so do key names
  EXPECT_EQ(testshell::ReadFile(file), "Other=kept\nInstallDir=/opt/b\nExeName=glimmet\n");
  Set(kKey, "Multi", "a\nb\\c");
  EXPECT_NE(testshell::ReadFile(file).find("Multi=a\\nb\\\\c\n"), std::string::npos);
  for (const std::string& name : testshell::ListDir(fs::path(file).parent_path()))  // no temporary files left
    EXPECT_FALSE(name.ends_with(".tmp")) << name;

  runtime::HKEY h = 123;
  EXPECT_NE(runtime::RegCreateKeyA(0x80000002, kKey, &h), 0);
  EXPECT_EQ(h, 0);
  EXPECT_NE(runtime::RegSetValueExA(9999, "a", 0, runtime::REG_SZ, reinterpret_cast<const std::uint8_t*>("x"), 2), 0);
  EXPECT_NE(runtime::RegCloseKey(9999), 0);
}

// Files edited by hand or by other programs: every line of a value is set,
// the line endings and bytes of everything else stay, a link stays a link.
TEST_F(RegistryTest, ForeignKeyFilesKeepTheirBytesAndLineEndings) {
  const std::string file = runtime::RegistryKeyFile(kKey);
  fs::create_directories(fs::path(file).parent_path());
  static const char kJunk[] = "\x00\xff\xfe=\x01\n\x89PNG\r\n\x1a\n[=]\n\x00trailing";
  const std::string junk(kJunk, sizeof kJunk - 1);
  const std::string big = "Big=" + std::string(10 << 20, 'b') + "\n";
  const std::pair<std::string, std::string> cases[] = {
      {"; crlf\r\nExeName=old\r\nOther=1\r\nexename=older\r\n",  // every duplicate is set
       "; crlf\r\nExeName=glimmet\r\nOther=1\r\nexename=glimmet\r\nInstallDir=/opt/g\r\n"},
      {junk, junk + "\nExeName=glimmet\nInstallDir=/opt/g\n"},
      {big, big + "ExeName=glimmet\nInstallDir=/opt/g\n"},
  };
  for (const auto& [before, after] : cases) {
    testshell::WriteFile(file, before);
    runtime::RegistryBatch batch;
    Set(kKey, "ExeName", "glimmet");
    Set(kKey, "InstallDir", "/opt/g");
    EXPECT_EQ(batch.Flush(), "");
    EXPECT_TRUE(testshell::ReadFile(file) == after) << testshell::ReadFile(file).substr(0, 80);
  }

  const std::string elsewhere = dir / "kept-elsewhere.ini";
  testshell::WriteFile(elsewhere, "Mine=1\n");
  fs::remove(file);
  fs::create_symlink(elsewhere, file);
  Set(kKey, "ExeName", "glimmet");
  EXPECT_TRUE(fs::is_symlink(file));
  EXPECT_EQ(testshell::ReadFile(elsewhere), "Mine=1\nExeName=glimmet\n");
}

// Without XDG_CONFIG_HOME and HOME the key lives in the user's own home from
// the password database, never in a folder others share.
TEST_F(RegistryTest, WithoutHomeTheKeyFileIsInThePasswordDatabasesHome) {
  ::unsetenv("XDG_CONFIG_HOME");
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::unsetenv("HOME");
  const passwd* pw = ::getpwuid(::geteuid());
  ASSERT_NE(pw, nullptr);
  EXPECT_EQ(runtime::RegistryKeyFile(kKey),
            std::string(pw->pw_dir) + "/.config/software/ostmarin/Tessakit/Glimmet/Installation.ini");
  if (!home.empty()) ::setenv("HOME", home.c_str(), 1);
}

// A key file's name in a folder another user can write: a link planted
// there by that user, to root's private file, is not followed, and the
// reason names its owner. The user's own link still is.
TEST_F(RegistryTest, ALinkPlantedByAnotherUserIsNotFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, to act as another user";
  constexpr uid_t kNobody = 65534;
  testshell::TempDir vault;
  const std::string victim = vault / "secret", file = runtime::RegistryKeyFile(kKey);
  testshell::WriteFile(victim, "root only\n");
  ::chmod(victim.c_str(), 0600);
  fs::create_directories(fs::path(file).parent_path());
  ::chmod(dir.path.c_str(), 0755);
  ::chmod(fs::path(file).parent_path().c_str(), 01777);
  if (const pid_t planter = ::fork(); planter == 0) {
    const bool ok = ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 && ::symlink(victim.c_str(), file.c_str()) == 0;
    std::_Exit(ok ? 0 : 1);
  } else {
    int status = -1;
    ::waitpid(planter, &status, 0);
    ASSERT_EQ(status, 0) << "nobody could not plant the link";
  }
  std::string why;
  {
    runtime::RegistryBatch batch;
    runtime::HKEY h = 0;
    EXPECT_NE(runtime::RegCreateKeyA(runtime::HKEY_CURRENT_USER, kKey, &h), 0);
    if (h) {  // had the key been opened, the value would go through the link
      runtime::RegSetValueExA(h, "ExeName", 0, runtime::REG_SZ, reinterpret_cast<const std::uint8_t*>("glimmet"), 8);
      runtime::RegCloseKey(h);
    }
    why = batch.Flush();
  }
  EXPECT_EQ(testshell::ReadFile(victim), "root only\n");
  EXPECT_NE(why.find("belongs to nobody"), std::string::npos) << why;

  fs::remove(file);
  fs::create_symlink(victim, file);  // root's own link
  Set(kKey, "ExeName", "glimmet");
  EXPECT_EQ(testshell::ReadFile(victim), "root only\nExeName=glimmet\n");

  // A folder on the way that is nobody's link: nothing is created where it
  // leads, not even the key's folders.
  const std::string software = dir / "software";
  ::chmod(software.c_str(), 01777);
  if (const pid_t planter = ::fork(); planter == 0) {
    const bool ok = ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 &&
                    ::symlink(vault.path.c_str(), (software + "/planted").c_str()) == 0;
    std::_Exit(ok ? 0 : 1);
  } else {
    int status = -1;
    ::waitpid(planter, &status, 0);
    ASSERT_EQ(status, 0) << "nobody could not plant the link";
  }
  runtime::HKEY h = 0;
  EXPECT_NE(runtime::RegCreateKeyA(runtime::HKEY_CURRENT_USER, "software\\planted\\Deep\\Key", &h), 0);
  EXPECT_EQ(testshell::ListDir(vault.path), std::vector<std::string>{"secret"});
}

TEST_F(RegistryTest, ParallelWritersLoseNothing) {
  constexpr int kWriters = 8;
  for (int i = 0; i < kWriters; ++i) {
    if (::fork() == 0) {
      for (int round = 0; round < 20; ++round) Set(kKey, "Writer" + std::to_string(i), std::to_string(round));
      std::_Exit(0);
    }
  }
  for (int i = 0, status = 0; i < kWriters; ++i) EXPECT_TRUE(::wait(&status) > 0 && status == 0);
  const std::string text = testshell::ReadFile(runtime::RegistryKeyFile(kKey));
  for (int i = 0; i < kWriters; ++i)
    EXPECT_NE(text.find("Writer" + std::to_string(i) + "=19\n"), std::string::npos) << text;
}

}  // namespace
