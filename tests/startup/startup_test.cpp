#include "startup/startup.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "runtime/error.h"

namespace {

// Whatever escapes the run: status 1, one line of reason, and the
// installation record still written, once.
TEST(RunGuarded, AnEscapingErrorEndsWithStatusOneAfterTheRecord) {
  const std::tuple<std::function<int()>, const char*> cases[] = {
      {[] { return runtime::Raise(5, "bad\ncall\r\x1b[31m"), 0; }, "bad\\ncall\\r\\x1b[31m"},
      {[]() -> int { throw std::bad_alloc(); }, "bad_alloc"},
      {[]() -> int { throw 42; }, "an unknown exception"},
  };
  for (const auto& [body, reason] : cases) {
    int records = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(startup::RunGuarded(body, [&] { ++records; }), startup::kExitFailure);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(records, 1);
    EXPECT_NE(err.find(reason), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
  }
  // A run that ends normally keeps its status and writes no extra record;
  // a record that fails too does not change the failure's status.
  int records = 0;
  EXPECT_EQ(startup::RunGuarded([] { return startup::kExitNoTarget; }, [&] { ++records; }), startup::kExitNoTarget);
  EXPECT_EQ(records, 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(startup::RunGuarded([]() -> int { throw std::runtime_error("x"); }, [] { throw std::runtime_error("no room"); }),
            startup::kExitFailure);
  testing::internal::GetCapturedStderr();
}

}  // namespace
