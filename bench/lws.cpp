// Loading a scene of 200 objects that share 20 object files (spheres of 96 polygons),
// each with a 10-key motion, three lights and a camera: the reader's five passes over
// the file, the look-aheads, and 200 object loads. The scene is released after each
// load so that memory stays flat.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "display/display.h"
#include "lws/lwsreader.h"
#include "tools/writers/writers.h"

namespace {

int makescene() {
  char folder[] = "/tmp/lwsbenchXXXXXX";
  if (mkdtemp(folder) == nullptr || chdir(folder) != 0) return 0;
  for (int f = 0; f < 20; f++) {
    LwoWriter object;
    int surface = lwoaddsurface(&object, "Skin", (uint8_t)(10 * f), 100, 200);
    lwoaddsphere(&object, Vec3{0, 0, 0}, 1.0f + 0.1f * (float)f, 12, 9, surface);
    if (!writelwo(("part" + std::to_string(f) + ".lwo").c_str(), &object)) return 0;
  }
  LwsFileScene scene;
  scene.lastframe = 600;
  for (int i = 0; i < 200; i++) {
    LwsFileObject o;
    o.filename = "part" + std::to_string(i % 20) + ".lwo";
    for (int k = 0; k < 10; k++) {
      LwsFileKey key;
      key.frame = 60 * k;
      key.values[0] = (float)(i % 10) * 3 + (float)k;
      key.values[1] = (float)(i / 10);
      key.values[3] = 36.0f * (float)k;
      o.motion.keys.push_back(key);
    }
    if (i % 4 != 0) o.parent = i - i % 4 + 1;
    scene.objects.push_back(o);
  }
  for (int l = 0; l < 3; l++) {
    LwsFileLight light;
    light.type = l % 2;
    light.motion = lwsstill(0, 10, -10, 0, 30, 0);
    scene.lights.push_back(light);
  }
  scene.camera.motion = lwsstill(0, 5, -40);
  return writelws("bench.lws", scene);
}

// Sends the loader's progress lines and the log to /dev/null while it lives: they would
// fill the report.
struct Quiet {
  FILE *savedlog = errorlog;
  int savedout = -1;
  int devnull = -1;
  Quiet() {
    errorlog = fopen("/dev/null", "w");
    fflush(stdout);
    savedout = dup(1);
    devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
  }
  ~Quiet() {
    fflush(stdout);
    dup2(savedout, 1);
    close(devnull);
    close(savedout);
    fclose(errorlog);
    errorlog = savedlog;
  }
};

void BM_LoadScene200Objects20Files(benchmark::State &state) {
  if (!makescene()) {
    state.SkipWithError("cannot write the scene");
    return;
  }
  Quiet quiet;
  for (auto _ : state) {
    Scene *scene = nullptr;
    if (loadscenecore("bench.lws", 1.0, &scene) != lwsok) {
      state.SkipWithError("scene refused");
      break;
    }
    benchmark::DoNotOptimize(scene);
    releasescene(scene);
  }
}
BENCHMARK(BM_LoadScene200Objects20Files)->Unit(benchmark::kMillisecond);

// The reader alone on the same file: its share of the load.
void BM_ReadScene200Objects(benchmark::State &state) {
  if (!makescene()) {
    state.SkipWithError("cannot write the scene");
    return;
  }
  Quiet quiet;
  for (auto _ : state) {
    LwsScene *lws = nullptr;
    if (readlwsfile("bench.lws", &lws) != lwsok) {
      state.SkipWithError("scene refused");
      break;
    }
    freelws(lws);
  }
}
BENCHMARK(BM_ReadScene200Objects)->Unit(benchmark::kMillisecond);

}  // namespace
