#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
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

namespace {

int isregular(const char *path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// Looks for folder + "/" + rest; 1 with the resolved path in out.
int tryunder(const char *folder, const char *rest, char *out, size_t outsize) {
  char candidate[4096];
  int n = snprintf(candidate, sizeof candidate, "%s/%s", folder, rest);
  if (n < 0 || (size_t)n >= sizeof candidate) return 0;
  return resolvepath(candidate, out, outsize) && isregular(out);
}

}  // namespace

int findclassicfile(const char *name, const char *folder, const char *subfolder, char *out,
                    size_t outsize) {
  if (out == nullptr || outsize == 0) return 0;
  out[0] = 0;
  if (name == nullptr || name[0] == 0) return 0;
  if (resolvepath(name, out, outsize) && isregular(out)) return 1;
  out[0] = 0;

  // The name's components after any volume or drive, "." and ".." dropped.
  const char *start = strrchr(name, ':');
  start = start ? start + 1 : name;
  constexpr int maxcomponents = 32;
  char parts[maxcomponents][256];
  int count = 0;
  for (const char *p = start; *p;) {
    while (*p == '/' || *p == '\\') p++;
    const char *e = p;
    while (*e && *e != '/' && *e != '\\') e++;
    size_t len = (size_t)(e - p);
    if (len >= sizeof parts[0]) return 0;
    if (len > 0 && !(len == 1 && p[0] == '.') && !(len == 2 && p[0] == '.' && p[1] == '.')) {
      if (count == maxcomponents) return 0;
      memcpy(parts[count], p, len);
      parts[count][len] = 0;
      count++;
    }
    p = e;
  }
  if (count == 0) return 0;

  // The folders searched: folder itself, then its parents, as absolute paths.
  char folders[classicsearchparents + 1][4096];
  int nfolders = 0;
  if (realpath(folder && folder[0] ? folder : ".", folders[0]) == nullptr) return 0;
  for (nfolders = 1; nfolders <= classicsearchparents; nfolders++) {
    const char *prev = folders[nfolders - 1];
    const char *slash = strrchr(prev, '/');
    if (slash == nullptr || (slash == prev && prev[1] == 0)) break;
    size_t len = slash == prev ? 1 : (size_t)(slash - prev);
    memcpy(folders[nfolders], prev, len);
    folders[nfolders][len] = 0;
  }

  char rest[4096];
  for (int first = 0; first < count; first++) {
    size_t at = 0;
    for (int k = first; k < count; k++) {
      int n = snprintf(rest + at, sizeof rest - at, k > first ? "/%s" : "%s", parts[k]);
      if (n < 0 || (size_t)n >= sizeof rest - at) return 0;
      at += (size_t)n;
    }
    for (int f = 0; f < nfolders; f++)
      if (tryunder(folders[f], rest, out, outsize)) return 1;
  }
  if (subfolder != nullptr && subfolder[0]) {
    int n = snprintf(rest, sizeof rest, "%s/%s", subfolder, parts[count - 1]);
    if (n > 0 && (size_t)n < sizeof rest)
      for (int f = 0; f < nfolders; f++)
        if (tryunder(folders[f], rest, out, outsize)) return 1;
  }
  out[0] = 0;
  return 0;
}
