// Inside the card: a downloaded texture as the rasterizer samples it. The texture unit
// (3DF files, memory, downloads) writes these; the rasterizer reads them.
#pragma once

#include <cstdint>

#include "platform/glide/glide.h"

struct CardTexture {
  int format = 0;
  int largelod = 0, smalllod = 0;  // GR_LOD_256 (0) .. GR_LOD_1 (8)
  int aspect = GR_ASPECT_1x1;
  int sclamp = GR_TEXTURECLAMP_WRAP, tclamp = GR_TEXTURECLAMP_WRAP;
  int minfilter = GR_TEXTUREFILTER_BILINEAR, magfilter = GR_TEXTUREFILTER_BILINEAR;
  int mipmapmode = GR_MIPMAP_NEAREST;
  float lodbias = 0;
  // Indexed by GR_LOD value; levels outside largelod..smalllod are null. Each level is
  // row-major ARGB8888 (0xAARRGGBB), expanded from the texture's format at download.
  int width[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  int height[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  uint32_t *texels[9] = {};
};

// The texture guTexSource selected, or null: draw untextured. Written by the texture unit.
extern const CardTexture *cardtexture;

// ---- Texture formats, shared by the texture unit, the 3DF tools and the tests ----

// GR_TEXFMT_* of a 3DF format name ("rgb565", any case); -1 for a name the card does not
// take (argb8888 included: it is no format of this card).
int cardformatbyname(const char *name);
// The 3DF name of a GR_TEXFMT_* format ("rgb565"), or null for an unknown value.
const char *cardformatname(int format);
// Bytes per texel: 1 or 2, 0 for an unknown format.
int cardtexelbytes(int format);
// Sides of level lod (GR_LOD_256 .. GR_LOD_1) for an aspect (GR_ASPECT_8x1 .. 1x8): the
// long side is 256 >> lod, the short side that divided by the ratio, at least 1. Both 0
// when lod or aspect is out of range.
void cardlevelsize(int aspect, int lod, int *width, int *height);
// Texels of levels largelod..smalllod together (0 when none is in range).
int cardleveltexels(int aspect, int largelod, int smalllod);
// Expands n texels of format (8-bit, or 16-bit in host order) to ARGB8888 0xAARRGGBB.
// ncc is needed for yiq/ayiq8422, palette (256 words 0x00RRGGBB) for p8/ap88; a missing
// table decodes as all zero. Unknown formats give transparent black.
void carddecodetexels(int format, const void *src, int n, const GuNccTable *ncc,
                      const FxU32 *palette, uint32_t *out);
// Fills ncc's packed_data (the words the card's NCC registers take) from its yRGB, iRGB
// and qRGB.
void cardpackncc(GuNccTable *ncc);
// Bytes of the 2 MB texture memory in use (allocations and the gaps the 2 MB boundary
// leaves), for tests and statistics.
FxU32 cardtexmemused(void);
