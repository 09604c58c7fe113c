// The installation record written at the end of every batch run.
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using InstallationRecord = E2eTest;

void ExpectTheFourValues(const std::map<std::string, std::string>& values) {
  EXPECT_EQ(values.count("#duplicate"), 0u) << "a value is written twice";
  ASSERT_TRUE(values.count("InstallDir"));
  EXPECT_EQ(fs::weakly_canonical(values.at("InstallDir")), fs::weakly_canonical(fs::path(GLIMMET_BINARY).parent_path()));
  EXPECT_EQ(values.count("ExeName") ? values.at("ExeName") : "", "glimmet");
  EXPECT_EQ(values.count("ProductName") ? values.at("ProductName") : "", "Tessakit : Glimmet");
  EXPECT_EQ(values.count("ProductVersion") ? values.at("ProductVersion") : "", "1.0.2");
}

TEST_F(InstallationRecord, WrittenAlsoWhenTheRunCapturedNothing) {
  ASSERT_EQ(Run({"/WINDOWTEXT=" + UniqueTitle("absent"), "/SAVE=none.jpg"}), 3);
  const auto record = FindInstallationRecord(config_->path());
  ASSERT_TRUE(record) << "no installation record under " << config_->path();
  const auto values = ReadRecordValues(*record);
  ExpectTheFourValues(values);
  EXPECT_EQ(values.size(), 4u);
}

TEST_F(InstallationRecord, ParallelRunsKeepOneWholeRecordAndForeignValues) {
  ASSERT_EQ(Run({"/SCREEN"}), 0);
  const auto record = FindInstallationRecord(config_->path());
  ASSERT_TRUE(record);
  std::ofstream(*record, std::ios::app) << "KeptByOthers=a value this program does not own\n";

  constexpr int kRuns = 8;
  std::vector<int> statuses(kRuns, -1);
  std::vector<std::thread> runs;
  for (int i = 0; i < kRuns; ++i)
    runs.emplace_back([&, i] { statuses[i] = RunGlimmet({"/SCREEN"}, {out_->path(), config_->path(), {}}); });
  for (auto& run : runs) run.join();
  EXPECT_EQ(statuses, std::vector<int>(kRuns, 0));

  const auto values = ReadRecordValues(*record);
  ExpectTheFourValues(values);
  EXPECT_EQ(values.size(), 5u);
  EXPECT_EQ(values.count("KeptByOthers") ? values.at("KeptByOthers") : "", "a value this program does not own");
  // Concurrent writers may lock, but must not leave temporary files behind.
  for (const auto& name : ListDir(record->parent_path()))
    EXPECT_TRUE(name == record->filename().string() || name.ends_with(".lock")) << "stray file " << name;
}

}  // namespace
}  // namespace e2e
