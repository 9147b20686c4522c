// lwplay's textures: 3DF files with their own palette, images read in their place, and a
// missing image drawn in the surface's colour; lwdemo's palette textures stay black.
#include <sys/stat.h>

#include "displayfixture.h"
#include "platform/glide/cardtexture.h"
#include "tools/writers/writers.h"

namespace {

class ClassicTextures : public DisplayTest {
 protected:
  TolerantLoading tolerant;
  void SetUp() override {
    DisplayTest::SetUp();
    ASSERT_EQ(init3d(640, 480, 16, 1), 1);
  }
  void TearDown() override {
    resettexturememory();
    closeglide();
    DisplayTest::TearDown();
  }
  // The colour drawn at the middle of a rectangle covered once by texture slot (or none),
  // lit white or by litcolor, as 8-bit RGB widened from the card's 565.
  static uint32_t drawn(uint16_t slot, const float litcolor[3]) {
    HandObject hand;
    hand.addrect(hand.addsurface({.texture = slot}), 100, 100, 200, 200, 10, litcolor);
    grBufferClear(0, 0, 0xFFFF);
    drawobject(hand.finish());
    uint16_t p = cardbackbuffer()[150 * cardwidth + 150];
    uint32_t r = p >> 11, g = p >> 5 & 63, b = p & 31;
    return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
  }
};

void near(uint32_t got, uint32_t want, const std::string &what) {
  for (int shift : {0, 8, 16})
    EXPECT_NEAR((int)(got >> shift & 0xFF), (int)(want >> shift & 0xFF), 12) << what << std::hex << " got " << got;
}

const float white[3] = {255, 255, 255};

// A palette texture draws its own colours in lwplay; in lwdemo no palette ever reaches the
// card and it draws black, as it always has.
TEST_F(ClassicTextures, PaletteTexturesDrawTheirOwnPaletteOnlyInLwplay) {
  mkdir("textures", 0777);
  std::vector<uint32_t> flat(32 * 32, 0xFF20C040u);
  ASSERT_EQ(write3dfimage("textures/lava.3df", flat.data(), 32, 32, GR_TEXFMT_P_8), 1);
  for (int tolerant : {0, 1}) {
    tolerantloading = tolerant;
    settexturenames({"D:\\LW\\Images\\lava.iff"});
    ASSERT_EQ(loadtextures(), 1);
    near(drawn(0, white), tolerant ? 0x20C040u : 0, tolerant ? "lwplay" : "lwdemo");
    resettexturememory();
  }
  EXPECT_EQ(filetext(warninglog), "");
}

// Where no 3DF file is, the image is read: an ILBM with a mask plane becomes argb1555 at
// its resampled size, a TGA with graded alpha argb4444; a missing one leaves the surface
// its own colour. One warning each.
TEST_F(ClassicTextures, ImagesStandInForMissingTextures) {
  mkdir("Images", 0777);
  IlbmWriter masked{.width = 40, .height = 10, .planes = 1, .masking = 1, .cmap = {0x000000, 0xE23414},
                    .values = std::vector<uint32_t>(400, 1), .mask = std::vector<uint8_t>(400, 1)};
  masked.mask[0] = 0;
  ASSERT_EQ(writeilbm("Images/WALL.IFF", masked), 1);
  std::vector<uint8_t> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 3, 0, 32, 8};
  for (int k = 0; k < 9; k++) tga.insert(tga.end(), {0x40, 0x80, 0x20, (uint8_t)(k * 30)});
  ASSERT_EQ(writefile("glass.tga", tga), 1);
  settexturenames({"Work:LW/Images/wall.iff", "D:\\Scenes\\glass.tga", "HD1:Images/gone.iff"});
  ASSERT_EQ(loadtextures(), 1);

  struct Want {
    int format, width, height;
  } want[] = {{GR_TEXFMT_ARGB_1555, 32, 8}, {GR_TEXFMT_ARGB_4444, 4, 4}, {GR_TEXFMT_RGB_565, 1, 1}};
  for (int i = 0; i < 3; i++) {
    guTexSource(texturehandles[i]);
    ASSERT_NE(cardtexture, nullptr) << i;
    const CardTexture &t = *cardtexture;
    EXPECT_EQ(std::vector<int>({t.format, t.width[t.largelod], t.height[t.largelod], t.smalllod}),
              std::vector<int>({want[i].format, want[i].width, want[i].height, GR_LOD_1})) << i;
  }
  const float lit[3] = {200, 100, 50};
  near(drawn(0, white), 0xE23414u, "image");
  near(drawn(2, lit), 0xC86432u, "surface colour");
  std::string text = filetext(warninglog);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << text;
  EXPECT_NE(text.find("warning: image Work:LW/Images/wall.iff: no readable textures\\wall.3df, read "), std::string::npos) << text;
  EXPECT_NE(text.find("WALL.IFF in its place (40x10 resampled to 32x8, argb1555)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("glass.tga in its place (3x3 resampled to 4x4, argb4444)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("warning: image HD1:Images/gone.iff: no readable textures\\gone.3df and no image file of that name; its surfaces show their own colour\n"), std::string::npos) << text;
}

}  // namespace
