// The installation record written at the end of every batch run.
#include <algorithm>
#include <set>
#include <thread>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using InstallationRecord = E2eTest;

// The four values, each once, and how many values the record holds.
void ExpectTheFourValues(const std::string& record, std::size_t count) {
  ASSERT_FALSE(record.empty()) << "no installation record";
  auto values = ReadRecordValues(record);
  EXPECT_EQ(values.size(), count);
  EXPECT_EQ(values.count("#duplicate"), 0u) << "a value is written twice";
  EXPECT_EQ(std::filesystem::weakly_canonical(values["InstallDir"]),
            std::filesystem::weakly_canonical(std::filesystem::path(GLIMMET_BINARY).parent_path()));
  EXPECT_EQ(values["ExeName"], "glimmet");
  EXPECT_EQ(values["ProductName"], "Tessakit : Glimmet");
  EXPECT_EQ(values["ProductVersion"], "1.0.2");
}

// Written also when the run captured nothing; 32 runs to distinct files
// and 32 to one file in parallel each save a whole JPEG and keep one whole
// record with the values of others.
TEST_F(InstallationRecord, WrittenByEveryRunAndKeptWholeUnderLoad) {
  ASSERT_EQ(Run({"/WINDOWTEXT=" + UniqueTitle("absent"), "/SAVE=none.jpg"}), 3);
  const std::string record = FindInstallationRecord(config.path);
  ExpectTheFourValues(record, 4);
  WriteFile(record, ReadFile(record) + "KeptByOthers=a value this program does not own\n");
  const std::string lock = std::filesystem::path(record).parent_path() / ".Installation.ini.lock";
  EXPECT_EQ(std::filesystem::status(lock).permissions(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

  constexpr int kRuns = 64;
  std::vector<int> statuses(kRuns, -1);
  std::vector<std::thread> runs;
  auto name = [](int i) { return i % 2 ? "shared.jpg" : "own-" + std::to_string(i) + ".jpg"; };
  for (int i = 0; i < kRuns; ++i) runs.emplace_back([&, i] { statuses[i] = Run({"/SCREEN", "/SAVE=" + name(i)}); });
  for (auto& run : runs) run.join();
  EXPECT_EQ(statuses, std::vector<int>(kRuns, 0));
  std::set<std::string> names;
  for (int i = 0; i < kRuns; ++i) names.insert(name(i));
  for (const std::string& n : names) jpegcheck::ExpectJpeg(out / n, Screen().width, Screen().height);
  EXPECT_EQ(out.Names(), std::vector<std::string>(names.begin(), names.end()));  // no temporary file left

  ExpectTheFourValues(record, 5);
  EXPECT_EQ(ReadRecordValues(record)["KeptByOthers"], "a value this program does not own");
  const std::string file = std::filesystem::path(record).filename();
  for (const auto& other : ListDir(std::filesystem::path(record).parent_path()))
    EXPECT_TRUE(other == file || other.ends_with(".lock")) << "stray file " << other;
}

// A lock another process keeps (given up after two seconds, never a hang),
// a folder in the record's place, a folder the user cannot write: the
// capture is saved, the status is the capture's, one warning says why.
TEST_F(InstallationRecord, RecordThatCannotBeWrittenGivesOneWarning) {
  ASSERT_EQ(Run({"/SAVE=none.jpg"}), 3);
  const std::string record = FindInstallationRecord(config.path), kept = ReadFile(record);
  const std::string folder = std::filesystem::path(record).parent_path();
  auto expectWarning = [&](const std::string& user = "") {
    const RunResult r = RunGlimmetWith({"/SCREEN", "/SAVE=shot.jpg"}, out.path, config.path, user, 30);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.starts_with("glimmet: warning: installation record not written: ")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    jpegcheck::ExpectJpeg(out / "shot.jpg", Screen().width, Screen().height);
    std::filesystem::remove(out / "shot.jpg");
  };
  {
    const std::string lock = folder + "/.Installation.ini.lock";
    x11test::Child holder({"flock", "--no-fork", "-x", lock, "sleep", "600"});
    ASSERT_TRUE(WaitUntil([&] { return Shell("flock -n " + Quote(lock) + " true; echo $?") == "1\n"; }));
    expectWarning();
    EXPECT_EQ(ReadFile(record), kept);
  }
  std::filesystem::rename(record, folder + "/moved");
  std::filesystem::create_directory(record);
  expectWarning();
  EXPECT_TRUE(std::filesystem::is_empty(record));
  std::filesystem::remove(record);
  std::filesystem::rename(folder + "/moved", record);

  // A record already up to date is left alone, so an older version's is
  // what needs writing here.
  std::string stale = kept;
  stale.replace(stale.find("ProductVersion=1.0.2"), 20, "ProductVersion=0.9.0");
  WriteFile(record, stale);
  // Permissions do not bind root: then the run is nobody's.
  const std::string user = geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups" : "";
  if (!user.empty()) Shell("chown -R nobody:nogroup " + Quote(config.path) + " " + Quote(out.path));
  ::chmod(folder.c_str(), 0555);
  expectWarning(user);
  EXPECT_EQ(ReadFile(record), stale);
}

}  // namespace
}  // namespace e2e
