#include <cstdlib>
#include <cstring>

#include "display/display.h"
#include "lwo/lwo.h"
#include "platform/glide/glide.h"
#include "platform/platform.h"

uint32_t texturehandles[maxtextures];

int texturepath(char *name, const char *folder, const char *extension) {
  size_t namelen = strnlen(name, texturenamesize - 1);
  const char *base = name;
  for (size_t i = 0; i < namelen; i++)
    if (name[i] == '\\') base = name + i + 1;
  size_t baselen = namelen - (size_t)(base - name);
  size_t folderlen = strlen(folder);
  // The result goes back into the name's own slot, so folder + base name must leave room
  // for the terminating zero there; a longer one is refused and the name kept as it was.
  if (folderlen + baselen > (size_t)texturenamesize - 1) return 0;
  char path[texturenamesize];
  memcpy(path, folder, folderlen);
  memcpy(path + folderlen, base, baselen);
  size_t len = folderlen + baselen;
  path[len] = 0;
  // The last characters give way to the extension whatever they were: "wood" becomes
  // "w3df", and a name ending in a backslash leaves the folder's own tail to overwrite.
  size_t extlen = strnlen(extension, sizeof path - 1);
  size_t at = len >= extlen ? len - extlen : 0;
  if (at + extlen > sizeof path - 1) return 0;
  memcpy(path + at, extension, extlen);
  if (at + extlen > len) len = at + extlen;
  path[len] = 0;
  memcpy(name, path, len + 1);
  return 1;
}

int loadtextures(void) {
  if (tolerantloading) return loadclassictextures();
  int count = texturenametable.texturecount;
  if (count > maxtextures) count = maxtextures;
  Gu3dfInfo info{};
  for (int i = 0; i < count; i++) {
    char *name = texturenametable.texturenames[i];
    // A slot filled to the brim would give the card an unterminated name.
    name[texturenamesize - 1] = 0;
    int named = texturepath(name, "textures\\", "3df");
    if (!named || !gu3dfGetInfo(name, &info)) {
      closeglide();
      if (errorlog != nullptr) fprintf(errorlog, "Not able to get info on %s\n", name);
      failcause("%s: %s", name, named ? inputfailure() : "the name is too long with its folder");
      return 0;
    }
    // The block is freed once the card holds its own copy.
    info.data = calloc(1, info.mem_required > 0 ? info.mem_required : 1);
    if (info.data == nullptr) {
      closeglide();
      if (errorlog != nullptr) fprintf(errorlog, "Not able to get info on %s\n", name);
      failcause("%s: no memory for its %u bytes of texels", name, (unsigned)info.mem_required);
      return 0;
    }
    // A file cut short is refused as the converter refuses it, rather than drawn with
    // texels of zero.
    if (!gu3dfLoad(name, &info)) {
      free(info.data);
      closeglide();
      if (errorlog != nullptr) fprintf(errorlog, "Not able to get info on %s\n", name);
      failcause("%s: %s", name, inputfailure());
      return 0;
    }
    texturehandles[i] = guTexAllocateMemory(
        GR_TMU0, GR_MIPMAPLEVELMASK_BOTH, (int)info.header.width, (int)info.header.height,
        info.header.format, GR_MIPMAP_NEAREST, info.header.small_lod, info.header.large_lod,
        info.header.aspect_ratio, GR_TEXTURECLAMP_WRAP, GR_TEXTURECLAMP_WRAP,
        GR_TEXTUREFILTER_BILINEAR, GR_TEXTUREFILTER_BILINEAR, 0.0f, FXFALSE);
    guTexDownloadMipMap(texturehandles[i], info.data, &info.table.nccTable);
    free(info.data);
    info.data = nullptr;
  }
  return 1;
}
