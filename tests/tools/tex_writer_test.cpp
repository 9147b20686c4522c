// The 3DF writer: mip levels, tables, the file layout and what it refuses. Each format's
// round trip within its precision is checked through the converter, which writes with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/glide/cardtexture.h"
#include "platform/glide/glide.h"
#include "testutil.h"
#include "tools/texprecision.h"
#include "tools/writers/writers.h"

using namespace texprecision;

namespace {

// Each test writes its files into a folder of its own: ctest runs them side by side.
using Tex3dfWriter = FolderTest;

// The whole file through gu3dfGetInfo and gu3dfLoad, every level decoded with its table.
struct ReadBack {
  Gu3dfInfo info;
  std::vector<uint8_t> data;
  std::vector<uint32_t> argb;  // every level, largest first
};

bool readback(const char *path, ReadBack *rb) {
  memset(&rb->info, 0, sizeof rb->info);
  if (!gu3dfGetInfo(path, &rb->info)) return false;
  rb->data.assign(rb->info.mem_required, 0);
  rb->info.data = rb->data.data();
  if (!gu3dfLoad(path, &rb->info)) return false;
  int n = (int)(rb->info.mem_required / (FxU32)cardtexelbytes(rb->info.header.format));
  rb->argb.assign((size_t)n, 0);
  carddecodetexels(rb->info.header.format, rb->data.data(), n, &rb->info.table.nccTable,
                   rb->info.table.palette.data, rb->argb.data());
  return true;
}

TEST_F(Tex3dfWriter, PaletteOfManyColoursStaysClose) {
  std::vector<uint32_t> img = gradient(128, 128);
  TexLevels levels;
  ASSERT_TRUE(makemiplevels(img.data(), 128, 128, 0, &levels));
  ASSERT_TRUE(write3df("pal.3df", &levels, GR_TEXFMT_P_8));
  ReadBack rb;
  ASSERT_TRUE(readback("pal.3df", &rb));
  double sum = 0;
  for (size_t k = 0; k < img.size(); k++)
    for (int shift = 0; shift < 24; shift += 8)
      sum += std::abs(chan(img[k], shift) - chan(rb.argb[k], shift));
  EXPECT_LT(sum / (double)(img.size() * 3), 6.0);
}

TEST_F(Tex3dfWriter, NccTableFitsTheColours) {
  TexLevels levels;
  GuNccTable ncc;
  // Two colours of one luminance band each come back nearly exact.
  std::vector<uint32_t> two(64);
  for (size_t k = 0; k < two.size(); k++) two[k] = k < 32 ? 0xFFC02010u : 0xFF1040A0u;
  ASSERT_TRUE(makemiplevels(two.data(), 8, 8, 0, &levels));
  fitncctable(&levels, &ncc);
  for (uint32_t c : {0xFFC02010u, 0xFF1040A0u}) {
    uint8_t t = (uint8_t)encodetexel(GR_TEXFMT_YIQ_422, c, &ncc, nullptr);
    uint32_t got;
    carddecodetexels(GR_TEXFMT_YIQ_422, &t, 1, &ncc, nullptr, &got);
    for (int shift = 0; shift < 24; shift += 8) EXPECT_NEAR(chan(got, shift), chan(c, shift), 2);
  }
  // The packed words follow the table.
  EXPECT_EQ(ncc.packed_data[0] & 0xFF, ncc.yRGB[0]);
  EXPECT_EQ(ncc.packed_data[3] >> 24, ncc.yRGB[15]);
  EXPECT_EQ(ncc.packed_data[5] & 0x1FF, (FxU32)ncc.iRGB[1][2] & 0x1FF);
  EXPECT_EQ(ncc.packed_data[11] >> 18, (FxU32)ncc.qRGB[3][0] & 0x1FF);
  // A grey image needs no colour at all.
  std::vector<uint32_t> grey(64, 0xFF808080u);
  ASSERT_TRUE(makemiplevels(grey.data(), 8, 8, 1, &levels));
  fitncctable(&levels, &ncc);
  for (int k = 0; k < 4; k++)
    for (int r = 0; r < 3; r++) EXPECT_EQ(ncc.iRGB[k][r] | ncc.qRGB[k][r], 0);
  uint32_t c;
  uint8_t t = (uint8_t)encodetexel(GR_TEXFMT_YIQ_422, 0xFF808080u, &ncc, nullptr);
  carddecodetexels(GR_TEXFMT_YIQ_422, &t, 1, &ncc, nullptr, &c);
  EXPECT_EQ(c, 0xFF808080u);
}

TEST_F(Tex3dfWriter, MipLevelsAreBoxAverages) {
  // 8:1 keeps halving the long side after the short one has reached 1.
  std::vector<uint32_t> img(16 * 2, 0);
  img[0] = 0xFF000000u;
  img[1] = 0x01FFFFFFu;
  img[16] = 0x02020202u;
  img[17] = 0x03030303u;
  TexLevels levels;
  ASSERT_TRUE(makemiplevels(img.data(), 16, 2, 1, &levels));
  ASSERT_EQ(levels.count, 5);  // the sides are pinned by the converter's levels
  // (255+1+2+3)/4 = 65.25, (0+255+2+3)/4 = 65, rounded to nearest.
  EXPECT_EQ(levels.argb[1][0], 0x41414141u);
  EXPECT_EQ(levels.argb[2][0], 0x21212121u);  // (65 + 0) / 2 = 32.5 -> 33
}

// The size messages are pinned through the converter; here, the writer's own refusals.
TEST_F(Tex3dfWriter, RefusesWhatNoCardTextureCanBe) {
  const char *why = nullptr;
  EXPECT_TRUE(check3dfsize(256, 32, &why));
  EXPECT_FALSE(check3dfsize(0, 16, &why));
  std::vector<uint32_t> img(64, 0);
  TexLevels levels;
  ASSERT_TRUE(makemiplevels(img.data(), 8, 8, 1, &levels));
  std::vector<uint8_t> file;
  EXPECT_FALSE(encode3df(&levels, 0x10, &file));  // argb8888
  EXPECT_FALSE(encode3df(&levels, 6, &file));
  levels.width[2] = 3;
  EXPECT_FALSE(encode3df(&levels, GR_TEXFMT_RGB_565, &file));
  EXPECT_TRUE(file.empty());
  EXPECT_FALSE(write3dfimage("bad.3df", img.data(), 8, 12, GR_TEXFMT_RGB_565));
  EXPECT_FALSE(write3dfimage("no/such/folder/x.3df", img.data(), 8, 8, GR_TEXFMT_RGB_565));
}

}  // namespace
