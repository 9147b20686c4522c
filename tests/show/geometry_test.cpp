// The show's solids face the way the object files' rule says: N = (P0 - P1) x (P2 - P1)
// points away from the side a polygon is seen from. A face turned the wrong way is culled
// as a back face and leaves a hole in the show.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "tools/show/show.h"

namespace {

ShowPoint sub(ShowPoint a, ShowPoint b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

ShowPoint normal(const ShowMesh &mesh, const ShowPoly &poly) {
  ShowPoint p0 = mesh.points[poly.corners[0]], p1 = mesh.points[poly.corners[1]],
            p2 = mesh.points[poly.corners[2]];
  ShowPoint a = sub(p0, p1), b = sub(p2, p1);
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

ShowPoint centroid(const ShowMesh &mesh, const ShowPoly &poly) {
  ShowPoint c;
  for (int i = 0; i < poly.numcorners; i++) {
    c.x += mesh.points[poly.corners[i]].x / poly.numcorners;
    c.y += mesh.points[poly.corners[i]].y / poly.numcorners;
    c.z += mesh.points[poly.corners[i]].z / poly.numcorners;
  }
  return c;
}

float dot(ShowPoint a, ShowPoint b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Counts the polygons whose rule normal does not point along inward(centroid), the
// direction away from the side the polygon should be seen from.
int wrongfaces(const ShowMesh &mesh, const std::function<ShowPoint(ShowPoint)> &inward) {
  int wrong = 0;
  for (const ShowPoly &poly : mesh.polys) {
    ShowPoint n = normal(mesh, poly);
    if (dot(n, n) == 0 || dot(n, inward(centroid(mesh, poly))) <= 0) wrong++;
  }
  return wrong;
}

}  // namespace

TEST(ShowGeometry, SolidsAreSeenFromOutsideAndTheTunnelFromInside) {
  ShowMesh box, sphere, torus, tunnel, floor, card;
  showbox(&box, {-1, -2, -3}, {1, 2, 3}, 1);
  showsphere(&sphere, {1, 2, 3}, 2, 12, 8, 1);
  showtorus(&torus, 2, 0.5f, 16, 8, 1);
  showtunnel(&tunnel, 3, 0, 10, 12, 4, 1);
  showfloor(&floor, 5, -2, 4, 1);
  showcard(&card, {0, 0, 1}, 1, 1, 1);
  EXPECT_EQ(box.polys.size(), 6u);
  EXPECT_EQ(wrongfaces(box, [](ShowPoint c) { return ShowPoint{-c.x, -c.y, -c.z}; }), 0);
  EXPECT_EQ(wrongfaces(sphere, [](ShowPoint c) { return ShowPoint{1 - c.x, 2 - c.y, 3 - c.z}; }), 0);
  EXPECT_EQ(wrongfaces(torus,
                       [](ShowPoint c) {
                         float r = std::sqrt(c.x * c.x + c.z * c.z);
                         return ShowPoint{2 * c.x / r - c.x, -c.y, 2 * c.z / r - c.z};
                       }),
            0);
  EXPECT_EQ(wrongfaces(tunnel, [](ShowPoint c) { return ShowPoint{c.x, c.y, 0}; }), 0);
  EXPECT_EQ(wrongfaces(floor, [](ShowPoint) { return ShowPoint{0, -1, 0}; }), 0);
  EXPECT_EQ(wrongfaces(card, [](ShowPoint) { return ShowPoint{0, 0, 1}; }), 0);
}

TEST(ShowGeometry, LettersAreClosedBarsFacingTheViewerAndCentred) {
  ShowMesh mesh;
  const float size = 1.5f, depth = 0.4f;
  showtext(&mesh, "LWDEMO", size, 0.2f, depth, 3);
  ASSERT_FALSE(mesh.polys.empty());
  EXPECT_EQ(mesh.polys.size() % 6, 0u) << "every stroke is a closed bar of six faces";
  float minx = 1e9f, maxx = -1e9f, miny = 1e9f, maxy = -1e9f;
  int front = 0, back = 0;
  for (const ShowPoly &poly : mesh.polys) {
    EXPECT_EQ(poly.surface, 3);
    ShowPoint c = centroid(mesh, poly), n = normal(mesh, poly);
    // The face at z = 0 is seen from the camera side (-z), the one at depth from behind.
    if (std::fabs(c.z) < 1e-6f) front += n.z > 0;
    if (std::fabs(c.z - depth) < 1e-6f) back += n.z < 0;
    for (int i = 0; i < poly.numcorners; i++) {
      const ShowPoint &p = mesh.points[poly.corners[i]];
      minx = std::min(minx, p.x), maxx = std::max(maxx, p.x);
      miny = std::min(miny, p.y), maxy = std::max(maxy, p.y);
    }
  }
  EXPECT_EQ(front, (int)mesh.polys.size() / 6);
  EXPECT_EQ(back, (int)mesh.polys.size() / 6);
  // Centred on x = 0 (up to the bars' overhang), from the baseline to the cap height.
  EXPECT_NEAR(minx + maxx, 0, 0.3f);
  EXPECT_NEAR(maxx - minx, showtextwidth("LWDEMO") * size, 0.3f);
  EXPECT_NEAR(miny, 0, 0.2f);
  EXPECT_NEAR(maxy, size, 0.2f);
  // A character without a glyph leaves a gap and nothing else.
  ShowMesh unknown;
  showtext(&unknown, "~", size, 0.2f, depth, 1);
  EXPECT_TRUE(unknown.polys.empty());
}
