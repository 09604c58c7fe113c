#include "runtime/forms.h"

#include <algorithm>

#include "runtime/error.h"
#include "runtime/events.h"
#include "runtime/gui.h"

namespace runtime {
namespace {
// Never destroyed: static forms leave it during exit.
std::vector<Form*>& LoadedList() {
  static auto* forms = new std::vector<Form*>;
  return *forms;
}
}  // namespace

const std::vector<Form*>& LoadedForms() { return LoadedList(); }

// ---- Control ----

Control::Control(ControlKind kind, std::string name, Control* container, int index)
    : kind_(kind), name_(std::move(name)), index_(index), container_(container) {
  if (container_) container_->children_.push_back(this);
}

Control::~Control() {
  if (peer)
    if (GuiBackend* gui = GuiIfStarted()) gui->Forget(*this);
  if (container_) {
    auto& siblings = container_->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
}

Form* Control::ParentForm() const {
  const Control* c = this;
  while (c->container_) c = c->container_;
  return c->kind_ == ControlKind::Form ? static_cast<Form*>(const_cast<Control*>(c)) : nullptr;
}

void Control::Changed(Prop prop) {
  if (!peer) return;
  if (GuiBackend* gui = GuiIfStarted()) gui->Sync(*this, prop);
}

void Control::Move(double left, double top, double width, double height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  Changed(Prop::Geometry);
}

void Control::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  Changed(Prop::Visible);
}

void Control::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Changed(Prop::Enabled);
}

void Control::SetCaption(const std::string& text) {
  if (text == caption_) return;
  caption_ = text;
  Changed(Prop::Caption);
}

void Control::SetFont(const runtime::Font& font) {
  font_ = font;
  Changed(Prop::Font);
}

void Control::SetForeColor(OLE_COLOR c) {
  foreColor_ = c;
  Changed(Prop::Colors);
}

void Control::SetBackColor(OLE_COLOR c) {
  backColor_ = c;
  Changed(Prop::Colors);
}

void Control::SetMousePointer(runtime::MousePointer p) {
  pointer_ = p;
  Changed(Prop::MousePointer);
}

HWND Control::hWnd() const {
  if (!peer) return 0;
  GuiBackend* gui = GuiIfStarted();
  return gui ? gui->Handle(*this) : 0;
}

void Control::SetFocus() {
  if (!peer) return;
  if (GuiBackend* gui = GuiIfStarted()) gui->Focus(*this);
}

// ---- Controls with values ----

void TextBox::SetCaption(const std::string& text) {
  if (text == Caption()) return;
  Control::SetCaption(text);
  if (Change) Change();
}

void OptionButton::SetValue(bool v) {
  if (v == value_) {
    if (v && Click) Click();
    return;
  }
  value_ = v;
  if (v && Container()) {
    for (Control* sibling : Container()->Children())
      if (sibling != this && sibling->Kind() == ControlKind::OptionButton)
        static_cast<OptionButton*>(sibling)->SetValue(false);
  }
  Changed(Prop::Value);
  if (v && Click) Click();
}

void CheckBox::SetValue(int v) {
  if (v == value_) return;
  value_ = v;
  Changed(Prop::Value);
  if (Click) Click();
}

void ScrollBar::SetMin(std::int16_t v) {
  min_ = v;
  Changed(Prop::Range);
}

void ScrollBar::SetMax(std::int16_t v) {
  max_ = v;
  Changed(Prop::Range);
}

void ScrollBar::SetSmallChange(std::int16_t v) {
  smallChange_ = v;
  Changed(Prop::Range);
}

void ScrollBar::SetLargeChange(std::int16_t v) {
  largeChange_ = v;
  Changed(Prop::Range);
}

void ScrollBar::SetValue(std::int16_t v) {
  if (v == value_) return;
  value_ = v;
  Changed(Prop::Value);
  if (Change) Change();
}

void ScrollBar::Scrolled(std::int16_t v) {
  value_ = v;
  if (Scroll) Scroll();
}

void ScrollBar::ScrollDone(std::int16_t v) {
  value_ = v;
  if (Change) Change();
}

void Shape::SetBorderStyle(Border b) {
  border_ = b;
  Changed(Prop::Style);
}

// ---- Image and picture boxes ----

void ImageBox::SetPicture(const runtime::Picture& picture) {
  picture_ = picture;
  // An image control takes its picture's natural size.
  if (picture_) {
    Move(Left(), Top(), picture_.PixelWidth() * Screen().TwipsPerPixelX(),
         picture_.PixelHeight() * Screen().TwipsPerPixelY());
  }
  Changed(Prop::Picture);
}

PictureBox::~PictureBox() { DropSurface(); }

void PictureBox::SetPicture(const runtime::Picture& picture) {
  picture_ = picture;
  DropSurface();  // the surface is rebuilt from the new picture on demand
  Changed(Prop::Picture);
}

void PictureBox::SetScaleMode(runtime::ScaleMode m) {
  scaleMode_ = m;
  Changed(Prop::Geometry);
}

double PictureBox::ScaleWidth() const {
  const double border = BorderStyle ? 2 * Screen().TwipsPerPixelX() : 0;
  const double twips = std::max(0.0, Width() - border);
  return scaleMode_ == runtime::ScaleMode::Pixels ? twips / Screen().TwipsPerPixelX() : twips;
}

double PictureBox::ScaleHeight() const {
  const double border = BorderStyle ? 2 * Screen().TwipsPerPixelY() : 0;
  const double twips = std::max(0.0, Height() - border);
  return scaleMode_ == runtime::ScaleMode::Pixels ? twips / Screen().TwipsPerPixelY() : twips;
}

namespace {
// Pixel size of a picture box's client area.
std::pair<std::int32_t, std::int32_t> ClientPixels(const PictureBox& box) {
  const bool pixels = box.GetScaleMode() == runtime::ScaleMode::Pixels;
  return {static_cast<std::int32_t>(box.ScaleWidth() / (pixels ? 1 : Screen().TwipsPerPixelX())),
          static_cast<std::int32_t>(box.ScaleHeight() / (pixels ? 1 : Screen().TwipsPerPixelY()))};
}

// A new surface bitmap filled with the back colour.
HBITMAP NewSurface(std::int32_t w, std::int32_t h, OLE_COLOR back) {
  HBITMAP bitmap = CreateCompatibleBitmap(0, std::max(1, w), std::max(1, h));
  if (Bitmap* bmp = BitmapOf(bitmap)) {
    bmp->Allocate();
    const OLE_COLOR c = back & 0x80000000 ? 0xC0C0C0 : back;
    for (std::int32_t y = 0; bmp->bits && y < bmp->height; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(bmp->Row(y));
      std::fill(row, row + bmp->width, ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF));
    }
  }
  return bitmap;
}
}  // namespace

void PictureBox::Move(double left, double top, double width, double height) {
  Control::Move(left, top, width, height);
  ResizeSurface();
}

void PictureBox::ResizeSurface() {
  const Bitmap* old = surfaceBmp_ ? BitmapOf(surfaceBmp_) : nullptr;
  if (!old) return;
  const auto [w, h] = ClientPixels(*this);
  if (std::max(1, w) == old->width && std::max(1, h) == old->height) return;
  // The same DC keeps serving: whoever holds it draws on the new bitmap.
  HBITMAP bigger = NewSurface(w, h, BackColor());
  HDC dst = CreateCompatibleDC(0);
  HGDIOBJ prev = SelectObject(dst, bigger);
  BitBlt(dst, 0, 0, std::min(w, old->width), std::min(h, old->height), surfaceDC_, 0, 0, SRCCOPY);
  SelectObject(dst, prev);
  DeleteDC(dst);
  SelectObject(surfaceDC_, bigger);
  DeleteObject(surfaceBmp_);
  surfaceBmp_ = bigger;
}

HDC PictureBox::hDC() {
  if (surfaceDC_) return surfaceDC_;
  const auto [w, h] = ClientPixels(*this);
  surfaceDC_ = CreateCompatibleDC(0);
  surfaceBmp_ = NewSurface(w, h, BackColor());
  surfacePrev_ = SelectObject(surfaceDC_, surfaceBmp_);
  // The surface starts out holding the picture.
  if (picture_) {
    HDC src = CreateCompatibleDC(0);
    HGDIOBJ prev = SelectObject(src, picture_.Handle());
    BitBlt(surfaceDC_, 0, 0, picture_.PixelWidth(), picture_.PixelHeight(), src, 0, 0, SRCCOPY);
    SelectObject(src, prev);
    DeleteDC(src);
  }
  return surfaceDC_;
}

runtime::Picture PictureBox::Image() {
  hDC();
  // A copy, so that later drawing does not change the picture handed out.
  const Bitmap* surface = BitmapOf(surfaceBmp_);
  HBITMAP copy = CreateCompatibleBitmap(0, surface->width, surface->height);
  HDC dst = CreateCompatibleDC(0);
  HGDIOBJ prev = SelectObject(dst, copy);
  BitBlt(dst, 0, 0, surface->width, surface->height, surfaceDC_, 0, 0, SRCCOPY);
  SelectObject(dst, prev);
  DeleteDC(dst);
  PICTDESC desc;
  desc.hbitmap = copy;
  return OleCreatePictureIndirect(desc, true);
}

void PictureBox::Cls() {
  DropSurface();
  picture_ = {};
  Changed(Prop::Image);
}

void PictureBox::Refresh() { Changed(Prop::Image); }

const Bitmap* PictureBox::Surface() const { return surfaceBmp_ ? BitmapOf(surfaceBmp_) : nullptr; }

void PictureBox::DropSurface() {
  if (!surfaceDC_) return;
  SelectObject(surfaceDC_, surfacePrev_);
  DeleteObject(surfaceBmp_);
  DeleteDC(surfaceDC_);
  surfaceDC_ = surfaceBmp_ = surfacePrev_ = 0;
}

// ---- Timer ----

Timer::~Timer() { events::TimerDestroyed(*this); }

void Timer::SetInterval(std::uint32_t ms) {
  interval_ = ms;
  events::TimerChanged(*this);
}

void Timer::SetTimerEnabled(bool on) {
  enabled_ = on;
  events::TimerChanged(*this);
}

bool Timer::Running() const {
  const Form* form = ParentForm();
  return enabled_ && interval_ > 0 && form && form->Loaded();
}

// ---- Common dialog ----

void CommonDialog::ShowSave() {
  GuiBackend* gui = Gui();
  // Without a display the dialog cannot open; that counts as a cancel.
  if ((!gui || !gui->ShowSave(*this)) && CancelError) Raise(32755, "Cancel was selected.");
}

// ---- Form ----

Form::Form(std::string name) : Control(ControlKind::Form, std::move(name), nullptr) {}

Form::~Form() {
  auto& forms = LoadedList();
  forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
}

void Form::SetClientSize(double width, double height) {
  clientWidth_ = width;
  clientHeight_ = height;
  Changed(Prop::Geometry);
}

void Form::SetWindowState(runtime::WindowState s) {
  state_ = s;
  Changed(Prop::WindowState);
}

static void RestartTimers(Control& c) {
  for (Control* child : c.Children()) {
    if (child->Kind() == ControlKind::Timer) events::TimerChanged(*static_cast<Timer*>(child));
    RestartTimers(*child);
  }
}

void Form::Load() {
  if (loaded_ || loading_) return;
  Design();
  loaded_ = true;
  loading_ = true;
  unloadedInLoad_ = false;
  LoadedList().push_back(this);
  RestartTimers(*this);
  Form_Load();
  loading_ = false;
}

void Form::Show(bool modal) {
  Load();
  if (!loaded_) return;  // unloaded itself while loading
  GuiBackend* gui = Gui();
  if (!gui) return;
  gui->Realize(*this);
  shown_ = true;
  modal_ = modal;
  SetVisible(true);
  Changed(Prop::Visible);
  Form_Activate();
  if (modal) {
    RunMessageLoop([this] { return !loaded_ || !shown_; });
    modal_ = false;
  }
}

void Form::Hide() {
  shown_ = false;
  SetVisible(false);
}

void Form::ZOrder() { Changed(Prop::ZOrder); }

void Form::Unload() {
  if (!loaded_) return;
  int cancel = 0;
  Form_Unload(cancel);
  if (cancel) return;
  loaded_ = false;
  shown_ = false;
  if (loading_) unloadedInLoad_ = true;
  auto& forms = LoadedList();
  forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
  RestartTimers(*this);  // stops them: the form is no longer loaded
  if (peer)
    if (GuiBackend* gui = GuiIfStarted()) gui->Destroy(*this);
}

void Form::Move(double left, double top, double width, double height) { Control::Move(left, top, width, height); }

void Form::PeerMoved(double left, double top, double width, double height) {
  void* saved = peer;
  peer = nullptr;  // the peer already knows; do not echo it back
  Control::Move(left, top, width, height);
  peer = saved;
}

}  // namespace runtime
