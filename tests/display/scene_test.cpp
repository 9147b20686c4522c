// Whole frames through the display: textures written as 3DF files into the working
// folder's "textures", loaded by loadtextures, objects with projected vertices drawn by
// drawobject and drawsfxobject, the card's scan-out compared with reference images.
#include <sys/stat.h>

#include "displayfixture.h"
#include "golden.h"
#include "platform/glide/cardtexture.h"
#include "tools/writers/writers.h"

namespace {

using SceneTest = DisplayTest;

// The reference images cover the top-left corner of the card, where the scenes are drawn.
constexpr int cropwidth = 160;
constexpr int cropheight = 120;

std::string goldenpath(const char *name) {
  return std::string(LWDEMO_SOURCE_DIR) + "/tests/display/golden/" + name;
}

std::vector<uint8_t> croppedscanout() {
  std::vector<uint8_t> full((size_t)cardwidth * cardheight * 3);
  cardscanout(cardbackbuffer(), full.data());
  std::vector<uint8_t> crop((size_t)cropwidth * cropheight * 3);
  for (int y = 0; y < cropheight; y++)
    memcpy(&crop[(size_t)y * cropwidth * 3], &full[(size_t)y * cardwidth * 3],
           (size_t)cropwidth * 3);
  return crop;
}

// Procedural images, ARGB8888.
std::vector<uint32_t> checker(int size, uint32_t a, uint32_t b, int cell) {
  std::vector<uint32_t> img((size_t)size * size);
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) img[(size_t)y * size + x] = ((x / cell + y / cell) & 1) ? a : b;
  return img;
}

std::vector<uint32_t> sky(int size) {
  std::vector<uint32_t> img((size_t)size * size);
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) {
      uint32_t r = (uint32_t)(40 + 200 * y / size), g = (uint32_t)(120 + 100 * x / size);
      img[(size_t)y * size + x] = 0xFF000000u | r << 16 | g << 8 | 0xF0u;
    }
  return img;
}

std::vector<uint32_t> glow(int size) {
  std::vector<uint32_t> img((size_t)size * size);
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) {
      int dx = 2 * x + 1 - size, dy = 2 * y + 1 - size;
      int d2 = dx * dx + dy * dy, r2 = size * size;
      uint32_t v = d2 >= r2 ? 0u : (uint32_t)(255 * (r2 - d2) / r2);
      img[(size_t)y * size + x] = 0xFF000000u | v << 16 | (v * 3 / 4) << 8 | v / 4;
    }
  return img;
}

// A ring whose hole and outside are transparent, for the texture-alpha kind.
std::vector<uint32_t> ring(int size) {
  std::vector<uint32_t> img((size_t)size * size);
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) {
      int dx = 2 * x + 1 - size, dy = 2 * y + 1 - size;
      int d2 = dx * dx + dy * dy;
      bool inside = d2 < size * size && d2 > size * size / 4;
      img[(size_t)y * size + x] = inside ? 0xFFE0E040u : 0x00000000u;
    }
  return img;
}

void writetexture(const char *file, const std::vector<uint32_t> &img, int size, int format) {
  mkdir("textures", 0777);
  std::string path = std::string("textures/") + file;
  ASSERT_EQ(write3dfimage(path.c_str(), img.data(), size, size, format), 1) << path;
}

void settexturenames(const std::vector<const char *> &names) {
  memset(&texturenametable, 0, sizeof texturenametable);
  for (size_t i = 0; i < names.size(); i++)
    strncpy(texturenametable.texturenames[i], names[i], texturenamesize - 1);
  texturenametable.texturecount = (int32_t)names.size();
}

MeshSurface surface(int texture, float transparency = 0, int additive = 0, int outline = 0) {
  MeshSurface s;
  s.texture = (uint16_t)texture;
  s.transparency = transparency;
  s.additive = (uint8_t)additive;
  s.outline = (uint8_t)outline;
  return s;
}

const float white[3] = {255, 255, 255};
const float grey[3] = {160, 160, 160};
const float red[3] = {230, 40, 30};

class CardScene : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    ASSERT_EQ(init3d(640, 480, 16, 1), 1);
    setbackdropcolor(16, 24, 48);
    beginframe(1, 1);
  }
  void TearDown() override {
    endframe();
    resettexturememory();
    shutdowndisplay();
    setbackdropcolor(0, 0, 0);
    SceneTest::TearDown();
  }
};

// Texture indices of the scenes below, in table order.
enum { checkertex, skytex, glowtex, ringtex };

void loadscenetextures() {
  writetexture("checker.3df", checker(64, 0xFFF0F0F0u, 0xFF3050A0u, 8), 64, GR_TEXFMT_RGB_565);
  writetexture("sky.3df", sky(64), 64, GR_TEXFMT_RGB_565);
  writetexture("glow.3df", glow(32), 32, GR_TEXFMT_RGB_565);
  writetexture("ring.3df", ring(32), 32, GR_TEXFMT_ARGB_1555);
  settexturenames({"D:\\LW\\Images\\checker.iff", "images\\sky.tga", "glow.iff", "Ring.iff"});
  ASSERT_EQ(loadtextures(), 1);
}

TEST_F(CardScene, SurfacesSelectTheirTexturesThroughTheHandles) {
  loadscenetextures();
  auto selected = [](int index) {
    guTexSource(texturehandles[index]);
    return cardtexture;
  };
  const CardTexture *sky = selected(skytex), *glow = selected(glowtex);
  const CardTexture *ring = selected(ringtex);
  ASSERT_NE(sky, nullptr);
  ASSERT_NE(glow, nullptr);
  ASSERT_NE(ring, nullptr);

  HandObject mirror;
  MeshSurface m = surface(checkertex);
  m.refltexture = skytex;
  mirror.addrect(mirror.addsurface(m), 0, 0, 10, 10, 10, white);
  drawobject(mirror.finish());
  EXPECT_EQ(cardtexture, sky);

  HandObject plain;
  plain.addrect(plain.addsurface(surface(glowtex)), 0, 0, 10, 10, 10, white);
  drawobject(plain.finish());
  EXPECT_EQ(cardtexture, glow);

  HandObject effect;
  effect.addrect(effect.addsurface(surface(ringtex, 0, 1)), 0, 0, 10, 10, 10, white);
  drawsfxobject(effect.finish());
  EXPECT_EQ(cardtexture, ring);

  // An index past the table selects nothing: drawn untextured, nothing read past it.
  HandObject stray;
  stray.addrect(stray.addsurface(surface(maxtextures + 5)), 0, 0, 10, 10, 10, white);
  drawobject(stray.finish());
  EXPECT_EQ(cardtexture, nullptr);
}

TEST_F(CardScene, ReflectionLandsOnlyWhereTheFirstPassLeftItsDepth) {
  loadscenetextures();
  // A near occluder is drawn first, then the reflective quad, partly behind it, over a
  // far floor: the layer must cover the reflective quad's visible part and nothing else.
  HandObject occluder;
  occluder.addrect(occluder.addsurface(surface(0xFFFF)), 70, 50, 110, 90, 5, red);
  HandObject floor;
  floor.addrect(floor.addsurface(surface(checkertex)), 0, 0, 160, 120, 40, grey);
  HandObject mirror;
  MeshSurface m = surface(0xFFFF);
  m.refltexture = skytex;
  m.reflectivity = 0.75f;
  int ms = mirror.addsurface(m);
  const float xy[4][2] = {{30.3f, 20.7f}, {130.2f, 30.1f}, {120.9f, 100.4f}, {40.6f, 90.8f}};
  const float uv[4][2] = {{0, 0}, {256, 0}, {256, 256}, {0, 256}};
  mirror.addpolygon(ms, 4, xy, 10, white, uv, uv);

  drawobject(occluder.finish());
  drawobject(floor.finish());
  drawobject(mirror.finish());
  std::vector<uint16_t> reflected(cardbackbuffer(), cardbackbuffer() + cardwidth * cardheight);
  std::vector<uint8_t> image = croppedscanout();

  // The same frame without the reflection pass.
  beginframe(1, 1);
  drawobject(&occluder.object);
  drawobject(&floor.object);
  mirror.object.hasreflmap = 0;
  drawobject(&mirror.object);
  const FxU16 *plain = cardbackbuffer();
  const FxU16 *depth = carddepthbuffer();

  // Changed pixels lie on the mirror's own depth and never on the occluder or the floor.
  int changed = 0;
  for (int i = 0; i < cardwidth * cardheight; i++) {
    if (reflected[(size_t)i] == plain[i]) continue;
    changed++;
    int x = i % cardwidth, y = i / cardwidth;
    EXPECT_FALSE(x >= 70 && x < 110 && y >= 50 && y < 90) << x << "," << y;
    EXPECT_NE(depth[i], GR_WDEPTHVALUE_FARTHEST);
    if (HasFailure()) break;
  }
  EXPECT_GT(changed, 4000);
  EXPECT_TRUE(matchesgolden(goldenpath("reflection.png").c_str(), image.data(), cropwidth,
                            cropheight));
}

TEST_F(CardScene, TexturedReflectiveTransparentAndAdditiveScene) {
  loadscenetextures();
  HandObject floor;
  floor.addrect(floor.addsurface(surface(checkertex)), 0, 0, 160, 120, 40, white);

  // A reflective, textured slab tilted in depth: the corners' depths differ so the
  // texture is drawn in perspective and the reflection pass must match it exactly.
  HandObject slab;
  MeshSurface chrome = surface(checkertex);
  chrome.refltexture = skytex;
  chrome.reflectivity = 0.5f;
  int cs = slab.addsurface(chrome);
  {
    const float xy[4][2] = {{12.5f, 60.25f}, {70.75f, 50.5f}, {75.1f, 110.3f}, {8.2f, 115.9f}};
    const float uv[4][2] = {{0, 0}, {512, 0}, {512, 512}, {0, 512}};
    const float rf[4][2] = {{20, 10}, {200, 30}, {230, 240}, {10, 250}};
    slab.addpolygon(cs, 4, xy, 12, grey, uv, rf);
    for (int k = 0; k < 4; k++) slab.verts[(size_t)k].xfpos.z = 10.0f + 4.0f * (float)k;
  }

  // Transparent Gouraud triangle and a texture-alpha ring in the same object.
  HandObject glass;
  int gs = glass.addsurface(surface(0xFFFF, 0.25f));
  const float tri[3][2] = {{60, 10}, {150, 40}, {90, 80}};
  glass.addpolygon(gs, 3, tri, 8, red);
  glass.verts[1].litcolor[1] = 220;
  glass.verts[2].litcolor[2] = 250;
  int rs = glass.addsurface(surface(ringtex, 0, 0, 1));
  glass.addrect(rs, 100, 60, 148, 108, 9, white);

  // An effect mesh: two overlapping additive glows that do not hide each other.
  HandObject sparks;
  int ss = sparks.addsurface(surface(glowtex, 0, 1));
  sparks.addrect(ss, 20, 5, 60, 45, 6, white);
  sparks.addrect(ss, 40, 15, 80, 55, 7, white);

  drawobject(floor.finish());
  drawobject(slab.finish());
  drawobject(glass.finish());
  drawsfxobject(sparks.finish());
  EXPECT_EQ(logtext(), "tmap 2\n");
  std::vector<uint8_t> image = croppedscanout();
  EXPECT_TRUE(
      matchesgolden(goldenpath("scene.png").c_str(), image.data(), cropwidth, cropheight));
}

}  // namespace
