#include "runtime/clipboard.h"

#include "runtime/gdi.h"
#include "runtime/gui.h"

namespace runtime {
namespace {
bool opened = false;
}  // namespace

void ClipboardObject::Clear() {
  if (GuiBackend* gui = Gui()) gui->SetClipboardPicture(nullptr);
}

void ClipboardObject::SetData(const Picture& picture, int format) {
  const Bitmap* bitmap = BitmapOf(picture.Handle());
  if (format != CF_BITMAP || !bitmap || !bitmap->bits) return;
  if (GuiBackend* gui = Gui()) gui->SetClipboardPicture(bitmap);
}

ClipboardObject& Clipboard() {
  static ClipboardObject clipboard;
  return clipboard;
}

bool OpenClipboard(HWND) {
  if (opened || !Gui()) return false;
  opened = true;
  return true;
}

bool EmptyClipboard() {
  if (!opened) return false;
  return Gui()->SetClipboardPicture(nullptr);
}

HANDLE SetClipboardData(int format, HANDLE data) {
  const Bitmap* bitmap = BitmapOf(data);
  if (!opened || format != CF_BITMAP || !bitmap || !bitmap->bits) return 0;
  if (!Gui()->SetClipboardPicture(bitmap)) return 0;
  // The toolkit keeps its own copy; the handle is the clipboard's now.
  DeleteObject(data);
  return data;
}

bool CloseClipboard() {
  const bool was = opened;
  opened = false;
  return was;
}

}  // namespace runtime
