#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "testutil.h"
#include "tools/writers/writers.h"

namespace {

std::vector<uint8_t> readall(const std::string &path) {
  std::string bytes = readfile(path);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

uint32_t be32(const uint8_t *p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// The body of the first top-level chunk with this ID, walking the chunk tree.
std::vector<uint8_t> chunk(const std::vector<uint8_t> &file, const char *id) {
  for (size_t at = 12; at + 8 <= file.size();) {
    uint32_t length = be32(&file[at + 4]);
    if (std::memcmp(&file[at], id, 4) == 0)
      return std::vector<uint8_t>(file.begin() + long(at) + 8, file.begin() + long(at + 8 + length));
    at += 8 + length + (length & 1);
  }
  return {};
}

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
  std::vector<uint8_t> real = readall(LWDEMO_TESTDATA_DIR "/lightwave/box0.5.lwo");
  ASSERT_FALSE(real.empty());
  EXPECT_EQ(chunk(ours, "PNTS"), chunk(real, "PNTS"));
  EXPECT_EQ(chunk(ours, "POLS"), chunk(real, "POLS"));
  EXPECT_EQ(chunk(ours, "SRFS"), chunk(real, "SRFS"));
  EXPECT_EQ(be32(&ours[4]), ours.size() - 8);
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
