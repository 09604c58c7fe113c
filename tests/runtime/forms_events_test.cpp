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

TEST(FormsAndEvents, AFormMayUnloadItselfWhileLoading) {
  CountingForm form;
  form.unloadInLoad = true;
  form.Load();
  EXPECT_FALSE(form.Loaded());
  EXPECT_EQ(form.loads, 1);
  EXPECT_EQ(form.unloads, 1);
  EXPECT_TRUE(LoadedForms().empty());
  form.Load();  // a later load runs the handler afresh
  EXPECT_EQ(form.loads, 2);
}

TEST(FormsAndEvents, TimersTickInTheYieldOnlyWhileTheirFormIsLoaded) {
  CountingForm form;
  form.Load();
  Sleep(20);  // blocks: nothing ticks meanwhile
  EXPECT_EQ(form.ticks, 0);
  DoEvents();
  EXPECT_EQ(form.ticks, 1);  // one tick per yield, however late it runs
  DoEvents();
  EXPECT_EQ(form.ticks, 1);  // not due again yet
  form.Unload();
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  DoEvents();
  EXPECT_EQ(form.ticks, 1);
}

TEST(FormsAndEvents, RunMessageLoopEndsWhenTheLastFormUnloads) {
  CountingForm form;
  form.Load();
  form.tmr.Tick = [&] {
    if (++form.ticks == 3) form.Unload();
  };
  RunMessageLoop();
  EXPECT_EQ(form.ticks, 3);
  EXPECT_FALSE(form.Loaded());
}

TEST(FormsAndEvents, ChoosingAnOptionClearsOnlyItsOwnGroup) {
  CountingForm form;
  int clicks = 0;
  form.b.Click = [&] { ++clicks; };
  form.outside.SetValue(true);
  form.a.SetValue(true);
  form.b.SetValue(true);
  EXPECT_FALSE(form.a.Value());
  EXPECT_TRUE(form.b.Value());
  EXPECT_TRUE(form.outside.Value());
  EXPECT_EQ(clicks, 1);
}

}  // namespace
