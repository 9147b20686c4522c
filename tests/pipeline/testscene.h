// Hand-built objects, cameras and scenes for the geometry pipeline's tests, with storage
// sized exactly as the object loader sizes it, so that a write past the clipper's room
// is a heap overflow the sanitizer build reports.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <tuple>
#include <vector>

#include "app/app.h"
#include "display/display.h"
#include "lws/lws.h"
#include "pipeline/pipeline.h"
#include "sfx/sfx.h"
#include "testutil.h"

struct TestMesh {
  SceneObject object;
  std::vector<MeshSurface> surfaces;
  std::vector<Vec3> normals, xformnormals;
  std::vector<MeshVertex> verts;
  std::vector<MeshPolygon> polys;
  std::vector<uint8_t> outcodes;
  std::vector<int32_t> front, cross, draw;
};

// One surface for every polygon; each point becomes its own vertex with the given
// normal; corner k of a polygon gets (u, v) = (10 k, 20 k).
inline std::unique_ptr<TestMesh> makemesh(const std::vector<Vec3> &points,
                                          const std::vector<std::vector<int>> &polygons,
                                          const MeshSurface &surface = MeshSurface{},
                                          Vec3 normal = {0, 0, -1}) {
  auto m = std::make_unique<TestMesh>();
  SceneObject &o = m->object;
  const int nv = (int)points.size(), np = (int)polygons.size();
  m->surfaces.assign(1, surface);
  m->normals.assign(nv, normal);
  m->xformnormals.assign(nv, Vec3{});
  m->verts.assign((size_t)clipvertsper * nv, MeshVertex{});
  m->polys.assign((size_t)clippolysper * np, MeshPolygon{});
  m->outcodes.assign(nv, 0);
  for (std::vector<int32_t> *list : {&m->front, &m->cross, &m->draw}) list->assign((size_t)clippolysper * np, 0);
  MeshSurface *s = m->surfaces.data();
  for (int i = 0; i < nv; i++) {
    MeshVertex &v = m->verts[i];
    v.objpos = points[i];
    v.surface = s;
    std::tie(v.basecolor[0], v.basecolor[1], v.basecolor[2]) = std::tie(s->red, s->green, s->blue);
    v.normalindex = i;
  }
  for (int i = 0; i < np; i++) {
    MeshPolygon &p = m->polys[i];
    p.numcorners = (uint16_t)polygons[i].size();
    for (size_t k = 0; k < polygons[i].size(); k++) {
      p.corners[k].vertex = (uint16_t)polygons[i][k];
      p.corners[k].u = 10.0f * (float)k;
      p.corners[k].v = 20.0f * (float)k;
    }
    p.surface = s;
  }
  o.numverts = o.numnormals = nv;
  o.numpolys = np;
  o.normals = m->normals.data();
  o.xformnormals = m->xformnormals.data();
  o.verts = m->verts.data();
  o.polys = m->polys.data();
  o.surfaces = s;
  o.numsurfaces = 1;
  o.vertoutcodes = m->outcodes.data();
  o.frontpolys = m->front.data();
  o.crosspolys = m->cross.data();
  o.drawpolys = m->draw.data();
  Vec3 lo = nv ? points[0] : Vec3{}, hi = lo;
  for (const Vec3 &p : points) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  for (int k = 0; k < 8; k++)
    o.bbox[k] = {(k & 2) ? hi.x : lo.x, (k & 4) ? hi.y : lo.y, (k & 1) ? hi.z : lo.z};
  return m;
}

// A camera for the 640 x 480 test screen with a 90-degree field of view (projdistance
// 320), turned by the angles and standing at pos; the screen must be set.
inline void setcamera(SceneCamera &c, Vec3 pos, float pitch = 0, float heading = 0, float bank = 0) {
  c.position = pos;
  setfieldofview(&c, 90);
  setupviewplanes(&c);
  camerafromangles(&c, pitch, heading, bank);
}

inline SceneLight distantlight(Vec3 direction, float r = 1, float g = 1, float b = 1) {
  SceneLight l;
  l.isdistant = 1;
  l.direction = direction;
  std::tie(l.color[0], l.color[1], l.color[2]) = std::tie(r, g, b);
  return l;
}

// A scene of the given objects, lights and effects around one camera.
struct TestScene {
  Scene scene;
  SceneCamera camera;
  std::vector<SceneObject *> objects;
  std::vector<SceneLight *> lights;
  std::vector<SfxObject *> sfx;
  void finish() {
    scene.camera = &camera;
    scene.objects = objects.data();
    scene.numobjects = (uint16_t)objects.size();
    scene.lights = lights.data();
    scene.numlights = (uint16_t)lights.size();
    scene.sfxobjects = sfx.empty() ? nullptr : sfx.data();
    scene.numsfxobjects = (uint16_t)sfx.size();
  }
};

// Resets the process-wide values the pipeline reads; the log goes to the test's own file.
class PipelineTest : public FolderTest {
 protected:
  Screen testscreen{480, 640, 0, 320, 240, 0};
  void SetUp() override {
    FolderTest::SetUp();
    screen = &testscreen;
    clipplanecount = 6;
    swapinterval = 1;
    currentframe = 0;
  }
};

// Inside test of one camera-space point against a plane, with room for the float
// rounding of clipper vertices.
inline bool insideplane(const Plane &p, const Vec3 &v) {
  double dist = (double)p.normal.x * v.x + (double)p.normal.y * v.y + (double)p.normal.z * v.z;
  double scale = 1.0 + std::fabs(v.x) + std::fabs(v.y) + std::fabs(v.z);
  return dist >= p.distance - 1e-5 * scale;
}
