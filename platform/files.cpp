#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
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

const char *terminationsignalname(void) {
  switch (terminationsignal) {
    case SIGINT: return "Ctrl+C (SIGINT)";
    case SIGTERM: return "termination (SIGTERM)";
    case SIGHUP: return "a hang-up (SIGHUP)";
    default: return "no signal";
  }
}

// Every file a reader opens is a point where loading stops for a termination signal.
static void stopwhileloading(const char *name) {
  if (!stoploading || terminationsignal == 0) return;
  failcause("%s: not loaded: %s ended the run while loading", name, terminationsignalname());
  exit(128 + terminationsignal);
}

FILE *openfile(const char *name, const char *mode) {
  stopwhileloading(name);
  char path[4096];
  resolvepath(name, path, sizeof(path));
  if (path[0] == 0) return nullptr;
  return fopen(path, mode);
}

int tolerantloading = 0;
volatile sig_atomic_t terminationsignal = 0;
int stoploading = 0;
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

namespace {

thread_local char inputreason[160];

FILE *refuse(const char *reason) {
  snprintf(inputreason, sizeof inputreason, "%s", reason);
  return nullptr;
}

// The reason a file that is no regular file cannot be read as one.
const char *notafile(mode_t mode) {
  if (S_ISDIR(mode)) return "is a folder, not a file";
  if (S_ISFIFO(mode)) return "is a FIFO (named pipe), not a file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a file";
  if (S_ISSOCK(mode)) return "is a socket, not a file";
  return "is not a regular file";
}

}  // namespace

FILE *openinput(const char *name, int64_t limit, int64_t *size) {
  stopwhileloading(name);
  *size = 0;
  char path[4096];
  if (name == nullptr) return refuse(strerror(ENOENT));
  resolvepath(name, path, sizeof path);
  if (path[0] == 0) return refuse(strerror(name[0] ? ENAMETOOLONG : ENOENT));
  // stat first so that a device or FIFO is never even opened; the descriptor is checked
  // again below, since the name may have been replaced in between. O_NONBLOCK keeps the
  // open of a FIFO from waiting for a writer.
  struct stat st;
  if (stat(path, &st) != 0) return refuse(strerror(errno));
  if (!S_ISREG(st.st_mode)) return refuse(notafile(st.st_mode));
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return refuse(strerror(errno));
  const char *why = nullptr;
  if (fstat(fd, &st) != 0) why = strerror(errno);
  else if (!S_ISREG(st.st_mode)) why = notafile(st.st_mode);
  if (why != nullptr) {
    close(fd);
    return refuse(why);
  }
  if ((int64_t)st.st_size > limit) {
    close(fd);
    snprintf(inputreason, sizeof inputreason,
             "is %" PRId64 " bytes, more than the %" PRId64 " this kind of file may have",
             (int64_t)st.st_size, limit);
    return nullptr;
  }
  FILE *f = fdopen(fd, "rb");
  if (f == nullptr) {
    int e = errno;
    close(fd);
    return refuse(strerror(e));
  }
  *size = (int64_t)st.st_size;
  return f;
}

void noteinputfailure(const char *fmt, ...) {
  va_list args;
  va_start(args, fmt);
  vsnprintf(inputreason, sizeof inputreason, fmt, args);
  va_end(args);
}

const char *inputfailure(void) { return inputreason[0] ? inputreason : "cannot be read"; }

char *readinput(FILE *f, int64_t size) {
  char *data = size >= 0 ? (char *)malloc((size_t)size + 1) : nullptr;
  if (data == nullptr) {
    fclose(f);
    refuse("no memory to read it");
    return nullptr;
  }
  size_t got = fread(data, 1, (size_t)size, f);
  int failed = ferror(f);
  int e = errno;
  fclose(f);
  if (failed || got != (size_t)size) {
    free(data);
    refuse(failed ? strerror(e) : "became shorter while it was read");
    return nullptr;
  }
  data[size] = 0;
  return data;
}

namespace {

std::atomic<unsigned> tempserial{0};

}  // namespace

int openatomic(AtomicFile *out, const char *name) {
  out->file = nullptr;
  out->temp[0] = 0;
  resolvepath(name, out->path, sizeof out->path);
  if (out->path[0] == 0) {
    errno = name[0] ? ENAMETOOLONG : ENOENT;
    return 0;
  }
  const char *slash = strrchr(out->path, '/');
  int dirlen = slash ? (int)(slash - out->path + 1) : 0;
  const char *base = out->path + dirlen;
  // A hidden name beside the final one, so the rename stays within one file system and
  // listings of the folder's files (frame*.png, *.3df) never show a part.
  for (int attempt = 0; attempt < 100; attempt++) {
    int n = snprintf(out->temp, sizeof out->temp, "%.*s.%s.%d-%u.part", dirlen, out->path, base,
                     (int)getpid(), tempserial.fetch_add(1));
    if (n < 0 || (size_t)n >= sizeof out->temp) {
      out->temp[0] = 0;
      errno = ENAMETOOLONG;
      return 0;
    }
    int fd = open(out->temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) {
      out->temp[0] = 0;
      return 0;
    }
    out->file = fdopen(fd, "wb");
    if (out->file == nullptr) {
      int e = errno;
      close(fd);
      unlink(out->temp);
      out->temp[0] = 0;
      errno = e;
      return 0;
    }
    return 1;
  }
  out->temp[0] = 0;
  errno = EEXIST;
  return 0;
}

int commitatomic(AtomicFile *out) {
  if (out->file == nullptr) {
    errno = EBADF;
    return 0;
  }
  // Every step is checked: a full disk shows first at fflush (the buffered tail), a
  // delayed write error at fsync or fclose.
  int e = 0;
  errno = 0;
  if (fflush(out->file) != 0 || ferror(out->file)) e = errno ? errno : EIO;
  if (e == 0 && fsync(fileno(out->file)) != 0) e = errno;
  if (fclose(out->file) != 0 && e == 0) e = errno;
  out->file = nullptr;
  if (e == 0 && rename(out->temp, out->path) != 0) e = errno;
  if (e != 0) {
    unlink(out->temp);
    out->temp[0] = 0;
    errno = e;
    return 0;
  }
  out->temp[0] = 0;
  return 1;
}

void abandonatomic(AtomicFile *out) {
  int e = errno;
  if (out->file != nullptr) fclose(out->file);
  out->file = nullptr;
  if (out->temp[0]) unlink(out->temp);
  out->temp[0] = 0;
  errno = e;
}

void failcause(const char *fmt, ...) {
  va_list args;
  va_start(args, fmt);
  fprintf(stderr, "%s: ", program_invocation_short_name);
  vfprintf(stderr, fmt, args);
  va_end(args);
  fputc('\n', stderr);
  fflush(stderr);
}
