// Inside the card: a downloaded texture as the rasterizer samples it. The texture unit
// (3DF files, memory, downloads) writes these; the rasterizer reads them.
#pragma once

#include <cstdint>
#include <vector>

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

// ---- Texture levels from images, shared by the 3DF tools and lwplay's images ----
//
// Texels are ARGB8888 0xAARRGGBB, row-major, row 0 first. A texture's largest level has
// power-of-two sides, the long side at most 256, width:height from 8:1 to 1:8; each
// further level halves both sides, a side stopping at 1.

// A texture's levels, largest first (at most 9: 256 down to 1).
struct TexLevels {
  int count = 0;
  int width[9] = {}, height[9] = {};
  std::vector<uint32_t> argb[9];
};

// 1 when width x height can be a texture's largest level; else 0 and, when why is given,
// *why is a sentence saying what is wrong.
int check3dfsize(int width, int height, const char **why);
// The image and, when all is 1, its mip levels down to 1x1: each level is the 2x2 (2x1,
// 1x2 once a side is 1) box average of the one before, per channel, rounded to nearest.
// 0 when the size fails check3dfsize.
int makemiplevels(const uint32_t *argb, int width, int height, int all, TexLevels *levels);
// The largest lod (GR_LOD_*) and aspect (GR_ASPECT_*) of a largest level that passes
// check3dfsize; 0 for any other size.
int cardlevelgeometry(int width, int height, int *largelod, int *aspect);
// Luminance with Rec. 601 weights in 8.8 fixed point; 255 stays 255.
int cardluma(uint32_t argb);
// The texel value of one colour in a format that needs no table (all but yiq, ayiq8422,
// p8 and ap88), each field rounded to nearest, 1555's alpha set from 128; 0 for those
// four and unknown formats.
unsigned cardencodetexel(int format, uint32_t argb);
// The sides an image of any size becomes as a texture: each side the power of two nearest
// to it on a log scale (a side exactly between goes up), at most 256; then the shorter
// side raised until width:height lies within 8:1 and 1:8. 0 for an empty image.
int cardtexturesize(int width, int height, int *texwidth, int *texheight);
// Resamples an image to dstwidth x dstheight, each axis on its own: a box filter (each
// source pixel weighted by how much of it the destination pixel covers) along an axis
// that shrinks, bilinear interpolation between pixel centres (edges clamped) along one
// that grows; per channel, alpha not premultiplied, rounded to nearest. dst holds
// dstwidth * dstheight pixels.
void cardresample(const uint32_t *src, int width, int height, uint32_t *dst, int dstwidth,
                  int dstheight);
