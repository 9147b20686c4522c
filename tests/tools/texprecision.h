// What each 3DF format keeps of a colour, and the precision the round-trip tests of the
// writer and the converter allow for it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/glide/glide.h"

namespace texprecision {

inline int chan(uint32_t c, int shift) { return (int)(c >> shift & 0xFF); }
inline int luma(uint32_t c) {
  return (77 * chan(c, 16) + 150 * chan(c, 8) + 29 * chan(c, 0) + 128) >> 8;
}

// A smooth, colourful image with varying alpha.
inline std::vector<uint32_t> gradient(int w, int h) {
  std::vector<uint32_t> img((size_t)w * (size_t)h);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      uint32_t r = (uint32_t)(x * 255 / (w - 1)), g = (uint32_t)(y * 255 / (h - 1));
      uint32_t b = (uint32_t)((x + y) * 255 / (w + h - 2)), a = (uint32_t)((x * 37 + y * 11) & 255);
      img[(size_t)y * w + x] = a << 24 | r << 16 | g << 8 | b;
    }
  return img;
}

// What each format keeps of a colour, and how far each channel may move (A, R, G, B): half
// a step of the field it is stored in, plus one for rounding, where the field is narrower
// than 8 bits; and the mean difference over all channels and texels.
struct Precision {
  int format;
  int tol[4];
  double mean;
};

inline uint32_t expected(int format, uint32_t c) {
  uint32_t a = c >> 24, l = (uint32_t)luma(c);
  switch (format) {
    case GR_TEXFMT_ALPHA_8: return a * 0x01010101u;
    case GR_TEXFMT_INTENSITY_8: return 0xFF000000u | l * 0x010101u;
    case GR_TEXFMT_ALPHA_INTENSITY_44:
    case GR_TEXFMT_ALPHA_INTENSITY_88: return a << 24 | l * 0x010101u;
    case GR_TEXFMT_RGB_332:
    case GR_TEXFMT_YIQ_422:
    case GR_TEXFMT_RGB_565:
    case GR_TEXFMT_P_8: return 0xFF000000u | (c & 0xFFFFFF);
    case GR_TEXFMT_ARGB_1555: return (a >= 128 ? 0xFF000000u : 0) | (c & 0xFFFFFF);
    default: return c;
  }
}

inline const Precision precisions[] = {
    {GR_TEXFMT_RGB_332, {0, 19, 19, 43}, 10},
    {GR_TEXFMT_ALPHA_8, {0, 0, 0, 0}, 0},
    {GR_TEXFMT_INTENSITY_8, {0, 0, 0, 0}, 0},
    {GR_TEXFMT_ALPHA_INTENSITY_44, {9, 9, 9, 9}, 4.5},
    {GR_TEXFMT_ARGB_8332, {0, 19, 19, 43}, 10},
    {GR_TEXFMT_RGB_565, {0, 5, 3, 5}, 1.5},
    {GR_TEXFMT_ARGB_1555, {0, 5, 5, 5}, 1.5},
    {GR_TEXFMT_ARGB_4444, {9, 9, 9, 9}, 4.5},
    {GR_TEXFMT_ALPHA_INTENSITY_88, {0, 0, 0, 0}, 0},
    // NCC has 16 luminance steps and two 4-step colour axes for the whole texture: this
    // gradient fills a wide colour volume, the hardest case. Measured worst 61, mean 7.9.
    {GR_TEXFMT_YIQ_422, {0, 64, 64, 64}, 8.5},
    {GR_TEXFMT_AYIQ_8422, {0, 64, 64, 64}, 8.5},
};


// Checks n decoded texels against what p.format keeps of the originals.
inline void expectwithin(const Precision &p, const uint32_t *original, const uint32_t *got,
                         size_t n) {
  int worst[4] = {0, 0, 0, 0};
  double sum = 0;
  for (size_t k = 0; k < n; k++) {
    uint32_t want = expected(p.format, original[k]);
    for (int ch = 0; ch < 4; ch++) {
      int d = std::abs(chan(want, 24 - 8 * ch) - chan(got[k], 24 - 8 * ch));
      worst[ch] = std::max(worst[ch], d);
      sum += d;
    }
  }
  for (int ch = 0; ch < 4; ch++) EXPECT_LE(worst[ch], p.tol[ch]) << "channel " << "ARGB"[ch];
  EXPECT_LE(sum / (double)(n * 4), p.mean);
}

}  // namespace texprecision
