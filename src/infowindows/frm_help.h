// The help window: the batch-mode parameters with examples for a Veltrix
// test script, shown modally from the main window's Help menu.
#pragma once
#include <array>
#include <string_view>

#include "infowindows/window_pos.h"
#include "runtime/forms.h"

namespace infowindows {

class frmHelp : public runtime::Form {
 public:
  frmHelp();

  runtime::TextBox Text1{"Text1", this};
  runtime::CommandButton cmdClose{"cmdClose", this};

  // Makes the window topmost, then rebuilds the help text from its first line.
  void Form_Load() override;
  void Form_Activate() override;
  void cmdClose_Click();

  // The help text, line by line; each is shown followed by CR LF.
  static const std::array<std::string_view, 32>& HelpLines();
  SetWindowPosFn SetWindowPos = PlatformSetWindowPos();

 protected:
  void Design() override;

 private:
  WhenShown topmost_;
};

frmHelp& frmHelpForm();

}  // namespace infowindows
