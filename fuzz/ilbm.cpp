// The ILBM reader on arbitrary bytes: every input decodes or is refused with a reason,
// without reading outside the input or allocating beyond the limits its header is held to.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Image image;
  const char *why = nullptr;
  if (!decodeilbm(data, size, &image, &why)) {
    if (why == nullptr || image.argb != nullptr) abort();
    return 0;
  }
  if (image.argb == nullptr || image.width < 1 || image.height < 1) abort();
  freeimage(&image);
  return 0;
}
