// Where the object files of a classic scene are: scenes name them as the machine they
// were made on saw them ("HD1:atm/landscape/MountainCircle2", "C:\LW\Objects\ship.lwo",
// "Objects/Ball"), while the files now lie in a copied folder, often with their case
// changed. The platform's classic search does the finding; objects add the extension
// LightWave 3.x left off, and the result is told relative to the scene's folder.
#include <cstdlib>
#include <cstring>

#include "lws/lwsreader.h"
#include "platform/platform.h"

namespace {

// path, when it lies in the working folder or a few above it, as a relative path.
void makerelative(char *path, size_t size) {
  if (path[0] != '/') return;
  char here[4096];
  if (realpath(".", here) == nullptr) return;
  char up[4096] = "";
  for (int level = 0; level <= classicsearchparents; level++) {
    size_t n = strlen(here);
    if (strncmp(path, here, n) == 0 && (path[n] == '/' || n == 1)) {
      const char *rest = path + n + (n == 1 ? 0 : 1);
      char relative[4096];
      int written = snprintf(relative, sizeof relative, "%s%s", up, rest);
      if (written > 0 && (size_t)written < size && (size_t)written < sizeof relative)
        memcpy(path, relative, (size_t)written + 1);
      return;
    }
    char *slash = strrchr(here, '/');
    if (slash == nullptr || slash == here) return;
    *slash = 0;
    strcat(up, "../");
  }
}

}  // namespace

int findobjectfile(const char *name, char *out, size_t outsize) {
  if (outsize == 0) return 0;
  out[0] = 0;
  size_t len = strnlen(name, 2048);
  if (len == 0 || len >= 2048) return 0;
  int found = findclassicfile(name, nullptr, "Objects", out, outsize);
  if (!found) {
    // LightWave 3.x named objects without their extension.
    const char *base = name;
    for (const char *p = name; *p; p++)
      if (*p == '/' || *p == '\\' || *p == ':') base = p + 1;
    if (strchr(base, '.') != nullptr) return 0;
    char withextension[2048 + 4];
    snprintf(withextension, sizeof withextension, "%s.lwo", name);
    found = findclassicfile(withextension, nullptr, "Objects", out, outsize);
  }
  if (found) makerelative(out, outsize);
  return found;
}
