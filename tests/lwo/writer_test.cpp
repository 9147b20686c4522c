#include "lwotest.h"

namespace {

// (p0 - p1) x (p2 - p1) of each polygon must point towards the shape's centre: LightWave
// lists corners clockwise seen from the visible side.
void expectlightwavewinding(const LwoWriter &w, Vec3 center) {
  for (const LwoWriterPolygon &p : w.polygons) {
    Vec3 p0 = w.points[p.corners[0]], p1 = w.points[p.corners[1]], p2 = w.points[p.corners[2]];
    Vec3 a{p0.x - p1.x, p0.y - p1.y, p0.z - p1.z}, b{p2.x - p1.x, p2.y - p1.y, p2.z - p1.z};
    Vec3 n{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    Vec3 out{p1.x - center.x, p1.y - center.y, p1.z - center.z};
    EXPECT_LT(n.x * out.x + n.y * out.y + n.z * out.z, 0);
  }
}

TEST(LwoWriter, BoxMatchesLightWavesOwnBox) {
  LwoWriter w;
  int s = lwoaddsurface(&w, "Default", 200, 200, 200);
  lwoaddbox(&w, {0, 0, 0}, {1, 1, 1}, s);
  std::vector<uint8_t> ours = lwobytes(&w);
  const std::string file = readfile(LWDEMO_TESTDATA_DIR "/lightwave/box0.5.lwo");
  const std::vector<uint8_t> real(file.begin(), file.end());
  for (const char *id : {"PNTS", "POLS", "SRFS"}) {
    EXPECT_FALSE(chunksnamed(real, id).empty()) << id;
    EXPECT_EQ(chunksnamed(ours, id), chunksnamed(real, id)) << id;
  }
  EXPECT_EQ(uint32_t(ours[4]) << 24 | ours[5] << 16 | ours[6] << 8 | ours[7], ours.size() - 8);
  expectlightwavewinding(w, {0, 0, 0});
}

TEST(LwoWriter, SphereAndGridFollowTheSameWinding) {
  LwoWriter w;
  lwoaddsphere(&w, {1, 2, 3}, 2, 12, 6, 0);
  EXPECT_EQ(w.points.size(), 12u * 5 + 2);
  EXPECT_EQ(w.polygons.size(), 12u * 6);
  expectlightwavewinding(w, {1, 2, 3});
  LwoWriter g;
  lwoaddgrid(&g, -1, -1, 1, 1, 3, 2, 0);
  EXPECT_EQ(g.points.size(), 12u);
  // Facing +y: the back is below the grid.
  expectlightwavewinding(g, {0, -1, 0});
}

}  // namespace
