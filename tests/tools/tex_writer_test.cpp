// The 3DF writer: the palette of an image of many colours and what it refuses. Each
// format's round trip within its precision is checked through the converter, which
// writes with it; the NCC fit and the mip levels' box averages are pinned by the show's
// goldens, whose textures the writer made.
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
