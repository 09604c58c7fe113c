// The installation record written at the end of every batch run.
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

// Written also when the run captured nothing; parallel runs keep one
// whole record and the values of others.
TEST_F(InstallationRecord, WrittenByEveryRunAndKeptWholeByParallelRuns) {
  ASSERT_EQ(Run({"/WINDOWTEXT=" + UniqueTitle("absent"), "/SAVE=none.jpg"}), 3);
  const std::string record = FindInstallationRecord(config.path);
  ExpectTheFourValues(record, 4);
  WriteFile(record, ReadFile(record) + "KeptByOthers=a value this program does not own\n");

  constexpr int kRuns = 8;
  std::vector<int> statuses(kRuns, -1);
  std::vector<std::thread> runs;
  for (int i = 0; i < kRuns; ++i) runs.emplace_back([&, i] { statuses[i] = Run({"/SCREEN"}); });
  for (auto& run : runs) run.join();
  EXPECT_EQ(statuses, std::vector<int>(kRuns, 0));

  ExpectTheFourValues(record, 5);
  EXPECT_EQ(ReadRecordValues(record)["KeptByOthers"], "a value this program does not own");
  // Concurrent writers may lock, but must not leave temporary files behind.
  const std::string name = std::filesystem::path(record).filename();
  for (const auto& other : ListDir(std::filesystem::path(record).parent_path()))
    EXPECT_TRUE(other == name || other.ends_with(".lock")) << "stray file " << other;
}

}  // namespace
}  // namespace e2e
