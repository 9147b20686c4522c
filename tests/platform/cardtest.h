// Shared set-up for the card's tests: a freshly opened headless, unpaced card per test,
// vertices, and hand-built textures.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/glide/cardinternal.h"
#include "platform/glide/cardtexture.h"
#include "platform/glide/glide.h"
#include "platform/platform.h"

inline GrVertex vtx(float x, float y, float r = 255, float g = 255, float b = 255, float a = 255,
                    float oow = 1, float s = 0, float t = 0) {
  GrVertex v{};
  v.x = x;
  v.y = y;
  v.r = r;
  v.g = g;
  v.b = b;
  v.a = a;
  v.oow = oow;
  v.tmuvtx[0].sow = s * oow;
  v.tmuvtx[0].tow = t * oow;
  return v;
}

// A polygon of one colour, w and texture point, its corners given as {x, y}.
inline std::vector<GrVertex> flat(std::initializer_list<std::array<float, 2>> corners, float r = 255, float g = 255,
                                  float b = 255, float a = 255, float oow = 1, float s = 0, float t = 0) {
  std::vector<GrVertex> v;
  for (const auto &c : corners) v.push_back(vtx(c[0], c[1], r, g, b, a, oow, s, t));
  return v;
}

// The rectangle (x0, y0) to (x1, y1), clockwise from its top left, in one colour.
inline std::vector<GrVertex> quad(float x0, float y0, float x1, float y1, float r = 255, float g = 255,
                                  float b = 255, float a = 255, float oow = 1, float s = 0, float t = 0) {
  return flat({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, r, g, b, a, oow, s, t);
}

inline void draw(std::vector<GrVertex> v) { grDrawPolygonVertexList((int)v.size(), v.data()); }

// Texture whose levels are filled by fill(level, s, t) -> ARGB8888. Its texels are
// rewritten or freed only once the card's queued triangles are drawn, as the card's own
// texture memory is.
struct TestTexture {
  CardTexture tex;
  std::vector<uint32_t> levels[9];
  ~TestTexture() { cardfinish(); }
  template <typename Fill>
  void make(int largelod, int smalllod, int aspectw, int aspecth, Fill fill) {
    cardfinish();
    tex = CardTexture{};
    tex.largelod = largelod;
    tex.smalllod = smalllod;
    for (int l = largelod; l <= smalllod; l++) {
      int w = 256 >> l, h = 256 >> l;
      if (aspectw > aspecth) h = h * aspecth / aspectw;
      if (aspecth > aspectw) w = w * aspectw / aspecth;
      if (w < 1) w = 1;
      if (h < 1) h = 1;
      levels[l].assign((size_t)w * h, 0);
      for (int t = 0; t < h; t++)
        for (int s = 0; s < w; s++) levels[l][(size_t)t * w + s] = fill(l, s, t);
      tex.width[l] = w;
      tex.height[l] = h;
      tex.texels[l] = levels[l].data();
    }
  }
};

// A frame in memory, w x h pixels of colour in both formats and depth, each buffer filled
// with its value, for drawing straight through the rasterizer.
struct MemoryFrame {
  std::vector<uint16_t> color, depth;
  std::vector<uint32_t> color32;
  CardTarget target;
  MemoryFrame(int w, int h, int scale, int format, uint16_t c = 0, uint32_t c32 = 0, uint16_t z = 0xFFFF)
      : color((size_t)w * h, c), depth(color.size(), z), color32(color.size(), c32) {
    target.color = color.data();
    target.color32 = color32.data();
    target.depth = depth.data();
    target.width = target.stride = w;
    target.height = h;
    target.scale = scale;
    target.format = format;
  }
};

// Opens the card as the system does: 640 x 480, two buffers and depth.
inline FxBool opencard() {
  return grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB, GR_ORIGIN_UPPER_LEFT, 2, 2);
}

class CardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("LWDEMO_VIDEO", "headless", 1);
    setenv("LWDEMO_PACING", "off", 1);
    unsetenv("LWDEMO_CAPTURE");
    unsetenv("LWDEMO_CAPTURE_EVERY");
    unsetenv("LWDEMO_GAMMA");
    unsetenv("LWDEMO_NOCARD");
    reopen("1", "16");
  }
  // Opens the card afresh at a scale and colour depth (the thread count is left to the
  // environment, so the whole suite can be run with any).
  static void reopen(const char *scale, const char *colorbits) {
    grGlideShutdown();
    setenv("LWDEMO_SCALE", scale, 1);
    setenv("LWDEMO_COLOR", colorbits, 1);
    cardtexture = nullptr;
    grGlideInit();
    ASSERT_EQ(opencard(), FXTRUE);
    unsetenv("LWDEMO_SCALE");
    unsetenv("LWDEMO_COLOR");
  }
  void TearDown() override {
    cardtexture = nullptr;
    grGlideShutdown();
    cardtrace(0);
    cardtraceclear();
  }
  static uint16_t px(int x, int y) { return cardbackbuffer()[y * cardwidth + x]; }
  static uint16_t depthat(int x, int y) { return carddepthbuffer()[y * cardwidth + x]; }
  static void texturemode() {
    grTexCombineFunction(GR_TMU0, GR_TEXTURECOMBINE_DECAL);
    grColorCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_LOCAL,
                   GR_COMBINE_LOCAL_ITERATED, GR_COMBINE_OTHER_TEXTURE, FXFALSE);
  }
  static void depthmode() {
    grDepthBufferMode(GR_DEPTHBUFFER_WBUFFER);
    grDepthBufferFunction(GR_CMP_LESS);
    grDepthMask(FXTRUE);
  }
};

// The pixels of an RGB PNG file of w x h pixels; empty when it cannot be read or has other sides.
inline std::vector<uint8_t> pngrgb(const std::string &path, int w, int h) {
  uint8_t *png = nullptr;
  int pw = 0, ph = 0;
  std::vector<uint8_t> rgb;
  if (readpng(path.c_str(), &png, &pw, &ph, 3) && pw == w && ph == h) rgb.assign(png, png + (size_t)w * h * 3);
  free(png);
  return rgb;
}

// The 4x4 ordered dither, written out independently of the card.
inline int testdither(int x, int y) {
  static const int m[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  return m[y & 3][x & 3];
}

inline uint16_t expect565(int r, int g, int b, int x, int y) {
  int d = testdither(x, y);
  int r5 = ((r << 1) - (r >> 4) + (r >> 7) + d) >> 4;
  int g6 = ((g << 2) - (g >> 4) + (g >> 6) + d) >> 4;
  int b5 = ((b << 1) - (b >> 4) + (b >> 7) + d) >> 4;
  return (uint16_t)(r5 << 11 | g6 << 5 | b5);
}
