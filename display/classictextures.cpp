// lwplay's textures: classic scenes name the images their makers painted, rarely a 3DF
// texture. Where the 3DF file the strict path would load is there it is used as lwdemo
// uses it, with its own palette; otherwise the image itself is found, read, resampled to a
// size the card takes and downloaded. Nothing here fails the scene: an image that cannot
// be had leaves its surfaces in their own colour. Each adaptation is one warning line.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "display/display.h"
#include "lwo/lwo.h"
#include "platform/glide/cardtexture.h"
#include "platform/glide/glide.h"
#include "platform/platform.h"

namespace {

GrMipMapId_t allocate(int format, int smalllod, int largelod, int aspect) {
  int w, h;
  cardlevelsize(aspect, largelod, &w, &h);
  return guTexAllocateMemory(GR_TMU0, GR_MIPMAPLEVELMASK_BOTH, w, h, format, GR_MIPMAP_NEAREST,
                             smalllod, largelod, aspect, GR_TEXTURECLAMP_WRAP,
                             GR_TEXTURECLAMP_WRAP, GR_TEXTUREFILTER_BILINEAR,
                             GR_TEXTUREFILTER_BILINEAR, 0.0f, FXFALSE);
}

// A 1x1 white texture: texture times vertex colour then draws the surface's own colour,
// opaque, with no card message about a missing handle. One per scene, made when needed.
GrMipMapId_t white(GrMipMapId_t *cached) {
  if (*cached == GR_NULL_MIPMAP_HANDLE) {
    *cached = allocate(GR_TEXFMT_RGB_565, GR_LOD_1, GR_LOD_1, GR_ASPECT_1x1);
    uint16_t texel = 0xFFFF;
    guTexDownloadMipMap(*cached, &texel, nullptr);
  }
  return *cached;
}

// The 3DF file at path with its table; 0 when it cannot be read whole.
int load3df(const char *path, GrMipMapId_t *handle) {
  Gu3dfInfo info;
  memset(&info, 0, sizeof info);
  if (!gu3dfGetInfo(path, &info)) return 0;
  info.data = calloc(1, info.mem_required > 0 ? info.mem_required : 1);
  if (info.data == nullptr || !gu3dfLoad(path, &info)) {
    free(info.data);
    return 0;
  }
  const Gu3dfHeader &h = info.header;
  *handle = allocate(h.format, h.small_lod, h.large_lod, h.aspect_ratio);
  if (h.format == GR_TEXFMT_P_8 || h.format == GR_TEXFMT_AP_88)
    grTexDownloadTable(GR_TMU0, GR_TEXTABLE_PALETTE, &info.table.palette);
  guTexDownloadMipMap(*handle, info.data, &info.table.nccTable);
  free(info.data);
  return 1;
}

// The image as a texture: resampled when its sides are not ones the card takes, every
// level down to 1x1, in rgb565, or argb1555 for on/off alpha and argb4444 for graded
// alpha. *sizes says what was done, for the warning line.
int loadimage(const Image *image, GrMipMapId_t *handle, char *sizes, size_t sizessize) {
  int w, h;
  if (!cardtexturesize(image->width, image->height, &w, &h)) return 0;
  std::vector<uint32_t> fitted;
  const uint32_t *argb = image->argb;
  if (w != image->width || h != image->height) {
    fitted.resize((size_t)w * (size_t)h);
    cardresample(image->argb, image->width, image->height, fitted.data(), w, h);
    argb = fitted.data();
  }
  TexLevels levels;
  int largelod, aspect;
  if (!makemiplevels(argb, w, h, 1, &levels) || !cardlevelgeometry(w, h, &largelod, &aspect))
    return 0;
  int format = image->alpha == 0   ? GR_TEXFMT_RGB_565
               : image->alpha == 1 ? GR_TEXFMT_ARGB_1555
                                   : GR_TEXFMT_ARGB_4444;
  std::vector<uint16_t> texels;
  for (int k = 0; k < levels.count; k++)
    for (uint32_t c : levels.argb[k]) texels.push_back((uint16_t)cardencodetexel(format, c));
  *handle = allocate(format, largelod + levels.count - 1, largelod, aspect);
  if (*handle == GR_NULL_MIPMAP_HANDLE) return 0;
  guTexDownloadMipMap(*handle, texels.data(), nullptr);
  if (w != image->width || h != image->height)
    snprintf(sizes, sizessize, "%dx%d resampled to %dx%d, %s", image->width, image->height, w, h,
             cardformatname(format));
  else
    snprintf(sizes, sizessize, "%dx%d, %s", w, h, cardformatname(format));
  return 1;
}

}  // namespace

int loadclassictextures(void) {
  int count = texturenametable.texturecount;
  if (count > maxtextures) count = maxtextures;
  GrMipMapId_t whitehandle = GR_NULL_MIPMAP_HANDLE;
  for (int i = 0; i < count; i++) {
    char *name = texturenametable.texturenames[i];
    name[texturenamesize - 1] = 0;
    char original[texturenamesize];
    memcpy(original, name, texturenamesize);
    // The name becomes its 3DF path as in lwdemo, from the base name after any Amiga volume
    // or folder too; a name too long for that keeps its text.
    const char *base = original;
    for (const char *p = original; *p; p++)
      if (*p == '\\' || *p == '/' || *p == ':') base = p + 1;
    memmove(name, base, strlen(base) + 1);
    int named = texturepath(name, "textures\\", "3df");
    if (named && load3df(name, &texturehandles[i])) continue;

    char missing[texturenamesize + 32];
    snprintf(missing, sizeof missing, named ? "no readable %s" : "no 3DF path for it", name);
    char path[4096];
    if (!findclassicfile(original, nullptr, "Images", path, sizeof path)) {
      adaptwarning("image %s: %s and no image file of that name; its surfaces show their own colour",
                   original, missing);
      texturehandles[i] = white(&whitehandle);
      continue;
    }
    Image image;
    const char *why = nullptr;
    char sizes[96] = "";
    if (!readimage(path, &image, &why)) {
      adaptwarning("image %s: %s, and %s cannot be read (%s); its surfaces show their own colour",
                   original, missing, path, why);
      texturehandles[i] = white(&whitehandle);
      continue;
    }
    if (!loadimage(&image, &texturehandles[i], sizes, sizeof sizes)) {
      adaptwarning("image %s: %s does not fit in the card's texture memory; its surfaces show "
                   "their own colour",
                   original, path);
      texturehandles[i] = white(&whitehandle);
    } else {
      adaptwarning("image %s: %s, read %s in its place (%s)", original, missing, path, sizes);
    }
    freeimage(&image);
  }
  return 1;
}
