#include <cstring>
#include <random>

#include "testscene.h"

namespace {

MeshSurface twosided() { return {.red = 100, .green = 100, .blue = 100, .doublesided = 1}; }

// npolys triangles over ncopies copies of one triangle's corners, taken in turn.
std::unique_ptr<TestMesh> copies(const std::vector<Vec3> &tri, int ncopies, int npolys) {
  std::vector<Vec3> points;
  for (int i = 0; i < ncopies; i++) points.insert(points.end(), tri.begin(), tri.end());
  std::vector<std::vector<int>> polys;
  for (int i = 0; i < npolys; i++) polys.push_back({3 * (i % ncopies), 3 * (i % ncopies) + 1, 3 * (i % ncopies) + 2});
  return makemesh(points, polys, twosided());
}

class Clipping : public PipelineTest {
 protected:
  SceneCamera camera;
  void SetUp() override {
    PipelineTest::SetUp();
    setcamera(camera, {0, 0, 0});
  }
  // Everything up to and including the clipper, leaving camera-space positions.
  void clip(SceneObject &o) {
    updateworldplanes(&camera);
    transformboxes(&o);
    cullbox(&camera, &o);
    transformvertices(&o);
    backfacecull(&o, &camera);
    computeoutcodes(&camera, &o);
    classifypolygons(&o);
    copybasecolor(&o);
    viewtransform(&o, &camera);
    clippolygons(&camera, &o);
  }
  const MeshPolygon &drawn(const SceneObject &o, int i) { return o.polys[o.drawpolys[i]]; }
};

// A triangle crossing the near plane: one corner in front gives a triangle, two a quad;
// the own corners come first, the new ones lie at depth 0.2.
TEST_F(Clipping, NearPlaneCutKeepsTheCornersInFront) {
  for (int infront : {1, 2}) {
    SCOPED_TRACE(infront);
    auto m = makemesh({{0, 0, 1}, {0.05f, 0, infront == 2 ? 1.0f : 0.1f}, {0, 0.05f, 0.1f}},
                      {{0, 1, 2}}, twosided());
    SceneObject &o = m->object;
    clip(o);
    // The clipper's output follows the own polygons: drawn polygon 0 is polygon 1.
    ASSERT_EQ(std::vector<int>({o.visibility, o.clipmask, o.numdrawpolys, o.drawpolys[0], o.numclipverts}),
              std::vector<int>({2, 16, 1, 1, 2}));
    const MeshPolygon &p = drawn(o, 0);
    ASSERT_EQ(p.numcorners, 2 + infront);
    for (int k = 0; k < p.numcorners; k++)
      EXPECT_TRUE(k < infront ? p.corners[k].vertex == k : std::fabs(m->verts[p.corners[k].vertex].xfpos.z - 0.2f) < 1e-6f) << k;
    // Texture coordinates follow the cut: t = 0.8 / 0.9 along the edge from u 0 to u 10.
    EXPECT_NEAR(p.corners[1].u, infront == 1 ? 80.0f / 9.0f : 10.0f, 1e-4f);
    project(&o, &camera);
    for (int k = 0; k < p.numcorners; k++)
      EXPECT_TRUE(std::isfinite(m->verts[p.corners[k].vertex].xfpos.x));
  }
}

TEST_F(Clipping, ClippedAwayStaysListedAndCommonOutsideIsDropped) {
  // A triangle whose corners are outside the left plane, the top plane and both (so the
  // AND of their outcodes is 0) but which misses the view; and a quad beyond the far plane.
  auto m = makemesh({{-20, 0, 10}, {0, 20, 10}, {-20, 20, 10},
                     {-1, -1, 150}, {1, -1, 150}, {1, 1, 150}, {-1, 1, 150}},
                    {{0, 1, 2}, {3, 4, 5, 6}}, twosided());
  SceneObject &o = m->object;
  clip(o);
  ASSERT_EQ(std::vector<int>({o.visibility, o.numfrontpolys, o.numcrosspolys, o.numdrawpolys, o.drawpolys[0]}),
            std::vector<int>({2, 2, 1, 1, 2}));
  EXPECT_LT(drawn(o, 0).numcorners, 3);
}

TEST_F(Clipping, ReflectionCoordinatesFollowTheCut) {
  auto m = makemesh({{0, 0, 1}, {0.05f, 0, 0.1f}, {0, 0.05f, 0.1f}}, {{0, 1, 2}}, twosided());
  SceneObject &o = m->object;
  o.hasreflmap = 1;
  m->normals[0] = {1, 0, 0};
  m->normals[1] = {-1, 0, 0};
  m->normals[2] = {0, 1, 0};
  clip(o);
  const MeshCorner *own = m->polys[0].corners;
  EXPECT_EQ(std::vector<float>({own[0].reflu, own[0].reflv, own[1].reflu, own[2].reflv}), std::vector<float>({255, 127.5f, 0, 255}));
  const MeshPolygon &p = drawn(o, 0);
  ASSERT_EQ(p.numcorners, 3);
  // The new corner between corners 0 and 1 at t = 8/9.
  EXPECT_NEAR(p.corners[1].reflu, 255.0f / 9.0f, 1e-3f);
  EXPECT_NEAR(p.corners[1].reflv, 127.5f, 1e-3f);
}

// Random triangles and quadrilaterals (flat and bent, small and huge) around a randomly
// placed camera: every corner of every drawn polygon lies inside every view plane, no
// polygon wholly inside is lost, and none wholly outside one plane is drawn.
TEST_F(Clipping, DrawnVerticesLieInsideAllPlanes) {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  for (int trial = 0; trial < 40; trial++) {
    setcamera(camera, {unit(rng) * 50, unit(rng) * 50, unit(rng) * 50}, unit(rng) * 180,
              unit(rng) * 180, unit(rng) * 180);
    std::vector<Vec3> points;
    std::vector<std::vector<int>> polys;
    for (int i = 0; i < 60; i++) {
      Vec3 centre{unit(rng) * 120, unit(rng) * 90, 50 + unit(rng) * 70};
      float scale = std::pow(10.0f, 1.5f * unit(rng) + 0.5f);
      int corners = (i % 2) ? 4 : 3;
      Vec3 e1{unit(rng) * scale, unit(rng) * scale, unit(rng) * scale};
      Vec3 e2{unit(rng) * scale, unit(rng) * scale, unit(rng) * scale};
      std::vector<int> poly;
      for (int k = 0; k < corners; k++) {
        Vec3 p = centre;
        if (i % 4 == 3) {  // bent quadrilateral: four unrelated corners
          p = {centre.x + unit(rng) * scale, centre.y + unit(rng) * scale, centre.z + unit(rng) * scale};
        } else {  // flat: corners of a parallelogram (or its first three)
          float a = (k == 1 || k == 2) ? 1.0f : 0.0f, b = (k >= 2) ? 1.0f : 0.0f;
          p = {centre.x + a * e1.x + b * e2.x, centre.y + a * e1.y + b * e2.y, centre.z + a * e1.z + b * e2.z};
        }
        Vec3 world;
        mattransform(&camera.cameratoworld, &p, &world, 1);
        world = {world.x + camera.position.x, world.y + camera.position.y, world.z + camera.position.z};
        poly.push_back((int)points.size());
        points.push_back(world);
      }
      polys.push_back(poly);
    }
    auto m = makemesh(points, polys, twosided());
    SceneObject &o = m->object;
    clip(o);
    ASSERT_NE(o.visibility, 1);
    const int32_t used = o.numverts + o.numclipverts;
    ASSERT_LE(used, clipvertexlimit(&o));
    std::vector<bool> listed(o.numpolys, false);
    for (int i = 0; i < o.numdrawpolys; i++) {
      const int32_t index = o.drawpolys[i];
      ASSERT_LT(index, o.numpolys + o.numclippolys);
      if (index < o.numpolys) listed[index] = true;
      const MeshPolygon &p = o.polys[index];
      ASSERT_LE(p.numcorners, maxcorners);
      for (int k = 0; k < p.numcorners; k++) {
        ASSERT_LT(p.corners[k].vertex, used);
        const Vec3 &v = m->verts[p.corners[k].vertex].xfpos;
        for (int pl = 0; pl < 6; pl++)
          ASSERT_TRUE(insideplane(camera.viewplanes[pl], v))
              << "trial " << trial << " polygon " << index << " plane " << pl;
      }
    }
    std::vector<bool> crossing(o.numpolys, false);
    for (int i = 0; i < o.numcrosspolys; i++) crossing[o.crosspolys[i]] = true;
    for (int i = 0; i < o.numpolys; i++) {
      const MeshPolygon &p = m->polys[i];
      bool allin = true, alloutone = false;
      for (const Plane &pl : camera.viewplanes) {
        int out = 0;
        for (int k = 0; k < p.numcorners; k++) {
          const Vec3 &v = m->verts[p.corners[k].vertex].xfpos;
          double dist = (double)pl.normal.x * v.x + (double)pl.normal.y * v.y + (double)pl.normal.z * v.z;
          if (dist < pl.distance + 1e-2) allin = false;
          if (dist < pl.distance - 1e-2) out++;
        }
        if (out == p.numcorners) alloutone = true;
      }
      if (allin) {
        EXPECT_TRUE(listed[i]) << "trial " << trial << " polygon " << i;
      }
      if (alloutone) {
        EXPECT_FALSE(listed[i] || crossing[i]) << "trial " << trial << " polygon " << i;
      }
    }
  }
}

// The clipper's room: 20 vertices per own vertex, below index 65536, and 3 polygons per
// own polygon, below index 32768. A polygon that would not fit is dropped, its vertices
// given back, and only the first drop of the object is logged.
TEST_F(Clipping, VertexRoomIsNeverExceeded) {
  // Thirty copies of one triangle crossing the right and the near plane; each copy
  // needs four new vertices and only 57 of the 60 slots are free.
  auto m = copies({{0, 0, 1}, {5, 0, 1}, {0, 0.05f, 0.1f}}, 1, 30);
  SceneObject &o = m->object;
  clip(o);
  clip(o);
  EXPECT_EQ(std::vector<int>({o.numclippolys, o.numclipverts, o.numclipdropped, o.cliproomlogged, o.numdrawpolys}),
            std::vector<int>({14, 56, 16, 1, 14}));
  for (int i = 0; i < o.numdrawpolys; i++) {
    const MeshPolygon &p = drawn(o, i);
    EXPECT_EQ(p.numcorners, 4);
    for (int k = 0; k < p.numcorners; k++) EXPECT_LT(p.corners[k].vertex, 3 + 56);
  }
  EXPECT_EQ(logtext(), cliproommessage);
}

TEST_F(Clipping, PolygonIndicesStayBelow32768) {
  // 30000 polygons crossing the near plane: room for 60000 more, but indices stop at 32767.
  auto m = copies({{0, 0, 1}, {0.05f, 0, 0.1f}, {0, 0.05f, 0.1f}}, 1000, 30000);
  SceneObject &o = m->object;
  clip(o);
  EXPECT_EQ(std::vector<int>({o.numclippolys, o.numclipdropped, o.numdrawpolys, o.drawpolys[o.numdrawpolys - 1]}),
            std::vector<int>({32768 - 30000, 30000 - (32768 - 30000), 32768 - 30000, 32767}));
}

TEST_F(Clipping, VertexIndicesStayBelow65536) {
  // Triangles that cover the whole view at depth 10: each is cut by the four side
  // planes into the view's rectangle, making eight new vertices. 3300 own vertices
  // would give room for 66000 in all, but corner indices are 16-bit.
  auto m = copies({{-100, -100, 10}, {100, -100, 10}, {0, 100, 10}}, 1100, 8000);
  SceneObject &o = m->object;
  clip(o);
  ASSERT_EQ(o.clipmask, 1 | 2 | 4 | 8 | 16);
  EXPECT_LE(o.numverts + o.numclipverts, 65536);
  EXPECT_EQ(std::pair(o.numclippolys, o.numclipdropped), std::pair((65536 - 3300) / 8, 8000 - (65536 - 3300) / 8));
  const MeshPolygon &last = drawn(o, o.numdrawpolys - 1);
  ASSERT_EQ(last.numcorners, 4);
  for (int k = 0; k < 4; k++) EXPECT_GT(last.corners[k].vertex, 65000);
}

}  // namespace
