// The texture unit: 2 MB of texture memory, handles into it, and the downloaded textures
// expanded to ARGB8888 for the rasterizer.
//
// Memory is accounted as the card library does on one texture unit, so that a scene
// that would not fit on the real card does not fit here either: each level costs its
// long side times its short side padded to 2, at least 4 texels, x2 for 16-bit formats,
// the sum rounded up to 8 bytes; no texture straddles the 2 MB boundary; at most 1024
// handles. What is stored, though, is the expanded ARGB8888 copy, decoded once at download
// so that nothing is decoded while frames are drawn.
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "platform/glide/cardinternal.h"
#include "platform/glide/cardtexture.h"
#include "platform/glide/glide.h"

const CardTexture *cardtexture = nullptr;

namespace {

constexpr FxU32 texmemsize = 2u << 20;
constexpr FxU32 boundary = 2u << 20;
constexpr int maxhandles = 1024;

struct TexHandle {
  FxU32 base, size;  // bytes of card memory
  uint32_t *block;   // every level's expanded texels
  CardTexture tex;
};

struct TexUnit {
  FxU32 nextfree;
  int count;
  TexHandle handles[maxhandles];
  // The palette p8 and ap88 textures decode through: the last one downloaded to the card.
  // lwdemo never downloads one, so there it stays all zero (black).
  FxU32 palette[256];
  int paletteloaded;
};

TexUnit texunit;

struct FormatName {
  const char *name;
  int format;
};

const FormatName formatnames[] = {
    {"rgb332", GR_TEXFMT_RGB_332},
    {"yiq", GR_TEXFMT_YIQ_422},
    {"a8", GR_TEXFMT_ALPHA_8},
    {"i8", GR_TEXFMT_INTENSITY_8},
    {"ai44", GR_TEXFMT_ALPHA_INTENSITY_44},
    {"p8", GR_TEXFMT_P_8},
    {"argb8332", GR_TEXFMT_ARGB_8332},
    {"ayiq8422", GR_TEXFMT_AYIQ_8422},
    {"rgb565", GR_TEXFMT_RGB_565},
    {"argb1555", GR_TEXFMT_ARGB_1555},
    {"argb4444", GR_TEXFMT_ARGB_4444},
    {"ai88", GR_TEXFMT_ALPHA_INTENSITY_88},
    {"ap88", GR_TEXFMT_AP_88},
};

// Bit replication, as the card widens its texel fields to 8 bits.
inline uint32_t x3(uint32_t v) { return v << 5 | v << 2 | v >> 1; }
inline uint32_t x2(uint32_t v) { return v * 0x55; }
inline uint32_t x4(uint32_t v) { return v * 0x11; }
inline uint32_t x5(uint32_t v) { return v << 3 | v >> 2; }
inline uint32_t x6(uint32_t v) { return v << 2 | v >> 4; }

inline uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return a << 24 | r << 16 | g << 8 | b;
}

inline uint32_t rgb332(uint32_t t) { return x3(t >> 5) << 16 | x3(t >> 2 & 7) << 8 | x2(t & 3); }

inline int clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// The NCC index t = Y4 I2 Q2 decodes to Y[t>>4] + I[(t>>2)&3] + Q[t&3], per channel,
// clamped.
void nccpalette(const GuNccTable *ncc, uint32_t rgb[256]) {
  for (int t = 0; t < 256; t++) {
    if (ncc == nullptr) {
      rgb[t] = 0;
      continue;
    }
    int y = ncc->yRGB[t >> 4];
    const FxI16 *i = ncc->iRGB[t >> 2 & 3], *q = ncc->qRGB[t & 3];
    rgb[t] = (uint32_t)clamp255(y + i[0] + q[0]) << 16 | (uint32_t)clamp255(y + i[1] + q[1]) << 8 |
             (uint32_t)clamp255(y + i[2] + q[2]);
  }
}

// Card memory of a texture; 0 when no level is in evenoddmask.
FxU32 memrequired(int format, int smalllod, int largelod, int aspect, int evenoddmask) {
  FxU32 texels = 0;
  for (int lod = largelod; lod <= smalllod; lod++) {
    if (!(evenoddmask & (lod & 1 ? GR_MIPMAPLEVELMASK_ODD : GR_MIPMAPLEVELMASK_EVEN))) continue;
    int w, h;
    cardlevelsize(aspect, lod, &w, &h);
    int longside = w > h ? w : h, shortside = w > h ? h : w;
    FxU32 cost = (FxU32)(longside * (shortside < 2 ? 2 : shortside));
    texels += cost < 4 ? 4 : cost;
  }
  FxU32 bytes = texels * (FxU32)cardtexelbytes(format);
  return (bytes + 7) & ~7u;
}

TexHandle *findhandle(GrMipMapId_t mmid) {
  if (mmid == GR_NULL_MIPMAP_HANDLE || mmid >= (GrMipMapId_t)texunit.count) return nullptr;
  return &texunit.handles[mmid];
}

}  // namespace

int cardformatbyname(const char *name) {
  if (name == nullptr) return -1;
  for (const FormatName &f : formatnames)
    if (strcasecmp(f.name, name) == 0) return f.format;
  return -1;
}

const char *cardformatname(int format) {
  for (const FormatName &f : formatnames)
    if (f.format == format) return f.name;
  return nullptr;
}

int cardtexelbytes(int format) {
  if (cardformatname(format) == nullptr) return 0;
  return format >= GR_TEXFMT_16BIT ? 2 : 1;
}

void cardlevelsize(int aspect, int lod, int *width, int *height) {
  if (aspect < GR_ASPECT_8x1 || aspect > GR_ASPECT_1x8 || lod < GR_LOD_256 || lod > GR_LOD_1) {
    *width = *height = 0;
    return;
  }
  int longside = 256 >> lod;
  int ratio = 1 << (aspect < GR_ASPECT_1x1 ? GR_ASPECT_1x1 - aspect : aspect - GR_ASPECT_1x1);
  int shortside = longside / ratio < 1 ? 1 : longside / ratio;
  *width = aspect <= GR_ASPECT_1x1 ? longside : shortside;
  *height = aspect <= GR_ASPECT_1x1 ? shortside : longside;
}

int cardleveltexels(int aspect, int largelod, int smalllod) {
  int texels = 0;
  for (int lod = largelod; lod <= smalllod; lod++) {
    int w, h;
    cardlevelsize(aspect, lod, &w, &h);
    texels += w * h;
  }
  return texels;
}

void carddecodetexels(int format, const void *src, int n, const GuNccTable *ncc,
                      const FxU32 *palette, uint32_t *out) {
  const FxU8 *b = (const FxU8 *)src;
  uint32_t table[256];
  if (format == GR_TEXFMT_YIQ_422 || format == GR_TEXFMT_AYIQ_8422) {
    nccpalette(ncc, table);
  } else if (format == GR_TEXFMT_P_8 || format == GR_TEXFMT_AP_88) {
    for (int k = 0; k < 256; k++) table[k] = palette ? palette[k] & 0xFFFFFF : 0;
  }
  if (cardtexelbytes(format) == 1) {
    for (int k = 0; k < n; k++) {
      uint32_t t = b[k];
      switch (format) {
        case GR_TEXFMT_RGB_332: out[k] = 0xFF000000 | rgb332(t); break;
        case GR_TEXFMT_YIQ_422: out[k] = 0xFF000000 | table[t]; break;
        case GR_TEXFMT_ALPHA_8: out[k] = argb(t, t, t, t); break;
        case GR_TEXFMT_INTENSITY_8: out[k] = argb(0xFF, t, t, t); break;
        case GR_TEXFMT_ALPHA_INTENSITY_44: {
          uint32_t i = x4(t & 15);
          out[k] = argb(x4(t >> 4), i, i, i);
          break;
        }
        default: out[k] = 0xFF000000 | table[t]; break;  // p8
      }
    }
    return;
  }
  if (cardtexelbytes(format) == 0) {
    memset(out, 0, (size_t)n * 4);
    return;
  }
  for (int k = 0; k < n; k++) {
    FxU16 v;
    memcpy(&v, b + 2 * k, 2);
    uint32_t t = v, a = t >> 8 << 24;
    switch (format) {
      case GR_TEXFMT_ARGB_8332: out[k] = a | rgb332(t & 0xFF); break;
      case GR_TEXFMT_AYIQ_8422: out[k] = a | table[t & 0xFF]; break;
      case GR_TEXFMT_RGB_565: out[k] = argb(0xFF, x5(t >> 11), x6(t >> 5 & 63), x5(t & 31)); break;
      case GR_TEXFMT_ARGB_1555:
        out[k] = argb(t & 0x8000 ? 0xFF : 0, x5(t >> 10 & 31), x5(t >> 5 & 31), x5(t & 31));
        break;
      case GR_TEXFMT_ARGB_4444:
        out[k] = argb(x4(t >> 12), x4(t >> 8 & 15), x4(t >> 4 & 15), x4(t & 15));
        break;
      case GR_TEXFMT_ALPHA_INTENSITY_88: out[k] = a | (t & 0xFF) * 0x010101; break;
      default: out[k] = a | table[t & 0xFF]; break;  // ap88
    }
  }
}

GrMipMapId_t guTexAllocateMemory(GrChipID_t tmu, FxU8 evenoddmask, int width, int height,
                                 GrTextureFormat_t format, GrMipMapMode_t mipmapmode,
                                 GrLOD_t smalllod, GrLOD_t largelod, GrAspectRatio_t aspect,
                                 GrTextureClampMode_t sclamp, GrTextureClampMode_t tclamp,
                                 GrTextureFilterMode_t minfilter,
                                 GrTextureFilterMode_t magfilter, float lodbias,
                                 FxBool trilinear) {
  cardtracecall("guTexAllocateMemory(%d, %u, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %g, %d)",
                tmu, evenoddmask, width, height, format, mipmapmode, smalllod, largelod, aspect,
                sclamp, tclamp, minfilter, magfilter, (double)lodbias, trilinear);
  // The sides follow from the lods and the aspect; the width and height arguments add
  // nothing the card uses, and trilinear blending needs two texture units.
  if (tmu != GR_TMU0) {
    cardlogonce("card: only texture unit 0 is present; guTexAllocateMemory gives the null handle");
    return GR_NULL_MIPMAP_HANDLE;
  }
  if (cardtexelbytes(format) == 0 || largelod < GR_LOD_256 || smalllod > GR_LOD_1 ||
      smalllod < largelod || aspect < GR_ASPECT_8x1 || aspect > GR_ASPECT_1x8 ||
      texunit.count >= maxhandles)
    return GR_NULL_MIPMAP_HANDLE;
  FxU32 size = memrequired(format, smalllod, largelod, aspect, evenoddmask);
  if (size == 0) return GR_NULL_MIPMAP_HANDLE;
  FxU32 base = texunit.nextfree;
  if (base < boundary && base + size > boundary) base = boundary;
  if (base + size > texmemsize) return GR_NULL_MIPMAP_HANDLE;

  uint32_t *block = (uint32_t *)calloc(cardleveltexels(aspect, largelod, smalllod), 4);
  if (block == nullptr) return GR_NULL_MIPMAP_HANDLE;

  TexHandle *th = &texunit.handles[texunit.count];
  th->base = base;
  th->size = size;
  th->block = block;
  th->tex = CardTexture();
  CardTexture *t = &th->tex;
  t->format = format;
  t->largelod = largelod;
  t->smalllod = smalllod;
  t->aspect = aspect;
  t->sclamp = sclamp;
  t->tclamp = tclamp;
  t->minfilter = minfilter;
  t->magfilter = magfilter;
  t->mipmapmode = mipmapmode;
  t->lodbias = lodbias;
  size_t at = 0;
  for (int lod = largelod; lod <= smalllod; lod++) {
    cardlevelsize(aspect, lod, &t->width[lod], &t->height[lod]);
    t->texels[lod] = block + at;
    at += (size_t)t->width[lod] * (size_t)t->height[lod];
  }
  texunit.nextfree = base + size;
  return (GrMipMapId_t)texunit.count++;
}

// src holds every level, largest first, in the format's host layout (as gu3dfLoad leaves
// it). The NCC table is used at once: the expanded texels keep no reference to it.
FxBool guTexDownloadMipMap(GrMipMapId_t mmid, const void *src, const GuNccTable *ncctable) {
  cardtracecall("guTexDownloadMipMap(%u)", mmid);
  TexHandle *th = findhandle(mmid);
  if (th == nullptr || src == nullptr) return FXFALSE;
  cardfinish();  // queued triangles may still read the levels written over
  CardTexture *t = &th->tex;
  int isncc = t->format == GR_TEXFMT_YIQ_422 || t->format == GR_TEXFMT_AYIQ_8422;
  if (isncc && ncctable == nullptr) return FXFALSE;
  if ((t->format == GR_TEXFMT_P_8 || t->format == GR_TEXFMT_AP_88) && !texunit.paletteloaded)
    cardlogonce(
        "card: p8 and ap88 textures draw with the last palette downloaded to the card; "
        "none is, so they draw black");
  const FxU8 *p = (const FxU8 *)src;
  int bytes = cardtexelbytes(t->format);
  for (int lod = t->largelod; lod <= t->smalllod; lod++) {
    int n = t->width[lod] * t->height[lod];
    carddecodetexels(t->format, p, n, isncc ? ncctable : nullptr, texunit.palette, t->texels[lod]);
    p += (size_t)n * (size_t)bytes;
  }
  return FXTRUE;
}

void grTexDownloadTable(GrChipID_t tmu, GrTexTable_t type, void *data) {
  cardtracecall("grTexDownloadTable(%d, %d)", tmu, type);
  if (tmu != GR_TMU0 || data == nullptr) return;
  if (type != GR_TEXTABLE_PALETTE) {
    cardlogonce("card: NCC tables travel with each texture here; grTexDownloadTable of one is ignored");
    return;
  }
  const GuTexPalette *p = (const GuTexPalette *)data;
  for (int k = 0; k < 256; k++) texunit.palette[k] = p->data[k] & 0xFFFFFF;
  texunit.paletteloaded = 1;
}

void guTexSource(GrMipMapId_t mmid) {
  cardtracecall("guTexSource(%u)", mmid);
  TexHandle *th = findhandle(mmid);
  if (th == nullptr) {
    cardlogonce(
        "card: guTexSource of a handle that is not on the card (a texture that did not fit, "
        "or one freed); drawing untextured");
    cardtexture = nullptr;
    return;
  }
  cardtexture = &th->tex;
}

void guTexMemReset(void) {
  cardtracecall("guTexMemReset()");
  cardfinish();  // queued triangles may still read the texels
  for (int k = 0; k < texunit.count; k++) {
    free(texunit.handles[k].block);
    texunit.handles[k].block = nullptr;
    texunit.handles[k].tex = CardTexture();
  }
  texunit.count = 0;
  texunit.nextfree = 0;
  // No texture is left to decode through the palette; forgetting it too keeps one scene's
  // palette from reaching the next one's textures.
  memset(texunit.palette, 0, sizeof texunit.palette);
  texunit.paletteloaded = 0;
  cardtexture = nullptr;
}

FxU32 cardtexmemused(void) { return texunit.nextfree; }
