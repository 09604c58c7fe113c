// Tab moves through a form by the controls' TabIndex, not by the order in
// which they were made, and into frames.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "runtime/app.h"
#include "runtime/events.h"
#include "runtime/forms.h"
#include "runtime/gui.h"

using namespace runtime;

namespace {

void Sh(const std::string& command) {
  if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) pclose(pipe);
}

bool PumpUntil(const std::function<bool()>& pred) {
  for (int i = 0; i < 400 && !pred(); ++i) {
    Gui()->Pump(25);
    DoEvents();
  }
  return pred();
}

class TabForm : public Form {
 public:
  TabForm() : Form("frmTabTest") {}
  CommandButton cmdGo{"cmdGo", this};
  Frame fraMode{"fraMode", this};
  CheckBox chkInside{"chkInside", &fraMode};
  CheckBox chkOn{"chkOn", this};
  TextBox txtName{"txtName", this};

 protected:
  void Design() override {
    SetCaption("Tab order test");
    SetClientSize(4000, 3000);
    StartUpPosition = 0;
    Move(1500, 1500, 4000, 3500);
    cmdGo.Move(120, 120, 1215, 375);
    fraMode.Move(120, 600, 1500, 800);
    chkInside.Move(60, 200, 1200, 375);
    chkOn.Move(120, 1500, 1200, 375);
    txtName.Move(120, 2000, 1500, 285);
    // Made first, visited last; the frame's check box in between.
    txtName.TabIndex = 0;
    chkOn.TabIndex = 1;
    chkInside.TabIndex = 2;
    cmdGo.TabIndex = 3;
  }
};

TEST(TabOrder, FollowsTabIndexAcrossFrames) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  App().Path = std::filesystem::path(GLIMMET_BINARY).parent_path().string();
  ASSERT_NE(Gui(), nullptr) << "the Qt module did not start";
  TabForm form;
  std::string visits;
  form.chkOn.Click = [&] { visits += "on "; };
  form.chkInside.Click = [&] { visits += "inside "; };
  form.cmdGo.Click = [&] { visits += "go "; };
  form.Show();
  ASSERT_NE(form.txtName.hWnd(), 0);
  int rounds = 0;
  PumpUntil([&] { return rounds++ == 10; });  // shown and painted
  Sh("xdotool mousemove --window " + std::to_string(form.txtName.hWnd()) + " 4 4 click 1");
  // Each Tab moves on, each space presses what has the focus.
  for (const char* expected : {"on ", "on inside ", "on inside go "}) {
    Sh("xdotool key --clearmodifiers Tab space");
    EXPECT_TRUE(PumpUntil([&] { return visits == expected; })) << visits;
  }
  form.Unload();
}

}  // namespace
