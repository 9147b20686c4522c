#include <algorithm>
#include <cmath>

#include "displayfixture.h"

namespace {

const float white[3] = {255, 255, 255};

using DrawingTest = DisplayTest;

// Drivers other than the card log, print or draw nothing; shutting them down only says so.
TEST_F(DrawingTest, OtherDriversLogAndDrawNothing) {
  testscreen.driver = 2;
  HandObject hand;
  int s = hand.addsurface(MeshSurface{});
  hand.addrect(s, 10, 10, 20, 20, 10, white);
  drawobject(hand.finish());
  drawsfxobject(&hand.object);
  EXPECT_EQ(logtext(), "not implemented yet" "not implemented yet");
  EXPECT_EQ(stdoutof(shutdowndisplay), "Not implemented\n");
  EXPECT_EQ(std::string(cardtracetext()), "");
}

// Trace lines of the state calls the drawing code makes, as the card prints them.
const char *const alphaiterated = "grAlphaCombine(1, 0, 0, 2, 0)";
const char *const alphatexture = "grAlphaCombine(3, 4, 1, 1, 0)";
const char *const blendsourcealpha = "grAlphaBlendFunction(1, 5, 0, 0)";
const char *const blendadditive = "grAlphaBlendFunction(4, 4, 4, 0)";
const char *const blendopaque = "grAlphaBlendFunction(4, 0, 4, 0)";
const char *const gouraud = "guColorCombineFunction(2)";
const char *const texdecal = "grTexCombineFunction(0, 1)";
const char *const texturetimescolor = "grColorCombine(3, 1, 0, 1, 0)";
const char *const depthon = "grDepthMask(1)";
const char *const depthoff = "grDepthMask(0)";

using Calls = std::vector<std::string>;

MeshSurface surfacewith(float transparency, int additive, int outline, int texture = 0xFFFF) {
  return {.texture = (uint16_t)texture, .outline = (uint8_t)outline, .additive = (uint8_t)additive, .transparency = transparency};
}

TEST_F(DrawingTest, EachBlendingKindSetsItsCombineAndBlend) {
  struct Row {
    MeshSurface surface;
    Calls expected;
  };
  const Row rows[] = {
      {surfacewith(0.25f, 0, 0), {alphaiterated, blendsourcealpha, gouraud, "draw 4", depthon}},
      {surfacewith(0, 1, 0), {depthoff, blendadditive, gouraud, "draw 4", depthon}},
      {surfacewith(0, 0, 1), {alphatexture, blendsourcealpha, gouraud, "draw 4", depthon}},
      {surfacewith(0, 0, 0), {alphaiterated, blendopaque, gouraud, "draw 4", depthon}},
      // Both set: transparent, and the depth writes are not touched at set-up.
      {surfacewith(0.5f, 1, 1), {alphaiterated, blendsourcealpha, gouraud, "draw 4", depthon}},
      // Transparency is tested for > 0 only.
      {surfacewith(-0.5f, 0, 0), {alphaiterated, blendopaque, gouraud, "draw 4", depthon}},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(testing::Message() << row.surface.transparency << " " << +row.surface.additive << " " << +row.surface.outline);
    HandObject hand;
    hand.addrect(hand.addsurface(row.surface), 10, 10, 30, 30, 10, white);
    cardtraceclear();
    drawobject(hand.finish());
    EXPECT_EQ(calls(), row.expected);
  }
}

TEST_F(DrawingTest, StateIsSetOncePerRunOfOneSurface) {
  HandObject hand;
  int a = hand.addsurface(surfacewith(0, 0, 0, 3)), b = hand.addsurface(surfacewith(0.25f, 0, 0));
  texturehandles[3] = 77;
  for (int s : {a, a, b, a}) hand.addrect(s, 0, 0, 10, 10, 10, white);
  drawobject(hand.finish());
  EXPECT_EQ(calls(), Calls({alphaiterated, blendopaque, texdecal, texturetimescolor,
                                 "guTexSource(77)", "draw 4", "draw 4", alphaiterated,
                                 blendsourcealpha, depthon, gouraud, "draw 4", alphaiterated,
                                 blendopaque, depthon, texdecal, texturetimescolor,
                                 "guTexSource(77)", "draw 4", depthon}));
}

TEST_F(DrawingTest, PolygonsGoWithTheirCornerCountsUpToTwelve) {
  HandObject hand;
  int s = hand.addsurface(MeshSurface{});
  float xy[maxcorners][2];
  for (int k = 0; k < maxcorners; k++) {
    float angle = 6.2831853f * (float)k / (float)maxcorners;
    xy[k][0] = 320 + 100 * cosf(angle);
    xy[k][1] = 240 + 100 * sinf(angle);
  }
  for (int n : {12, 0, 1, 2, 3}) hand.addpolygon(s, n, xy, 10, white);
  int bad = hand.addpolygon(s, 3, xy, 10, white);
  hand.polys[bad].numcorners = maxcorners + 1;  // cannot be real: dropped, not read past
  hand.addpolygon(s, 4, xy, 10, white);
  drawobject(hand.finish());
  std::vector<std::string> draws;
  for (const std::string &c : calls())
    if (c.compare(0, 5, "draw ") == 0) draws.push_back(c);
  EXPECT_EQ(draws, Calls({"draw 12", "draw 0", "draw 1", "draw 2", "draw 3", "draw 4"}));
}

TEST_F(DrawingTest, ReflectionPassRedrawsReflectiveSurfacesAtEqualDepth) {
  HandObject hand;
  MeshSurface reflective{.texture = 1, .refltexture = 2, .reflectivity = 0.5f}, plain = surfacewith(0, 1, 0),
      mirror{.refltexture = 2};
  texturehandles[1] = 11;
  texturehandles[2] = 22;
  int r = hand.addsurface(reflective), p = hand.addsurface(plain), m = hand.addsurface(mirror);
  for (int s : {r, p, r, m}) hand.addrect(s, 0, 0, 10, 10, 10, white);
  drawobject(hand.finish());
  Calls all = calls();
  Calls reflection(std::find(all.begin(), all.end(), "grDepthBufferFunction(2)"), all.end());
  // The plain surface is skipped and does not count as a change of surface; the mirror
  // without reflectivity keeps the combine and blend the previous surface left.
  EXPECT_EQ(reflection, Calls({"grDepthBufferFunction(2)", alphaiterated, blendsourcealpha, texdecal,
                   texturetimescolor, "guTexSource(22)", "draw 4", "draw 4", texdecal,
                   texturetimescolor, "guTexSource(22)", "draw 4", "grDepthBufferFunction(1)"}));
}

TEST_F(DrawingTest, EffectsDrawWithoutDepthWritesAndLogTheirTextures) {
  HandObject hand;
  int glow = hand.addsurface(surfacewith(0, 1, 0, 4)), smoke = hand.addsurface(surfacewith(0.5f, 0, 0, 5)),
      flat = hand.addsurface(surfacewith(0, 0, 0));
  texturehandles[4] = 40;
  texturehandles[5] = 50;
  for (int s : {glow, glow, smoke, flat, glow}) hand.addrect(s, 0, 0, 10, 10, 10, white);
  hand.surfaces[glow].refltexture = 4;
  drawsfxobject(hand.finish());
  EXPECT_EQ(calls(), Calls({depthoff, blendadditive, texdecal, texturetimescolor, "guTexSource(40)",
                   "draw 4", "draw 4", alphaiterated, blendsourcealpha, texdecal,
                   texturetimescolor, "guTexSource(50)", "draw 4", alphaiterated, blendopaque,
                   gouraud, "draw 4", blendadditive, texdecal, texturetimescolor,
                   "guTexSource(40)", "draw 4", depthon}));
  EXPECT_EQ(logtext(), "tmap 4\ntmap 5\ntmap 4\n");
}

}  // namespace
