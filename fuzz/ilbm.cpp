// The ILBM reader on arbitrary bytes: every input decodes or is refused with a reason,
// without reading outside the input or allocating beyond the limits its header is held to.
// What decodes is made into texture levels as lwplay makes them (resampled to the card's
// sides, every mip level), so odd sizes reach the resampler too; images over 64 Ki pixels
// skip that step to keep the runs fast.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/glide/cardtexture.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Image image;
  const char *why = nullptr;
  if (!decodeilbm(data, size, &image, &why)) {
    if (why == nullptr || image.argb != nullptr) abort();
    return 0;
  }
  if (image.argb == nullptr || image.width < 1 || image.height < 1) abort();
  int w, h;
  if ((int64_t)image.width * image.height <= 65536 &&
      cardtexturesize(image.width, image.height, &w, &h)) {
    std::vector<uint32_t> fitted((size_t)w * (size_t)h);
    cardresample(image.argb, image.width, image.height, fitted.data(), w, h);
    TexLevels levels;
    if (!makemiplevels(fitted.data(), w, h, 1, &levels)) abort();
  }
  freeimage(&image);
  return 0;
}
