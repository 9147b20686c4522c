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
