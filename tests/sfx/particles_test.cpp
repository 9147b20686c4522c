#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "display/display.h"
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
  m->frontpolys = array<int32_t>(18);
  m->crosspolys = array<int32_t>(18);
  m->drawpolys = array<int32_t>(18);
  m->surfaces = array<MeshSurface>(2);
  m->numsurfaces = 2;
  for (int i = 0; i < 8; i++)
    m->bbox[i] = Vec3{(i & 2) ? 0.5f : -0.5f, (i & 4) ? 0.5f : -0.5f, (i & 1) ? 0.5f : -0.5f};
  MotionKey k[8];
  for (int i = 0; i < numkeys; i++) {
    for (int c = 0; c < 3; c++) k[i].values[c] = keys[i][c];
    k[i].frame = 10 * i;
  }
  LwsMotion lws{k, numkeys, 1};
  EXPECT_EQ(getlwsmotion(&lws, &m->motion, 1.0f), 1);
  return m;
}

void freemesh(SceneObject *m) {
  free(m->verts);
  free(m->normals);
  free(m->xformnormals);
  free(m->vertoutcodes);
  free(m->polys);
  free(m->frontpolys);
  free(m->crosspolys);
  free(m->drawpolys);
  free(m->surfaces);
  free(m->motion.keys);
  free(m);
}

const float stillkeys[1][3] = {{0, 0, 0}};

class Particles : public FolderTest {
 protected:
  void SetUp() override {
    FolderTest::SetUp();
    sfx.sfxtype = 1;
    sfx.numparticles = 20;
    sfx.quadwidth = 2;
    sfx.quadheight = 1;
    sfx.lifetime = 10;
    sfx.birthcolor[0] = 200;
    sfx.birthcolor[1] = 100;
    sfx.birthcolor[2] = 50;
    sfx.deathcolor[0] = 0;
    sfx.deathcolor[1] = 20;
    sfx.deathcolor[2] = 250;
    sfx.mesh = makemesh(stillkeys, 1);
  }
  void TearDown() override {
    freemesh(sfx.mesh);
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
  EXPECT_EQ(m->numverts, 0);
  EXPECT_EQ(m->numpolys, 0);
  EXPECT_EQ(m->numnormals, 1);
  EXPECT_EQ(m->surfaces[0].additive, 1);
  EXPECT_EQ(m->surfaces[1].additive, 0);
  EXPECT_EQ(sfx.restartpending, 0);
  for (int i = 0; i < sfx.numparticles; i++) {
    EXPECT_EQ(sfx.particles[i].life, 0);
    EXPECT_EQ(sfx.particles[i].birthframe, -1000000.0f);
  }
  // One square of the effect's size around each particle, the whole image on it.
  const float corners[4][2] = {{-1, 0.5f}, {1, 0.5f}, {1, -0.5f}, {-1, -0.5f}};
  const float texels[4][2] = {{0, 0}, {255, 0}, {255, 255}, {0, 255}};
  for (int k = 0; k < 4; k++) {
    EXPECT_EQ(sfx.quadcorners[k].objpos.x, corners[k][0]);
    EXPECT_EQ(sfx.quadcorners[k].objpos.y, corners[k][1]);
    EXPECT_EQ(sfx.quadtemplate.corners[k].u, texels[k][0]);
    EXPECT_EQ(sfx.quadtemplate.corners[k].v, texels[k][1]);
  }
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
    EXPECT_EQ(m->verts, verts);
    EXPECT_EQ(m->numverts, 8);
    EXPECT_EQ(sfx.particles, nullptr);
  }
  sfx.mesh = nullptr;
  EXPECT_EQ(setupparticles(&sfx), 0);
  sfx.mesh = m;
  // A refused system stays empty if the frames reach it anyway.
  updateparticles(&sfx, 1, 0, 0, 0);
  buildparticlemesh(&sfx);
  EXPECT_EQ(m->numpolys, 0);
  // A type that is never updated does not need a lifetime.
  m->numsurfaces = 2;
  sfx.sfxtype = 2;
  sfx.numparticles = 5;
  sfx.lifetime = 0;
  EXPECT_EQ(setupparticles(&sfx), 1);
  sfx.sfxtype = 1;
  // The largest count that fits is accepted.
  m->numsurfaces = 2;
  sfx.numparticles = 409;
  sfx.lifetime = 10;
  sfx.randfactor = 0;
  EXPECT_EQ(setupparticles(&sfx), 1);
}

TEST_F(Particles, LifeColourAndFreeing) {
  ASSERT_EQ(setupparticles(&sfx), 1);
  updateparticles(&sfx, 100, 1, 2, 3);
  Particle &p = sfx.particles[0];
  EXPECT_EQ(p.life, 1.0f);
  EXPECT_EQ(p.birthframe, 100.0f);
  EXPECT_EQ(p.color[0], 200);
  updateparticles(&sfx, 101, 1, 2, 3);
  EXPECT_FLOAT_EQ(p.life, 0.9f);
  EXPECT_EQ(p.color[2], 50);  // the colour lags: still from life 1.0
  updateparticles(&sfx, 102, 1, 2, 3);
  EXPECT_FLOAT_EQ(p.color[0], 200 * 0.9f);
  EXPECT_FLOAT_EQ(p.color[1], 80 * 0.9f + 20);
  EXPECT_FLOAT_EQ(p.color[2], -200 * 0.9f + 250);
  for (int f = 103; f <= 109; f++) updateparticles(&sfx, (float)f, 1, 2, 3);
  EXPECT_GT(p.life, 0);
  EXPECT_EQ(living(), 10);
  updateparticles(&sfx, 110, 1, 2, 3);
  EXPECT_LE(p.life, 0);  // freed at the update of frame 110 ...
  EXPECT_FLOAT_EQ(p.color[0], 200 * 0.1f);  // ... its colour last computed with life 0.1
  EXPECT_FLOAT_EQ(p.color[1], 80 * 0.1f + 20);
  EXPECT_FLOAT_EQ(p.color[2], -200 * 0.1f + 250);
  // Slot 0 freed during this walk; the birth went to the next free slot.
  EXPECT_EQ(sfx.particles[10].birthframe, 110.0f);
  EXPECT_EQ(living(), 10);
  // The next birth takes the lowest free slot.
  updateparticles(&sfx, 111, 1, 2, 3);
  EXPECT_EQ(p.birthframe, 111.0f);
  EXPECT_EQ(p.life, 1.0f);
  EXPECT_EQ(sfx.particles[11].life, 0);
}

TEST_F(Particles, NoBirthWhileEverySlotIsBusy) {
  sfx.numparticles = 3;
  ASSERT_EQ(setupparticles(&sfx), 1);
  for (int f = 1; f <= 5; f++) updateparticles(&sfx, (float)f, 0, 0, 0);
  EXPECT_EQ(living(), 3);
  EXPECT_EQ(sfx.particles[0].birthframe, 1.0f);
  EXPECT_EQ(sfx.particles[2].birthframe, 3.0f);
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
      EXPECT_FLOAT_EQ(p.position[0], 10 + expected[f]) << "round " << round;
      EXPECT_FLOAT_EQ(p.position[1], 20 + expected[f]);
      EXPECT_FLOAT_EQ(p.position[2], 30 + expected[f]);
    }
    sfxrand();  // another effect drawing in between changes nothing after a restart
    sfx.restartpending = 1;
    updateparticles(&sfx, 80, 10, 20, 30);
    EXPECT_EQ(sfx.restartpending, 0);
    EXPECT_EQ(living(), 1);
    EXPECT_FLOAT_EQ(sfx.particles[0].position[0], 10 + expected[0]);
    sfx.restartpending = 1;
  }
  sfx.randfactor = 0;
  updateparticles(&sfx, 90, 10, 20, 30);
  EXPECT_EQ(sfx.particles[0].position[0], 10);
}

TEST_F(Particles, OtherTypesShowNothing) {
  sfx.sfxtype = 2;
  ASSERT_EQ(setupparticles(&sfx), 1);
  for (int f = 1; f < 5; f++) {
    updateparticles(&sfx, (float)f, 0, 0, 0);
    buildparticlemesh(&sfx);
  }
  EXPECT_EQ(living(), 0);
  EXPECT_EQ(sfx.mesh->numpolys, 0);
  EXPECT_EQ(sfx.mesh->numverts, 0);
}

TEST_F(Particles, MeshHoldsOneSquarePerLivingParticle) {
  sfx.numparticles = 5;
  sfx.lifetime = 3;
  sfx.randfactor = 1;
  ASSERT_EQ(setupparticles(&sfx), 1);
  SceneObject *m = sfx.mesh;
  for (int f = 1; f <= 7; f++) {
    updateparticles(&sfx, (float)f, (float)f, 0, 0);
    buildparticlemesh(&sfx);
    ASSERT_EQ(m->numpolys, living());
    ASSERT_EQ(m->numverts, 4 * living());
    int q = 0;
    for (int i = 0; i < sfx.numparticles; i++) {
      const Particle &p = sfx.particles[i];
      if (!(p.life > 0)) continue;
      const MeshPolygon &poly = m->polys[q];
      EXPECT_EQ(poly.numcorners, 4);
      for (int k = 0; k < 4; k++) {
        EXPECT_EQ(poly.corners[k].vertex, 4 * q + k);
        EXPECT_EQ(poly.corners[k].u, sfx.quadtemplate.corners[k].u);
        const MeshVertex &v = m->verts[4 * q + k];
        EXPECT_FLOAT_EQ(v.objpos.x, p.position[0] + sfx.quadcorners[k].objpos.x);
        EXPECT_FLOAT_EQ(v.objpos.y, p.position[1] + sfx.quadcorners[k].objpos.y);
        EXPECT_FLOAT_EQ(v.objpos.z, p.position[2]);
        EXPECT_EQ(v.basecolor[1], p.color[1]);
        EXPECT_EQ(v.surface, &m->surfaces[0]);
      }
      q++;
    }
  }
}

// Every square the system can draw lies inside the box that culls it: the spline
// swings past its keys here, frames before the first key extrapolate, and the birth
// spread is larger than the squares.
TEST_F(Particles, BoxCoversTheFlightPath) {
  freemesh(sfx.mesh);
  const float keys[5][3] = {{0, 0, 0}, {10, 0, 5}, {10.5f, 8, 5}, {-6, 8, -4}, {-6, -3, 2}};
  struct Range {
    int start, end, firstdrawn;
  } ranges[] = {{-21, 61, -20}, {-1, 2000000000, 0}};
  for (const Range &r : ranges) {
    sfx.mesh = makemesh(keys, 5);
    sfx.numparticles = 60;
    sfx.lifetime = 50;
    sfx.randfactor = 3;
    sfx.rangestart = r.start;
    sfx.rangeend = r.end;
    ASSERT_EQ(setupparticles(&sfx), 1);
    SceneObject *m = sfx.mesh;
    const Vec3 lo = m->bbox[0], hi = m->bbox[7];
    // The object file's own box is kept inside.
    EXPECT_LE(lo.x, -0.5f);
    EXPECT_GE(hi.z, 0.5f);
    for (int i = 0; i < 8; i++) {
      EXPECT_EQ(m->bbox[i].x, (i & 2) ? hi.x : lo.x);
      EXPECT_EQ(m->bbox[i].y, (i & 4) ? hi.y : lo.y);
      EXPECT_EQ(m->bbox[i].z, (i & 1) ? hi.z : lo.z);
    }
    Pose pose;
    for (int f = r.firstdrawn; f <= 60; f++) {
      evalmotion(&m->motion, &pose, f);
      updateparticles(&sfx, (float)f, pose.values[0], pose.values[1], pose.values[2]);
      buildparticlemesh(&sfx);
      for (int i = 0; i < m->numverts; i++) {
        const Vec3 &p = m->verts[i].objpos;
        ASSERT_TRUE(p.x >= lo.x && p.x <= hi.x && p.y >= lo.y && p.y <= hi.y && p.z >= lo.z &&
                    p.z <= hi.z)
            << "frame " << f << " vertex " << i << " at " << p.x << " " << p.y << " " << p.z;
      }
    }
    freemesh(sfx.mesh);
    free(sfx.particles);
    sfx.particles = nullptr;
  }
  sfx.mesh = makemesh(stillkeys, 1);  // for the fixture to free
}

}  // namespace
