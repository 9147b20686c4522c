// The 3DF reader and the texture unit on arbitrary bytes: read the header, allocate exactly
// what it asks for, load, then put the texture on the card and expand it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/glide/cardtexture.h"
#include "platform/glide/glide.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  char path[64];
  snprintf(path, sizeof path, "/tmp/fuzz-tex3df-%d.3df", (int)getpid());
  FILE *f = fopen(path, "wb");
  if (f == nullptr) return 0;
  fwrite(data, 1, size, f);
  fclose(f);
  Gu3dfInfo info;
  memset(&info, 0, sizeof info);
  if (gu3dfGetInfo(path, &info)) {
    info.data = malloc(info.mem_required);
    if (info.data && gu3dfLoad(path, &info)) {
      GrMipMapId_t id = guTexAllocateMemory(
          GR_TMU0, GR_MIPMAPLEVELMASK_BOTH, (int)info.header.width, (int)info.header.height,
          info.header.format, GR_MIPMAP_NEAREST, info.header.small_lod, info.header.large_lod,
          info.header.aspect_ratio, GR_TEXTURECLAMP_WRAP, GR_TEXTURECLAMP_WRAP,
          GR_TEXTUREFILTER_BILINEAR, GR_TEXTUREFILTER_BILINEAR, 0.0f, FXFALSE);
      guTexDownloadMipMap(id, info.data, &info.table.nccTable);
      guTexSource(id);
      guTexMemReset();
    }
    free(info.data);
  }
  unlink(path);
  return 0;
}
