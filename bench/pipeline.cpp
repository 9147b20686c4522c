// The per-frame geometry of a 50 000-vertex scene: world planes, hierarchy transform,
// box culling, back faces, lighting with three lights, view transform, clipping and
// projection (preparegeometry: everything renderframe does before drawing).
//
//   cmake --build build --target bench_pipeline && ./build/bench_pipeline
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "app/app.h"
#include "display/display.h"
#include "lws/lws.h"
#include "pipeline/pipeline.h"

namespace {

constexpr int rings = 25, segments = 40;  // 1000 vertices per sphere
constexpr int spheres = 50;               // 50 000 vertices in all

// One sphere of radius 1 with storage sized as the object loader sizes it.
struct Sphere {
  SceneObject object;
  MeshSurface surface;
  std::vector<Vec3> normals, xformnormals;
  std::vector<MeshVertex> verts;
  std::vector<MeshPolygon> polys;
  std::vector<uint8_t> outcodes;
  std::vector<int32_t> front, cross, draw;
};

std::unique_ptr<Sphere> makesphere(float x, float y, float z) {
  auto s = std::make_unique<Sphere>();
  s->surface.red = 180;
  s->surface.green = 140;
  s->surface.blue = 90;
  s->surface.specular = 0.4f;
  s->surface.gloss = 0.25f;
  const int nv = rings * segments, np = (rings - 1) * segments;
  s->normals.resize(nv);
  s->xformnormals.resize(nv);
  s->verts.resize((size_t)clipvertsper * nv);
  s->polys.resize((size_t)clippolysper * np);
  s->outcodes.resize(nv);
  s->front.resize((size_t)clippolysper * np);
  s->cross.resize((size_t)clippolysper * np);
  s->draw.resize((size_t)clippolysper * np);
  for (int i = 0; i < rings; i++)
    for (int j = 0; j < segments; j++) {
      double theta = M_PI * i / (rings - 1), phi = 2 * M_PI * j / segments;
      Vec3 p{(float)(sin(theta) * cos(phi)), (float)cos(theta), (float)(sin(theta) * sin(phi))};
      MeshVertex &v = s->verts[i * segments + j];
      v.objpos = p;
      v.surface = &s->surface;
      v.normalindex = i * segments + j;
      s->normals[i * segments + j] = p;
    }
  for (int i = 0; i + 1 < rings; i++)
    for (int j = 0; j < segments; j++) {
      int k[4] = {i * segments + j, i * segments + (j + 1) % segments, (i + 1) * segments + (j + 1) % segments,
                  (i + 1) * segments + j};
      // Outward faces must pass the back-face test from outside: turn the corner order
      // round when its (P0 - P1) x (P2 - P1) points outwards.
      const Vec3 &a = s->verts[k[0]].objpos, &b = s->verts[k[1]].objpos, &c = s->verts[k[2]].objpos;
      double ux = a.x - b.x, uy = a.y - b.y, uz = a.z - b.z, wx = c.x - b.x, wy = c.y - b.y, wz = c.z - b.z;
      double nx = uy * wz - uz * wy, ny = uz * wx - ux * wz, nz = ux * wy - uy * wx;
      if (nx * b.x + ny * b.y + nz * b.z > 0) std::swap(k[1], k[3]);
      MeshPolygon &p = s->polys[i * segments + j];
      p.numcorners = 4;
      p.surface = &s->surface;
      for (int q = 0; q < 4; q++) p.corners[q].vertex = (uint16_t)k[q];
    }
  SceneObject &o = s->object;
  o.numverts = o.numnormals = nv;
  o.numpolys = np;
  o.normals = s->normals.data();
  o.xformnormals = s->xformnormals.data();
  o.verts = s->verts.data();
  o.polys = s->polys.data();
  o.surfaces = &s->surface;
  o.numsurfaces = 1;
  o.vertoutcodes = s->outcodes.data();
  o.frontpolys = s->front.data();
  o.crosspolys = s->cross.data();
  o.drawpolys = s->draw.data();
  for (int k = 0; k < 8; k++) o.bbox[k] = {(k & 2) ? 1.0f : -1.0f, (k & 4) ? 1.0f : -1.0f, (k & 1) ? 1.0f : -1.0f};
  o.posx = x;
  o.posy = y;
  o.posz = z;
  return s;
}

void setcamera(SceneCamera &c) {
  setfieldofview(&c, 90);
  setupviewplanes(&c);
  camerafromangles(&c, 0, 0, 0);
}

void BM_FrameGeometry(benchmark::State &state) {
  static Screen benchscreen;
  benchscreen.width = 640;
  benchscreen.height = 480;
  benchscreen.centerx = 320;
  benchscreen.centery = 240;
  screen = &benchscreen;
  clipplanecount = 6;
  ambientcolor[0] = ambientcolor[1] = ambientcolor[2] = 0.1f;

  // Ten columns by five rows receding from depth 2 to depth 40: most in view, some
  // crossing the side planes, the nearest cut by the near plane, a few culled.
  std::vector<std::unique_ptr<Sphere>> all;
  std::vector<SceneObject *> objects;
  for (int k = 0; k < spheres; k++) {
    float z = 2.0f + 0.8f * k;
    float x = ((float)(k % 10) - 4.5f) * 0.25f * z;
    float y = ((float)(k / 10) - 2.0f) * 0.3f * z;
    all.push_back(makesphere(x, y, z));
    objects.push_back(&all.back()->object);
  }
  SceneLight sun, lamp, fill;
  sun.isdistant = 1;
  sun.direction = {0.3f, -0.8f, 0.52f};
  sun.color[0] = sun.color[1] = sun.color[2] = 0.8f;
  lamp.position = {0, 5, 10};
  lamp.falloffon = 1;
  lamp.falloffrange = 30;
  lamp.color[0] = 1;
  lamp.color[1] = 0.6f;
  fill.position = {-10, 0, 0};
  fill.color[2] = 0.5f;
  SceneLight *lights[3] = {&sun, &lamp, &fill};
  SceneCamera camera;
  setcamera(camera);
  Scene scene;
  scene.camera = &camera;
  scene.objects = objects.data();
  scene.numobjects = (uint16_t)objects.size();
  scene.lights = lights;
  scene.numlights = 3;

  int frame = 0;
  for (auto _ : state) {
    for (SceneObject *o : objects) o->rotheading = (float)(frame % 360);
    preparegeometry(&scene);
    benchmark::ClobberMemory();
    frame++;
  }
  long drawn = 0, clipped = 0;
  for (SceneObject *o : objects) {
    drawn += o->numdrawpolys;
    clipped += o->numclippolys;
  }
  state.counters["drawpolys"] = (double)drawn;
  state.counters["clippolys"] = (double)clipped;
  state.counters["Mverts/s"] =
      benchmark::Counter((double)spheres * rings * segments * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FrameGeometry)->Unit(benchmark::kMillisecond);

}  // namespace
