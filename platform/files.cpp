#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdarg>
#include <cstring>

#include "platform/platform.h"

static int exists(const char *path) {
  struct stat st;
  return stat(path, &st) == 0;
}

// Finds the entry of folder dir whose name equals want ignoring ASCII case, as Windows
// would; the exact name is preferred when both exist.
static int findentry(const char *dir, const char *want, char *found, size_t foundsize) {
  DIR *d = opendir(dir[0] ? dir : ".");
  if (d == nullptr) return 0;
  int ok = 0;
  while (struct dirent *e = readdir(d)) {
    if (strcasecmp(e->d_name, want) == 0 && strlen(e->d_name) < foundsize) {
      strcpy(found, e->d_name);
      ok = 1;
      if (strcmp(e->d_name, want) == 0) break;
    }
  }
  closedir(d);
  return ok;
}

int resolvepath(const char *name, char *out, size_t outsize) {
  if (outsize == 0) return 0;
  size_t len = strlen(name);
  if (len >= outsize) {
    out[0] = 0;
    return 0;
  }
  for (size_t i = 0; i <= len; i++) out[i] = name[i] == '\\' ? '/' : name[i];
  if (len == 0) return 0;
  if (exists(out)) return 1;

  // Walk the components; each one found is written back into out in its real spelling.
  // Folder names are matched the same way as the file name.
  char component[256];
  size_t pos = out[0] == '/' ? 1 : 0;
  while (pos < len) {
    size_t end = pos;
    while (end < len && out[end] != '/') end++;
    size_t clen = end - pos;
    if (clen == 0) {  // doubled slash
      pos = end + 1;
      continue;
    }
    if (clen >= sizeof(component)) return 0;
    memcpy(component, out + pos, clen);
    component[clen] = 0;
    char dir[4096];
    if (pos >= sizeof(dir)) return 0;
    memcpy(dir, out, pos);
    dir[pos] = 0;
    char found[256];
    if (!findentry(dir, component, found, sizeof(found))) return 0;
    // Case-insensitive ASCII match: same length, written in place.
    memcpy(out + pos, found, clen);
    pos = end + 1;
  }
  return exists(out);
}

FILE *openfile(const char *name, const char *mode) {
  char path[4096];
  resolvepath(name, path, sizeof(path));
  if (path[0] == 0) return nullptr;
  return fopen(path, mode);
}

int tolerantloading = 0;
FILE *warninglog = nullptr;

void adaptwarning(const char *fmt, ...) {
  FILE *to = warninglog ? warninglog : stderr;
  va_list args;
  va_start(args, fmt);
  fputs("warning: ", to);
  vfprintf(to, fmt, args);
  va_end(args);
  fputc('\n', to);
  fflush(to);
}
