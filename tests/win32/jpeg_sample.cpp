// Encodes the same made-up pictures with the JPEG layer on any platform,
// one file per case, into the folder given. The Linux and the Windows
// builds of this program must write byte-identical files.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "runtime/jpeg/ijl.h"
#include "runtime/jpeg/jpeg_encoder.h"

using namespace runtime;

namespace {

// Smooth ramps with fine noise from a fixed generator: both the DCT's
// rounding and the entropy coder get real work.
std::vector<std::uint8_t> Picture(int width, int height, int pad, std::uint32_t seed) {
  const std::size_t stride = std::size_t(width) * 3 + pad;
  std::vector<std::uint8_t> bytes(stride * height, 0xEE);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = static_cast<int>(seed >> 28) - 8;
      std::uint8_t* p = &bytes[stride * y + 3 * std::size_t(x)];
      p[0] = static_cast<std::uint8_t>((x * 255 / width + noise) & 0xFF);
      p[1] = static_cast<std::uint8_t>(((x + y) * 127 / (width + height) + 64) & 0xFF);
      p[2] = static_cast<std::uint8_t>((y * 255 / height - noise) & 0xFF);
    }
  return bytes;
}

struct Case {
  const char* name;
  int width, height, pad, quality, subsampling;
  bool bottomUp, rgb;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: jpeg_sample FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  int failures = 0;
  const Case cases[] = {
      {"q75-420-bottomup", 640, 480, 0, 75, IJL_420, true, false},
      {"q100-444-pad", 333, 177, 3, 100, IJL_NONE, false, false},
      {"q50-422-rgb", 257, 129, 1, 50, IJL_422, true, true},
      {"q1-420-tiny", 1, 1, 3, 1, IJL_420, false, false},
      {"q90-420-screen", 1920, 1080, 0, 90, IJL_420, true, false},
  };
  std::uint32_t seed = 1;
  for (const Case& c : cases) {
    std::vector<std::uint8_t> pixels = Picture(c.width, c.height, c.pad, seed++);
    const std::string file = folder + "/" + c.name + ".jpg";
    JPEG_CORE_PROPERTIES p{};
    ijlInit(&p);
    p.DIBBytes = pixels.data();
    p.DIBWidth = p.JPGWidth = c.width;
    p.DIBHeight = c.bottomUp ? -c.height : c.height;
    p.JPGHeight = c.height;
    p.DIBPadBytes = c.pad;
    p.DIBColor = c.rgb ? IJL_RGB : IJL_BGR;
    p.JPGSubsampling = c.subsampling;
    p.jquality = c.quality;
    p.JPGFile = file.c_str();
    if (const int code = ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE); code != IJL_OK) {
      std::fprintf(stderr, "%s: ijlWrite gave %d\n", c.name, code);
      ++failures;
    }
    ijlFree(&p);
  }

  // Strips joined with restart markers, cut the same way on both sides
  // whatever the number of cores.
  const int width = 1000, height = 700;
  std::vector<std::uint8_t> pixels = Picture(width, height, 0, 99);
  jpeg::Image image{pixels.data(), width * 3, width, height, true};
  jpeg::EncodedJpeg encoded;
  if (jpeg::Encode(image, {.quality = 80, .subsampling = IJL_420, .strips = 4}, encoded) != IJL_OK ||
      encoded.Strips() != 4) {
    std::fprintf(stderr, "strips: Encode failed\n");
    ++failures;
  } else {
    const std::vector<std::uint8_t> bytes = encoded.Bytes();
    const std::string file = folder + "/q80-420-4strips.jpg";
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
      std::fprintf(stderr, "cannot write %s\n", file.c_str());
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
