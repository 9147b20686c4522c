// Whole frames through the display: textures written as 3DF files into the working
// folder's "textures", loaded by loadtextures, objects with projected vertices drawn by
// drawobject and drawsfxobject, the card's scan-out compared with a reference image.
#include <sys/stat.h>

#include <functional>

#include "displayfixture.h"
#include "golden.h"
#include "platform/glide/cardtexture.h"
#include "tools/writers/writers.h"

namespace {

const float white[3] = {255, 255, 255};
const float red[3] = {230, 40, 30};

// Squared distance of a texel centre from the image centre, in half texels.
int centred(int x, int y, int size) {
  int dx = 2 * x + 1 - size, dy = 2 * y + 1 - size;
  return dx * dx + dy * dy;
}

// textures/file: a size x size image from a per-texel ARGB8888 function.
void writetexture(const char *file, int size, int format, const std::function<uint32_t(int, int)> &texel) {
  mkdir("textures", 0777);
  std::vector<uint32_t> img((size_t)size * size);
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) img[(size_t)y * size + x] = texel(x, y);
  ASSERT_EQ(write3dfimage((std::string("textures/") + file).c_str(), img.data(), size, size, format), 1);
}

// Texture indices, in table order.
enum { checkertex, skytex, glowtex, ringtex };

class CardScene : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    writetexture("checker.3df", 64, GR_TEXFMT_RGB_565, [](int x, int y) {
      return ((x / 8 + y / 8) & 1) ? 0xFFF0F0F0u : 0xFF3050A0u;
    });
    writetexture("sky.3df", 64, GR_TEXFMT_RGB_565, [](int x, int y) {
      return 0xFF0000F0u | (uint32_t)(40 + 200 * y / 64) << 16 | (uint32_t)(120 + x) << 8;
    });
    writetexture("glow.3df", 32, GR_TEXFMT_RGB_565, [](int x, int y) {
      int d = centred(x, y, 32), r = 32 * 32;
      uint32_t v = d >= r ? 0u : (uint32_t)(255 * (r - d) / r);
      return 0xFF000000u | v << 16 | (v * 3 / 4) << 8 | v / 4;
    });
    // A ring whose hole and outside are transparent, for the texture-alpha kind.
    writetexture("ring.3df", 32, GR_TEXFMT_ARGB_1555, [](int x, int y) {
      int d = centred(x, y, 32);
      return d < 32 * 32 && d > 32 * 32 / 4 ? 0xFFE0E040u : 0u;
    });
    settexturenames({"D:\\LW\\Images\\checker.iff", "images\\sky.tga", "glow.iff", "Ring.iff"});
    ASSERT_EQ(init3d(640, 480, 16, 1), 1);
    ASSERT_EQ(loadtextures(), 1);
    setbackdropcolor(16, 24, 48);
    beginframe(1, 1);
  }
  void TearDown() override {
    endframe();
    resettexturememory();
    shutdowndisplay();
    setbackdropcolor(0, 0, 0);
    DisplayTest::TearDown();
  }
};

MeshSurface surface(int texture, float transparency = 0, int additive = 0, int outline = 0) {
  return {.texture = (uint16_t)texture, .outline = (uint8_t)outline, .additive = (uint8_t)additive, .transparency = transparency};
}

// The reference scene shows each texture reaching its surface; an index past the table
// selects nothing: drawn untextured, nothing read past it.
TEST_F(CardScene, TextureIndexPastTheTableSelectsNothing) {
  guTexSource(texturehandles[skytex]);
  ASSERT_NE(cardtexture, nullptr);
  HandObject stray;
  stray.addrect(stray.addsurface(surface(maxtextures + 5)), 0, 0, 10, 10, 10, white);
  drawobject(stray.finish());
  EXPECT_EQ(cardtexture, nullptr);
}

// A small scene in the card's top-left corner: a textured floor, a near occluder drawn
// first, a reflection-mapped quad partly behind it and tilted in depth, a transparent
// Gouraud triangle and a texture-alpha ring in one object, and an effect of two
// overlapping additive glows.
TEST_F(CardScene, SceneMatchesItsReference) {
  HandObject occluder;
  occluder.addrect(occluder.addsurface(surface(0xFFFF)), 70, 50, 100, 80, 5, red);
  HandObject floor;
  floor.addrect(floor.addsurface(surface(checkertex)), 0, 0, 160, 120, 40, white);
  HandObject mirror;
  MeshSurface chrome{.texture = checkertex, .refltexture = skytex, .reflectivity = 0.75f};
  const float xy[4][2] = {{30.3f, 20.7f}, {130.2f, 30.1f}, {120.9f, 100.4f}, {40.6f, 90.8f}};
  const float uv[4][2] = {{0, 0}, {512, 0}, {512, 512}, {0, 512}};
  const float refl[4][2] = {{20, 10}, {200, 30}, {230, 240}, {10, 250}};
  mirror.addpolygon(mirror.addsurface(chrome), 4, xy, 10, white, uv, refl);
  for (int k = 0; k < 4; k++) mirror.verts[(size_t)k].xfpos.z = 10.0f + 3.0f * (float)k;
  HandObject glass;
  const float tri[3][2] = {{60, 4}, {156, 40}, {100, 70}};
  glass.addpolygon(glass.addsurface(surface(0xFFFF, 0.25f)), 3, tri, 8, red);
  glass.verts[1].litcolor[1] = 220;
  glass.verts[2].litcolor[2] = 250;
  glass.addrect(glass.addsurface(surface(ringtex, 0, 0, 1)), 104, 66, 152, 114, 9, white);
  HandObject sparks;
  int spark = sparks.addsurface(surface(glowtex, 0, 1));
  sparks.addrect(spark, 4, 60, 44, 100, 6, white);
  sparks.addrect(spark, 20, 74, 60, 114, 7, white);

  auto drawscene = [&] {
    drawobject(occluder.finish());
    drawobject(floor.finish());
    drawobject(mirror.finish());
    drawobject(glass.finish());
    drawsfxobject(sparks.finish());
  };
  drawscene();
  EXPECT_EQ(logtext(), "tmap 2\n");
  std::vector<uint16_t> reflected(cardbackbuffer(), cardbackbuffer() + cardwidth * cardheight);
  std::vector<uint8_t> full((size_t)cardwidth * cardheight * 3);
  cardscanout(cardbackbuffer(), full.data());
  constexpr int cropwidth = 160, cropheight = 120;
  std::vector<uint8_t> crop((size_t)cropwidth * cropheight * 3);
  for (int y = 0; y < cropheight; y++)
    memcpy(&crop[(size_t)y * cropwidth * 3], &full[(size_t)y * cardwidth * 3], (size_t)cropwidth * 3);
  EXPECT_TRUE(matchesgolden(LWDEMO_SOURCE_DIR "/tests/display/golden/scene.png", crop.data(), cropwidth, cropheight));

  // Without the reflection pass, the frame differs only on the mirror's visible part:
  // never on the occluder in front of it, never outside the mirror's box.
  beginframe(1, 1);
  mirror.surfaces[0].refltexture = 0xFFFF;
  drawscene();
  const FxU16 *plain = cardbackbuffer();
  int changed = 0;
  for (int i = 0; i < cardwidth * cardheight; i++) {
    if (reflected[(size_t)i] == plain[i]) continue;
    changed++;
    int x = i % cardwidth, y = i / cardwidth;
    ASSERT_FALSE(x >= 70 && x < 100 && y >= 50 && y < 80) << x << "," << y;
    ASSERT_TRUE(x >= 30 && x <= 131 && y >= 20 && y <= 101) << x << "," << y;
  }
  EXPECT_GT(changed, 4000);
}

}  // namespace
