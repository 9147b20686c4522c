// loadobject end to end: per-surface vertices, normals, box, texels, the texture-name
// table, the fixed lines and exits, refused files, and the real objects of others.

#include <cmath>
#include <memory>
#include <tuple>

#include "lwotest.h"

namespace {

using LwoBuild = LwoTest;

LwoWriter cube(int facesurfaces) {
  LwoWriter w;
  const char *names[6] = {"Bottom", "Back", "Right", "Front", "Left", "Top"};
  int faces[6];
  for (int f = 0; f < 6; f++) {
    // Surfaces listed in reverse face order, so grouping by surface reorders the faces.
    faces[f] = facesurfaces == 6 ? 5 - f : 0;
    if (f < facesurfaces) lwoaddsurface(&w, names[5 - f], uint8_t(40 * f), 7, 9);
  }
  lwoaddboxfaces(&w, {0, 0, 0}, {1, 1, 1}, faces);
  return w;
}

TEST_F(LwoBuild, CubeWithOneSurfaceSharesItsPoints) {
  std::string out;
  SceneObject *o = loaded(write(cube(1), "cube.lwo"), &out);
  EXPECT_EQ(out, "numtmpverts: 8, numlwoverts 8\nnormals\n");
  EXPECT_EQ(std::vector<int>({o->numverts, o->numpolys, o->numnormals, o->numsurfaces}), std::vector<int>({8, 6, 8, 1}));
  // LightWave winding makes (p0 - p1) x (p2 - p1) point into the cube: each vertex
  // normal is the mean of its three faces', towards the centre.
  const float d = 1 / std::sqrt(3.0f);
  for (int i = 0; i < 8; i++) {
    const Vec3 &p = o->verts[i].objpos;
    expectnear(o->normals[i], p.x < 0 ? d : -d, p.y < 0 ? d : -d, p.z < 0 ? d : -d);
    EXPECT_EQ(o->verts[i].normalindex, i);
    EXPECT_EQ(o->verts[i].surface, &o->surfaces[0]);
  }
  // Box corner k: x from bit 1, y from bit 2, z from bit 0.
  for (int k = 0; k < 8; k++) expectnear(o->bbox[k], k & 2 ? 0.5f : -0.5f, k & 4 ? 0.5f : -0.5f, k & 1 ? 0.5f : -0.5f);
  EXPECT_EQ(o->numchildren | o->hasparent | o->issfxmesh | o->hasreflmap, 0);
  EXPECT_EQ(o->numfrontpolys | o->numcrosspolys | o->numdrawpolys, 0);
  EXPECT_EQ(o->surfaces[0].texture, 0xFFFF);
  EXPECT_EQ(log(), "");
}

TEST_F(LwoBuild, CubeWithSixSurfacesIsFaceted) {
  std::string out;
  SceneObject *o = loaded(write(cube(6), "cube6.lwo"), &out);
  EXPECT_EQ(out, "numtmpverts: 24, numlwoverts 8\nnormals\n");
  EXPECT_EQ(o->numverts, 24);
  ASSERT_EQ(o->numpolys, 6);
  for (int m = 0; m < 6; m++) {
    const MeshPolygon &p = o->polys[m];
    // Own polygons come surface by surface: polygon m is the face on surface m, the
    // faces reversed against the file.
    EXPECT_EQ(p.surface, &o->surfaces[m]);
    EXPECT_EQ(o->surfaces[m].red, float(40 * m));
    Vec3 facein = o->normals[p.corners[0].vertex];
    for (int i = 0; i < 4; i++) {
      const MeshVertex &v = o->verts[p.corners[i].vertex];
      EXPECT_EQ(v.surface, &o->surfaces[m]);
      EXPECT_EQ(v.basecolor[0], o->surfaces[m].red);
      expectnear(o->normals[p.corners[i].vertex], facein.x, facein.y, facein.z);
      // Within a surface vertices are numbered in order of first use.
      EXPECT_EQ(p.corners[i].vertex, 4 * m + i);
    }
    EXPECT_NEAR(std::fabs(facein.x) + std::fabs(facein.y) + std::fabs(facein.z), 1.0f, 1e-6f);
  }
  // Face 5 of the file (+y) is on surface 0, so polygon 0 is the top, facing down inside.
  expectnear(o->normals[o->polys[0].corners[0].vertex], 0, -1, 0);
}

TEST_F(LwoBuild, ScaleFactorsScalePositionsButNotTexels) {
  LwoWriter w = cube(1);
  lwosetimagemap(&w.surfaces[0], "Planar Image Map", "crate.tga", lwoaxisz, {0, 0, 0}, {1, 1, 1});
  std::string path = write(w, "crate.lwo");
  SceneObject *plain = loaded(path), *wide = loaded(path, nullptr, 2);
  for (int i = 0; i < 8; i++)
    EXPECT_EQ(std::pair(wide->verts[i].objpos.x, wide->verts[i].objpos.y),
              std::pair(2 * plain->verts[i].objpos.x, plain->verts[i].objpos.y));
  expectnear(wide->bbox[0], -1, -0.5f, -0.5f);
  expectnear(wide->bbox[7], 1, 0.5f, 0.5f);
  for (int i = 0; i < 24; i++) {
    const MeshCorner &a = wide->polys[i / 4].corners[i % 4], &b = plain->polys[i / 4].corners[i % 4];
    EXPECT_EQ(std::pair(a.u, a.v), std::pair(b.u, b.v));
  }
  // The +x face: x / 1 + 0.5 = 1 for its corners, 255 texels.
  EXPECT_EQ(plain->polys[2].corners[0].u, 255.0f);
  // Both loads name the same image: one slot.
  EXPECT_EQ(texturenametable.texturecount, 1);
}

// A colour texture header without an image puts nothing on the card.
TEST_F(LwoBuild, TexturelessMapNamesNoTexture) {
  LwoWriter w = cube(1);
  w.surfaces[0].texturekind = "Planar Image Map";
  SceneObject *o = loaded(write(w, "textureless.lwo"));
  EXPECT_EQ(std::tuple(int(o->surfaces[0].texture), o->polys[0].corners[0].u, texturenametable.texturecount),
            std::tuple(0xFFFF, 0.0f, 0));
}

TEST_F(LwoBuild, ImagesShareTableSlotsAcrossSurfacesAndObjects) {
  const char *kind = "Planar Image Map";
  LwoWriter w = mappedtriangle(kind, lwoaxisz, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}, "wood.tga");
  const int a = 0;
  w.surfaces[a].reflimage = "sky.tga";
  int b = lwoaddsurface(&w, "B", 1, 1, 1);
  w.surfaces[b].reflimage = "wood.tga";  // a reflection image only
  int c = lwoaddsurface(&w, "C", 1, 1, 1);
  lwosetimagemap(&w.surfaces[c], kind, "stone.tga", lwoaxisz, {0, 0, 0}, {1, 1, 1});
  for (int s : {b, c}) lwoaddtriangle(&w, 0, 1, 2, s);
  std::string out;
  SceneObject *first = loaded(write(w, "first.lwo"), &out);
  EXPECT_EQ(out, "numtmpverts: 9, numlwoverts 3\nnormals\nsky.tga\nwood.tga\n");
  EXPECT_EQ(first->hasreflmap, 1);
  const MeshSurface *fs = first->surfaces;
  EXPECT_EQ(std::vector<int>({fs[a].texture, fs[a].refltexture, fs[b].texture, fs[b].refltexture, fs[c].texture}),
            std::vector<int>({0, 1, 0xFFFF, 0, 2}));
  ASSERT_EQ(texturenametable.texturecount, 3);
  const TextureNameTable &t = texturenametable;
  EXPECT_EQ(std::vector<std::string>({t.texturenames[0], t.texturenames[1], t.texturenames[2]}),
            std::vector<std::string>({"wood.tga", "sky.tga", "stone.tga"}));
  // A second object naming an image already there reuses its slot.
  SceneObject *second = loaded(write(mappedtriangle(kind, lwoaxisz, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}, "stone.tga"), "second.lwo"));
  EXPECT_EQ(second->surfaces[0].texture, 2);
  EXPECT_EQ(texturenametable.texturecount, 3);
}

TEST_F(LwoBuild, AFullTextureTableRefusesTheObjectAndKeepsItsCount) {
  for (int i = 0; i < maxtextures - 1; i++)
    std::snprintf(texturenametable.texturenames[i], texturenamesize, "image%d.tga", i);
  texturenametable.texturecount = maxtextures - 1;
  LwoWriter w = cube(6);
  for (int f = 0; f < 2; f++)
    lwosetimagemap(&w.surfaces[f], "Planar Image Map", f ? "new1.tga" : "image5.tga", lwoaxisz,
                   {0, 0, 0}, {1, 1, 1});
  // One new name fits the last slot.
  SceneObject *o = loaded(write(w, "fits.lwo"));
  EXPECT_EQ(std::vector<int>({o->surfaces[0].texture, o->surfaces[1].texture, texturenametable.texturecount}),
            std::vector<int>({5, maxtextures - 1, maxtextures}));
  texturenametable.texturecount = maxtextures - 1;
  lwosetimagemap(&w.surfaces[2], "Planar Image Map", "new2.tga", lwoaxisz, {0, 0, 0}, {1, 1, 1});
  std::string path = write(w, "full.lwo");
  EXPECT_EQ(load(path), nullptr);
  EXPECT_EQ(texturenametable.texturecount, maxtextures - 1);
  EXPECT_EQ(log(), path + " : More than 1024 texture images in the scene!\n");
}

TEST_F(LwoBuild, ObjectWithoutPolygonsHasAnEmptyBox) {
  LwoWriter w;
  lwoaddpoint(&w, 3, 4, 5);
  std::string out;
  SceneObject *o = loaded(write(w, "points.lwo"), &out);
  EXPECT_EQ(out, "numtmpverts: 0, numlwoverts 1\nnormals\n");
  EXPECT_EQ(o->numverts, 0);
  for (int i = 0; i < 8; i++) expectnear(o->bbox[i], 0, 0, 0);
}

TEST_F(LwoBuild, ObjectsBeyondTheSixteenBitIndicesAreRefused) {
  // 32767 polygons fit; one more does not.
  LwoWriter w;
  int s = lwoaddsurface(&w, "Many", 1, 1, 1);
  for (int i = 0; i < 3; i++) lwoaddpoint(&w, float(i), float(i * i), 0);
  w.polygons.assign(32767, LwoWriterPolygon{{0, 1, 2}, s});
  SceneObject *o = loaded(write(w, "most.lwo"));
  EXPECT_EQ(o->numpolys, 32767);
  w.polygons.push_back(LwoWriterPolygon{{0, 1, 2}, s});
  std::string path = write(w, "toomany.lwo");
  EXPECT_EQ(load(path), nullptr);
  EXPECT_EQ(log(), path + " : 32768 polygons, an object holds at most 32767!\n");

  // 65535 vertices fit; a point used by a second surface makes one more.
  LwoWriter v;
  int a = lwoaddsurface(&v, "A", 1, 1, 1);
  int b = lwoaddsurface(&v, "B", 1, 1, 1);
  for (int i = 0; i < 65535; i++) lwoaddpoint(&v, float(i % 256), float(i / 256), 0);
  for (int i = 0; i + 3 <= 65535; i += 3) lwoaddtriangle(&v, i, i + 1, i + 2, a);
  o = loaded(write(v, "mostverts.lwo"));
  EXPECT_EQ(o->numverts, 65535);
  lwoaddtriangle(&v, 0, 1, 2, b);
  path = write(v, "toomanyverts.lwo");
  EXPECT_EQ(load(path), nullptr);
  EXPECT_NE(log().find(path + " : More than 65535 vertices, an object holds at most that many!\n"), std::string::npos);
}

TEST_F(LwoBuild, BadFilesAreRefusedWithAMessageNamingThem) {
  LwoWriter w = cube(1);
  std::vector<uint8_t> good = lwobytes(&w);
  struct Case {
    const char *name;
    std::vector<uint8_t> bytes;
    std::string message;
  } cases[] = {
      {"badcorner.lwo", {}, " : Polygon 4 names point 9 of 8 points!\n"},
      {"nopoints.lwo", {}, " : No points (PNTS) in the file!\n"},
      {"truncated.lwo", {}, " : A chunk runs past the end of the file!\n"},
  };
  LwoWriter bad = w;
  bad.polygons[4].corners[1] = 9;
  cases[0].bytes = lwobytes(&bad);
  cases[1].bytes = good;
  std::memcpy(&cases[1].bytes[12], "PNTZ", 4);
  cases[2].bytes.assign(good.begin(), good.begin() + 12 + 8 + 96 + 8 + 8 + 8 + 20);  // into POLS
  for (const Case &c : cases) {
    std::string path = writebytes(c.bytes, c.name);
    long before = long(log().size());
    // The cause on standard error as well, since the log is a file.
    EXPECT_EQ(stderrof([&] { EXPECT_EQ(load(path), nullptr) << c.name; }),
              "test_lwo: " + path + c.message + "Kunde inte \x94ppna 3dobjektet\n");
    EXPECT_EQ(log().substr(size_t(before)), path + c.message);
  }
  stderrof([&] { EXPECT_EQ(load("nosuch.lwo"), nullptr); });
  EXPECT_NE(log().find("nosuch.lwo : Unable to open file!\n"), std::string::npos);
}

// Every prefix of a valid file is built, or refused with a status that the loader turns
// into a log message (never one of the exits); none crashes (the sanitizer build turns
// any overrun into a failure). The cores run from memory; loadobject maps the statuses.
TEST_F(LwoBuild, EveryPrefixIsReadOrRefused) {
  LwoWriter w = cube(6);
  lwosetimagemap(&w.surfaces[1], "Cylindrical Image Map", "can.tga", lwoaxisy, {0, 0, 0}, {1, 1, 1});
  lwosetimagemap(&w.surfaces[2], "Spherical Image Map", "ball.tga", lwoaxisx, {0, 0, 0}, {1, 1, 1});
  w.surfaces[3].reflimage = "sky.tga";
  w.surfaces[3].flags = 0x0100;
  std::string real = readfile(LWDEMO_TESTDATA_DIR "/lightwave/bluewithcylindrictexz.lwo");
  ASSERT_FALSE(real.empty());
  auto table = std::make_unique<TextureNameTable>();
  int built = 0, refused = 0;
  for (const std::vector<uint8_t> &bytes :
       {lwobytes(&w), std::vector<uint8_t>(real.begin(), real.end())}) {
    for (size_t n = 0; n <= bytes.size(); n++) {
      LwoObject *object = nullptr;
      LwoFailure failure;
      int status = parselwo(bytes.data(), n, 1.0f, &object, &failure);
      if (status != lwook) {
        EXPECT_TRUE(status == lwotruncated || status == lwonopoints) << n << ": " << status;
        refused++;
        continue;
      }
      SceneObject *o = nullptr;
      EXPECT_EQ(buildobject(object, 1, 1, 1, nullptr, &o, &failure), lwook) << n;
      table->texturecount = 0;
      if (o) {
        EXPECT_EQ(registernames(object, o, table.get(), nullptr), 1);
      }
      freesceneobject(o);
      freelwo(object);
      built++;
    }
  }
  EXPECT_GT(built, 2);
  EXPECT_GT(refused, 100);
  // Through the loader, a cut file is refused with its line in the log.
  std::vector<uint8_t> bytes = lwobytes(&w);
  bytes.resize(bytes.size() - 3);
  std::string path = writebytes(bytes, "cut.lwo");
  stderrof([&] { EXPECT_EQ(load(path), nullptr); });
  EXPECT_EQ(log(), path + " : A chunk runs past the end of the file!\n");
}

TEST_F(LwoBuild, RealObjectsAreBuilt) {
  struct Real {
    const char *file;
    int verts, polys, surfaces;
  } reals[] = {
      {"box0.5.lwo", 8, 6, 1},
      {"box1.5.lwo", 24, 6, 6},
      {"greenball.lwo", 266, 528, 1},
      {"redcone.lwo", 26, 48, 1},
      {"sphere_with_mat_gloss_10pc.lwo", 266, 288, 1},
      {"bluewithcylindrictexz.lwo", 8, 6, 1},
  };
  for (const Real &r : reals) {
    SceneObject *o = loaded(std::string(LWDEMO_TESTDATA_DIR "/lightwave/") + r.file);
    EXPECT_EQ(std::vector<int>({o->numverts, o->numpolys, o->numsurfaces}),
              std::vector<int>({r.verts, r.polys, r.surfaces})) << r.file;
    for (int i = 0; i < o->numverts; i++) {
      double length = vlength(o->normals[i].x, o->normals[i].y, o->normals[i].z);
      EXPECT_NEAR(length, 1.0, 1e-5) << r.file;
    }
  }
  // The cylindrical cube names its image with the Windows path it was made with.
  ASSERT_EQ(texturenametable.texturecount, 1);
  EXPECT_STREQ(texturenametable.texturenames[0],
               "C:\\Users\\ACG\\Desktop\\ASSIMP\\r35\\test\\models\\3DS\\IMAGE2.jpg");
}

// Death tests: the child writes the log file and exits; the parent reads the file.
TEST_F(LwoBuild, PolygonCornerCountsEndTheProgram) {
  std::string many = std::string(LWDEMO_TESTDATA_DIR "/lightwave/ConcavePolygon.lwo");
  std::string lwo2 = std::string(LWDEMO_TESTDATA_DIR "/lightwave/simple_cube.lwo");
  LwoWriter w = cube(1);
  w.polygons[2].corners.push_back(0);
  std::string five = write(w, "five.lwo");
  w = cube(1);
  w.polygons[5].corners.resize(2);
  std::string two = write(w, "two.lwo");
  for (const std::string &path : {five, many, lwo2, two}) {
    clearlog();
    const bool fewer = path == two;
    EXPECT_EXIT(loadobject(path.c_str(), 1, 1, 1), testing::ExitedWithCode(fewer ? 5 : 2), "");
    EXPECT_EQ(log(), fewer ? "Error in object, contains polys with < 3 verts!!!"
                           : "object: " + path + "\tToo Many points in polygon, Run Triple\n");
  }
}

TEST_F(LwoBuild, PolygonWithoutSurfaceEndsTheProgram) {
  LwoWriter w = cube(1);
  w.polygons[3].surface = -1;  // written as surface number 0
  std::string path = write(w, "surface0.lwo");
  EXPECT_EXIT(
      {
        std::fflush(stdout);
        dup2(fileno(stderr), fileno(stdout));
        loadobject(path.c_str(), 1, 1, 1);
      },
      testing::ExitedWithCode(233), "^test_lwo: .*surface0.lwo: polygon 4 names surface 0, but the object has 1 surface\n"
      "numtmpfaces: 5, numlwofaces 6\n$");
}

}  // namespace
