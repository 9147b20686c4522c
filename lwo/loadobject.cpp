// The object loader's messages and exits, all in one place above the cores that return
// a status (lworeader.cpp, objectbuild.cpp). The texts are the system's fixed log lines,
// byte for byte, including the Swedish stderr line in code page 437.
#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "display/display.h"
#include "lwo/lworeader.h"
#include "platform/platform.h"

namespace {

// The log when it is open; messages of loads made before it (tools, tests) go to stderr.
FILE *logfile() { return errorlog ? errorlog : stderr; }

// The whole file in a malloc'ed buffer; null when it cannot be read.
uint8_t *readwhole(FILE *f, size_t *size) {
  size_t room = 1 << 16, used = 0;
  uint8_t *data = static_cast<uint8_t *>(std::malloc(room));
  while (data) {
    used += std::fread(data + used, 1, room - used, f);
    if (used < room) break;
    uint8_t *bigger = static_cast<uint8_t *>(std::realloc(data, room * 2));
    if (!bigger) std::free(data);
    data = bigger;
    room *= 2;
  }
  if (data && std::ferror(f)) {
    std::free(data);
    data = nullptr;
  }
  *size = used;
  return data;
}

}  // namespace

LwoObject *readlwo(const char *filename, float scale) {
  std::strncpy(objectfilename, filename, lwofilenamesize - 1);
  objectfilename[lwofilenamesize - 1] = 0;
  FILE *f = openfile(filename, "rb");
  if (!f) {
    std::fputs(filename, logfile());
    std::fputs(" : Unable to open file!\n", logfile());
    return nullptr;
  }
  size_t size = 0;
  uint8_t *data = readwhole(f, &size);
  std::fclose(f);
  if (!data) {
    std::fputs("Unable to allocate memory!!!\n", logfile());
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
      return nullptr;
    case lwonosurfacememory:
      std::fputs("memory error\n\n", stdout);
      std::exit(3);
    case lwonoarraymemory:
      std::fputs("Couldn't allocate memory", stdout);
      std::exit(1);
    case lwotoomanycorners:
      std::fprintf(logfile(), "object: %s\tToo Many points in polygon, Run Triple\n", objectfilename);
      std::exit(2);
    case lwotoofewcorners:
      std::fputs("Error in object, contains polys with < 3 verts!!!", logfile());
      std::exit(5);
    case lwotruncated:
      std::fprintf(logfile(), "%s : A chunk runs past the end of the file!\n", filename);
      return nullptr;
    case lwonopoints:
      std::fprintf(logfile(), "%s : No points (PNTS) in the file!\n", filename);
      return nullptr;
    case lwotoomanysurfaces:
      std::fprintf(logfile(), "%s : More than %d surfaces in the file!\n", filename,
                   maxobjectsurfaces);
      return nullptr;
    case lwobadpoint:
      std::fprintf(logfile(), "%s : Polygon %d names point %" PRId64 " of %" PRId64 " points!\n",
                   filename, failure.polygon, failure.value, failure.limit);
      return nullptr;
    default:
      std::fprintf(logfile(), "%s : Unreadable object!\n", filename);
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
      std::exit(233);
    case lwotoomanypolys:
      std::fprintf(logfile(), "%s : %" PRId64 " polygons, an object holds at most %" PRId64 "!\n",
                   objectfilename, failure.value, failure.limit);
      return nullptr;
    case lwotoomanyverts:
      std::fprintf(logfile(),
                   "%s : More than %" PRId64 " vertices, an object holds at most that many!\n",
                   objectfilename, failure.limit);
      return nullptr;
    case lwonoscratchnormals:
      std::puts("Memory Allocation Failed");
      std::exit(33);
    case lwononormals:
      std::fputs("Memory allocation failed: loadlwo", stderr);
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
  return nullptr;
}

int registertextures(const LwoObject *object, SceneObject *sceneobject) {
  if (registernames(object, sceneobject, &texturenametable, stdout)) return 1;
  std::fprintf(logfile(), "%s : More than %d texture images in the scene!\n", objectfilename,
               maxtextures);
  return 0;
}

SceneObject *loadobject(const char *filename, double scalex, double scaley, double scalez) {
  LwoObject *object = readlwo(filename, 1.0f);
  if (!object) {
    std::fputs("Kunde inte \x94" "ppna 3dobjektet\n", stderr);
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
