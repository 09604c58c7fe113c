// The forms-and-controls model. A control is a plain object holding its
// properties and firing events into its form's handlers; a GUI backend gives
// it a native peer when its form is shown and keeps the peer in step through
// Sync. Geometry is in twips relative to the container's client area (or in
// the container's pixel scale where a picture box says so).
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/gdi.h"
#include "runtime/picture.h"
#include "runtime/screen.h"
#include "runtime/types.h"

namespace runtime {

enum class Prop {
  Geometry, Visible, Enabled, Caption, Value, Picture, Font, Colors, Range,
  MousePointer, Style, Image, ZOrder, WindowState, Interval, Items
};

enum class ControlKind {
  Form, Label, TextBox, CommandButton, OptionButton, CheckBox, Frame, PictureBox,
  Image, Shape, Line, HScrollBar, VScrollBar, Timer, Toolbar, ImageList, CommonDialog, Menu
};

// Colours are 0x00BBGGRR, or 0x80000000 | index for a system colour.
using OLE_COLOR = std::uint32_t;
inline constexpr OLE_COLOR vbHighlight = 0x8000000D;
inline constexpr OLE_COLOR vbButtonFace = 0x8000000F;
inline constexpr OLE_COLOR vbWindowText = 0x80000008;
inline constexpr OLE_COLOR vbWhite = 0x00FFFFFF;
inline constexpr OLE_COLOR vbBlack = 0x00000000;

struct Font {
  std::string Name;  // empty: the toolkit's default
  double Size = 0;   // points; 0: default
  bool Bold = false;
};

inline constexpr int vbLeftButton = 1, vbRightButton = 2, vbMiddleButton = 4;
inline constexpr int vbShiftMask = 1, vbCtrlMask = 2, vbAltMask = 4;

class Form;

class Control {
 public:
  Control(ControlKind kind, std::string name, Control* container, int index = -1);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  ControlKind Kind() const { return kind_; }
  const std::string& Name() const { return name_; }
  int Index() const { return index_; }  // -1 outside a control array
  Control* Container() const { return container_; }
  Form* ParentForm() const;
  const std::vector<Control*>& Children() const { return children_; }

  double Left() const { return left_; }
  double Top() const { return top_; }
  double Width() const { return width_; }
  double Height() const { return height_; }
  void SetLeft(double v) { Move(v, top_, width_, height_); }
  void SetTop(double v) { Move(left_, v, width_, height_); }
  void SetWidth(double v) { Move(left_, top_, v, height_); }
  void SetHeight(double v) { Move(left_, top_, width_, v); }
  virtual void Move(double left, double top, double width, double height);

  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  // Caption of labels, buttons, frames, forms and menus; Text of text boxes.
  const std::string& Caption() const { return caption_; }
  virtual void SetCaption(const std::string& text);
  const std::string& Text() const { return caption_; }
  void SetText(const std::string& text) { SetCaption(text); }

  const runtime::Font& GetFont() const { return font_; }
  void SetFont(const runtime::Font& font);
  OLE_COLOR ForeColor() const { return foreColor_; }
  OLE_COLOR BackColor() const { return backColor_; }
  void SetForeColor(OLE_COLOR c);
  void SetBackColor(OLE_COLOR c);
  runtime::MousePointer GetMousePointer() const { return pointer_; }
  void SetMousePointer(runtime::MousePointer p);
  std::string ToolTipText;
  int TabIndex = 0;

  // Native handle once realised, 0 before.
  HWND hWnd() const;
  void SetFocus();
  // Opaque slot for the backend's peer; the model never looks inside.
  void* peer = nullptr;

  std::function<void()> Click, DblClick, GotFocus, LostFocus, Change;
  std::function<void(int button, int shift, float x, float y)> MouseDown, MouseMove, MouseUp;
  std::function<void(int& keyCode, int shift)> KeyDown, KeyUp;
  std::function<void(int& keyAscii)> KeyPress;

 protected:
  void Changed(Prop prop);

 private:
  ControlKind kind_;
  std::string name_;
  int index_;
  Control* container_;
  std::vector<Control*> children_;
  double left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true, enabled_ = true;
  std::string caption_;
  runtime::Font font_;
  OLE_COLOR foreColor_ = vbWindowText, backColor_ = vbButtonFace;
  runtime::MousePointer pointer_ = runtime::MousePointer::Default;
};

class Label : public Control {
 public:
  Label(std::string name, Control* container) : Control(ControlKind::Label, std::move(name), container) {}
  bool Transparent = false;
  static constexpr int kLeft = 0, kRight = 1, kCenter = 2;
  int Alignment = kLeft;
  int BorderStyle = 0;  // 0 none, 1 fixed single
};

class TextBox : public Control {
 public:
  TextBox(std::string name, Control* container) : Control(ControlKind::TextBox, std::move(name), container) {}
  void SetCaption(const std::string& text) override;  // fires Change
  bool MultiLine = false;
  bool ScrollBars = false;
};

class CommandButton : public Control {
 public:
  CommandButton(std::string name, Control* container) : Control(ControlKind::CommandButton, std::move(name), container) {}
};

// Choosing one option clears the other options of the same container.
class OptionButton : public Control {
 public:
  OptionButton(std::string name, Control* container, int index = -1)
      : Control(ControlKind::OptionButton, std::move(name), container, index) {}
  bool Value() const { return value_; }
  void SetValue(bool v);  // true fires Click

 private:
  bool value_ = false;
};

class CheckBox : public Control {
 public:
  CheckBox(std::string name, Control* container) : Control(ControlKind::CheckBox, std::move(name), container) {}
  int Value() const { return value_; }  // 0 unchecked, 1 checked, 2 grayed
  void SetValue(int v);                 // a change fires Click

 private:
  int value_ = 0;
};

class Frame : public Control {
 public:
  Frame(std::string name, Control* container) : Control(ControlKind::Frame, std::move(name), container) {}
};

enum class ScaleMode { Twips = 1, Pixels = 3 };

// A picture box: shows its picture, or with AutoRedraw its persistent
// drawing surface, whose DC hDC() draws into.
class PictureBox : public Control {
 public:
  PictureBox(std::string name, Control* container, int index = -1)
      : Control(ControlKind::PictureBox, std::move(name), container, index) {}
  ~PictureBox() override;
  // The drawing surface follows the box's size and keeps what it holds.
  void Move(double left, double top, double width, double height) override;
  const runtime::Picture& GetPicture() const { return picture_; }
  void SetPicture(const runtime::Picture& picture);
  runtime::ScaleMode GetScaleMode() const { return scaleMode_; }
  void SetScaleMode(runtime::ScaleMode m);
  bool AutoRedraw = false;
  int BorderStyle = 1;  // 0 none, 1 fixed single
  // Size of the client area in the box's own scale.
  double ScaleWidth() const;
  double ScaleHeight() const;
  // DC of the persistent drawing surface (made on first use, the client
  // area's pixel size, holding the picture).
  HDC hDC();
  // What has been drawn, as a picture ("the drawn image becomes the picture").
  runtime::Picture Image();
  // Clears the drawing surface to the back colour.
  void Cls();
  // Tells the peer the surface changed.
  void Refresh();
  // Current surface pixels, nullptr before the first hDC().
  const Bitmap* Surface() const;

 private:
  void DropSurface();
  void ResizeSurface();
  runtime::Picture picture_;
  runtime::ScaleMode scaleMode_ = runtime::ScaleMode::Twips;
  HDC surfaceDC_ = 0;
  HBITMAP surfaceBmp_ = 0, surfacePrev_ = 0;
};

// An image control takes its picture's natural size.
class ImageBox : public Control {
 public:
  ImageBox(std::string name, Control* container) : Control(ControlKind::Image, std::move(name), container) {}
  const runtime::Picture& GetPicture() const { return picture_; }
  void SetPicture(const runtime::Picture& picture);
  bool Stretch = false;

 private:
  runtime::Picture picture_;
};

class Shape : public Control {
 public:
  Shape(std::string name, Control* container) : Control(ControlKind::Shape, std::move(name), container) {}
  enum class Border { Transparent = 0, Solid = 1, Dot = 3 };
  Border GetBorderStyle() const { return border_; }
  void SetBorderStyle(Border b);
  int BorderWidth = 1;
  OLE_COLOR BorderColor = vbBlack;
  // kCopyPen paints the border colour; kXorPen combines it with each pixel
  // beneath by exclusive or.
  static constexpr int kXorPen = 7, kCopyPen = 13;
  int DrawMode = kCopyPen;

 private:
  Border border_ = Border::Solid;
};

// A straight line (x1, y1)-(x2, y2) in the container's scale.
class Line : public Control {
 public:
  Line(std::string name, Control* container) : Control(ControlKind::Line, std::move(name), container) {}
  double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  int BorderWidth = 1;
  OLE_COLOR BorderColor = vbBlack;
};

class ScrollBar : public Control {
 public:
  ScrollBar(std::string name, Control* container, bool horizontal)
      : Control(horizontal ? ControlKind::HScrollBar : ControlKind::VScrollBar, std::move(name), container) {}
  std::int16_t Min() const { return min_; }
  std::int16_t Max() const { return max_; }
  std::int16_t Value() const { return value_; }
  void SetMin(std::int16_t v);
  void SetMax(std::int16_t v);
  void SetValue(std::int16_t v);  // fires Change when it changes
  // The peer reports a drag: sets the value and fires Scroll.
  void Scrolled(std::int16_t v);
  // The peer reports a finished scroll (thumb released, arrow or track
  // clicked): sets the value and fires Change.
  void ScrollDone(std::int16_t v);
  // The arrow and the page step; they reach the peer with the range.
  std::int16_t SmallChange() const { return smallChange_; }
  std::int16_t LargeChange() const { return largeChange_; }
  void SetSmallChange(std::int16_t v);
  void SetLargeChange(std::int16_t v);
  std::function<void()> Scroll;

 private:
  std::int16_t min_ = 0, max_ = 32767, value_ = 0;
  std::int16_t smallChange_ = 1, largeChange_ = 1;
};

class Timer : public Control {
 public:
  Timer(std::string name, Control* container) : Control(ControlKind::Timer, std::move(name), container) {}
  ~Timer() override;
  std::uint32_t Interval() const { return interval_; }
  void SetInterval(std::uint32_t ms);
  bool TimerEnabled() const { return enabled_; }
  void SetTimerEnabled(bool on);
  std::function<void()> Tick;
  // Whether the timer runs: enabled, interval > 0 and its form loaded.
  bool Running() const;

 private:
  std::uint32_t interval_ = 0;
  bool enabled_ = false;
};

// An image list: 16x16 (or any size) images by key, with a mask colour
// that is drawn transparent.
class ImageList : public Control {
 public:
  ImageList(std::string name, Control* container) : Control(ControlKind::ImageList, std::move(name), container) {}
  OLE_COLOR MaskColor = 0x00C0C0C0;
  bool UseMaskColor = true;
  std::map<std::string, runtime::Picture> ListImages;
};

struct ToolbarButton {
  std::string Key;  // empty for a separator
  std::string ToolTipText;
  std::string ImageKey;
  bool Separator = false;
};

class Toolbar : public Control {
 public:
  Toolbar(std::string name, Control* container) : Control(ControlKind::Toolbar, std::move(name), container) {}
  ImageList* ImageListRef = nullptr;
  std::vector<ToolbarButton> Buttons;
  std::function<void(const ToolbarButton&)> ButtonClick;
};

class CommonDialog : public Control {
 public:
  CommonDialog(std::string name, Control* container) : Control(ControlKind::CommonDialog, std::move(name), container) {}
  std::string DialogTitle, Filter, FileName, DefaultExt, InitDir;
  int FilterIndex = 0;
  long Flags = 0;
  bool CancelError = false;
  // Shows the save dialog; raises error 32755 when cancelled with CancelError.
  void ShowSave();
};

// A menu: a top-level title, an item or a separator ("-").
class Menu : public Control {
 public:
  Menu(std::string name, Control* container) : Control(ControlKind::Menu, std::move(name), container) {}
  bool Checked = false;
  std::string Shortcut;
};

enum class WindowState { Normal = 0, Minimized = 1, Maximized = 2 };
enum class FormBorder { None = 0, FixedSingle = 1, Sizable = 2, FixedDialog = 3, FixedToolWindow = 4 };

// A form. Its controls are members of the derived class, declared in
// design order. Geometry (Left, Top, Width, Height) is the outer window in
// twips; ClientWidth/ClientHeight the design's client area.
class Form : public Control {
 public:
  explicit Form(std::string name);
  ~Form() override;

  bool Loaded() const { return loaded_; }
  bool IsShown() const { return shown_; }
  // True while a modal Show waits for the form.
  bool ShownModal() const { return modal_; }
  double ClientWidth() const { return clientWidth_; }
  double ClientHeight() const { return clientHeight_; }
  void SetClientSize(double width, double height);
  double ScaleWidth() const { return clientWidth_; }
  double ScaleHeight() const { return clientHeight_; }

  runtime::WindowState GetWindowState() const { return state_; }
  void SetWindowState(runtime::WindowState s);
  FormBorder BorderStyle = FormBorder::FixedSingle;
  bool KeyPreview = false;
  bool ShowInTaskbar = true;
  bool ControlBox = true;
  int StartUpPosition = 3;  // 0 manual, 1 owner centre, 2 screen centre, 3 default
  runtime::Picture Icon;
  runtime::Picture BackPicture;  // shown behind the controls
  std::vector<Menu*> Menus;      // top-level menus in order

  // The form's handlers. Load runs once per load; Unload may cancel.
  virtual void Form_Load() {}
  virtual void Form_Unload(int& cancel) {}
  virtual void Form_Activate() {}

  // Loads the form (design values, then Form_Load) unless already loaded.
  void Load();
  // Shows the form; modal runs a nested loop until it hides or unloads.
  void Show(bool modal = false);
  void Hide();
  // Brings the form to the front of the Z order.
  void ZOrder();
  // Unloads the form: Form_Unload, then the peers go. A form may unload
  // itself inside its own Form_Load.
  void Unload();
  void Move(double left, double top, double width, double height) override;
  // Called by a peer when the user resizes or moves the window.
  void PeerMoved(double left, double top, double width, double height);
  // Called by a peer when the user minimises, maximises or restores it.
  void PeerWindowState(runtime::WindowState s) { state_ = s; }

 protected:
  // Resets every control to its design values; runs before each load.
  virtual void Design() {}

 private:
  bool loaded_ = false, shown_ = false, modal_ = false, loading_ = false, unloadedInLoad_ = false;
  double clientWidth_ = 0, clientHeight_ = 0;
  runtime::WindowState state_ = runtime::WindowState::Normal;
};

// The forms loaded now, in load order.
const std::vector<Form*>& LoadedForms();

}  // namespace runtime
