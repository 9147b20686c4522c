// The texture both fill benchmarks draw with: 256x256 with every level down to 1x1,
// random opaque texels from a fixed seed, wrapping, so both sides sample the same bits.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/glide/cardtexture.h"
#include "platform/glide/glide.h"

struct BenchTexture {
  CardTexture tex;
  std::vector<uint32_t> levels[9];
};

inline void maketexture(BenchTexture *bt) {
  uint32_t seed = 12345;
  for (int l = 0; l <= 8; l++) {
    int side = 256 >> l;
    bt->levels[l].resize((size_t)side * side);
    for (uint32_t &t : bt->levels[l]) {
      seed = seed * 1664525u + 1013904223u;
      t = seed | 0xFF000000u;
    }
    bt->tex.width[l] = bt->tex.height[l] = side;
    bt->tex.texels[l] = bt->levels[l].data();
  }
  bt->tex.largelod = GR_LOD_256;
  bt->tex.smalllod = GR_LOD_1;
  bt->tex.sclamp = bt->tex.tclamp = GR_TEXTURECLAMP_WRAP;
}
