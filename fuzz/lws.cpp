// Fuzz target: the scene reader on the input itself, then the whole scene loader on it
// as a file in a folder of small objects, so that loads reach the object loader, the
// effects and the links. The cores are called: they return what the public functions
// would end the process for.
#include <cstdint>

#include "lws/lwsreader.h"
#include "scenefolder.h"
#include "tools/writers/writers.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  scenefolder::create("fuzz_lws", [] {
    LwoWriter box;
    int surface = lwoaddsurface(&box, "Box", 200, 100, 50);
    lwoaddbox(&box, Vec3{0, 0, 0}, Vec3{1, 1, 1}, surface);
    LwoWriter ball;
    surface = lwoaddsurface(&ball, "Ball", 50, 200, 50);
    lwoaddsphere(&ball, Vec3{0, 0, 0}, 1, 6, 4, surface);
    LwoWriter spark;
    surface = lwoaddsurface(&spark, "Spark", 255, 255, 255);
    lwoaddquad(&spark, lwoaddpoint(&spark, -1, -1, 0), lwoaddpoint(&spark, -1, 1, 0),
               lwoaddpoint(&spark, 1, 1, 0), lwoaddpoint(&spark, 1, -1, 0), surface);
    // "NullObject" serves the seeds' AddNullObject lines, which name an object file too.
    return writelwo("box.lwo", &box) && writelwo("ball.lwo", &ball) &&
           writelwo("spark.lwo", &spark) && writelwo("NullObject", &box);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  LwsScene *lws = nullptr;
  // A file the reader refuses is refused by the loader in the same way: only files the
  // reader takes are worth the object loads.
  if (readlwstext("input.lws", (const char *)data, size, &lws) != lwsok) return 0;
  freelws(lws);
  scenefolder::loadinput(data, size, [] {
    Scene *scene = nullptr;
    if (loadscenecore("input.lws", 1.0, &scene) == lwsok) releasescene(scene);
  });
  return 0;
}
