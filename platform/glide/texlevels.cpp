// Texture levels from ARGB8888 images: sizes the card takes, resampling to them, mip
// levels, and texel encoding of the formats that need no table. Shared by the 3DF writer
// and the loading of images in place of 3DF textures.
#include <cmath>
#include <vector>

#include "platform/glide/cardtexture.h"

namespace {

inline int chan(uint32_t c, int shift) { return (int)(c >> shift & 0xFF); }

// v (0..255) to bits bits, rounded to nearest: the card widens by bit replication, which
// is within a fraction of a step of v * 255 / max, so rounding here halves the error of
// truncation.
inline unsigned quant(int v, int bits) {
  int max = (1 << bits) - 1;
  return (unsigned)((v * max + 127) / 255);
}

inline int islog2(int v) { return v > 0 && (v & (v - 1)) == 0; }

// The power of two nearest to side on a log scale, at most 256: between 2^k and 2^(k+1)
// the boundary is 2^k * sqrt(2), compared as side^2 against 2^(2k+1).
int nearestpower(int side) {
  int p = 1;
  while (p < 256 && (int64_t)side * side >= (int64_t)2 * p * p) p *= 2;
  return p;
}

// The taps of every destination sample along an axis of n source pixels resampled to m.
// Shrinking (m < n): box, each source pixel weighted by its overlap with the destination
// pixel's footprint [x * n / m, (x + 1) * n / m). Growing: bilinear between the two
// nearest source centres, clamped at the edges.
void axistaps(int n, int m, std::vector<int> *first, std::vector<int> *count,
              std::vector<float> *weights, int *stride) {
  float scale = (float)n / (float)m;
  *stride = m < n ? (int)std::ceil(scale) + 2 : 2;
  first->assign((size_t)m, 0);
  count->assign((size_t)m, 0);
  weights->assign((size_t)m * (size_t)*stride, 0.0f);
  for (int x = 0; x < m; x++) {
    float *w = weights->data() + (size_t)x * (size_t)*stride;
    if (m < n) {
      float lo = (float)x * scale, hi = (float)(x + 1) * scale;
      int i0 = (int)std::floor(lo), i1 = (int)std::ceil(hi);
      if (i1 > n) i1 = n;
      if (i1 - i0 > *stride) i1 = i0 + *stride;
      (*first)[(size_t)x] = i0;
      (*count)[(size_t)x] = i1 - i0;
      for (int i = i0; i < i1; i++) {
        float a = lo > (float)i ? lo : (float)i, b = hi < (float)(i + 1) ? hi : (float)(i + 1);
        w[i - i0] = (b - a) / scale;
      }
    } else {
      float p = ((float)x + 0.5f) * scale - 0.5f;
      int i0 = (int)std::floor(p);
      float f = p - (float)i0;
      if (i0 < 0) i0 = 0, f = 0;
      if (i0 >= n - 1) i0 = n - 1, f = 0;
      (*first)[(size_t)x] = i0;
      (*count)[(size_t)x] = f > 0 ? 2 : 1;
      w[0] = 1.0f - f;
      w[1] = f;
    }
  }
}

}  // namespace

int check3dfsize(int width, int height, const char **why) {
  const char *reason = nullptr;
  if (width < 1 || height < 1) reason = "the image is empty";
  else if (!islog2(width) || !islog2(height)) reason = "width and height must be powers of two";
  else if (width > 256 || height > 256) reason = "width and height must be at most 256";
  else if (width > 8 * height || height > 8 * width)
    reason = "width:height must be between 8:1 and 1:8";
  if (why) *why = reason;
  return reason == nullptr;
}

int cardlevelgeometry(int width, int height, int *largelod, int *aspect) {
  if (!check3dfsize(width, height, nullptr)) return 0;
  int large = width > height ? width : height;
  int lod = GR_LOD_256;
  while ((256 >> lod) != large) lod++;
  for (int a = GR_ASPECT_8x1; a <= GR_ASPECT_1x8; a++) {
    int w, h;
    cardlevelsize(a, lod, &w, &h);
    if (w == width && h == height) {
      *largelod = lod;
      *aspect = a;
      return 1;
    }
  }
  return 0;
}

int makemiplevels(const uint32_t *argb, int width, int height, int all, TexLevels *levels) {
  *levels = TexLevels();
  if (argb == nullptr || !check3dfsize(width, height, nullptr)) return 0;
  levels->count = 1;
  levels->width[0] = width;
  levels->height[0] = height;
  levels->argb[0].assign(argb, argb + (size_t)width * (size_t)height);
  while (all && (levels->width[levels->count - 1] > 1 || levels->height[levels->count - 1] > 1)) {
    int k = levels->count;
    int pw = levels->width[k - 1], ph = levels->height[k - 1];
    int w = pw > 1 ? pw / 2 : 1, h = ph > 1 ? ph / 2 : 1;
    int sx = pw / w, sy = ph / h;  // 2, or 1 once that side has reached 1
    const std::vector<uint32_t> &src = levels->argb[k - 1];
    std::vector<uint32_t> &dst = levels->argb[k];
    dst.resize((size_t)w * (size_t)h);
    int n = sx * sy;
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
          int sum = 0;
          for (int j = 0; j < sy; j++)
            for (int i = 0; i < sx; i++)
              sum += chan(src[(size_t)(y * sy + j) * pw + (size_t)(x * sx + i)], shift);
          out |= (uint32_t)((sum + n / 2) / n) << shift;
        }
        dst[(size_t)y * w + x] = out;
      }
    levels->width[k] = w;
    levels->height[k] = h;
    levels->count++;
  }
  return 1;
}

int cardluma(uint32_t c) {
  return (77 * chan(c, 16) + 150 * chan(c, 8) + 29 * chan(c, 0) + 128) >> 8;
}

unsigned cardencodetexel(int format, uint32_t c) {
  int a = chan(c, 24), r = chan(c, 16), g = chan(c, 8), b = chan(c, 0);
  unsigned rgb332 = quant(r, 3) << 5 | quant(g, 3) << 2 | quant(b, 2);
  switch (format) {
    case GR_TEXFMT_RGB_332: return rgb332;
    case GR_TEXFMT_ALPHA_8: return (unsigned)a;
    case GR_TEXFMT_INTENSITY_8: return (unsigned)cardluma(c);
    case GR_TEXFMT_ALPHA_INTENSITY_44: return quant(a, 4) << 4 | quant(cardluma(c), 4);
    case GR_TEXFMT_ARGB_8332: return (unsigned)a << 8 | rgb332;
    case GR_TEXFMT_RGB_565: return quant(r, 5) << 11 | quant(g, 6) << 5 | quant(b, 5);
    case GR_TEXFMT_ARGB_1555:
      return (unsigned)(a >= 128) << 15 | quant(r, 5) << 10 | quant(g, 5) << 5 | quant(b, 5);
    case GR_TEXFMT_ARGB_4444:
      return quant(a, 4) << 12 | quant(r, 4) << 8 | quant(g, 4) << 4 | quant(b, 4);
    case GR_TEXFMT_ALPHA_INTENSITY_88: return (unsigned)a << 8 | (unsigned)cardluma(c);
    default: return 0;
  }
}

int cardtexturesize(int width, int height, int *texwidth, int *texheight) {
  if (width < 1 || height < 1) return 0;
  int w = nearestpower(width), h = nearestpower(height);
  while (w > 8 * h) h *= 2;
  while (h > 8 * w) w *= 2;
  *texwidth = w;
  *texheight = h;
  return 1;
}

void cardresample(const uint32_t *src, int width, int height, uint32_t *dst, int dstwidth,
                  int dstheight) {
  std::vector<int> xfirst, xcount, yfirst, ycount;
  std::vector<float> xw, yw;
  int xstride, ystride;
  axistaps(width, dstwidth, &xfirst, &xcount, &xw, &xstride);
  axistaps(height, dstheight, &yfirst, &ycount, &yw, &ystride);
  // Rows first, into four float channels, then columns.
  std::vector<float> rows((size_t)dstwidth * (size_t)height * 4);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < dstwidth; x++) {
      float sum[4] = {0, 0, 0, 0};
      const float *w = xw.data() + (size_t)x * (size_t)xstride;
      for (int k = 0; k < xcount[(size_t)x]; k++) {
        uint32_t c = src[(size_t)y * (size_t)width + (size_t)(xfirst[(size_t)x] + k)];
        for (int ch = 0; ch < 4; ch++) sum[ch] += w[k] * (float)chan(c, 8 * ch);
      }
      for (int ch = 0; ch < 4; ch++) rows[((size_t)y * (size_t)dstwidth + (size_t)x) * 4 + (size_t)ch] = sum[ch];
    }
  for (int y = 0; y < dstheight; y++)
    for (int x = 0; x < dstwidth; x++) {
      float sum[4] = {0, 0, 0, 0};
      const float *w = yw.data() + (size_t)y * (size_t)ystride;
      for (int k = 0; k < ycount[(size_t)y]; k++) {
        const float *p = rows.data() + ((size_t)(yfirst[(size_t)y] + k) * (size_t)dstwidth + (size_t)x) * 4;
        for (int ch = 0; ch < 4; ch++) sum[ch] += w[k] * p[ch];
      }
      uint32_t out = 0;
      for (int ch = 0; ch < 4; ch++) {
        long v = std::lround(sum[ch]);
        out |= (uint32_t)(v < 0 ? 0 : v > 255 ? 255 : v) << (8 * ch);
      }
      dst[(size_t)y * (size_t)dstwidth + (size_t)x] = out;
    }
}
