// The folder of small objects a scene target loads its input in, and the folder the
// fuzzer was started in: libFuzzer reads and writes its corpus and artifacts by paths
// relative to the latter, so each input's load steps into the object folder and back.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "display/display.h"

namespace scenefolder {

inline char folder[] = "/tmp/lwsfuzzXXXXXX";
inline char startfolder[4096];

// Makes the folder, writes its objects with makeobjects() there, and silences the
// progress lines and the log, which would swamp the fuzzer's own output; exits on failure.
template <typename F>
void create(const char *target, F &&makeobjects) {
  int made = getcwd(startfolder, sizeof startfolder) != nullptr && mkdtemp(folder) != nullptr &&
             chdir(folder) == 0 && makeobjects();
  if (!made || chdir(startfolder) != 0 || freopen("/dev/null", "w", stdout) == nullptr) {
    fprintf(stderr, "%s: cannot make the object folder\n", target);
    exit(1);
  }
  errorlog = fopen("/dev/null", "w");
}

// Writes the input as "input.lws" in the folder and runs load() there.
template <typename F>
void loadinput(const uint8_t *data, size_t size, F &&load) {
  if (chdir(folder) != 0) abort();
  FILE *f = fopen("input.lws", "wb");
  if (f == nullptr) abort();
  const size_t written = fwrite(data, 1, size, f);
  fclose(f);
  if (written == size) load();
  if (chdir(startfolder) != 0) abort();
}

}  // namespace scenefolder
