// Fuzz target: the scene reader on the input itself, then the whole scene loader on it
// as a file in a folder of small objects, so that loads reach the object loader, the
// effects and the links. The cores are called: they return what the public functions
// would end the process for.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "display/display.h"
#include "lws/lwsreader.h"
#include "tools/writers/writers.h"

namespace {

// The object folder, and the folder the fuzzer was started in: libFuzzer reads and
// writes its corpus and artifacts by paths relative to the latter, so each input's load
// steps into the object folder and back.
char objectfolder[] = "/tmp/lwsfuzzXXXXXX";
char startfolder[4096];

int makeobjects() {
  if (getcwd(startfolder, sizeof(startfolder)) == nullptr) return 0;
  if (mkdtemp(objectfolder) == nullptr || chdir(objectfolder) != 0) return 0;
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
  int written = writelwo("box.lwo", &box) && writelwo("ball.lwo", &ball) &&
                writelwo("spark.lwo", &spark) && writelwo("NullObject", &box);
  return chdir(startfolder) == 0 && written;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  if (!makeobjects()) {
    fputs("fuzz_lws: cannot make the object folder\n", stderr);
    exit(1);
  }
  // The reader's progress lines and the log would swamp the fuzzer's own output.
  if (freopen("/dev/null", "w", stdout) == nullptr) exit(1);
  errorlog = fopen("/dev/null", "w");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  LwsScene *lws = nullptr;
  // A file the reader refuses is refused by the loader in the same way: only files the
  // reader takes are worth the object loads.
  if (readlwstext("input.lws", (const char *)data, size, &lws) != lwsok) return 0;
  freelws(lws);

  if (chdir(objectfolder) != 0) abort();
  FILE *f = fopen("input.lws", "wb");
  if (f == nullptr) abort();
  size_t written = fwrite(data, 1, size, f);
  fclose(f);
  Scene *scene = nullptr;
  if (written == size && loadscenecore("input.lws", 1.0, &scene) == lwsok) releasescene(scene);
  if (chdir(startfolder) != 0) abort();
  return 0;
}
