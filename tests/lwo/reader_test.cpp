// The reader alone: chunk and sub-chunk scanning, defaults, names, image maps, and files
// that are cut short or lie about their contents.
#include <cmath>

#include "lwotest.h"

namespace {

void put16(std::vector<uint8_t> &out, uint32_t v) {
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}
void put32(std::vector<uint8_t> &out, uint32_t v) {
  put16(out, v >> 16);
  put16(out, v & 0xFFFF);
}

// A SURF sub-chunk holding a NUL-ended text padded to even length.
std::vector<uint8_t> subtext(const char *id, const std::string &text) {
  std::vector<uint8_t> out(id, id + 4);
  size_t size = (text.size() + 2) & ~size_t(1);
  put16(out, uint32_t(size));
  out.insert(out.end(), text.begin(), text.end());
  out.resize(out.size() + size - text.size(), 0);
  return out;
}

std::vector<uint8_t> sub16(const char *id, uint16_t v) {
  std::vector<uint8_t> out(id, id + 4);
  put16(out, 2);
  put16(out, v);
  return out;
}

std::vector<uint8_t> &operator+=(std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<uint8_t> chunk(const char *id, const std::vector<uint8_t> &body) {
  std::vector<uint8_t> out(id, id + 4);
  put32(out, uint32_t(body.size()));
  out += body;
  if (body.size() & 1) out.push_back(0);
  return out;
}

std::vector<uint8_t> form(const std::vector<uint8_t> &chunks) {
  std::vector<uint8_t> body{'L', 'W', 'O', 'B'};
  body += chunks;
  return chunk("FORM", body);
}

// Along Z the plane is x, y; along X it is z, y; along Y it is x, z.
TEST(LwoReader, PlanarMapOnEachAxis) {
  for (auto [axis, corner] :
       {std::pair(lwoaxisx, Vec3{0, 1, 2}), std::pair(lwoaxisy, Vec3{2, 1, 1}), std::pair(lwoaxisz, Vec3{2, 1, 0})}) {
    LwoWriter w = mappedtriangle("Planar Image Map", axis, corner, {0, 0, 0}, {1, 0, 0}, {4, 4, 4});
    LwoObject *o = parsed(lwobytes(&w));
    EXPECT_EQ(std::pair(o->polygons[0].uv[0][0], o->polygons[0].uv[0][1]), std::pair(1.0f, 0.25f)) << axis;
    freelwo(o);
  }
}

TEST(LwoReader, CylindricalSeamMovesTheSmallerSideUpOneRepeat) {
  float u[3] = {0.05f, 0.95f, 0.5f};
  repairseam(u, 2, 1.0f);
  EXPECT_EQ(std::pair(u[0], u[1]), std::pair(1.05f, 0.95f));
  // Pairs run in index order on the values earlier pairs left: (0.1, 0.9) moves 0.1 to
  // 1.1, which is then more than half away from 0.5, which moves to 1.5 and so takes
  // 0.9 along. Only polygons spanning most of a turn see this.
  float wide[3] = {0.1f, 0.9f, 0.5f};
  repairseam(wide, 3, 1.0f);
  const float moved[3] = {1.1f, 1.9f, 1.5f};
  for (int i = 0; i < 3; i++) EXPECT_FLOAT_EQ(wide[i], moved[i]);

  // Around Y the seam lies at z = 0 on the -x side: just in front of it the heading
  // gives u = 1 + atan(10) / 2pi, just behind it u = 1 - (pi + atan(10)) / 2pi.
  LwoWriter w = mappedtriangle("Cylindrical Image Map", lwoaxisy, {-1, 0, 0.1f},
                               {-1, 0, -0.1f}, {-1, 1, 0.1f}, {1, 1, 1});
  LwoObject *o = parsed(lwobytes(&w));
  const double t = std::atan(10.0), turn = 2 * 3.14159265358979;
  const LwoPolygon &p = o->polygons[0];
  EXPECT_NEAR(p.uv[0][0], 1 + t / turn, 1e-6);
  EXPECT_NEAR(p.uv[1][0], 1 - (3.14159265 + t) / turn + 1.0, 1e-6);
  EXPECT_NEAR(p.uv[2][0], 1 + t / turn, 1e-6);
  EXPECT_EQ(std::pair(p.uv[0][1], p.uv[2][1]), std::pair(0.5f, -0.5f));
  freelwo(o);
  // With two repeats the values double first and the seam test uses half of two.
  w.surfaces[0].widthrepeat = 2;
  o = parsed(lwobytes(&w));
  EXPECT_NEAR(o->polygons[0].uv[0][0], 2 * (1 + t / turn), 1e-5);
  EXPECT_NEAR(o->polygons[0].uv[1][0], 2 * (1 - (3.14159265 + t) / turn) + 2, 1e-5);
  freelwo(o);
}

TEST(LwoReader, SphericalMapAtThePoles) {
  LwoWriter w;
  int s = lwoaddsurface(&w, "Globe", 255, 255, 255);
  lwosetimagemap(&w.surfaces[s], "Spherical Image Map", "earth.tga", lwoaxisy, {0, 0, 0}, {1, 1, 1});
  lwoaddsphere(&w, {0, 0, 0}, 1, 8, 4, s);
  const uint32_t north = 0, south = uint32_t(w.points.size() - 1);
  LwoObject *o = parsed(lwobytes(&w));
  int poles = 0;
  for (int k = 0; k < o->numpolygons; k++) {
    const LwoPolygon &p = o->polygons[k];
    for (int i = 0; i < p.numcorners; i++) {
      EXPECT_TRUE(std::isfinite(p.uv[i][0]) && std::isfinite(p.uv[i][1]));
      if (p.pointindex[i] == north) {
        EXPECT_NEAR(p.uv[i][1], 0.0f, 2e-8);  // pi/2 as a float is a little more than pi/2
        poles++;
      }
      if (p.pointindex[i] == south) {
        EXPECT_NEAR(p.uv[i][1], 1.0f, 2e-8);
        poles++;
      }
    }
    // After the seam repair no two corners are a whole repeat apart.
    for (int i = 0; i < p.numcorners; i++)
      for (int j = 0; j < p.numcorners; j++) EXPECT_LT(std::fabs(p.uv[i][0] - p.uv[j][0]), 1.0f);
  }
  EXPECT_EQ(poles, 16);
  freelwo(o);
}

// On the axis (a point of a cylindrical map with no x and no z, zeros of either sign) the
// heading is 0; the wrap of repeated maps keeps a whole 1 as 1.
TEST(LwoReader, HeadingOnTheAxisAndWrap) {
  EXPECT_EQ(std::vector<float>({xyztoh(-0.0f, 5, 0.0f), xyztoh(0, -5, -0.0f), fract(1), fract(0), fract(-0.25f),
                                fract(2.5f)}),
            std::vector<float>({0, 0, 1, 0, 0.75f, 0.5f}));
}

TEST(LwoReader, SurfaceDefaultsAndAbsentSubChunks) {
  LwoWriter w;
  lwoaddpoint(&w, 0, 0, 0);
  lwoaddsurface(&w, "Bare", 1, 2, 3);
  w.surfaces[0].chunks = 0;
  // CTEX and TIMG without TFLG, TFP0 or TFP1, then an unknown sub-chunk.
  int t = lwoaddsurface(&w, "Textured", 1, 2, 3);
  w.surfaces[t].chunks = lwovdif;
  w.surfaces[t].diffuse = 0.5f;
  w.surfaces[t].extra = subtext("CTEX", "Planar Image Map");
  w.surfaces[t].extra += subtext("TIMG", "wall.tga");
  w.surfaces[t].extra += sub16("LUMI", 256);
  // Image parameters under a bump texture header do not make a colour texture.
  int b = lwoaddsurface(&w, "Bumpy", 1, 2, 3);
  w.surfaces[b].extra = subtext("BTEX", "Planar Image Map");
  w.surfaces[b].extra += subtext("TIMG", "bump.tga");
  w.surfaces[b].extra += sub16("TFLG", 4);
  int never = lwoaddsurface(&w, "NeverDescribed", 1, 2, 3);
  w.surfaces[never].chunks = 0;
  std::vector<uint8_t> bytes = lwobytes(&w);
  // Drop the last SURF chunk (ID, length, padded name): its surface keeps the state of
  // no SURF at all.
  bytes.resize(bytes.size() - (8 + 16));
  LwoObject *o = parsed(bytes);
  ASSERT_EQ(o->numsurfaces, 4);
  // Colour, flags, diffuse, gloss, axis, repeats, image and texture kind.
  auto fields = [&](int i) {
    const LwoSurface &s = o->surfaces[i];
    return std::to_string(s.color[0] | s.color[1] | s.color[2]) + " " + std::to_string(s.flags) + " " +
           std::to_string(s.diffuse) + " " + std::to_string(s.glossiness) + " " + std::to_string(s.texaxis) + " " +
           std::to_string(s.widthrepeat) + " " + std::to_string(s.heightrepeat) + " [" + s.imagename + "] [" +
           s.texturekind + "]";
  };
  const std::string none = "0 0 1.000000 1 -1 1.000000 1.000000 [] []";
  EXPECT_EQ(fields(0), none);
  EXPECT_EQ(fields(3), none);
  EXPECT_EQ(fields(t), "0 0 0.500000 1 0 1.000000 1.000000 [wall.tga] [Planar Image Map]");
  EXPECT_EQ(std::pair(o->surfaces[b].texaxis, std::string(o->surfaces[b].imagename)), std::pair(-1, std::string()));
  freelwo(o);
}

TEST(LwoReader, SurfChunksMatchSrfsNamesOrAreSkipped) {
  LwoWriter w;
  lwoaddsurface(&w, "Blue", 0, 0, 255);
  lwoaddsurface(&w, "Green", 0, 255, 0);
  lwoaddsurface(&w, "Red", 255, 0, 0);
  std::vector<uint8_t> surfs = chunksnamed(lwobytes(&w), "SURF");
  std::vector<uint8_t> body = chunk("PNTS", std::vector<uint8_t>(12, 0));
  body += surfs;  // before any SRFS: all skipped
  body += chunk("SRFS", {'R', 'e', 'd', 0, 'G', 'r', 'e', 'e', 'n', 0});
  body += surfs;  // Blue names no SRFS entry and is skipped; Green and Red are filled
  LwoObject *o = parsed(form(body));
  ASSERT_EQ(o->numsurfaces, 2);
  const uint8_t *red = o->surfaces[0].color, *green = o->surfaces[1].color;
  EXPECT_EQ(std::vector<int>({red[0], red[1], red[2], green[0], green[1], green[2]}), std::vector<int>({255, 0, 0, 0, 255, 0}));
  freelwo(o);
}

TEST(LwoReader, LongNamesAreCutToTheirSlots) {
  LwoWriter w;
  lwoaddpoint(&w, 0, 0, 0);
  std::string longname(300, 'n'), longimage(1500, 'i');
  int s = lwoaddsurface(&w, longname.c_str(), 9, 8, 7);
  lwosetimagemap(&w.surfaces[s], "Planar Image Map", longimage.c_str(), lwoaxisz, {0, 0, 0}, {1, 1, 1});
  w.surfaces[s].reflimage = longimage + "r";
  LwoObject *o = parsed(lwobytes(&w));
  // Both names are cut the same way, so the SURF still finds its SRFS entry.
  EXPECT_EQ(std::pair(o->surfaces[0].color[0] + 0, o->surfaces[0].texaxis + 0), std::pair(9, 2));
  EXPECT_EQ(std::string(o->surfaces[0].imagename), longimage.substr(0, 1023));
  EXPECT_EQ(std::string(o->surfaces[0].reflimagename), longimage.substr(0, 1023));
  freelwo(o);
}

// The reader's status for the bytes; a refused file must leave no object.
int statusof(const std::vector<uint8_t> &bytes) {
  int status = -1;
  LwoObject *o = parse(bytes, &status);
  if (o != nullptr && status != lwook) status = -2;
  freelwo(o);
  return status;
}

TEST(LwoReader, RefusesFilesThatLieAboutTheirContents) {
  LwoWriter w, badpoint, nopoints;
  lwoaddbox(&w, {0, 0, 0}, {1, 1, 1}, lwoaddsurface(&w, "Box", 1, 1, 1));
  badpoint = nopoints = w;
  badpoint.polygons[3].corners[2] = 8;  // one past the last point
  nopoints.points.clear();
  std::vector<uint8_t> unknown = lwobytes(&nopoints), huge = lwobytes(&w);
  std::memcpy(&unknown[12], "XXXX", 4);  // the PNTS chunk becomes an unknown one
  huge[12 + 4] = 0x7F;                   // PNTS length far beyond the file
  // Surface 65536 could never be named by a polygon.
  std::vector<uint8_t> body = chunk("PNTS", std::vector<uint8_t>(12, 0));
  body += chunk("SRFS", std::vector<uint8_t>(2 * 65535, 0));
  const std::vector<uint8_t> most = form(body);
  body += chunk("SRFS", std::vector<uint8_t>(2 * 65536, 0));
  EXPECT_EQ(std::vector<int>({statusof(lwobytes(&w)), statusof(lwobytes(&badpoint)), statusof(unknown), statusof(most),
                              statusof(form(body)), statusof(huge)}),
            std::vector<int>({lwook, lwobadpoint, lwonopoints, lwook, lwotoomanysurfaces, lwotruncated}));
  LwoObject *o = parsed(most);
  EXPECT_EQ(o->numsurfaces, 65535);
  freelwo(o);
}

}  // namespace
