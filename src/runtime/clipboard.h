// The clipboard: the runtime's clipboard object and the calls of the
// platform's clipboard API. Pictures go to the platform's clipboard as
// bitmaps (on X11: the CLIPBOARD selection as image/png and image/bmp).
#pragma once
#include "runtime/picture.h"
#include "runtime/types.h"

namespace runtime {

class ClipboardObject {
 public:
  // Empties the clipboard.
  void Clear();
  // Puts a copy of the picture on the clipboard in format (CF_BITMAP);
  // a picture without a bitmap leaves the clipboard as it is.
  void SetData(const Picture& picture, int format = CF_BITMAP);
};

ClipboardObject& Clipboard();

// Opened by at most one caller at a time; false when it cannot be opened
// (no display, or already open).
bool OpenClipboard(HWND owner);
bool EmptyClipboard();
// Takes a bitmap handle in CF_BITMAP; on success the clipboard owns the
// bitmap and the handle is returned, otherwise 0 and the caller keeps it.
HANDLE SetClipboardData(int format, HANDLE data);
bool CloseClipboard();

}  // namespace runtime
