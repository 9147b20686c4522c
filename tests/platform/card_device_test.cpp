#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cardtest.h"
#include "testutil.h"

namespace {

TEST_F(CardTest, StateAfterOpeningAndCallsThatChangeNothing) {
  grBufferClear(0x102030, 0, 0x1234);
  // Depth mask off after opening: the clear leaves depth as it was (farthest).
  EXPECT_EQ(depthat(0, 0), 0xFFFF);
  draw(flat({{0, 0}, {16, 0}, {16, 16}}, 90, 180, 30, 7, 0.5f));
  EXPECT_EQ(px(12, 3), expect565(90, 180, 30, 12, 3));
  EXPECT_EQ(depthat(12, 3), 0xFFFF);
  // The texture unit outputs zero until told to DECAL: texture times colour is black.
  TestTexture tt;
  tt.make(GR_LOD_8, GR_LOD_8, 1, 1, [](int, int, int) { return 0xFFFFFFFFu; });
  cardtexture = &tt.tex;
  grColorCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_LOCAL, GR_COMBINE_LOCAL_ITERATED,
                 GR_COMBINE_OTHER_TEXTURE, FXFALSE);
  draw(flat({{0, 0}, {16, 0}, {16, 16}}));
  EXPECT_EQ(px(12, 3), 0);
  grTexCombineFunction(GR_TMU0, GR_TEXTURECOMBINE_DECAL);
  draw(flat({{0, 0}, {16, 0}, {16, 16}}));
  EXPECT_EQ(px(12, 3), 0xFFFF);
  // No texture selected: drawn as if the texture were white.
  cardtexture = nullptr;
  draw(flat({{0, 0}, {16, 0}, {16, 16}}, 255, 0, 0));
  EXPECT_EQ(px(12, 3), expect565(255, 0, 0, 12, 3));

  // Unsupported calls and arguments change nothing.
  depthmode();
  grDepthBufferMode(GR_DEPTHBUFFER_ZBUFFER);
  grDepthBufferFunction(99);
  grColorCombine(77, 0, 0, 0, 0);
  grAlphaBlendFunction(GR_BLEND_ONE, 15, GR_BLEND_ONE, GR_BLEND_ZERO);
  guColorCombineFunction(0x55);
  grTexCombineFunction(GR_TMU1, GR_TEXTURECOMBINE_DECAL);
  grSstSelect(3);
  EXPECT_EQ(grSstWinOpen(0, GR_RESOLUTION_640x480, 0, 0, 0, 2, 2), FXFALSE);  // already open
  grBufferClear(0, 0, GR_WDEPTHVALUE_FARTHEST);
  draw(flat({{0, 0}, {16, 0}, {16, 16}}, 40, 50, 60, 255, 0.5f));
  EXPECT_EQ(depthat(12, 3), 0x1000);  // still the W buffer, LESS, writing
  EXPECT_EQ(px(12, 3), expect565(40, 50, 60, 12, 3));
}

TEST_F(CardTest, NoCardOpenCloseAndCallsWhileClosed) {
  grGlideShutdown();
  GrHwConfiguration hw;
  setenv("LWDEMO_NOCARD", "1", 1);
  EXPECT_EQ(grSstQueryHardware(&hw), FXFALSE);
  setenv("LWDEMO_NOCARD", "0", 1);
  EXPECT_EQ(grSstQueryHardware(&hw), FXTRUE);
  unsetenv("LWDEMO_NOCARD");
  ASSERT_EQ(grSstQueryHardware(&hw), FXTRUE);
  EXPECT_EQ(hw.SSTs[0].VoodooConfig.tmuConfig[0].tmuRam, 2);

  // Closed: nothing to draw into, and nothing crashes.
  EXPECT_EQ(cardbackbuffer(), nullptr);
  grBufferClear(0, 0, 0);
  grBufferSwap(1);
  draw({vtx(0, 0), vtx(9, 0), vtx(9, 9)});
  EXPECT_EQ(grSstWinOpen(0, 3, 0, 0, 0, 2, 2), FXFALSE);  // not 640x480
  EXPECT_EQ(cardbackbuffer(), nullptr);

  for (int i = 0; i < 40; i++) {
    ASSERT_EQ(opencard(), FXTRUE);
    ASSERT_NE(cardbackbuffer(), nullptr);
    grBufferClear(0xFF00FF, 0, 0x4321);
    grBufferSwap(1);
    grGlideShutdown();
    EXPECT_EQ(cardbackbuffer(), nullptr);
    EXPECT_EQ(carddepthbuffer(), nullptr);
  }
}

TEST_F(CardTest, SwapCountsFramesShownAndRetraces) {
  // {swap interval, swaps, frames shown and retraces in all after them}
  const unsigned cases[][4] = {{1, 10, 10, 10}, {2, 10, 20, 30}, {0, 1, 21, 30}};
  for (const auto &c : cases) {
    for (unsigned i = 0; i < c[1]; i++) grBufferSwap(c[0]);
    CardStats stats;
    cardgetstats(&stats);
    EXPECT_EQ(stats.framesshown, c[2]) << "interval " << c[0];
    EXPECT_EQ(stats.retraces, c[3]) << "interval " << c[0];
  }
}

// The table's values at the default gamma, 1.7, are pinned by the golden images.
TEST_F(CardTest, GammaOneScansOutTheExpandedValues) {
  setenv("LWDEMO_GAMMA", "1", 1);
  reopen("1", "16");
  std::vector<FxU16> grey(cardwidth * cardheight, 0x8410);  // 16, 32, 16
  std::vector<FxU8> rgb(cardwidth * cardheight * 3);
  cardscanout(grey.data(), rgb.data());
  EXPECT_EQ(std::vector<FxU8>(rgb.begin(), rgb.begin() + 3), std::vector<FxU8>({132, 130, 132}));
  unsetenv("LWDEMO_GAMMA");
}

}  // namespace
