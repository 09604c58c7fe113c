#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "runtime/events.h"
#include "runtime/forms.h"

namespace {

using namespace runtime;

class CountingForm : public Form {
 public:
  CountingForm() : Form("frmTest") {}
  Timer tmr{"tmr", this};
  Frame group{"group", this};
  OptionButton a{"a", &group}, b{"b", &group};
  OptionButton outside{"outside", this};
  int loads = 0, unloads = 0, ticks = 0;
  bool unloadInLoad = false;

  void Form_Load() override {
    ++loads;
    if (unloadInLoad) Unload();
  }
  void Form_Unload(int&) override { ++unloads; }

 protected:
  void Design() override {
    tmr.SetInterval(5);
    tmr.SetTimerEnabled(true);
    tmr.Tick = [this] { ++ticks; };
  }
};

// A form may unload itself while loading, and a later load runs the
// handler afresh; choosing an option clears only its own group.
TEST(FormsAndEvents, LoadingUnloadingAndOptionGroups) {
  CountingForm form;
  form.unloadInLoad = true;
  form.Load();
  EXPECT_FALSE(form.Loaded());
  EXPECT_EQ(std::make_pair(form.loads, form.unloads), std::make_pair(1, 1));
  EXPECT_TRUE(LoadedForms().empty());
  form.Load();
  EXPECT_EQ(form.loads, 2);

  int clicks = 0;
  form.b.Click = [&] { ++clicks; };
  form.outside.SetValue(true);
  form.a.SetValue(true);
  form.b.SetValue(true);
  EXPECT_FALSE(form.a.Value());
  EXPECT_TRUE(form.b.Value() && form.outside.Value());
  EXPECT_EQ(clicks, 1);
}

// Timers tick only in the yield, once however late, only while their form
// is loaded; the message loop ends when the last form unloads.
TEST(FormsAndEvents, TimersTickInTheYieldAndTheLoopEndsWithTheLastForm) {
  CountingForm form;
  form.Load();
  Sleep(20);  // blocks: nothing ticks meanwhile
  EXPECT_EQ(form.ticks, 0);
  DoEvents();
  EXPECT_EQ(form.ticks, 1);
  DoEvents();
  EXPECT_EQ(form.ticks, 1);  // not due again yet
  form.Unload();
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  DoEvents();
  EXPECT_EQ(form.ticks, 1);

  form.Load();
  form.tmr.Tick = [&] {
    if (++form.ticks == 4) form.Unload();
  };
  RunMessageLoop();
  EXPECT_EQ(form.ticks, 4);
  EXPECT_FALSE(form.Loaded());
}

}  // namespace
