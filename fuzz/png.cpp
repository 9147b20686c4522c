// The PNG reader on arbitrary bytes, as RGB and as RGBA: refused or read, never a crash,
// and never more pixels allocated than the file can hold.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  char path[64];
  snprintf(path, sizeof path, "/tmp/fuzz-png-%d.png", (int)getpid());
  FILE *f = fopen(path, "wb");
  if (f == nullptr) return 0;
  fwrite(data, 1, size, f);
  fclose(f);
  for (int channels : {3, 4}) {
    uint8_t *pixels = nullptr;
    int w = 0, h = 0;
    if (readpng(path, &pixels, &w, &h, channels)) {
      // Touch the last pixel: the block must hold every row.
      volatile uint8_t last = pixels[(size_t)w * (size_t)h * (size_t)channels - 1];
      (void)last;
    }
    free(pixels);
  }
  unlink(path);
  return 0;
}
