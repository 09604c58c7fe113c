// The installation record written at the end of every batch run.
#include <set>
#include <thread>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using InstallationRecord = E2eTest;
namespace fs = std::filesystem;

// The four values, each once, and how many values the record holds.
void ExpectTheFourValues(const std::string& record, std::size_t count) {
  ASSERT_FALSE(record.empty()) << "no installation record";
  auto values = ReadRecordValues(record);
  EXPECT_EQ(values.size(), count);
  EXPECT_EQ(values.count("#duplicate"), 0u) << "a value is written twice";
  EXPECT_EQ(fs::weakly_canonical(values["InstallDir"]), fs::weakly_canonical(fs::path(GLIMMET_BINARY).parent_path()));
  EXPECT_EQ(values["ExeName"], "glimmet");
  EXPECT_EQ(values["ProductName"], "Tessakit : Glimmet");
  EXPECT_EQ(values["ProductVersion"], "1.0.2");
}

// Written also when the run captured nothing; 32 runs to distinct files
// and 32 to one file in parallel each save a whole JPEG and keep one whole
// record with the values of others.
TEST_F(InstallationRecord, KeptWholeUnderLoadAndWarnedAboutWhenItCannotBeWritten) {
  ASSERT_EQ(Run({"/SAVE=none.jpg"}), kNoTarget);
  const std::string record = FindInstallationRecord(config.path);
  ExpectTheFourValues(record, 4);
  WriteFile(record, ReadFile(record) + "KeptByOthers=a value this program does not own\n");
  const std::string folder = fs::path(record).parent_path();
  EXPECT_EQ(fs::status(folder + "/.Installation.ini.lock").permissions(), fs::perms::owner_read | fs::perms::owner_write);

  std::vector<int> statuses(64, -1);
  std::vector<std::thread> runs;
  auto name = [](int i) { return i % 2 ? "shared.jpg" : "own-" + std::to_string(i) + ".jpg"; };
  for (int i = 0; i < 64; ++i) runs.emplace_back([&, i] { statuses[i] = Run({"/SCREEN", "/SAVE=" + name(i)}); });
  for (auto& run : runs) run.join();
  EXPECT_EQ(statuses, std::vector<int>(64, kOk));
  std::set<std::string> names;
  for (int i = 0; i < 64; ++i) names.insert(name(i));
  for (const std::string& n : names) ExpectScreenJpeg(out / n);
  EXPECT_EQ(out.Names(), Files(names.begin(), names.end()));  // no temporary file left

  ExpectTheFourValues(record, 5);
  EXPECT_EQ(ReadRecordValues(record)["KeptByOthers"], "a value this program does not own");
  EXPECT_EQ(ListDir(folder), (Files{".Installation.ini.lock", fs::path(record).filename()})) << "stray files";

  // A lock another process keeps (given up after two seconds, never a
  // hang), a folder in the record's place, a folder the user cannot write:
  // the capture is saved, the status is the capture's, one warning says why.
  const std::string kept = ReadFile(record);
  auto expectWarning = [&](const std::string& user = "") {
    const RunResult r = RunErr({"/SCREEN", "/SAVE=shot.jpg"}, user);
    EXPECT_EQ(r.status, kOk);
    EXPECT_TRUE(r.err.starts_with("glimmet: warning: installation record not written: ")) << r.err;
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
    ExpectScreenJpeg(out / "shot.jpg");
    fs::remove(out / "shot.jpg");
  };
  {
    const std::string lock = folder + "/.Installation.ini.lock";
    x11test::Child holder({"flock", "--no-fork", "-x", lock, "sleep", "600"});
    ASSERT_TRUE(WaitUntil([&] { return Shell("flock -n " + Quote(lock) + " true; echo $?") == "1\n"; }));
    expectWarning();
    EXPECT_EQ(ReadFile(record), kept);
  }
  fs::rename(record, folder + "/moved");
  fs::create_directory(record);
  expectWarning();
  EXPECT_TRUE(fs::is_empty(record));
  fs::remove(record);

  // A record already up to date is left alone, so an older version's is
  // what needs writing here. Permissions do not bind root: then the run is
  // nobody's.
  std::string stale = kept;
  stale.replace(stale.find("ProductVersion=1.0.2"), 20, "ProductVersion=0.9.0");
  WriteFile(record, stale);
  const std::string user = geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups" : "";
  if (!user.empty()) Shell("chown -R nobody:nogroup " + Quote(config.path) + " " + Quote(out.path));
  ::chmod(folder.c_str(), 0555);
  expectWarning(user);
  EXPECT_EQ(ReadFile(record), stale);
}

}  // namespace
}  // namespace e2e
