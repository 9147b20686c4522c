// Polygon submission through drawobject: the display's own share (surface state, vertex
// snap and divisions) with the card closed, where the card returns at once, and the whole
// path with the card open, for small quads of a few surfaces. Counter "polygons" is
// polygons per second of wall time (the card may fill on more than one thread).
//
//   build/bench_draw --benchmark_min_time=1
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "display/display.h"
#include "lwo/lwo.h"
#include "platform/glide/glide.h"

namespace {

constexpr int quads = 4000;
constexpr int surfacesper = 4;  // runs of quads/surfacesper polygons share a surface

struct BenchObject {
  SceneObject object;
  MeshSurface surfaces[surfacesper];
  std::vector<MeshVertex> verts;
  std::vector<MeshPolygon> polys;
  std::vector<int32_t> drawlist;
};

void build(BenchObject *b) {
  b->surfaces[1].transparency = 0.5f;
  b->surfaces[2].additive = 1;
  b->surfaces[3].refltexture = 0;
  b->surfaces[3].reflectivity = 0.5f;
  b->verts.resize((size_t)quads * 4);
  b->polys.resize(quads);
  for (int q = 0; q < quads; q++) {
    float x = (float)(q % 80) * 8.0f + 0.3f, y = (float)(q / 80) * 9.0f + 0.7f;
    const float corner[4][2] = {{x, y}, {x + 6, y}, {x + 6, y + 6}, {x, y + 6}};
    MeshPolygon &p = b->polys[(size_t)q];
    p.numcorners = 4;
    p.surface = &b->surfaces[q * surfacesper / quads];
    for (int k = 0; k < 4; k++) {
      MeshVertex &v = b->verts[(size_t)q * 4 + k];
      v.xfpos = Vec3{corner[k][0], corner[k][1], 10.0f + (float)k};
      v.litcolor[0] = v.litcolor[1] = v.litcolor[2] = 200;
      p.corners[k].vertex = (uint16_t)(q * 4 + k);
      p.corners[k].u = p.corners[k].reflu = (float)(k & 1) * 64;
      p.corners[k].v = p.corners[k].reflv = (float)(k >> 1) * 64;
    }
    b->drawlist.push_back(q);
  }
  b->object.verts = b->verts.data();
  b->object.polys = b->polys.data();
  b->object.drawpolys = b->drawlist.data();
  b->object.numdrawpolys = quads;
  b->object.hasreflmap = 1;
}

void drawquads(benchmark::State &state, int cardopen) {
  setenv("LWDEMO_VIDEO", "headless", 1);
  setenv("LWDEMO_PACING", "off", 1);
  static Screen benchscreen;
  benchscreen.driver = 1;
  screen = &benchscreen;
  BenchObject b;
  build(&b);
  if (cardopen) init3d(640, 480, 16, 1);
  for (auto _ : state) drawobject(&b.object);
  // Each quad of the reflective surface is sent twice.
  state.counters["polygons"] = benchmark::Counter(
      (double)state.iterations() * (quads + quads / surfacesper), benchmark::Counter::kIsRate);
  if (cardopen) shutdowndisplay();
}

void BM_SubmitCardClosed(benchmark::State &state) { drawquads(state, 0); }
void BM_SubmitAndFill6x6(benchmark::State &state) { drawquads(state, 1); }
BENCHMARK(BM_SubmitCardClosed)->UseRealTime();
BENCHMARK(BM_SubmitAndFill6x6)->UseRealTime();

}  // namespace
