#include "areaselect/frm_full_scr.h"

#include "runtime/events.h"
#include "runtime/screen.h"

namespace areaselect {
namespace {
constexpr runtime::OLE_COLOR kBlue = 0x00FF0000, kGreen = 0x0000FF00, kPaleYellow = 0x00C0FFFF;
constexpr runtime::OLE_COLOR kWindowBackground = 0x80000005;

// The current handle is green with black drawing, the others blue with white.
void PaintNode(runtime::PictureBox& node, bool current) {
  const runtime::OLE_COLOR back = current ? kGreen : kBlue, fore = current ? runtime::vbBlack : runtime::vbWhite;
  if (node.BackColor() != back) node.SetBackColor(back);
  if (node.ForeColor() != fore) node.SetForeColor(fore);
}
}  // namespace

frmFullScr::frmFullScr() : Form("frmFullScr") {
  KeyDown = [this](int& code, int shift) { Form_KeyDown(code, shift); };
  KeyPress = [this](int& ascii) { Form_KeyPress(ascii); };
  pic.MouseDown = [this](int, int, float x, float y) {
    sel.PicDown(x, y);
    Apply();
  };
  pic.MouseMove = [this](int, int, float x, float y) {
    sel.PicMove(x, y);
    Apply();
  };
  pic.MouseUp = [this](int, int, float x, float y) {
    sel.PicUp(x, y);
    Apply();
  };
  for (int i = 0; i < 4; ++i) {
    runtime::PictureBox& node = Node(i);
    node.MouseDown = [this, i](int button, int, float, float) {
      sel.NodeDown(i, button);
      Apply();
    };
    node.MouseMove = [this, i](int button, int, float x, float y) {
      sel.NodeMove(i, button, x, y);
      Apply();
    };
    node.MouseUp = [this, i](int button, int, float, float) {
      sel.NodeUp(i, button);
      Apply();
    };
    node.GotFocus = [this, i] {
      sel.NodeFocused(i);
      PaintNode(Node(i), true);
    };
    node.LostFocus = [this, i] { PaintNode(Node(i), false); };
  }
}

runtime::PictureBox& frmFullScr::Node(int index) {
  switch (index & 3) {
    case 1: return Node1;
    case 2: return Node2;
    case 3: return Node3;
    default: return Node0;
  }
}

void frmFullScr::Design() {
  SetCaption("Form1");
  BorderStyle = runtime::FormBorder::None;
  ShowInTaskbar = false;
  ControlBox = false;
  KeyPreview = true;
  StartUpPosition = 0;
  Move(0, 0, runtime::Screen().Width(), runtime::Screen().Height());
  SetClientSize(0, 0);
  SetWindowState(runtime::WindowState::Maximized);

  pic.Move(0, 0, Width(), Height());
  pic.BorderStyle = 1;
  pic.SetScaleMode(runtime::ScaleMode::Pixels);
  pic.AutoRedraw = true;
  pic.SetBackColor(kWindowBackground);
  pic.TabIndex = 0;
  for (int i = 0; i < 4; ++i) {
    runtime::PictureBox& node = Node(i);
    node.Move(0, 0, kNodeSize, kNodeSize);  // pixels of pic
    node.BorderStyle = 1;
    node.SetScaleMode(runtime::ScaleMode::Pixels);
    PaintNode(node, false);
    node.TabIndex = i + 1;
  }
  lblSize.SetCaption("000x000");
  lblSize.SetBackColor(kPaleYellow);
  lblSize.BorderStyle = 1;
  lblSize.Alignment = runtime::Label::kCenter;
  lblSize.Move(0, 0, 53, 15);
  // Its design rectangle, 75, 60, 465, 465 twips, in pixels of pic. It is
  // drawn by flipping the top bit of each colour channel of the pixels
  // beneath, so it stands out on any content.
  shpBox.Move(5, 4, 31, 31);
  shpBox.BorderWidth = 1;
  shpBox.BorderColor = 0x00808080;
  shpBox.DrawMode = runtime::Shape::kXorPen;
  shpBox.SetBorderStyle(runtime::Shape::Border::Solid);
}

void frmFullScr::Form_Load() {
  sel.Initialise(shpBox.Left(), shpBox.Top(), shpBox.Width(), shpBox.Height());
  for (int i : {0, 2}) Node(i).SetMousePointer(runtime::MousePointer::SizeNWSE);
  for (int i : {1, 3}) Node(i).SetMousePointer(runtime::MousePointer::SizeNESW);
}

void frmFullScr::Form_Activate() {
  sel.UpdateSelection();
  shpBox.BorderWidth = 1;
  sel.pointer = runtime::MousePointer::Cross;
  Apply();
  runtime::Screen().SetMousePointer(runtime::MousePointer::Default);
}

void frmFullScr::Form_KeyDown(int& keyCode, int shift) {
  if (sel.KeyDown(keyCode, shift)) Apply();
}

void frmFullScr::Form_KeyPress(int& keyAscii) {
  if (keyAscii == 27) {
    Close(false);
  } else if (keyAscii == 13) {
    runtime::Screen().SetMousePointer(runtime::MousePointer::Hourglass);
    runtime::DoEvents();  // so that the hourglass shows
    Close(true);
  }
}

void frmFullScr::Close(bool accepted) {
  sel.a.bAreaOK = accepted;
  Hide();
  if (OnHidden) OnHidden();
}

void frmFullScr::SetNodeColours() {
  for (int i = 0; i < 4; ++i) PaintNode(Node(i), i == sel.lCurNode);
}

void frmFullScr::Apply() {
  for (int i = 0; i < 4; ++i) Node(i).Move(sel.node[i][0], sel.node[i][1], kNodeSize, kNodeSize);
  shpBox.Move(sel.outline.left, sel.outline.top, sel.outline.width, sel.outline.height);
  const auto style = sel.outline.dotted ? runtime::Shape::Border::Dot : runtime::Shape::Border::Solid;
  if (shpBox.GetBorderStyle() != style) shpBox.SetBorderStyle(style);
  lblSize.Move(sel.labelLeft, sel.labelTop, lblSize.Width(), lblSize.Height());
  lblSize.SetCaption(sel.label);
  if (GetMousePointer() != sel.pointer) SetMousePointer(sel.pointer);
  if (sel.focusWanted) {
    sel.focusWanted = false;
    SetNodeColours();
    Node(sel.lCurNode).SetFocus();
  }
}

frmFullScr& frmFullScrForm() {
  static frmFullScr form;
  return form;
}

}  // namespace areaselect
