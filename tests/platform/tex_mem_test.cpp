// The texture unit: memory accounting, handles, downloads and texel decoding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/glide/cardtexture.h"
#include "platform/glide/glide.h"
#include "testutil.h"

namespace {

GrMipMapId_t allocate(int format, int smalllod, int largelod, int aspect) {
  return guTexAllocateMemory(GR_TMU0, GR_MIPMAPLEVELMASK_BOTH, 0, 0, format, GR_MIPMAP_NEAREST,
                             smalllod, largelod, aspect, GR_TEXTURECLAMP_WRAP,
                             GR_TEXTURECLAMP_WRAP, GR_TEXTUREFILTER_BILINEAR,
                             GR_TEXTUREFILTER_BILINEAR, 0.0f, FXFALSE);
}

class TexMem : public ::testing::Test {
 protected:
  void SetUp() override { guTexMemReset(); }
  void TearDown() override { guTexMemReset(); }
};

TEST_F(TexMem, SizeRuleOfTheCardLibrary) {
  const struct {
    int format, smalllod, largelod, aspect;
    unsigned bytes;
  } cases[] = {
      // 1:1 256..1 16-bit: 87381 texels, the 2x2 and 1x1 levels costing 4 each: 87384 x 2.
      {GR_TEXFMT_RGB_565, GR_LOD_1, GR_LOD_256, GR_ASPECT_1x1, 174768},
      // 8:1 from 8x1 down: 8x1 costs 16, 4x1 8, 2x1 and 1x1 4 each: 32 bytes at 8 bits.
      {GR_TEXFMT_P_8, GR_LOD_1, GR_LOD_8, GR_ASPECT_8x1, 32},
      // A single 1x1 8-bit level costs 4 bytes, rounded up to 8.
      {GR_TEXFMT_P_8, GR_LOD_1, GR_LOD_1, GR_ASPECT_1x8, 8},
      // 1:4 64..16 16-bit: 64x16 + 32x8 + 16x4 = 1344 texels.
      {GR_TEXFMT_ARGB_4444, GR_LOD_16, GR_LOD_64, GR_ASPECT_1x4, 2688},
  };
  for (const auto &c : cases) {
    guTexMemReset();
    ASSERT_NE(allocate(c.format, c.smalllod, c.largelod, c.aspect), GR_NULL_MIPMAP_HANDLE);
    EXPECT_EQ(cardtexmemused(), c.bytes) << c.format << " " << c.largelod;
  }
}

// Bad arguments get the null handle and take no memory; so do the 1025th handle and a
// texture past the 2 MB. A reset frees all.
TEST_F(TexMem, TheNullHandleForBadArgumentsTooManyHandlesAndAFullMemory) {
  const int cases[][4] = {{0x10, GR_LOD_1, GR_LOD_256, GR_ASPECT_1x1},
                          {6, GR_LOD_1, GR_LOD_256, GR_ASPECT_1x1},
                          {GR_TEXFMT_RGB_565, GR_LOD_256, GR_LOD_1, GR_ASPECT_1x1},
                          {GR_TEXFMT_RGB_565, 9, GR_LOD_256, GR_ASPECT_1x1},
                          {GR_TEXFMT_RGB_565, GR_LOD_1, -1, GR_ASPECT_1x1},
                          {GR_TEXFMT_RGB_565, GR_LOD_1, GR_LOD_256, 7}};
  for (const auto &c : cases) EXPECT_EQ(allocate(c[0], c[1], c[2], c[3]), GR_NULL_MIPMAP_HANDLE) << c[0];
  EXPECT_EQ(cardtexmemused(), 0u);
  for (int k = 0; k < 1024; k++)
    ASSERT_EQ(allocate(GR_TEXFMT_P_8, GR_LOD_1, GR_LOD_1, GR_ASPECT_1x1), (GrMipMapId_t)k);
  EXPECT_EQ(allocate(GR_TEXFMT_P_8, GR_LOD_1, GR_LOD_1, GR_ASPECT_1x1), GR_NULL_MIPMAP_HANDLE);
  guTexMemReset();
  // 2 MB / 174768 = 11.9996: the twelfth full 16-bit texture does not fit.
  for (int k = 0; k < 11; k++)
    EXPECT_EQ(allocate(GR_TEXFMT_RGB_565, GR_LOD_1, GR_LOD_256, GR_ASPECT_1x1), (GrMipMapId_t)k);
  EXPECT_EQ(allocate(GR_TEXFMT_RGB_565, GR_LOD_1, GR_LOD_256, GR_ASPECT_1x1), GR_NULL_MIPMAP_HANDLE);
  // A small one still fits in what is left.
  EXPECT_EQ(allocate(GR_TEXFMT_RGB_565, GR_LOD_1, GR_LOD_32, GR_ASPECT_1x1), 11u);
  guTexSource(3);
  ASSERT_NE(cardtexture, nullptr);
  guTexMemReset();
  EXPECT_EQ(cardtexture, nullptr);  // the selected texture is gone with the rest
  EXPECT_EQ(cardtexmemused(), 0u);
  EXPECT_EQ(allocate(GR_TEXFMT_RGB_565, GR_LOD_1, GR_LOD_256, GR_ASPECT_1x1), 0u);
}

TEST_F(TexMem, NullAndUnknownHandlesDrawUntexturedAndLogOnce) {
  GrMipMapId_t id = allocate(GR_TEXFMT_RGB_565, GR_LOD_1, GR_LOD_1, GR_ASPECT_1x1);
  guTexSource(id);
  ASSERT_NE(cardtexture, nullptr);
  uint16_t texel = 0xFFFF;
  EXPECT_FALSE(guTexDownloadMipMap(GR_NULL_MIPMAP_HANDLE, &texel, nullptr));
  EXPECT_FALSE(guTexDownloadMipMap(id + 1, &texel, nullptr));
  EXPECT_FALSE(guTexDownloadMipMap(id, nullptr, nullptr));
  std::string err = stderrof([&] {
    guTexSource(GR_NULL_MIPMAP_HANDLE);
    EXPECT_EQ(cardtexture, nullptr);
    guTexSource(id);
    guTexSource(id + 7);
    EXPECT_EQ(cardtexture, nullptr);
  });
  // Once per process: an earlier test in this run may already have said it.
  EXPECT_LE(std::count(err.begin(), err.end(), '\n'), 1);
}

TEST_F(TexMem, DownloadExpandsEveryLevelAndKeepsTheModes) {
  GrMipMapId_t id = guTexAllocateMemory(
      GR_TMU0, GR_MIPMAPLEVELMASK_BOTH, 4, 2, GR_TEXFMT_ARGB_4444, GR_MIPMAP_NEAREST, GR_LOD_1,
      GR_LOD_4, GR_ASPECT_2x1, GR_TEXTURECLAMP_CLAMP, GR_TEXTURECLAMP_WRAP,
      GR_TEXTUREFILTER_POINT_SAMPLED, GR_TEXTUREFILTER_BILINEAR, 0.5f, FXFALSE);
  ASSERT_NE(id, GR_NULL_MIPMAP_HANDLE);
  // Levels 4x2, 2x1, 1x1 in host order, largest first.
  std::vector<uint16_t> src = {0x1000, 0x1001, 0x1002, 0x1003, 0x1004, 0x1005, 0x1006, 0x1007,
                               0x2000, 0x2001, 0x3000};
  ASSERT_TRUE(guTexDownloadMipMap(id, src.data(), nullptr));
  guTexSource(id);
  const CardTexture *t = cardtexture;
  ASSERT_NE(t, nullptr);
  // s and t, minification and magnification kept apart; the sides of the levels.
  EXPECT_EQ(std::vector<int>({t->sclamp, t->tclamp, t->minfilter, t->magfilter, t->width[GR_LOD_4],
                              t->height[GR_LOD_4], t->width[GR_LOD_2], t->height[GR_LOD_2]}),
            std::vector<int>({GR_TEXTURECLAMP_CLAMP, GR_TEXTURECLAMP_WRAP, GR_TEXTUREFILTER_POINT_SAMPLED,
                              GR_TEXTUREFILTER_BILINEAR, 4, 2, 2, 1}));
  for (int lod = 0; lod < GR_LOD_4; lod++) EXPECT_EQ(t->texels[lod], nullptr);
  EXPECT_EQ(std::vector<uint32_t>({t->texels[GR_LOD_4][7], t->texels[GR_LOD_2][1], t->texels[GR_LOD_1][0]}),
            std::vector<uint32_t>({0x11000077u, 0x22000011u, 0x33000000u}));
}

// Palette textures use the card's palette (none downloaded here) and say so once; NCC
// textures need their table.
TEST_F(TexMem, PaletteAndNccTextures) {
  GrMipMapId_t ap = allocate(GR_TEXFMT_AP_88, GR_LOD_1, GR_LOD_1, GR_ASPECT_1x1);
  uint16_t texel = 0x8005;
  std::string err = stderrof([&] {
    ASSERT_TRUE(guTexDownloadMipMap(ap, &texel, nullptr));
    ASSERT_TRUE(guTexDownloadMipMap(ap, &texel, nullptr));
  });
  EXPECT_LE(std::count(err.begin(), err.end(), '\n'), 1);
  guTexSource(ap);
  ASSERT_NE(cardtexture, nullptr);
  EXPECT_EQ(cardtexture->texels[GR_LOD_1][0], 0x80000000u);

  GrMipMapId_t yiq = allocate(GR_TEXFMT_YIQ_422, GR_LOD_1, GR_LOD_1, GR_ASPECT_1x1);
  uint8_t index = 0;
  EXPECT_FALSE(guTexDownloadMipMap(yiq, &index, nullptr));
  GuNccTable ncc;
  memset(&ncc, 0, sizeof ncc);
  ncc.yRGB[0] = 100;
  ASSERT_TRUE(guTexDownloadMipMap(yiq, &index, &ncc));
  guTexSource(yiq);
  EXPECT_EQ(cardtexture->texels[GR_LOD_1][0], 0xFF646464u);
}

uint32_t decode1(int format, unsigned texel, const GuNccTable *ncc = nullptr,
                 const FxU32 *palette = nullptr) {
  uint8_t b8 = (uint8_t)texel;
  uint16_t b16 = (uint16_t)texel;
  uint32_t out = 0xDEADBEEF;
  carddecodetexels(format, cardtexelbytes(format) == 2 ? (const void *)&b16 : &b8, 1, ncc,
                   palette, &out);
  return out;
}

// Bit replication per format; NCC and palette texels through their tables.
TEST(TexDecode, EveryFormat) {
  const struct {
    int format;
    unsigned texel;
    uint32_t argb;
  } cases[] = {
      {GR_TEXFMT_RGB_332, 0xFF, 0xFFFFFFFFu},           {GR_TEXFMT_RGB_332, 0xA9, 0xFFB64955u},  // 101 010 01
      {GR_TEXFMT_ALPHA_8, 0x80, 0x80808080u},           {GR_TEXFMT_INTENSITY_8, 0x80, 0xFF808080u},
      {GR_TEXFMT_ALPHA_INTENSITY_44, 0x5A, 0x55AAAAAAu}, {GR_TEXFMT_ARGB_8332, 0x80A9, 0x80B64955u},
      {GR_TEXFMT_RGB_565, 0xF800, 0xFFFF0000u},         {GR_TEXFMT_RGB_565, 0x07E0, 0xFF00FF00u},
      {GR_TEXFMT_RGB_565, 0x8410, 0xFF848284u},         {GR_TEXFMT_ARGB_1555, 0x8000, 0xFF000000u},
      {GR_TEXFMT_ARGB_1555, 0x7FFF, 0x00FFFFFFu},       {GR_TEXFMT_ARGB_1555, 0x4210, 0x00848484u},
      {GR_TEXFMT_ARGB_4444, 0x1234, 0x11223344u},       {GR_TEXFMT_ALPHA_INTENSITY_88, 0x12AB, 0x12ABABABu},
      {7, 0x12, 0u},
  };
  for (const auto &c : cases) EXPECT_EQ(decode1(c.format, c.texel), c.argb) << c.format << " " << c.texel;

  GuNccTable ncc;
  memset(&ncc, 0, sizeof ncc);
  for (int k = 0; k < 16; k++) ncc.yRGB[k] = (FxU8)(k * 17);
  const FxI16 i1[3] = {40, -20, -100}, q3[3] = {-256, 255, 7};
  memcpy(ncc.iRGB[1], i1, sizeof i1);
  memcpy(ncc.qRGB[3], q3, sizeof q3);
  // Y index 8 (136), I index 1, Q index 3: 136+40-256, 136-20+255, 136-100+7, clamped.
  EXPECT_EQ(decode1(GR_TEXFMT_YIQ_422, 0x87, &ncc), 0xFF00FF2Bu);
  EXPECT_EQ(decode1(GR_TEXFMT_AYIQ_8422, 0x4087, &ncc), 0x4000FF2Bu);
  EXPECT_EQ(decode1(GR_TEXFMT_YIQ_422, 0xF0, &ncc), 0xFFFFFFFFu);
  FxU32 palette[256] = {};
  palette[5] = 0xAA123456;  // the top byte is not alpha
  EXPECT_EQ(decode1(GR_TEXFMT_P_8, 5, nullptr, palette), 0xFF123456u);
  EXPECT_EQ(decode1(GR_TEXFMT_AP_88, 0x7F05, nullptr, palette), 0x7F123456u);
  EXPECT_EQ(decode1(GR_TEXFMT_P_8, 5), 0xFF000000u);
}

}  // namespace
