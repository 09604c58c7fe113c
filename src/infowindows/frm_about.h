// The about box, shown modally from the main window's menu and toolbar.
#pragma once
#include "infowindows/window_pos.h"
#include "runtime/forms.h"

namespace infowindows {

class frmAbout : public runtime::Form {
 public:
  frmAbout();

  runtime::Label lblTitle{"lblTitle", this};
  runtime::Label Label1{"Label1", this};
  runtime::Label lblVersion{"lblVersion", this};
  runtime::Label Label2{"Label2", this};
  runtime::CommandButton cmdOK{"cmdOK", this};
  runtime::ImageBox Image1{"Image1", this};
  // Two etched separators: each a white line of width 2 under a grey one.
  runtime::Line Line1[4]{{"Line1", this}, {"Line1", this}, {"Line1", this}, {"Line1", this}};

  // Makes the window topmost, then fills in the credits line.
  void Form_Load() override;
  void Form_Activate() override;
  void cmdOK_Click();

  static const char* const kAboutText;
  SetWindowPosFn SetWindowPos = PlatformSetWindowPos();

 protected:
  void Design() override;

 private:
  WhenShown topmost_;
};

frmAbout& frmAboutForm();

}  // namespace infowindows
