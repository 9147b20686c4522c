#include <cmath>
#include <cstdlib>
#include <tuple>

#include "lws/motion.h"
#include "sfx/sfx.h"
#include "testutil.h"

namespace {

template <typename T>
T *array(int n) {
  T *a = (T *)malloc(sizeof(T) * (size_t)n);
  for (int i = 0; i < n; i++) a[i] = T{};
  return a;
}

// A mesh as the object loader leaves it: a few vertices and polygons, one surface, a
// unit box, and a motion with the given key positions (x, y, z per key, frames 0, 10,
// 20, ...).
SceneObject *makemesh(const float (*keys)[3], int numkeys) {
  SceneObject *m = array<SceneObject>(1);
  m->numverts = m->numnormals = 8;
  m->numpolys = 6;
  m->verts = array<MeshVertex>(20 * 8);
  m->normals = array<Vec3>(8);
  m->xformnormals = array<Vec3>(8);
  m->vertoutcodes = array<uint8_t>(8);
  m->polys = array<MeshPolygon>(18);
  for (int32_t **list : {&m->frontpolys, &m->crosspolys, &m->drawpolys}) *list = array<int32_t>(18);
  m->surfaces = array<MeshSurface>(2);
  m->numsurfaces = 2;
  for (int i = 0; i < 8; i++)
    m->bbox[i] = Vec3{(i & 2) ? 0.5f : -0.5f, (i & 4) ? 0.5f : -0.5f, (i & 1) ? 0.5f : -0.5f};
  MotionKey k[8];
  for (int i = 0; i < numkeys; i++) k[i] = {.values = {keys[i][0], keys[i][1], keys[i][2]}, .frame = 10 * i};
  LwsMotion lws{k, numkeys, 1};
  EXPECT_EQ(getlwsmotion(&lws, &m->motion, 1.0f), 1);
  return m;
}

const float stillkeys[1][3] = {{0, 0, 0}};

class Particles : public FolderTest {
 protected:
  void SetUp() override {
    FolderTest::SetUp();
    sfx = SfxObject{.sfxtype = 1, .numparticles = 20, .quadwidth = 2, .quadheight = 1, .lifetime = 10,
                    .birthcolor = {200, 100, 50}, .deathcolor = {0, 20, 250}, .quadtemplate = {}, .quadcorners = {}, .mesh = makemesh(stillkeys, 1)};
  }
  void TearDown() override {
    freesceneobject(sfx.mesh);
    free(sfx.particles);
    FolderTest::TearDown();
  }
  int living() {
    int n = 0;
    for (int i = 0; i < sfx.numparticles; i++) n += sfx.particles[i].life > 0;
    return n;
  }
  SfxObject sfx;
};

TEST_F(Particles, SetUpReplacesTheMeshStorage) {
  ASSERT_EQ(setupparticles(&sfx), 1);
  SceneObject *m = sfx.mesh;
  EXPECT_EQ(std::vector<int>({m->numverts, m->numpolys, m->numnormals, m->surfaces[0].additive, m->surfaces[1].additive,
                              sfx.restartpending}), std::vector<int>({0, 0, 1, 1, 0, 0}));
  for (int i = 0; i < sfx.numparticles; i++)
    EXPECT_EQ(std::pair(sfx.particles[i].life, sfx.particles[i].birthframe), std::pair(0.0f, -1000000.0f));
  // One square of the effect's size around each particle, the whole image on it: corner
  // x, y and texel u, v.
  std::vector<float> quad;
  for (int k = 0; k < 4; k++)
    quad.insert(quad.end(), {sfx.quadcorners[k].objpos.x, sfx.quadcorners[k].objpos.y, sfx.quadtemplate.corners[k].u,
                             sfx.quadtemplate.corners[k].v});
  EXPECT_EQ(quad, std::vector<float>({-1, 0.5f, 0, 0, 1, 0.5f, 255, 0, 1, -0.5f, 255, 255, -1, -0.5f, 0, 255}));
  // The clipper's room is usable to its last entry (the sanitizer build checks this).
  m->verts[160 * 20 - 1].untouched = 1;
  m->polys[3 * 20 - 1].numcorners = 3;
  m->drawpolys[3 * 20 - 1] = 0;
  m->vertoutcodes[4 * 20 - 1] = 1;
}

TEST_F(Particles, SetUpRefusesWhatTheFramesCannotServe) {
  SceneObject *m = sfx.mesh;
  MeshVertex *verts = m->verts;
  struct Case {
    int numparticles;
    float lifetime;
    float randfactor;
    int numsurfaces;
    const char *logged;
  } cases[] = {
      {0, 10, 0, 2, "0 particles, room for 1 to 409"},
      {-5, 10, 0, 2, "-5 particles"},
      {410, 10, 0, 2, "410 particles"},  // 410 * 160 vertices pass the 16-bit indices
      {20, 0, 0, 2, "lifetime"},
      {20, -3, 0, 2, "lifetime"},
      {20, NAN, 0, 2, "lifetime"},
      {20, 10, INFINITY, 2, "not a finite number"},
      {20, 10, 0, 0, "no surface"},
  };
  for (const Case &c : cases) {
    sfx.numparticles = c.numparticles;
    sfx.lifetime = c.lifetime;
    sfx.randfactor = c.randfactor;
    m->numsurfaces = c.numsurfaces;
    long before = (long)logtext().size();
    EXPECT_EQ(setupparticles(&sfx), 0) << c.logged;
    std::string added = logtext().substr((size_t)before);
    EXPECT_NE(added.find("Particle set-up refused"), std::string::npos) << added;
    EXPECT_NE(added.find(c.logged), std::string::npos) << added;
    // Nothing lost: the mesh is as the object file gave it.
    EXPECT_EQ(std::tuple(m->verts, m->numverts, sfx.particles), std::tuple(verts, 8, nullptr));
  }
  sfx.mesh = nullptr;
  EXPECT_EQ(setupparticles(&sfx), 0);
  sfx.mesh = m;
  // A refused system stays empty if the frames reach it anyway.
  updateparticles(&sfx, 1, 0, 0, 0);
  buildparticlemesh(&sfx);
  EXPECT_EQ(m->numpolys, 0);
  // A type that is never updated does not need a lifetime; the largest count that fits
  // is accepted.
  m->numsurfaces = 2;
  sfx.randfactor = 0;
  for (auto [type, count, lifetime] : {std::tuple(2, 5, 0.0f), std::tuple(1, 409, 10.0f)}) {
    sfx.sfxtype = type;
    sfx.numparticles = count;
    sfx.lifetime = lifetime;
    EXPECT_EQ(setupparticles(&sfx), 1) << count;
  }
}

// No birth while every slot is busy; types other than 1 never show a particle.
TEST_F(Particles, NoBirthWhileEverySlotIsBusyAndOtherTypesShowNothing) {
  sfx.numparticles = 3;
  ASSERT_EQ(setupparticles(&sfx), 1);
  for (int f = 1; f <= 5; f++) updateparticles(&sfx, (float)f, 0, 0, 0);
  EXPECT_EQ(std::tuple(living(), sfx.particles[0].birthframe, sfx.particles[2].birthframe), std::tuple(3, 1.0f, 3.0f));
  sfx.sfxtype = 2;
  ASSERT_EQ(setupparticles(&sfx), 1);
  for (int f = 1; f < 5; f++) {
    updateparticles(&sfx, (float)f, 0, 0, 0);
    buildparticlemesh(&sfx);
  }
  EXPECT_EQ(std::tuple(living(), sfx.mesh->numpolys, sfx.mesh->numverts), std::tuple(0, 0, 0));
}

// Birth offsets follow the generator seeded with the particle count, and a restart
// starts that sequence again with an empty system.
TEST_F(Particles, BirthOffsetsAndRestart) {
  sfx.randfactor = 4;
  ASSERT_EQ(setupparticles(&sfx), 1);
  uint32_t seed = (uint32_t)sfx.numparticles;
  float expected[5];
  for (float &e : expected) {
    seed = seed * 214013u + 2531011u;
    int r = (int)((seed >> 16) & 0x7FFF);
    e = 4.0f * (float)((r % 256) - 128) / 128.0f;
  }
  for (int round = 0; round < 2; round++) {
    for (int f = 0; f < 5; f++) {
      updateparticles(&sfx, (float)(50 + f), 10, 20, 30);
      const Particle &p = sfx.particles[f];
      for (int c = 0; c < 3; c++) EXPECT_FLOAT_EQ(p.position[c], 10 * (c + 1) + expected[f]) << "round " << round;
    }
    sfxrand();  // another effect drawing in between changes nothing after a restart
    sfx.restartpending = 1;
    updateparticles(&sfx, 80, 10, 20, 30);
    EXPECT_EQ(std::pair(+sfx.restartpending, living()), std::pair(0, 1));
    EXPECT_FLOAT_EQ(sfx.particles[0].position[0], 10 + expected[0]);
    sfx.restartpending = 1;
  }
  sfx.randfactor = 0;
  updateparticles(&sfx, 90, 10, 20, 30);
  EXPECT_EQ(sfx.particles[0].position[0], 10);
}

// Every square the system can draw lies inside the box that culls it: the spline
// swings past its keys here, frames before the first key extrapolate, and the birth
// spread is larger than the squares.
TEST_F(Particles, BoxCoversTheFlightPath) {
  freesceneobject(sfx.mesh);
  const float keys[5][3] = {{0, 0, 0}, {10, 0, 5}, {10.5f, 8, 5}, {-6, 8, -4}, {-6, -3, 2}};
  struct Range {
    int start, end, firstdrawn;
  } ranges[] = {{-21, 61, -20}, {-1, 2000000000, 0}};
  for (const Range &r : ranges) {
    sfx = SfxObject{.sfxtype = 1, .numparticles = 60, .quadwidth = 2, .quadheight = 1, .lifetime = 50,
                    .rangestart = r.start, .rangeend = r.end, .randfactor = 3, .quadtemplate = {}, .quadcorners = {}, .mesh = makemesh(keys, 5)};
    ASSERT_EQ(setupparticles(&sfx), 1);
    SceneObject *m = sfx.mesh;
    const Vec3 lo = m->bbox[0], hi = m->bbox[7];
    // The object file's own box is kept inside.
    EXPECT_LE(lo.x, -0.5f);
    EXPECT_GE(hi.z, 0.5f);
    for (int i = 0; i < 8; i++)
      EXPECT_EQ(std::tuple(m->bbox[i].x, m->bbox[i].y, m->bbox[i].z),
                std::tuple((i & 2) ? hi.x : lo.x, (i & 4) ? hi.y : lo.y, (i & 1) ? hi.z : lo.z));
    Pose pose;
    for (int f = r.firstdrawn; f <= 60; f++) {
      evalmotion(&m->motion, &pose, f);
      updateparticles(&sfx, (float)f, pose.values[0], pose.values[1], pose.values[2]);
      buildparticlemesh(&sfx);
      for (int i = 0; i < m->numverts; i++) {
        const Vec3 &p = m->verts[i].objpos;
        ASSERT_TRUE(p.x >= lo.x && p.x <= hi.x && p.y >= lo.y && p.y <= hi.y && p.z >= lo.z && p.z <= hi.z)
            << "frame " << f << " vertex " << i << " at " << p.x << " " << p.y << " " << p.z;
      }
    }
    freesceneobject(sfx.mesh);
    free(sfx.particles);
    sfx.particles = nullptr;
  }
  sfx.mesh = makemesh(stillkeys, 1);  // for the fixture to free
}

}  // namespace
