#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "display/display.h"
#include "platform/platform.h"

Screen *screen = nullptr;
FILE *errorlog = nullptr;
uint32_t backdropcolor = 0;

namespace {

const char logname[] = "error3d.txt";

// Says once, on standard error, that the log lost lines (a full disk, /dev/full): the run
// goes on, since the log is only its record.
void checklog() {
  static int said = 0;
  if (said || errorlog == nullptr || !ferror(errorlog)) return;
  said = 1;
  // errno is the write's own when the failure is caught as it happens (the first line);
  // found only at exit, the cause is gone with the line.
  failcause("%s: %s; the log is incomplete", logname,
            errno ? strerror(errno) : "lines could not be written");
}

void checklogatexit() {
  if (errorlog != nullptr) {
    errno = 0;
    fflush(errorlog);
  }
  checklog();
}

// The log, opened for the whole run and locked: a second lwdemo in the same folder would
// otherwise truncate it and overwrite the first one's frames, so it is refused before it
// changes anything (the file is truncated only once the lock is held). Lines reach the
// file as they are written, so it can be followed during the run and keeps every line
// written before a crash.
FILE *openlog() {
  // O_NONBLOCK keeps a FIFO of that name from blocking the open; writes block as usual.
  int fd = open(logname, O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) {
    failcause("%s cannot be created: %s", logname, strerror(errno));
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  // A file system without locks (ENOLCK, some network mounts) plays unguarded.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    failcause("%s is locked: another lwdemo is playing in this folder; wait for it to end "
              "or start this one in another folder", logname);
    exit(exitsecondinstance);
  }
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0) {
    failcause("%s cannot be emptied: %s", logname, strerror(errno));
    close(fd);
    return nullptr;
  }
  FILE *log = fdopen(fd, "w");
  if (log == nullptr) {
    failcause("%s cannot be opened: %s", logname, strerror(errno));
    close(fd);
    return nullptr;
  }
  setvbuf(log, nullptr, _IOLBF, BUFSIZ);
  atexit(checklogatexit);
  return log;
}

}  // namespace

int initscreen(int width, int height, int depth, int driver) {
  Screen *s = (Screen *)malloc(sizeof(Screen));
  if (s == nullptr) {
    puts("Not enough memory!!!");
    failcause("no memory for the screen record");
    exit(123);
  }
  *s = Screen{};
  s->height = height;
  s->width = width;
  s->depth = depth;
  s->centerx = width / 2;
  s->centery = height / 2;
  s->driver = driver;
  screen = s;
  errorlog = openlog();
  if (errorlog == nullptr) exit(3);
  fputs("Init ok\n", errorlog);
  checklog();
  return 1;
}

int setviewport(int x0, int y0, int x1, int y1) {
  if (screen == nullptr) return 0;
  screen->width = x1 - x0;
  screen->height = y1 - y0;
  screen->centerx = screen->width / 2 + x0;
  screen->centery = screen->height / 2 + y0;
  return 1;
}

void setbackdropcolor(int red, int green, int blue) {
  backdropcolor = (uint32_t)(red * 65536 + green * 256 + blue);
}
