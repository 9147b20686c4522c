// Fuzz target: the tolerant scene reader for classic content on the input itself, then
// the whole tolerant loader on it as a file in a folder of small objects (with an
// Objects/ folder and an object without extension), so that loads reach the path search,
// null objects, triangulation, envelopes and the links.
#include <sys/stat.h>

#include <cstdint>

#include "lws/lwsreader.h"
#include "platform/platform.h"
#include "scenefolder.h"
#include "tools/writers/writers.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  scenefolder::create("fuzz_lwsclassic", [] {
    LwoWriter box;
    lwoaddbox(&box, Vec3{0, 0, 0}, Vec3{1, 1, 1}, lwoaddsurface(&box, "Box", 200, 100, 50));
    // A hexagon and a concave 12-corner polygon, for the triangulation.
    LwoWriter many;
    int surface = lwoaddsurface(&many, "Many", 50, 200, 50);
    LwoWriterPolygon hexagon, plus;
    const float hex[6][2] = {{0, 0}, {2, 0}, {3, 1}, {2, 2}, {0, 2}, {-1, 1}};
    for (int i = 0; i < 6; i++) hexagon.corners.push_back((uint16_t)lwoaddpoint(&many, hex[i][0], hex[i][1], 0));
    const float cross[12][2] = {{1, 0}, {2, 0}, {2, 1}, {3, 1}, {3, 2}, {2, 2},
                                {2, 3}, {1, 3}, {1, 2}, {0, 2}, {0, 1}, {1, 1}};
    for (int i = 0; i < 12; i++) plus.corners.push_back((uint16_t)lwoaddpoint(&many, cross[i][0], 0, cross[i][1]));
    hexagon.surface = plus.surface = surface;
    many.polygons = {hexagon, plus};
    return mkdir("Objects", 0777) == 0 && writelwo("box.lwo", &box) &&
           writelwo("Objects/Many.lwo", &many) && writelwo("Objects/Ball", &box);
  });
  tolerantloading = 1;
  warninglog = errorlog;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  LwsScene *lws = nullptr;
  if (readclassictext("input.lws", (const char *)data, size, &lws) != lwsok) return 0;
  freelws(lws);
  texturenametable.texturecount = 0;
  scenefolder::loadinput(data, size, [] {
    Scene *scene = nullptr;
    if (loadscenecore("input.lws", 1.0, &scene) != lwsok) return;
    // Envelopes at frames on and between their keys.
    for (double frame = -1; frame < 64; frame += 16.5) moveenvelopes(scene, frame);
    releasescene(scene);
  });
  return 0;
}
