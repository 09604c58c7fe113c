#include "runtime/qt/qt_backend.h"

#include <QAbstractEventDispatcher>
#include <QBuffer>
#include <QClipboard>
#include <QMimeData>
#include <QThread>
#include <QFileDialog>
#include <QMenu>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QMenuBar>
#include <QProxyStyle>
#include <QStyle>
#include <QGuiApplication>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "runtime/app.h"
#include "runtime/events.h"
#include "runtime/forms.h"
#include "runtime/qt/qt_convert.h"
#include "runtime/qt/qt_dispatch.h"
#include "runtime/qt/qt_form_window.h"
#include "runtime/qt/qt_peer.h"
#include "runtime/qt/qt_printer.h"
#include "runtime/qt/selection_keeper.h"
#include "runtime/qt/window_system.h"

namespace runtime::qt {
namespace {
QtPeer* PeerOf(const Control& control) { return static_cast<QtPeer*>(control.peer); }

void CollectPeers(const Control& container, std::vector<const Control*>& controls) {
  for (const Control* child : container.Children()) {
    if (!PeerOf(*child)) continue;
    controls.push_back(child);
    CollectPeers(*child, controls);
  }
}

// Tab walks the form's controls by TabIndex, those inside frames and
// picture boxes included, as the design numbers them; equal numbers keep
// the order in which the controls were made.
void ApplyTabOrder(const Form& form) {
  std::vector<const Control*> controls;
  CollectPeers(form, controls);
  std::stable_sort(controls.begin(), controls.end(),
                   [](const Control* a, const Control* b) { return a->TabIndex < b->TabIndex; });
  // Qt leaves a control without focus out of the chain, so one out of sight
  // takes its place with its design's focus and loses the focus afterwards.
  QWidget* previous = nullptr;
  for (const Control* control : controls) {
    QtPeer* peer = PeerOf(*control);
    QWidget* widget = peer->Widget();
    if (!widget || !(peer->DesignFocus() & Qt::TabFocus)) continue;
    widget->setFocusPolicy(peer->DesignFocus());
    if (previous) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
  for (const Control* control : controls) PeerOf(*control)->ApplyFocusable();
}

constexpr long OFN_OVERWRITEPROMPT = 0x2;
// What a title bar holds besides the title: the icon, up to three buttons
// and the margins between them.
constexpr int kTitleBarRoom = 110;

// The toolkit's style with the option circles, check boxes and gaps to
// their captions that the designs were measured with: the main window's
// option frames are 57 pixels wide, and "Screen" must fit inside the border.
class DesignStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    switch (metric) {
      case PM_ExclusiveIndicatorWidth:
      case PM_ExclusiveIndicatorHeight: return 12;
      case PM_IndicatorWidth:
      case PM_IndicatorHeight: return 13;
      case PM_RadioButtonLabelSpacing:
      case PM_CheckBoxLabelSpacing: return 4;
      default: return QProxyStyle::pixelMetric(metric, option, widget);
    }
  }
};
}  // namespace

QtBackend::QtBackend(std::unique_ptr<QApplication> app, std::unique_ptr<WindowSystem> windowSystem)
    : app_(std::move(app)), windowSystem_(std::move(windowSystem)) {
  windowSystem_->Attach();
  wake_.setSingleShot(true);
  QApplication::setQuitOnLastWindowClosed(false);
  // The designs are laid out for 8-point text at 96 pixels per inch.
  QFont font = QApplication::font();
  font.setFamilies({"Liberation Sans", font.family()});
  font.setPixelSize(11);
  QApplication::setFont(font);
  QApplication::setStyle(new DesignStyle(QApplication::style()->name()));
}

QtBackend::~QtBackend() {
  KeepClipboard();
  for (Form* form : LoadedForms())
    if (form->peer) DetachTree(*form);
  DeleteBuried();
}

void QtBackend::Realize(Form& form) {
  if (form.peer) return;
  auto* window = new QtFormWindow(form, *windowSystem_);
  auto* peer = new QtPeer(form, window);
  BuildMenus(form, *window);
  RealizeChildren(form, *peer);
  ApplyTabOrder(form);
  peer->SyncAll();
  window->ApplyInitialGeometry();
}

void QtBackend::RealizeChildren(Control& container, QtPeer& containerPeer) {
  for (Control* child : container.Children()) {
    if (child->Kind() == ControlKind::Menu) continue;
    auto* peer = new QtPeer(*child, containerPeer);
    if (!peer->Widget()) {  // no native counterpart (timers, lists, dialogs)
      child->peer = nullptr;
      delete peer;
      continue;
    }
    RealizeChildren(*child, *peer);
    peer->SyncAll();
  }
}

void QtBackend::BuildMenus(Form& form, QtFormWindow& window) {
  std::vector<Menu*> titles = form.Menus;
  if (titles.empty())
    for (Control* child : form.Children())
      if (child->Kind() == ControlKind::Menu) titles.push_back(static_cast<Menu*>(child));
  // Items nest to any depth; an item with items of its own is a submenu.
  std::function<void(QMenu&, Control&)> fill = [&](QMenu& menu, Control& parent) {
    for (Control* child : parent.Children()) {
      if (child->Kind() != ControlKind::Menu) continue;
      auto* item = static_cast<Menu*>(child);
      QAction* action;
      if (std::any_of(item->Children().begin(), item->Children().end(),
                      [](Control* c) { return c->Kind() == ControlKind::Menu; })) {
        QMenu* sub = menu.addMenu(ToQString(item->Caption()));
        fill(*sub, *item);
        action = sub->menuAction();
      } else {
        action = menu.addAction(ToQString(item->Caption()));
      }
      new QtPeer(*item, action, &window);
      PeerOf(*item)->Sync(Prop::Caption);
    }
  };
  for (Menu* title : titles) {
    QMenu* menu = window.MenuBar()->addMenu(ToQString(title->Caption()));
    fill(*menu, *title);
    new QtPeer(*title, menu->menuAction(), &window);
    PeerOf(*title)->Sync(Prop::Caption);
  }
}

void QtBackend::DetachTree(Control& control) {
  for (Control* child : control.Children()) DetachTree(*child);
  if (QtPeer* peer = PeerOf(control)) {
    peer->Detach();
    control.peer = nullptr;
  }
}

void QtBackend::Destroy(Form& form) {
  auto* window = form.peer ? qobject_cast<QtFormWindow*>(PeerOf(form)->Widget()) : nullptr;
  DetachTree(form);
  if (window) Bury(window);
}

void QtBackend::Forget(Control& control) {
  QtPeer* peer = PeerOf(control);
  if (!peer) return;
  auto* window = control.Kind() == ControlKind::Form ? qobject_cast<QtFormWindow*>(peer->Widget()) : nullptr;
  DetachTree(control);
  if (window) Bury(window);
  else if (QWidget* widget = peer->Widget()) widget->hide();
}

void QtBackend::Bury(QtFormWindow* window) {
  window->Detach();
  window->hide();
  buried_.emplace_back(window);
  Flush();
}

void QtBackend::DeleteBuried() {
  // Only when no handler called from one of these widgets is still running.
  if (DispatchDepth() > 0) return;
  std::vector<QPointer<QtFormWindow>> buried;
  buried.swap(buried_);
  for (auto& window : buried) delete window.data();
}

void QtBackend::Sync(Control& control, Prop prop) {
  if (control.Kind() == ControlKind::Form && prop == Prop::MousePointer) ApplyOverrideCursor();
  if (QtPeer* peer = PeerOf(control)) peer->Sync(prop);
  if (prop == Prop::MousePointer || prop == Prop::ZOrder || prop == Prop::Visible) Flush();
}

void QtBackend::ApplyOverrideCursor() {
  const MousePointer pointer = Screen().GetMousePointer();
  if (pointer == MousePointer::Default) {
    if (overrideCursor_) QGuiApplication::restoreOverrideCursor();
    overrideCursor_ = false;
  } else if (overrideCursor_) {
    QGuiApplication::changeOverrideCursor(ToCursorShape(pointer));
  } else {
    QGuiApplication::setOverrideCursor(ToCursorShape(pointer));
    overrideCursor_ = true;
  }
}

void QtBackend::Flush() { windowSystem_->Flush(); }

void QtBackend::Pump(int timeoutMs) {
  DeleteBuried();
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  if (timeoutMs > 0) {
    // One wait that ends with the first events or the next timer tick; the
    // events that woke it are handled in the same pass.
    wake_.start(timeoutMs);
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    wake_.stop();
  } else {
    // Everything pending, within reason: a widget that keeps posting work
    // must not hold the runtime's timers up.
    for (int round = 0; round < 16 && dispatcher->processEvents(QEventLoop::AllEvents); ++round) {
    }
  }
  Flush();
  DeleteBuried();
}

void QtBackend::Beep() {
  QApplication::beep();
  Flush();
}

void QtBackend::MsgBox(const std::string& text, MsgBoxStyle style, const std::string& title) {
  QMessageBox box(style == MsgBoxStyle::Critical ? QMessageBox::Critical : QMessageBox::NoIcon, ToQString(title),
                  ToQString(text), QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  // Wide enough for the window manager to show the whole title beside the
  // window's icon and buttons ("Invalid Picture" was cut to "In...e").
  QFont titleFont = box.font();
  titleFont.setBold(true);
  titleFont.setPixelSize(titleFont.pixelSize() + 2);
  const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + kTitleBarRoom;
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                  grid->columnCount());
  // Modal through the runtime's own loop, so that its timers go on ticking.
  bool done = false;
  QObject::connect(&box, &QDialog::finished, [&done] { done = true; });
  box.show();
  DispatchScope scope;  // the box lives on this stack frame
  RunMessageLoop([&done] { return done; });
}

bool QtBackend::ShowSave(CommonDialog& dialog) {
  QFileDialog box(nullptr, ToQString(dialog.DialogTitle.empty() ? "Save As" : dialog.DialogTitle));
  box.setOption(QFileDialog::DontUseNativeDialog);
  box.setAcceptMode(QFileDialog::AcceptSave);
  box.setFileMode(QFileDialog::AnyFile);
  box.setWindowModality(Qt::ApplicationModal);
  if (!(dialog.Flags & OFN_OVERWRITEPROMPT)) box.setOption(QFileDialog::DontConfirmOverwrite);
  const QStringList filters = ToNameFilters(dialog.Filter);
  if (!filters.isEmpty()) {
    box.setNameFilters(filters);
    const int index = std::clamp(dialog.FilterIndex, 1, static_cast<int>(filters.size())) - 1;
    box.selectNameFilter(filters[index]);
  }
  if (!dialog.DefaultExt.empty()) box.setDefaultSuffix(ToQString(dialog.DefaultExt));
  if (!dialog.InitDir.empty()) box.setDirectory(ToQString(dialog.InitDir));
  if (!dialog.FileName.empty()) box.selectFile(ToQString(dialog.FileName));
  bool done = false;
  QObject::connect(&box, &QDialog::finished, [&done] { done = true; });
  box.show();
  {
    DispatchScope scope;
    RunMessageLoop([&done] { return done; });
  }
  if (box.result() != QDialog::Accepted || box.selectedFiles().isEmpty()) return false;
  dialog.FileName = FromQString(box.selectedFiles().front());
  dialog.FilterIndex = static_cast<int>(filters.indexOf(box.selectedNameFilter())) + 1;
  return true;
}

namespace {
std::string Encode(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, format)) return {};
  return bytes.toStdString();
}
}  // namespace

bool QtBackend::SetClipboardPicture(const Bitmap* bitmap) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboardPng_.clear();
  clipboardBmp_.clear();
  if (!bitmap) {
    clipboard->clear(QClipboard::Clipboard);
    Flush();
    return true;
  }
  const QImage image = ToQImage(*bitmap);
  if (image.isNull()) return false;
  // Encoded once, here: pasting and handing over at exit then cost nothing.
  clipboardPng_ = Encode(image, "PNG");
  clipboardBmp_ = Encode(image, "BMP");
  if (clipboardPng_.empty() || clipboardBmp_.empty()) return false;
  auto* data = new QMimeData;
  data->setData("image/png", QByteArray::fromStdString(clipboardPng_));
  data->setData("image/bmp", QByteArray::fromStdString(clipboardBmp_));
  clipboard->setMimeData(data, QClipboard::Clipboard);
  Flush();
  return clipboard->ownsClipboard();
}

void QtBackend::KeepClipboard() {
  if (clipboardPng_.empty() || !QGuiApplication::clipboard()->ownsClipboard()) return;
  // Our own keeper, not Qt's exit handover, gives the picture to a
  // clipboard manager: Qt's stalls and loses formats with some managers.
  if (!KeepClipboardAfterExit({{"image/png", clipboardPng_}, {"image/bmp", clipboardBmp_}})) return;
  // Qt must see that it lost the selection, or it tries a handover too.
  for (int i = 0; i < 100 && QGuiApplication::clipboard()->ownsClipboard(); ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(10);
  }
}

std::unique_ptr<PrinterDevice> QtBackend::OpenDefaultPrinter(std::string& why) {
  return QtPrinterDevice::OpenDefault(why);
}

HWND QtBackend::Handle(const Control& control) {
  QtPeer* peer = PeerOf(control);
  if (!peer || !peer->Widget() || !(peer->Windowed() || control.Kind() == ControlKind::Form)) return 0;
  return static_cast<HWND>(peer->Widget()->winId());
}

void QtBackend::Focus(Control& control) {
  QtPeer* peer = PeerOf(control);
  if (!peer || !peer->Widget()) return;
  if (control.Kind() == ControlKind::Form) {
    peer->Widget()->activateWindow();
  } else {
    peer->Widget()->activateWindow();
    peer->Widget()->setFocus(Qt::OtherFocusReason);
  }
  Flush();
}

}  // namespace runtime::qt

// The module's entry: starts Qt on the display, or returns nullptr when
// there is none (Qt would end the process instead of failing).
extern "C" __attribute__((visibility("default"))) runtime::GuiBackend* glimmet_create_gui_backend() {
  std::unique_ptr<runtime::qt::WindowSystem> windowSystem = runtime::qt::OpenWindowSystem();
  if (!windowSystem) return nullptr;
  // Qt's own event dispatcher: the loop wakes every 10 ms for the pointer
  // tracker, and each wake-up through GLib's main context costs several
  // times as much.
  setenv("QT_NO_GLIB", "1", 0);
  // Without a session's runtime folder (cron, CI, sudo) Qt notes that it
  // falls back to a private one; that note would break the batch run's
  // promise of one reason line on stderr, so only it is dropped.
  static QtMessageHandler standard = nullptr;
  standard = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
    if (standard) standard(type, context, text);
  });
  // QApplication keeps references to these for its whole life.
  static std::string name = runtime::App().EXEName.empty() ? "glimmet" : runtime::App().EXEName;
  static char* argv[] = {name.data(), nullptr};
  static int argc = 1;
  // Only the controls that are windows get one. By default Qt would make
  // every sibling of a native widget native too, and the selector's hollow
  // outline, then a window stacked above the handles, would cover them and
  // hand their presses to the picture beneath.
  QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
  auto app = std::make_unique<QApplication>(argc, argv);
  QApplication::setApplicationName(QString::fromStdString(runtime::App().Title));
  return new runtime::qt::QtBackend(std::move(app), std::move(windowSystem));
}
