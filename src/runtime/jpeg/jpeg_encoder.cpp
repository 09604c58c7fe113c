#include "runtime/jpeg/jpeg_encoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <new>

#include <jerror.h>
#include <jpeglib.h>

#include "runtime/jpeg/ijl.h"
#include "runtime/parallel.h"

namespace runtime::jpeg {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);
constexpr std::int32_t kMaxDimension = 65500;  // libjpeg's limit
constexpr std::int32_t kAutoMinRows = 256;     // below this one core is quicker than starting threads

// libjpeg reports errors by calling error_exit, which must not return: jump
// back to the strip's entry point instead of ending the process.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  int code = IJL_ENCODER_ERROR;
};

void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  switch (cinfo->err->msg_code) {
    case JERR_OUT_OF_MEMORY: err->code = IJL_MEMORY_ERROR; break;
    case JERR_IMAGE_TOO_BIG:
    case JERR_EMPTY_IMAGE: err->code = IJL_INVALID_JPG_SIZE; break;
    default: err->code = IJL_ENCODER_ERROR; break;
  }
  std::longjmp(err->jump, 1);
}

void Silent(j_common_ptr) {}

// A destination that grows a vector owned by the caller, so the bytes
// survive an error jump without libjpeg's own buffer bookkeeping.
struct VectorDestination {
  jpeg_destination_mgr pub;
  ByteBuffer* out;
  std::size_t initial;
};

bool Grow(j_compress_ptr cinfo, std::size_t size) {
  auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
  try {
    d->out->resize(size);
  } catch (...) {  // nothing may unwind through libjpeg's C frames
    return false;
  }
  return true;
}

void InitDestination(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
  d->out->clear();
  if (!Grow(cinfo, d->initial)) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  d->pub.next_output_byte = d->out->data();
  d->pub.free_in_buffer = d->out->size();
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
  const std::size_t used = d->out->size();  // libjpeg only calls this when the buffer is full
  if (!Grow(cinfo, used * 2)) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  d->pub.next_output_byte = d->out->data() + used;
  d->pub.free_in_buffer = d->out->size() - used;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
  d->out->resize(d->out->size() - d->pub.free_in_buffer);
}

void SetSampling(jpeg_compress_struct& cinfo, int subsampling) {
  cinfo.comp_info[0].h_samp_factor = subsampling == IJL_NONE ? 1 : 2;
  cinfo.comp_info[0].v_samp_factor = subsampling == IJL_420 ? 2 : 1;
  for (int c = 1; c < 3; ++c) cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
}

// Encodes rows as a complete JPEG of their own into out. Every strip gets
// the same tables, so their entropy-coded data can follow one header.
// rows must stay valid until the call returns; nothing with a destructor is
// made after setjmp.
int EncodeStrip(const Image& image, const Settings& settings, JSAMPROW* rows, std::int32_t count,
                bool firstStrip, ByteBuffer& out) {
  jpeg_compress_struct cinfo;
  ErrorManager err;
  VectorDestination dest;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.output_message = Silent;
  dest.pub.init_destination = InitDestination;
  dest.pub.empty_output_buffer = EmptyOutputBuffer;
  dest.pub.term_destination = TermDestination;
  dest.out = &out;
  // About a quarter of a byte a pixel is typical for screens at quality 80.
  dest.initial = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(count) / 4 + 2048;

  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    return err.code;
  }
  jpeg_create_compress(&cinfo);
  cinfo.dest = &dest.pub;
  cinfo.image_width = static_cast<JDIMENSION>(image.width);
  cinfo.image_height = static_cast<JDIMENSION>(count);
  cinfo.input_components = 3;
  cinfo.in_color_space = image.bgr ? JCS_EXT_BGR : JCS_EXT_RGB;
  jpeg_set_defaults(&cinfo);  // YCbCr, baseline Huffman tables, no optimisation pass
  jpeg_set_quality(&cinfo, settings.quality, TRUE);
  SetSampling(cinfo, settings.subsampling);
  if (!firstStrip) {
    // Only the first strip's header reaches the file.
    cinfo.write_JFIF_header = FALSE;
    jpeg_suppress_tables(&cinfo, TRUE);
  }
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height)
    jpeg_write_scanlines(&cinfo, rows + cinfo.next_scanline, cinfo.image_height - cinfo.next_scanline);
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return IJL_OK;
}

struct Markers {
  std::size_t sof = kNone;   // start of the SOF0 segment
  std::size_t sos = kNone;   // start of the SOS segment
  std::size_t data = kNone;  // first byte of entropy-coded data
};

// Walks the marker segments of a JPEG that libjpeg has just made, up to the
// start of its scan; false when the layout is not the expected one.
bool FindMarkers(const ByteBuffer& j, Markers& m) {
  if (j.size() < 6 || j[0] != 0xFF || j[1] != 0xD8 || j[j.size() - 2] != 0xFF || j[j.size() - 1] != 0xD9)
    return false;
  std::size_t p = 2;
  while (p + 4 <= j.size()) {
    if (j[p] != 0xFF) return false;
    const std::uint8_t marker = j[p + 1];
    const std::size_t length = static_cast<std::size_t>(j[p + 2]) << 8 | j[p + 3];
    if (length < 2 || p + 2 + length > j.size() - 2) return false;
    if (marker == 0xC0) m.sof = p;
    if (marker == 0xDA) {
      m.sos = p;
      m.data = p + 2 + length;
      return true;
    }
    p += 2 + length;
  }
  return false;
}

void Put16(std::vector<std::uint8_t>& v, std::size_t at, unsigned value) {
  v[at] = static_cast<std::uint8_t>(value >> 8);
  v[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

int McuHeight(int subsampling) { return subsampling == IJL_420 ? 16 : 8; }
int McuWidth(int subsampling) { return subsampling == IJL_NONE ? 8 : 16; }

}  // namespace

bool EncodedJpeg::Write(const std::function<bool(const std::uint8_t*, std::size_t)>& sink) const {
  if (strips_.empty()) return false;
  if (!header_.empty() && !sink(header_.data(), header_.size())) return false;
  for (std::size_t k = 0; k < strips_.size(); ++k) {
    const Strip& s = strips_[k];
    if (k > 0) {
      const std::uint8_t rst[2] = {0xFF, static_cast<std::uint8_t>(0xD0 + ((k - 1) & 7))};
      if (!sink(rst, 2)) return false;
    }
    if (!sink(s.data.data() + s.begin, s.end - s.begin)) return false;
  }
  if (!header_.empty()) {
    static const std::uint8_t eoi[2] = {0xFF, 0xD9};
    if (!sink(eoi, 2)) return false;
  }
  return true;
}

std::vector<std::uint8_t> EncodedJpeg::Bytes() const {
  std::vector<std::uint8_t> all;
  all.reserve(Size());
  Write([&](const std::uint8_t* p, std::size_t n) {
    all.insert(all.end(), p, p + n);
    return true;
  });
  return all;
}

std::size_t EncodedJpeg::Size() const {
  std::size_t n = header_.empty() ? 0 : header_.size() + 2;
  for (const Strip& s : strips_) n += s.end - s.begin;
  return n + (strips_.empty() ? 0 : 2 * (strips_.size() - 1));
}

std::int32_t StripRows(std::int32_t width, std::int32_t height, int subsampling, int strips) {
  if (strips <= 0) strips = height >= kAutoMinRows ? static_cast<int>(Cores()) : 1;
  if (strips <= 1 || height <= 16) return height;
  std::int32_t rows = (height + strips - 1) / strips;
  rows = (rows + 15) / 16 * 16;
  // The restart interval (MCUs per strip) is a 16-bit field.
  const std::int32_t mcusPerRow = (width + McuWidth(subsampling) - 1) / McuWidth(subsampling);
  const std::int32_t maxRows = 65535 / std::max(mcusPerRow, 1) * McuHeight(subsampling) / 16 * 16;
  rows = std::min(rows, std::max(maxRows, 16));
  return std::min(rows, height);
}

int Encode(const Image& image, const Settings& settings, EncodedJpeg& out) {
  out = EncodedJpeg{};
  if (!image.top) return IJL_NULL_POINTER;
  if (image.width <= 0 || image.height <= 0) return IJL_INVALID_DIB_SIZE;
  if (image.width > kMaxDimension || image.height > kMaxDimension) return IJL_INVALID_JPG_SIZE;
  if (settings.subsampling != IJL_NONE && settings.subsampling != IJL_420 && settings.subsampling != IJL_422)
    return IJL_UNSUPPORTED_FORMAT;

  std::vector<JSAMPROW> rows(static_cast<std::size_t>(image.height));
  for (std::int32_t y = 0; y < image.height; ++y)
    rows[y] = const_cast<JSAMPROW>(image.top + static_cast<std::ptrdiff_t>(y) * image.step);

  const std::int32_t stripRows = StripRows(image.width, image.height, settings.subsampling, settings.strips);
  const int count = static_cast<int>((image.height + stripRows - 1) / stripRows);
  out.strips_.resize(count);
  std::vector<int> codes(count, IJL_OK);
  RunAll(count, [&](int k) {
    const std::int32_t y0 = k * stripRows;
    codes[k] = EncodeStrip(image, settings, rows.data() + y0, std::min(stripRows, image.height - y0), k == 0,
                           out.strips_[k].data);
  });
  for (int code : codes)
    if (code != IJL_OK) return code;

  if (count == 1) {
    out.strips_[0].end = out.strips_[0].data.size();
    return IJL_OK;
  }
  // One header for all: strip 0's, with the full height and a restart
  // interval of one strip. Each strip's scan ends byte-aligned and starts
  // with zero DC predictions, exactly as a scan does after a restart marker.
  for (EncodedJpeg::Strip& s : out.strips_) {
    Markers m;
    if (!FindMarkers(s.data, m)) return IJL_ENCODER_ERROR;
    s.begin = m.data;
    s.end = s.data.size() - 2;  // without EOI
  }
  Markers m;
  const ByteBuffer& first = out.strips_[0].data;
  if (!FindMarkers(first, m) || m.sof == kNone) return IJL_ENCODER_ERROR;
  const unsigned interval = static_cast<unsigned>((image.width + McuWidth(settings.subsampling) - 1) /
                                                  McuWidth(settings.subsampling) * stripRows /
                                                  McuHeight(settings.subsampling));
  std::vector<std::uint8_t>& h = out.header_;
  h.assign(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(m.sos));
  Put16(h, m.sof + 5, static_cast<unsigned>(image.height));
  const std::uint8_t dri[6] = {0xFF, 0xDD, 0x00, 0x04, static_cast<std::uint8_t>(interval >> 8),
                               static_cast<std::uint8_t>(interval & 0xFF)};
  h.insert(h.end(), dri, dri + 6);
  h.insert(h.end(), first.begin() + static_cast<std::ptrdiff_t>(m.sos),
           first.begin() + static_cast<std::ptrdiff_t>(m.data));
  return IJL_OK;
}

}  // namespace runtime::jpeg
