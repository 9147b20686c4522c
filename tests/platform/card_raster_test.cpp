#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "cardtest.h"

namespace {

// Additive drawing of grey 64 on black leaves red 5-bit values 7 or 8 on a pixel drawn
// once (dither), 13 and above on one drawn twice.
int timesdrawn(uint16_t p) {
  int r5 = p >> 11;
  return r5 == 0 ? 0 : r5 <= 9 ? 1 : 2;
}

void additivegrey() {
  grBufferClear(0, 0, 0);
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  grAlphaBlendFunction(GR_BLEND_ONE, GR_BLEND_ONE, GR_BLEND_ONE, GR_BLEND_ZERO);
}

TEST_F(CardTest, TopAndLeftEdgesInclusiveBottomAndRightExclusive) {
  additivegrey();
  // A square whose edges run exactly through pixel centres 10.5 and 20.5.
  draw(quad(10.5f, 10.5f, 20.5f, 20.5f, 64, 64, 64));
  for (int y = 0; y < 40; y++)
    for (int x = 0; x < 40; x++)
      EXPECT_EQ(timesdrawn(px(x, y)), x >= 10 && x < 20 && y >= 10 && y < 20) << x << "," << y;
  // Snapping truncates to 1/16: 30.56 is 30.5 (centre included), 30.57 is 30.5625.
  for (float left : {30.56f, 30.57f}) {
    additivegrey();
    draw(quad(left, 0, 40, 2, 64, 64, 64));
    EXPECT_EQ(timesdrawn(px(30, 0)), left < 30.565f) << left;
  }
  // The 3 << 18 rounding bias vanishes in the 16-bit snap.
  additivegrey();
  draw(flat({{786432 + 50.5f, 0.5f}, {786432 + 60.5f, 0.5f}, {786432 + 50.5f, 10.5f}}, 64, 64, 64));
  for (int x : {49, 50, 59, 60}) EXPECT_EQ(timesdrawn(px(x, 0)), x == 50 || x == 59) << x;
}

TEST_F(CardTest, WBufferEncoding) {
  const struct {
    float oow;
    uint16_t depth;
  } cases[] = {{0.5f, 0x1000},   {0.25f, 0x2000}, {1.0f / 1024, 0xA000}, {1.0f / 65536, 0xFFFF},
               {1e-9f, 0xFFFF},  {0.0f, 0xFFFF},  {1.0f, 0},            {7.0f, 0},
               {-0.5f, 0},       {0.99999f, 1}};
  for (const auto &c : cases) EXPECT_EQ(cardwdepth(c.oow), c.depth) << c.oow;
  // Monotonic: farther is larger.
  uint16_t last = 0;
  for (float oow = 0.999f; oow > 1e-5f; oow *= 0.997f) {
    uint16_t d = cardwdepth(oow);
    EXPECT_GE(d, last);
    last = d;
  }
  // Through the pipeline: beyond w = 65536 nothing passes LESS against a cleared buffer.
  depthmode();
  grBufferClear(0, 0, GR_WDEPTHVALUE_FARTHEST);
  draw(flat({{0, 0}, {20, 0}, {20, 20}}, 255, 255, 255, 255, 1e-6f));
  EXPECT_EQ(px(15, 5), 0);
}

// Checks the 8x8 square at the origin, drawn over a clear to `clear`, against
// blend(destination) -> {r, g, b}: the destination as the blender reads it back, the
// stored 5/6/5 values expanded with the dither subtracted.
template <typename Blend>
void expectblended(uint32_t clear, Blend blend) {
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 8; x++) {
      int d = testdither(x, y);
      uint16_t dst = expect565(clear >> 16 & 255, clear >> 8 & 255, clear & 255, x, y);
      std::array<int, 3> c = blend((((dst >> 11) << 4) + 15 - d) >> 1, ((((dst >> 5) & 63) << 4) + 15 - d) >> 2,
                                   (((dst & 31) << 4) + 15 - d) >> 1);
      ASSERT_EQ(cardbackbuffer()[y * cardwidth + x], expect565(c[0], c[1], c[2], x, y)) << x << "," << y;
    }
}

TEST_F(CardTest, CombineAndBlendArithmetic) {
  // Iterated colour slightly below 0 and above 255 is fixed to 0 and 255, not wrapped.
  draw(flat({{0, 0}, {8, 0}, {8, 8}}, -1, 256, 0));
  EXPECT_EQ(px(6, 1), expect565(0, 255, 0, 6, 1));
  TestTexture tt;
  tt.make(GR_LOD_8, GR_LOD_8, 1, 1, [](int, int, int) { return 0x80C86432u; });  // a128 r200 g100 b50
  cardtexture = &tt.tex;
  texturemode();
  grBufferClear(0, 0, 0);
  // texture * (iterated + 1) >> 8: 255 is an exact multiply by one.
  draw(quad(0, 0, 8, 8, 255, 128, 0));
  expectblended(0, [](int, int, int) { return std::array<int, 3>{200, (100 * 129) >> 8, 0}; });

  // Transparency 0.25: vertex alpha 191.25 iterates to 191; source alpha blending over a
  // cleared blue.
  cardtexture = nullptr;
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  grAlphaCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_LOCAL_ITERATED,
                 GR_COMBINE_OTHER_CONSTANT, FXFALSE);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE_MINUS_SRC_ALPHA, GR_BLEND_ZERO, GR_BLEND_ZERO);
  grBufferClear(0x0000FF, 0, 0);
  draw(quad(0, 0, 8, 8, 255, 0, 0, 255 - 255 * 0.25f));
  expectblended(0x0000FF, [](int dr, int dg, int db) {
    return std::array<int, 3>{(255 * 192 + dr * 65) >> 8, (dg * 65) >> 8, (db * 65) >> 8};
  });

  // Additive: source plus destination, saturating.
  grAlphaBlendFunction(GR_BLEND_ONE, GR_BLEND_ONE, GR_BLEND_ONE, GR_BLEND_ZERO);
  grBufferClear(0x646464, 0, 0);
  draw(quad(0, 0, 8, 8, 50, 200, 0));
  expectblended(0x646464, [](int dr, int dg, int db) {
    return std::array<int, 3>{std::min(50 + dr, 255), std::min(200 + dg, 255), db};
  });

  // Outline surfaces: alpha = texture alpha * (texture alpha + 1) >> 8 = 64 for 128.
  cardtexture = &tt.tex;
  texturemode();
  grAlphaCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_TEXTURE_ALPHA,
                 GR_COMBINE_LOCAL_CONSTANT, GR_COMBINE_OTHER_TEXTURE, FXFALSE);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE_MINUS_SRC_ALPHA, GR_BLEND_ZERO, GR_BLEND_ZERO);
  grBufferClear(0, 0, 0);
  draw(quad(0, 0, 8, 8));
  expectblended(0, [](int dr, int dg, int db) {
    return std::array<int, 3>{(200 * 65 + dr * 192) >> 8, (100 * 65 + dg * 192) >> 8, (50 * 65 + db * 192) >> 8};
  });
}

// A 4x4 texture (GR_LOD_4) with texel (s, t) = red 16s + 1, green 16t + 2, blue 7.
uint32_t gridtexel(int, int s, int t) {
  return 0xFF000000u | (uint32_t)(16 * s + 1) << 16 | (uint32_t)(16 * t + 2) << 8 | 7u;
}

// Draws a quad whose every pixel samples (s, t) in the 256-texel space; returns the
// colour written at (1, 1) undone from its dither: the texel exactly (white vertices).
uint16_t sampleat(float s, float t) {
  grBufferClear(0, 0, 0);
  draw(quad(0, 0, 4, 4, 255, 255, 255, 255, 1, s, t));
  return cardbackbuffer()[1 * cardwidth + 1];
}

int lerp16(int a, int b, int k) { return (a * (16 - k) + b * k) >> 4; }

TEST_F(CardTest, BilinearAtZeroBelowZeroAndAcrossTheWrap) {
  TestTexture tt;
  tt.make(GR_LOD_4, GR_LOD_4, 1, 1, gridtexel);
  cardtexture = &tt.tex;
  texturemode();
  // One texel is 64 units of the 256 space; texel centres sample exactly.
  EXPECT_EQ(sampleat(32 + 64, 32 + 128), expect565(17, 34, 7, 1, 1));
  // u = 0 lies half way between texel 3 (wrapped) and texel 0.
  EXPECT_EQ(sampleat(0, 32), expect565(lerp16(49, 1, 8), 2, 7, 1, 1));
  // u < 0 and the same point across the wrap give the same mix (4/16 of texel 0).
  uint16_t below = sampleat(-16, 32), wrapped = sampleat(256 - 16, 32);
  EXPECT_EQ(below, expect565(lerp16(49, 1, 4), 2, 7, 1, 1));
  EXPECT_EQ(below, wrapped);
  // The fraction keeps 4 bits: 1/32 of a texel is lost, 1/16 is kept.
  EXPECT_EQ(sampleat(32 + 2, 32), expect565(1, 2, 7, 1, 1));
  EXPECT_EQ(sampleat(32 + 4, 32), expect565(lerp16(1, 17, 1), 2, 7, 1, 1));
  // Across the wrap in t as well.
  EXPECT_EQ(sampleat(32, 256 - 16), expect565(1, lerp16(50, 2, 4), 7, 1, 1));
  // Clamped, below zero both neighbours are texel 0.
  tt.tex.sclamp = tt.tex.tclamp = GR_TEXTURECLAMP_CLAMP;
  EXPECT_EQ(sampleat(-16, 32), expect565(1, 2, 7, 1, 1));
  EXPECT_EQ(sampleat(300, 32), expect565(49, 2, 7, 1, 1));
  // Point sampling picks the texel under the point.
  tt.tex.sclamp = tt.tex.tclamp = GR_TEXTURECLAMP_WRAP;
  tt.tex.minfilter = tt.tex.magfilter = GR_TEXTUREFILTER_POINT_SAMPLED;
  EXPECT_EQ(sampleat(-1, 32), expect565(49, 2, 7, 1, 1));
  EXPECT_EQ(sampleat(63, 64), expect565(1, 18, 7, 1, 1));
  // A magnified texture (every corner on one texel here) takes the magnification filter.
  tt.tex.minfilter = GR_TEXTUREFILTER_BILINEAR;
  EXPECT_EQ(sampleat(0, 32), expect565(1, 2, 7, 1, 1));
  tt.tex.minfilter = GR_TEXTUREFILTER_POINT_SAMPLED;
  tt.tex.magfilter = GR_TEXTUREFILTER_BILINEAR;
  EXPECT_EQ(sampleat(0, 32), expect565(lerp16(49, 1, 8), 2, 7, 1, 1));
}

TEST_F(CardTest, BadVerticesNeverCrashNorWriteOutside) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  depthmode();
  grBufferClear(0, 0, GR_WDEPTHVALUE_FARTHEST);
  // Non-finite anything: the triangle is dropped.
  draw({vtx(nan, 0), vtx(10, 0), vtx(10, 10)});
  draw({vtx(0, 0), vtx(inf, 0), vtx(10, 10)});
  draw({vtx(0, 0), vtx(10, 0, nan), vtx(10, 10)});
  draw({vtx(0, 0, 255, 255, 255, 255, inf), vtx(10, 0), vtx(10, 10)});
  for (int i = 0; i < cardwidth * cardheight; i++) ASSERT_EQ(cardbackbuffer()[i], 0);
  // Huge and far-off coordinates, degenerate and tiny polygons, few and many corners.
  draw({vtx(-1e30f, -1e30f), vtx(1e30f, 0), vtx(0, 1e30f)});
  draw({vtx(-3000, -3000), vtx(3000, -2000), vtx(100, 4000)});
  draw({vtx(-32768, 5), vtx(32767, 5), vtx(0, 479.9f)});
  draw({vtx(5, 5), vtx(5, 5), vtx(5, 5)});
  draw({vtx(5, 5), vtx(50, 50), vtx(100, 100)});
  draw({vtx(5, 5), vtx(5.01f, 5), vtx(5, 5.01f)});
  draw({vtx(0, 0, 255, 255, 255, 255, 1e30f, 1e30f, -1e30f), vtx(639, 0, 255, 255, 255, 255, 1e-30f),
        vtx(0, 479, 255, 255, 255, 255, -5)});
  draw({vtx(10, 10, 1e9f, -1e9f, 3e9f, 1e9f), vtx(600, 20, -1e9f), vtx(300, 470, 4e9f)});
  grDrawPolygonVertexList(0, nullptr);
  grDrawPolygonVertexList(-5, nullptr);
  draw({vtx(0, 0), vtx(10, 10)});
  std::vector<GrVertex> many;
  for (int i = 0; i < 5000; i++)
    many.push_back(vtx(320 + 400 * std::cos(i * 0.00125664f), 240 + 400 * std::sin(i * 0.00125664f)));
  draw(many);
  // A textured pass over the same: huge texture coordinates and w of every sign.
  TestTexture tt;
  tt.make(GR_LOD_256, GR_LOD_1, 8, 1, gridtexel);
  cardtexture = &tt.tex;
  texturemode();
  grDepthBufferFunction(GR_CMP_ALWAYS);
  draw({vtx(-100, -100, 255, 255, 255, 255, -0.5f, 1e20f, -1e20f), vtx(700, -50, 255, 255, 255, 255, 2, 3, 4),
        vtx(300, 900, 255, 255, 255, 255, 1e-20f, -7, 1e10f)});
  draw({vtx(0, 0, 255, 255, 255, 255, 1, 0, 0), vtx(639, 0, 255, 255, 255, 255, 1, 1e7f, 0),
        vtx(0, 479, 255, 255, 255, 255, 1, 0, -1e7f)});
  // A texture with a missing level draws untextured rather than reading it.
  tt.tex.texels[3] = nullptr;
  draw({vtx(0, 0), vtx(100, 0), vtx(0, 100)});
  SUCCEED();
}

// Every specialised span routine against the reference path, bit for bit: random
// triangles (sizes, perspective, colours beyond the range, texture coordinates beyond the
// wrap) on random destination colour and depth, for each state the fast path covers and a
// few it does not, at scale 1 and 2 (the frame's top-left 640 x 480), in both colour
// depths, with the span routines of 4 and (where the processor has AVX2) 8 pixels a step.
TEST(CardReference, FastPathsMatchTheReferenceBitForBit) {
  const int depthstates[][3] = {{GR_DEPTHBUFFER_DISABLE, GR_CMP_LESS, 0}, {GR_DEPTHBUFFER_WBUFFER, GR_CMP_LESS, 0},
                                {GR_DEPTHBUFFER_WBUFFER, GR_CMP_LESS, 1}, {GR_DEPTHBUFFER_WBUFFER, GR_CMP_EQUAL, 0},
                                {GR_DEPTHBUFFER_WBUFFER, GR_CMP_EQUAL, 1}, {GR_DEPTHBUFFER_WBUFFER, GR_CMP_GEQUAL, 1}};
  const int blends[][2] = {{GR_BLEND_ONE, GR_BLEND_ZERO}, {GR_BLEND_ONE, GR_BLEND_ONE},
                           {GR_BLEND_SRC_ALPHA, GR_BLEND_ONE_MINUS_SRC_ALPHA},
                           {GR_BLEND_ONE_MINUS_SRC_COLOR, GR_BLEND_SRC_ALPHA}};
  const CardCombine alphas[] = {
      {GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_LOCAL_ITERATED, GR_COMBINE_OTHER_CONSTANT, 0},
      {GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_ONE, GR_COMBINE_LOCAL_CONSTANT, GR_COMBINE_OTHER_CONSTANT, 0},
      {GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_TEXTURE_ALPHA, GR_COMBINE_LOCAL_CONSTANT,
       GR_COMBINE_OTHER_TEXTURE, 0},
      {GR_COMBINE_FUNCTION_BLEND, GR_COMBINE_FACTOR_LOCAL_ALPHA, GR_COMBINE_LOCAL_ITERATED, GR_COMBINE_OTHER_TEXTURE, 1}};
  const CardCombine colors[] = {
      {GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_NONE, GR_COMBINE_LOCAL_ITERATED, GR_COMBINE_OTHER_NONE, 0},
      {GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_LOCAL, GR_COMBINE_LOCAL_ITERATED, GR_COMBINE_OTHER_TEXTURE, 0},
      {GR_COMBINE_FUNCTION_SCALE_OTHER_MINUS_LOCAL_ADD_LOCAL, GR_COMBINE_FACTOR_ONE_MINUS_LOCAL_ALPHA,
       GR_COMBINE_LOCAL_ITERATED, GR_COMBINE_OTHER_TEXTURE, 0}};
  for (int config = 0; config < 8; config++) {
    const int scale = 1 + (config & 1), format = config & 2 ? 32 : 16, lanes = config < 4 ? 4 : 8;
    if (cardspanlanes(lanes) != lanes) break;  // no AVX2 here
    uint32_t seed = 99;
    auto rnd = [&seed]() {
      seed = seed * 1664525u + 1013904223u;
      return seed >> 8;
    };
    auto unit = [&rnd]() { return (float)(rnd() & 0xFFFF) / 65536.0f; };
    TestTexture tt;
    tt.make(GR_LOD_128, GR_LOD_1, 2, 1, [&rnd](int, int, int) { return (uint32_t)rnd() * 2654435761u; });
    MemoryFrame fast(cardwidth, cardheight, scale, format), reference(cardwidth, cardheight, scale, format);
    int fastcount = 0, states = 0;
    for (const CardCombine &color : colors)
      for (const CardCombine &alpha : alphas)
        for (const auto &ds : depthstates)
          for (const auto &bl : blends) {
            CardState st{.depthmode = ds[0], .depthfunc = ds[1], .depthmask = ds[2], .color = color,
                         .alpha = alpha, .texcombine = GR_TEXTURECOMBINE_DECAL, .rgbsrc = bl[0], .rgbdst = bl[1]};
            // The EQUAL layer over the same corners, as the reflection pass draws it.
            CardState eq = st;
            eq.depthmode = GR_DEPTHBUFFER_WBUFFER;
            eq.depthfunc = GR_CMP_EQUAL;
            fastcount += cardhasfastpath(&st, &tt.tex);
            states++;
            for (size_t i = 0; i < fast.color.size(); i++) {
              uint32_t r = rnd();
              fast.color[i] = reference.color[i] = (uint16_t)r;
              fast.color32[i] = reference.color32[i] = r * 2654435761u;
              fast.depth[i] = reference.depth[i] = (uint16_t)(0x8000 + (rnd() & 0x7FFF));
            }
            for (int k = 0; k < 12; k++) {
              float size = k < 4 ? 8 : k < 8 ? 40 : 160;
              float cx = unit() * 700 - 30, cy = unit() * 540 - 30;
              GrVertex v[3];
              for (GrVertex &p : v) {
                float oow = 0.001f + unit() * unit() * 0.6f;
                p = vtx(cx + (unit() - 0.5f) * size, cy + (unit() - 0.5f) * size, unit() * 270 - 5,
                        unit() * 260, unit() * 255, unit() * 256, oow, unit() * 900 - 300, unit() * 900 - 300);
              }
              for (const CardState *s : {&st, &eq}) {
                carddrawtriangle(s, &tt.tex, &reference.target, &v[0], &v[1], &v[2], 1);
                carddrawtriangle(s, &tt.tex, &fast.target, &v[0], &v[1], &v[2], 0);
              }
            }
            ASSERT_TRUE(fast.color == reference.color && fast.color32 == reference.color32 &&
                        fast.depth == reference.depth)
                << "state " << states << " scale " << scale << " format " << format << " lanes " << lanes;
          }
    // The system's states all have a specialised routine.
    EXPECT_GE(fastcount, 2 * 5 * 3);
  }
}

}  // namespace
