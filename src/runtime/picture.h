// The picture object: a bitmap and an optional palette, owned together and
// freed with the last reference.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "runtime/types.h"

namespace runtime {

struct PICTDESC {
  std::int32_t cbSizeofstruct = 20;
  std::int32_t picType = 1;  // bitmap
  HBITMAP hbitmap = 0;
  HPALETTE hpal = 0;
  std::int32_t reserved = 0;
};

class Picture {
 public:
  Picture() = default;  // no picture: Handle() is 0

  // Default property: the bitmap handle, 0 when there is none.
  HBITMAP Handle() const { return owner_ ? owner_->bitmap : 0; }
  HPALETTE hPal() const { return owner_ ? owner_->palette : 0; }
  explicit operator bool() const { return Handle() != 0; }
  // Size of the bitmap in pixels (0 when there is none).
  std::int32_t PixelWidth() const;
  std::int32_t PixelHeight() const;
  // Size in HIMETRIC (0.01 mm) at 96 pixels per inch, rounded; raises
  // "Object variable not set" (91) when there is no picture at all.
  std::int32_t Width() const;
  std::int32_t Height() const;
  bool operator==(const Picture& other) const { return owner_ == other.owner_; }

 private:
  friend Picture OleCreatePictureIndirect(const PICTDESC& desc, bool own);
  struct Owner {
    HBITMAP bitmap = 0;
    HPALETTE palette = 0;
    bool own = true;
    ~Owner();
  };
  std::shared_ptr<Owner> owner_;
};

// Wraps the handles of desc in a picture; with own, the picture deletes them.
Picture OleCreatePictureIndirect(const PICTDESC& desc, bool own);

// Writes a bitmap picture as a 24-bit bottom-up BMP file under exactly the
// name given, as WriteFileSafely does: an existing file is replaced only
// when the new one is complete and keeps its mode and owner. Raises a run-time error when it cannot be written;
// a picture without a bitmap raises "Invalid picture" (481).
void SavePicture(const Picture& picture, const std::string& fileName);

}  // namespace runtime
