// Shared set-up for the tests of the card half of the display: a screen of the card
// kind, a folder of its own per test (the tests write texture files), the log in a
// temporary file, the card's call trace, and hand-built objects whose vertices are
// already projected (screen x, y in pixels, camera z).
#pragma once

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <tuple>

#include "display/display.h"
#include "lwo/lwo.h"
#include "platform/glide/glide.h"
#include "testutil.h"

class DisplayTest : public FolderTest {
 public:
  Screen testscreen;

  void SetUp() override {
    FolderTest::SetUp();
    setenv("LWDEMO_VIDEO", "headless", 0);
    setenv("LWDEMO_PACING", "off", 0);
    testscreen = Screen{480, 640, 16, 320, 240, 1};
    screen = &testscreen;
    cardtraceclear();
    cardtrace(1);
  }

  void TearDown() override {
    cardtrace(0);
    cardtraceclear();
    FolderTest::TearDown();
  }

  // The traced calls, one per entry, each polygon reduced to "draw N" (its corner count).
  static std::vector<std::string> calls() {
    std::vector<std::string> out;
    std::istringstream in(cardtracetext() != nullptr ? cardtracetext() : "");
    const std::string draw = "grDrawPolygonVertexList(";
    for (std::string line; std::getline(in, line);)
      out.push_back(line.rfind(draw, 0) == 0 ? "draw " + std::to_string(atoi(line.c_str() + draw.size())) : line);
    return out;
  }
};

// The texture-name table holding exactly these names.
inline void settexturenames(const std::vector<std::string> &names) {
  memset(&texturenametable, 0, sizeof texturenametable);
  for (size_t i = 0; i < names.size(); i++)
    strncpy(texturenametable.texturenames[i], names[i].c_str(), texturenamesize - 1);
  texturenametable.texturecount = (int32_t)names.size();
}

// An object built by hand: surfaces, screen-space vertices and polygons in draw order.
// Storage lives in the vectors; object points into them once finish() has run.
struct HandObject {
  SceneObject object;
  std::vector<MeshSurface> surfaces;
  std::vector<MeshVertex> verts;
  std::vector<MeshPolygon> polys;
  std::vector<int32_t> drawlist;
  std::vector<int> polysurface;

  int addsurface(const MeshSurface &surface) {
    surfaces.push_back(surface);
    return (int)surfaces.size() - 1;
  }

  // A polygon of the given surface through screen points (x, y) at camera depth z, all
  // corners lit with one colour; u, v and the reflection coordinates per corner.
  int addpolygon(int surface, int n, const float (*xy)[2], float z, const float color[3],
                 const float (*uv)[2] = nullptr, const float (*refluv)[2] = nullptr) {
    MeshPolygon poly;
    poly.numcorners = (uint16_t)n;
    for (int k = 0; k < n && k < maxcorners; k++) {
      MeshVertex vertex;
      vertex.xfpos = Vec3{xy[k][0], xy[k][1], z};
      for (int c = 0; c < 3; c++) vertex.litcolor[c] = color[c];
      poly.corners[k].vertex = (uint16_t)verts.size();
      if (uv != nullptr) std::tie(poly.corners[k].u, poly.corners[k].v) = std::tie(uv[k][0], uv[k][1]);
      if (refluv != nullptr) std::tie(poly.corners[k].reflu, poly.corners[k].reflv) = std::tie(refluv[k][0], refluv[k][1]);
      verts.push_back(vertex);
    }
    polys.push_back(poly);
    polysurface.push_back(surface);
    drawlist.push_back((int32_t)polys.size() - 1);
    return (int)polys.size() - 1;
  }

  // An axis-aligned rectangle with texel coordinates spanning 0..256 once.
  int addrect(int surface, float x0, float y0, float x1, float y1, float z, const float color[3]) {
    const float xy[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    const float uv[4][2] = {{0, 0}, {256, 0}, {256, 256}, {0, 256}};
    return addpolygon(surface, 4, xy, z, color, uv, uv);
  }

  SceneObject *finish() {
    for (size_t i = 0; i < polys.size(); i++) polys[i].surface = &surfaces[polysurface[i]];
    object.surfaces = surfaces.data();
    object.numsurfaces = (int32_t)surfaces.size();
    object.verts = verts.data();
    object.numverts = (int32_t)verts.size();
    object.polys = polys.data();
    object.numpolys = (int32_t)polys.size();
    object.drawpolys = drawlist.data();
    object.numdrawpolys = (uint16_t)drawlist.size();
    object.hasreflmap = 0;
    for (const MeshSurface &s : surfaces)
      if (s.refltexture != 0xFFFF) object.hasreflmap = 1;
    return &object;
  }
};
