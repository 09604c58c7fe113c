// The splash window: the product banner shown at interactive start; it
// closes itself with its timer once the event loop runs again.
#pragma once
#include "infowindows/window_pos.h"
#include "runtime/forms.h"

namespace infowindows {

class frmSplash : public runtime::Form {
 public:
  frmSplash();

  runtime::Label lblTitle{"lblTitle", this};
  runtime::Label Label1{"Label1", this};
  runtime::Label lblVersion{"lblVersion", this};
  runtime::Label Label2{"Label2", this};
  runtime::Timer Timer1{"Timer1", this};

  // Brings the splash to the top at its own place and size, shown but not
  // activated.
  void Form_Load() override;
  void Form_Activate() override;
  void Timer1_Timer();

  SetWindowPosFn SetWindowPos = PlatformSetWindowPos();

 protected:
  void Design() override;

 private:
  void Place();
  WhenShown place_;
};

frmSplash& frmSplashForm();

}  // namespace infowindows
