// Small renders, one per feature, compared exactly with checked-in PNGs of the scan-out
// (the top-left 160x120 pixels). Regenerate with LWDEMO_UPDATE_GOLDEN=1 (see golden.h).
#include <string>
#include <vector>

#include "cardtest.h"
#include "golden.h"

namespace {

constexpr int goldenw = 160, goldenh = 120;

// The scan-out of the back buffer's top left against the golden name (with "_32" added in
// 32-bit colour).
::testing::AssertionResult backbuffermatches(const char *name) {
  CardFrame f;
  if (!cardframe(&f)) return ::testing::AssertionFailure() << "card closed";
  std::vector<FxU8> rgb((size_t)f.width * f.height * 3), crop(goldenw * goldenh * 3);
  cardscanout(f.back, rgb.data());
  for (int y = 0; y < goldenh; y++)
    for (int i = 0; i < goldenw * 3; i++) crop[y * goldenw * 3 + i] = rgb[(size_t)y * f.width * 3 + i];
  std::string path = std::string(LWDEMO_SOURCE_DIR) + "/tests/platform/golden/" + name +
                     (f.colorbits == 32 ? "_32" : "") + ".png";
  return matchesgolden(path.c_str(), crop.data(), goldenw, goldenh);
}

// Each golden in 16-bit colour (the card's own) and in 32-bit colour.
class CardGolden : public CardTest, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    CardTest::SetUp();
    if (GetParam() != 16) reopen("1", std::to_string(GetParam()).c_str());
  }
};

INSTANTIATE_TEST_SUITE_P(Depths, CardGolden, ::testing::Values(16, 32));

// 64x64 checkerboard of 8-texel squares (halved with each smaller level, down to 1x1);
// each level tinted so that the level switches show.
uint32_t checker(int level, int s, int t) {
  int shift = level <= 5 ? 5 - level : 0;
  int on = ((s >> shift) ^ (t >> shift)) & 1;
  uint32_t tint = (uint32_t)(level * 24);
  return on ? 0xFFF0E0C0u - (tint << 8) : 0xFF304080u + (tint << 16);
}

// A floor 3 wide and 9 deep seen from 1 above it: x = 80 + 80 * X / z, y = 30 + 80 / z
// for z from 1 to 10, texture repeated 4 times across and along.
std::vector<GrVertex> floorplane(float r, float g, float b) {
  auto corner = [&](float wx, float z, float s, float t) {
    return vtx(80 + 80 * wx / z, 30 + 80 / z, r, g, b, 255, 1 / z, s, t);
  };
  return {corner(-1.5f, 1, 0, 1024), corner(1.5f, 1, 1024, 1024), corner(1.5f, 10, 1024, 0),
          corner(-1.5f, 10, 0, 0)};
}

TEST_P(CardGolden, Flat) {
  grBufferClear(0xC8C8FF, 0, 0);
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  draw(flat({{10, 10}, {80, 15}, {40, 70}}, 200, 30, 30));
  draw(flat({{70, 40}, {150, 50}, {140, 110}, {90, 115}}, 20, 120, 60));
  draw(flat({{5, 100}, {60, 90}, {30, 118}}, 128, 128, 128));
  EXPECT_TRUE(backbuffermatches("flat"));
}

TEST_P(CardGolden, Gouraud) {
  grBufferClear(0, 0, 0);
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  draw({vtx(5, 5, 255, 0, 0), vtx(155, 5, 0, 255, 0), vtx(155, 115, 0, 0, 255), vtx(5, 115, 255, 255, 255)});
  draw({vtx(40, 30, 0, 0, 0), vtx(120, 60, 255, 255, 0), vtx(60, 100, 0, 255, 255)});
  EXPECT_TRUE(backbuffermatches("gouraud"));
}

TEST_P(CardGolden, TexturedPerspectivePlane) {
  TestTexture tt;
  tt.make(GR_LOD_64, GR_LOD_1, 1, 1, checker);
  cardtexture = &tt.tex;
  grBufferClear(0x203040, 0, 0);
  texturemode();
  draw(floorplane(255, 230, 200));
  EXPECT_TRUE(backbuffermatches("textured"));
}

TEST_P(CardGolden, Blended) {
  grBufferClear(0x000000, 0, 0);
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  draw(quad(0, 0, 80, 120));
  grAlphaCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_LOCAL_ITERATED,
                 GR_COMBINE_OTHER_CONSTANT, FXFALSE);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE_MINUS_SRC_ALPHA, GR_BLEND_ZERO, GR_BLEND_ZERO);
  draw(flat({{20, 10}, {140, 20}, {60, 80}}, 255, 0, 0, 191.25f));
  draw({vtx(40, 50, 0, 0, 255, 64), vtx(150, 60, 0, 0, 255, 64), vtx(100, 115, 0, 0, 255, 255)});
  EXPECT_TRUE(backbuffermatches("blended"));
}

TEST_P(CardGolden, Additive) {
  grBufferClear(0x101010, 0, 0);
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  grAlphaBlendFunction(GR_BLEND_ONE, GR_BLEND_ONE, GR_BLEND_ONE, GR_BLEND_ZERO);
  draw(flat({{20, 10}, {110, 20}, {50, 100}}, 160, 40, 0));
  draw(flat({{60, 15}, {150, 40}, {70, 110}}, 0, 120, 160));
  draw({vtx(30, 60, 120, 120, 40), vtx(130, 70, 60, 60, 200), vtx(90, 118, 200, 200, 200)});
  EXPECT_TRUE(backbuffermatches("additive"));
}

TEST_P(CardGolden, WBufferIntersection) {
  depthmode();
  grBufferClear(0x000000, 0, GR_WDEPTHVALUE_FARTHEST);
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  // Two planes leaning opposite ways cross along a line.
  draw({vtx(10, 10, 255, 80, 80, 255, 0.9f), vtx(150, 10, 255, 80, 80, 255, 0.05f),
        vtx(150, 110, 255, 160, 80, 255, 0.05f), vtx(10, 110, 255, 160, 80, 255, 0.9f)});
  draw({vtx(10, 30, 80, 80, 255, 255, 0.04f), vtx(150, 20, 80, 255, 255, 255, 0.7f),
        vtx(150, 100, 80, 255, 255, 255, 0.7f), vtx(10, 90, 80, 80, 255, 255, 0.04f)});
  EXPECT_TRUE(backbuffermatches("wbuffer"));
}

}  // namespace
