// Where the object files of a classic scene are: scenes name them as the machine they
// were made on saw them ("HD1:atm/landscape/MountainCircle2", "C:\LW\Objects\ship.lwo",
// "Objects/Ball"), while the files now lie in a copied folder, often with their case
// changed. The search keeps to the scene's folder and the few above it: a content folder
// of that era held Scenes/ and Objects/ side by side.
#include <strings.h>
#include <sys/stat.h>

#include <cstring>

#include "lws/lwsreader.h"
#include "platform/platform.h"

namespace {

constexpr int maxcomponents = 16;
constexpr int maxlevelsup = 3;

int isfile(const char *path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// candidate through the case-insensitive resolver; 1 with out set when it is a file.
int tryfile(const char *candidate, char *out, size_t outsize) {
  char path[4096];
  if (!resolvepath(candidate, path, sizeof path) || !isfile(path)) return 0;
  if (strlen(path) >= outsize) return 0;
  strcpy(out, path);
  return 1;
}

}  // namespace

int findobjectfile(const char *name, char *out, size_t outsize) {
  if (outsize == 0) return 0;
  out[0] = 0;
  size_t len = strnlen(name, 2048);
  if (len == 0 || len >= 2048) return 0;
  if (tryfile(name, out, outsize)) return 1;

  // Drop a volume or drive: everything up to the first colon, when no slash comes before.
  char clean[2048];
  const char *start = name;
  const char *colon = strchr(name, ':');
  if (colon != nullptr && strcspn(name, "/\\") > (size_t)(colon - name)) start = colon + 1;
  size_t n = 0;
  for (const char *p = start; *p != 0 && n + 1 < sizeof clean; p++) clean[n++] = *p == '\\' ? '/' : *p;
  clean[n] = 0;

  // The path's components, ignoring empty ones and "." (".." kept: it may be meant).
  const char *components[maxcomponents];
  size_t lengths[maxcomponents];
  int count = 0;
  for (size_t i = 0; i < n;) {
    while (i < n && clean[i] == '/') i++;
    size_t j = i;
    while (j < n && clean[j] != '/') j++;
    if (j > i && !(j - i == 1 && clean[i] == '.')) {
      if (count == maxcomponents) {
        // Keep the last ones: they name the file.
        memmove(components, components + 1, sizeof(components[0]) * (maxcomponents - 1));
        memmove(lengths, lengths + 1, sizeof(lengths[0]) * (maxcomponents - 1));
        count--;
      }
      components[count] = clean + i;
      lengths[count] = j - i;
      count++;
    }
    i = j;
  }
  if (count == 0) return 0;
  const char *last = components[count - 1];
  int hasextension = memchr(last, '.', lengths[count - 1]) != nullptr;

  for (int up = 0; up <= maxlevelsup; up++) {
    for (int first = 0; first < count; first++) {
      for (int objects = 0; objects < 2; objects++) {
        if (objects && lengths[first] == 7 && strncasecmp(components[first], "Objects", 7) == 0)
          continue;
        char candidate[4096];
        size_t at = 0;
        for (int u = 0; u < up; u++) {
          memcpy(candidate + at, "../", 3);
          at += 3;
        }
        if (objects) {
          memcpy(candidate + at, "Objects/", 8);
          at += 8;
        }
        int fits = 1;
        for (int c = first; c < count && fits; c++) {
          if (at + lengths[c] + 2 >= sizeof candidate - 8) {
            fits = 0;
            break;
          }
          memcpy(candidate + at, components[c], lengths[c]);
          at += lengths[c];
          if (c + 1 < count) candidate[at++] = '/';
        }
        if (!fits) continue;
        candidate[at] = 0;
        if (tryfile(candidate, out, outsize)) return 1;
        if (!hasextension) {
          memcpy(candidate + at, ".lwo", 5);
          if (tryfile(candidate, out, outsize)) return 1;
        }
      }
    }
  }
  out[0] = 0;
  return 0;
}
