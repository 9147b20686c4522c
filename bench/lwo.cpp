// Object loading speed. An object may have at most 32767 polygons, so the 100 000-polygon
// file measures the reader (the byte scan, the handlers and the image maps, through
// readlwo from the file) and the largest object that builds measures the whole load.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "lwo/lworeader.h"
#include "tools/writers/writers.h"

namespace {

// A grid of quads split into triangles, on four surfaces: one per image map and one
// plain, so the texture pass sees each kind.
std::string writegrid(int nx, int nz, const char *name) {
  LwoWriter w;
  const char *kinds[3] = {"Planar Image Map", "Cylindrical Image Map", "Spherical Image Map"};
  for (int k = 0; k < 4; k++) {
    int s = lwoaddsurface(&w, ("Part" + std::to_string(k)).c_str(), 100, 150, 200);
    if (k < 3) lwosetimagemap(&w.surfaces[s], kinds[k], "tile.tga", lwoaxisy, {0, 0, 0}, {10, 10, 10});
  }
  lwoaddgrid(&w, -5, -5, 5, 5, nx, nz, 0);
  std::vector<LwoWriterPolygon> quads = w.polygons;
  w.polygons.clear();
  for (size_t k = 0; k < quads.size(); k++) {
    const std::vector<uint16_t> &c = quads[k].corners;
    int s = int(k * 4 / quads.size());
    lwoaddtriangle(&w, c[0], c[1], c[2], s);
    lwoaddtriangle(&w, c[0], c[2], c[3], s);
  }
  std::string path = std::string(P_tmpdir) + "/" + name;
  writelwo(path.c_str(), &w);
  return path;
}

long filesize(const std::string &path) {
  FILE *f = std::fopen(path.c_str(), "rb");
  std::fseek(f, 0, SEEK_END);
  long size = std::ftell(f);
  std::fclose(f);
  return size;
}

// 200 x 250 quads: 100 000 triangles on 50 451 points.
void BM_ReadLwo100k(benchmark::State &state) {
  std::string path = writegrid(200, 250, "bench_lwo_100k.lwo");
  for (auto _ : state) {
    LwoObject *object = readlwo(path.c_str(), 1.0f);
    if (!object || object->numpolygons != 100000) state.SkipWithError("not read");
    freelwo(object);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * filesize(path));
  std::remove(path.c_str());
}
BENCHMARK(BM_ReadLwo100k)->Unit(benchmark::kMillisecond);

// 128 x 127 quads: 32 512 triangles, read and built (normals, box, per-frame room,
// texture names) without the progress lines.
void BM_LoadLwo32k(benchmark::State &state) {
  std::string path = writegrid(128, 127, "bench_lwo_32k.lwo");
  for (auto _ : state) {
    LwoObject *object = readlwo(path.c_str(), 1.0f);
    SceneObject *sceneobject = nullptr;
    LwoFailure failure;
    if (!object || buildobject(object, 1, 1, 1, nullptr, &sceneobject, &failure) != lwook) {
      state.SkipWithError("not built");
      freelwo(object);
      break;
    }
    texturenametable.texturecount = 0;
    registernames(object, sceneobject, &texturenametable, nullptr);
    freesceneobject(sceneobject);
    freelwo(object);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * filesize(path));
  std::remove(path.c_str());
}
BENCHMARK(BM_LoadLwo32k)->Unit(benchmark::kMillisecond);

}  // namespace
