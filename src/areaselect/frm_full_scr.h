// The full-screen area selector: a borderless window over the whole
// screen showing the frozen desktop, on which the user draws, moves and
// resizes a rectangle, then accepts it with Enter or cancels with Escape.
#pragma once
#include <functional>

#include "areaselect/selection.h"
#include "runtime/forms.h"

namespace areaselect {

class frmFullScr : public runtime::Form {
 public:
  frmFullScr();

  runtime::PictureBox pic{"pic", this};
  runtime::PictureBox Node0{"Node", &pic, 0};
  runtime::PictureBox Node1{"Node", &pic, 1};
  runtime::PictureBox Node2{"Node", &pic, 2};
  runtime::PictureBox Node3{"Node", &pic, 3};
  runtime::Label lblSize{"lblSize", &pic};
  runtime::Shape shpBox{"shpBox", &pic};

  runtime::PictureBox& Node(int index);

  void Form_Load() override;
  void Form_Activate() override;

  // The gesture state; its rectangle is the module-level SharedArea().
  Selection sel{SharedArea()};
  // Run right after the selector hides itself: the main window returns to
  // its normal state (installed by the main window).
  std::function<void()> OnHidden;

  void Form_KeyDown(int& keyCode, int shift);
  void Form_KeyPress(int& keyAscii);

 protected:
  void Design() override;

 private:
  // Shows the selection state on the controls.
  void Apply();
  void SetNodeColours();
  void Close(bool accepted);
};

// The one selector, loaded on first use.
frmFullScr& frmFullScrForm();

}  // namespace areaselect
