// Polygons of many corners cut into triangles (classic content): the triangles must
// cover the polygon exactly once. Drawn on the card with additive blending, a pixel
// covered twice shows twice the colour and a missed one none; with corners on whole
// pixels the top-left rule makes the covered pixel count the polygon's area exactly.

#include "lwotest.h"
#include "platform/glide/glide.h"

namespace {

struct Shape {
  const char *name;
  std::vector<Vec3> corners;
  int area;       // -1: as the card fills the whole (convex) polygon
  int triangles;  // expected count; -1 any (corners left collinear by a cut need none)
};

// The plus sign: 12 corners, 4 of them reflex; an L with a repeated and a collinear
// corner; a convex hexagon; the same plus turned to face the other way.
const Shape shapes[] = {
    {"concave plus",
     {{100, 50, 0}, {150, 50, 0}, {150, 100, 0}, {200, 100, 0}, {200, 150, 0}, {150, 150, 0},
      {150, 200, 0}, {100, 200, 0}, {100, 150, 0}, {50, 150, 0}, {50, 100, 0}, {100, 100, 0}},
     12500, -1},
    {"repeated and collinear corners",
     {{300, 50, 0}, {350, 50, 0}, {400, 50, 0}, {400, 100, 0}, {350, 100, 0}, {350, 100, 0},
      {350, 150, 0}, {300, 150, 0}},
     7500, -1},
    {"convex hexagon",
     {{500, 50, 0}, {560, 50, 0}, {600, 100, 0}, {560, 150, 0}, {500, 150, 0}, {460, 100, 0}},
     -1, 4},
    {"plus wound the other way",
     {{100, 300, 0}, {100, 350, 0}, {50, 350, 0}, {50, 400, 0}, {100, 400, 0}, {100, 450, 0},
      {150, 450, 0}, {150, 400, 0}, {200, 400, 0}, {200, 350, 0}, {150, 350, 0}, {150, 300, 0}},
     12500, -1},
};

TEST(Triangulate, TrianglesCoverThePolygonExactlyOnce) {
  ASSERT_TRUE(grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB, GR_ORIGIN_UPPER_LEFT, 2, 2));
  grDepthBufferMode(GR_DEPTHBUFFER_DISABLE);
  grDepthMask(FXFALSE);
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  grAlphaBlendFunction(GR_BLEND_ONE, GR_BLEND_ONE, GR_BLEND_ONE, GR_BLEND_ZERO);
  for (const Shape &shape : shapes) {
    SCOPED_TRACE(shape.name);
    int n = (int)shape.corners.size();
    auto vertex = [](const Vec3 &p) {
      GrVertex v{};
      v.x = p.x;
      v.y = p.y;
      v.r = 32;  // red 4 of 31 in the 565 buffer; covered twice gives 8
      v.a = 255;
      v.oow = 1;
      return v;
    };
    auto count = [](int *covered, int *twice) {
      *covered = *twice = 0;
      const FxU16 *pixels = cardbackbuffer();
      for (int i = 0; i < cardwidth * cardheight; i++) {
        int red = pixels[i] >> 11;
        *covered += red != 0;
        *twice += red > 4;
      }
    };
    int area = shape.area, covered = 0, twice = 0;
    if (area < 0) {
      grBufferClear(0, 0, 0);
      std::vector<GrVertex> whole;
      for (const Vec3 &p : shape.corners) whole.push_back(vertex(p));
      grDrawPolygonVertexList(n, whole.data());
      count(&area, &twice);
    }
    grBufferClear(0, 0, 0);
    std::vector<uint32_t> index(n), out(3 * n);
    std::vector<int32_t> scratch(n);
    for (int i = 0; i < n; i++) index[i] = (uint32_t)i;
    int made = triangulatepolygon(shape.corners.data(), n, index.data(), n, scratch.data(), out.data());
    if (shape.triangles >= 0) {
      EXPECT_EQ(made, shape.triangles);
    }
    for (int t = 0; t < made; t++) {
      GrVertex v[3];
      for (int i = 0; i < 3; i++) v[i] = vertex(shape.corners[out[3 * t + i]]);
      grDrawPolygonVertexList(3, v);
    }
    count(&covered, &twice);
    EXPECT_EQ(covered, area);
    EXPECT_EQ(twice, 0);
  }
  grGlideShutdown();
}

TEST(Triangulate, FlatAndUnknownCorners) {
  // All corners on one line: no area, no triangle. Corners beyond the points read so far:
  // a fan, left for the reader's point check to refuse.
  const Vec3 line[5] = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {1, 1, 1}};
  uint32_t index[5] = {0, 1, 2, 3, 4}, beyond[5] = {0, 1, 2, 3, 9}, out[9];
  int32_t scratch[5];
  EXPECT_EQ(triangulatepolygon(line, 5, index, 5, scratch, out), 0);
  EXPECT_EQ(triangulatepolygon(line, 5, beyond, 5, scratch, out), 3);
  EXPECT_EQ(std::pair(out[0], out[8]), std::pair(0u, 9u));
}

class ClassicObject : public LwoTest {
 protected:
  TolerantLoading tolerant;
};

TEST_F(ClassicObject, ManyCornersPointsAndStraySurfacesAreAdapted) {
  LwoWriter w;
  int s = lwoaddsurface(&w, "Grey", 200, 200, 200);
  for (const Vec3 &p : shapes[0].corners) lwoaddpoint(&w, p.x, p.y, p.z);
  LwoWriterPolygon plus, point, stray;
  for (int i = 0; i < 12; i++) plus.corners.push_back((uint16_t)i);
  plus.surface = s;
  point.corners = {0};
  stray.corners = {0, 1, 2};
  stray.surface = 5;
  w.polygons = {plus, point, stray};
  int status = lwook;
  LwoObject *object = parse(lwobytes(&w), &status);
  ASSERT_EQ(status, lwook);
  EXPECT_EQ(std::pair(object->numpolygons + 0, object->polygons[9].surface + 0), std::pair(10, 0));
  freelwo(object);
  std::string warnings = filetext(warninglog);
  for (const char *w : {"1 polygons of 5 to 12 corners cut into 9 triangles", "1 polygons of 1 or 2 corners",
                        "1 polygons name no listed surface"})
    EXPECT_NE(warnings.find(w), std::string::npos) << w;

  // The strict reader stops at the first of them, as it always did.
  tolerantloading = 0;
  LwoFailure failure;
  std::vector<uint8_t> bytes = lwobytes(&w);
  EXPECT_EQ(parselwo(bytes.data(), bytes.size(), 1.0f, &object, &failure), lwotoomanycorners);
}

TEST_F(ClassicObject, EveryRealObjectLoads) {
  for (const char *folder : {LWDEMO_TESTDATA_DIR "/classic/ers210/objects-ERS-210",
                             LWDEMO_TESTDATA_DIR "/classic/shuttle", LWDEMO_TESTDATA_DIR "/lightwave"}) {
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
      if (entry.path().extension() != ".lwo" || entry.path().filename() == "simple_cube.lwo") continue;
      SCOPED_TRACE(entry.path().string());
      SceneObject *o = loaded(entry.path().string());
      EXPECT_GT(o->numpolys, 0);
      freesceneobject(o);
    }
  }
}

}  // namespace
