// The object loader's messages and exits, all in one place above the cores that return
// a status (lworeader.cpp, objectbuild.cpp). The texts are the system's fixed log lines,
// byte for byte, including the Swedish stderr line in code page 437.
#include <cinttypes>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "display/display.h"
#include "lwo/lworeader.h"
#include "platform/platform.h"

namespace {

// The log when it is open; messages of loads made before it (tools, tests) go to stderr.
FILE *logfile() { return errorlog ? errorlog : stderr; }

// Failure lines of the object reader: the fixed text into the log, and, when the log
// is a file, a line naming the object and the cause on standard error as well.
void logfailure(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void logfailure(const char *fmt, ...) {
  char text[600];
  va_list args;
  va_start(args, fmt);
  vsnprintf(text, sizeof text, fmt, args);
  va_end(args);
  std::fputs(text, logfile());
  if (logfile() == stderr) return;
  size_t n = std::strlen(text);
  while (n > 0 && text[n - 1] == '\n') text[--n] = 0;
  failcause("%s", text);
}

// An object holds at most 65535 points (polygons index them with 16 bits: 786 KB of
// PNTS), at most 32767 polygons whose corners come to at most 65535 vertices (under
// 300 KB of POLS), and at most 65535 surfaces; a surface's sub-chunks are a few numbers
// and at most three texts of up to 1 KB (CTEX, TIMG, RIMG), under 4 KB. 256 MB covers all
// of that at its largest, far above any real object.
constexpr int64_t maxobjectbytes = int64_t(256) << 20;

}  // namespace

LwoObject *readlwo(const char *filename, float scale) {
  std::strncpy(objectfilename, filename, lwofilenamesize - 1);
  objectfilename[lwofilenamesize - 1] = 0;
  int64_t filesize = 0;
  FILE *f = openinput(filename, maxobjectbytes, &filesize);
  if (!f) {
    std::fputs(filename, logfile());
    std::fputs(" : Unable to open file!\n", logfile());
    failcause("%s: %s", filename, inputfailure());
    return nullptr;
  }
  uint8_t *data = reinterpret_cast<uint8_t *>(readinput(f, filesize));
  size_t size = size_t(filesize);
  if (!data) {
    std::fputs("Unable to allocate memory!!!\n", logfile());
    failcause("%s: %s", filename, inputfailure());
    return nullptr;
  }
  LwoObject *object = nullptr;
  LwoFailure failure;
  int status = parselwo(data, size, scale, &object, &failure);
  std::free(data);
  switch (status) {
    case lwook:
      return object;
    case lwonomemory:
      std::fputs("Unable to allocate memory!!!\n", logfile());
      failcause("%s: no memory for the object's points and polygons", filename);
      return nullptr;
    case lwonosurfacememory:
      std::fputs("memory error\n\n", stdout);
      failcause("%s: no memory for the object's surfaces", filename);
      std::exit(3);
    case lwonoarraymemory:
      std::fputs("Couldn't allocate memory", stdout);
      failcause("%s: no memory for the object's arrays", filename);
      std::exit(1);
    case lwotoomanycorners:
      logfailure("object: %s\tToo Many points in polygon, Run Triple\n", objectfilename);
      std::exit(2);
    case lwotoofewcorners:
      std::fputs("Error in object, contains polys with < 3 verts!!!", logfile());
      failcause("%s: a polygon has fewer than 3 corners", filename);
      std::exit(5);
    case lwotruncated:
      logfailure("%s : A chunk runs past the end of the file!\n", filename);
      return nullptr;
    case lwonopoints:
      logfailure("%s : No points (PNTS) in the file!\n", filename);
      return nullptr;
    case lwotoomanysurfaces:
      logfailure("%s : More than %d surfaces in the file!\n", filename,
                   maxobjectsurfaces);
      return nullptr;
    case lwobadpoint:
      logfailure("%s : Polygon %d names point %" PRId64 " of %" PRId64 " points!\n",
                   filename, failure.polygon, failure.value, failure.limit);
      return nullptr;
    default:
      logfailure("%s : Unreadable object!\n", filename);
      return nullptr;
  }
}

SceneObject *loadlwo(const LwoObject *object, double scalex, double scaley, double scalez) {
  SceneObject *result = nullptr;
  LwoFailure failure;
  int status = buildobject(object, scalex, scaley, scalez, stdout, &result, &failure);
  const char *memory = nullptr;
  switch (status) {
    case lwook:
      return result;
    case lwobadsurface:
      std::fprintf(stdout, "numtmpfaces: %d, numlwofaces %d\n", int(failure.value),
                   int(failure.limit));
      failcause("%s: polygon %d names surface %d, but the object has %d surface%s", objectfilename,
                int(failure.polygon) + 1, int(failure.surface), int(object->numsurfaces),
                object->numsurfaces == 1 ? "" : "s");
      std::exit(233);
    case lwotoomanypolys:
      logfailure("%s : %" PRId64 " polygons, an object holds at most %" PRId64 "!\n",
                   objectfilename, failure.value, failure.limit);
      return nullptr;
    case lwotoomanyverts:
      logfailure("%s : More than %" PRId64 " vertices, an object holds at most that many!\n",
                   objectfilename, failure.limit);
      return nullptr;
    case lwonoscratchnormals:
      std::puts("Memory Allocation Failed");
      failcause("%s: no memory for the normals while the object is built", objectfilename);
      std::exit(33);
    case lwononormals:
      std::fputs("Memory allocation failed: loadlwo", stderr);
      std::fputc('\n', stderr);  // the fixed message has no line feed of its own
      failcause("%s: no memory for the object's normals", objectfilename);
      std::exit(33);
    case lwonoobjectmemory: memory = "Memory allocation for object failed"; break;
    case lwonotmpverts: memory = "Memory allocation failed: loadlwo, tmpverts"; break;
    case lwonopntremap: memory = "Memory allocation Failde: loadlwo, pntremap"; break;
    case lwonopolys: memory = "Memory allocation failed: loadlwo3"; break;
    case lwonofrontpolys: memory = "Memory allocation failed: loadlwo4"; break;
    case lwonocrosspolys: memory = "Memory allocation failed: loadlwo5"; break;
    case lwonodrawpolys: memory = "Memory allocation failed: loadlwo6"; break;
    case lwonosurfaces: memory = "Memory allocation failed: loadlwo8"; break;
    case lwonoverts: memory = "Memory allocation failed: loadlwo9"; break;
    case lwonovertoutcodes: memory = "Memory allocation failed: loadlwo1"; break;
    default: memory = "Memory allocation for object failed"; break;
  }
  std::fputs(memory, stderr);
  std::fputc('\n', stderr);  // the fixed message has no line feed of its own
  failcause("%s: no memory to build the object", objectfilename);
  return nullptr;
}

int registertextures(const LwoObject *object, SceneObject *sceneobject) {
  if (registernames(object, sceneobject, &texturenametable, stdout)) return 1;
  logfailure("%s : More than %d texture images in the scene!\n", objectfilename, maxtextures);
  return 0;
}

SceneObject *loadobject(const char *filename, double scalex, double scaley, double scalez) {
  LwoObject *object = readlwo(filename, 1.0f);
  if (!object) {
    // Classic content reports an unreadable object as one warning of the scene loader.
    if (!tolerantloading) std::fputs("Kunde inte \x94" "ppna 3dobjektet\n", stderr);
    return nullptr;
  }
  SceneObject *sceneobject = loadlwo(object, scalex, scaley, scalez);
  if (sceneobject && !registertextures(object, sceneobject)) {
    freesceneobject(sceneobject);
    sceneobject = nullptr;
  }
  freelwo(object);
  return sceneobject;
}

SceneObject *makenullobject(void) {
  LwoObject empty;
  SceneObject *result = nullptr;
  LwoFailure failure;
  if (buildobject(&empty, 1, 1, 1, nullptr, &result, &failure) != lwook) return nullptr;
  return result;
}
