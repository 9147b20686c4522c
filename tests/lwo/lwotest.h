// Shared set-up of the object loader's tests: files written with the object writer
// into the test's own folder.
#pragma once

#include <cstring>
#include <stdexcept>

#include "display/display.h"
#include "lwo/lwo.h"
#include "lwo/lworeader.h"
#include "testutil.h"
#include "tools/writers/writers.h"

// Files are written into the test's own folder.
class LwoTest : public FolderTest {
 protected:
  std::string log() { return logtext(); }

  std::string writebytes(const std::vector<uint8_t> &bytes, const std::string &name) {
    writefile(name, bytes);
    return name;
  }
  std::string write(const LwoWriter &w, const std::string &name) { return writebytes(lwobytes(&w), name); }

  // loadobject with its standard output captured into *out.
  SceneObject *load(const std::string &path, std::string *out = nullptr, double sx = 1, double sy = 1, double sz = 1) {
    SceneObject *o = nullptr;
    std::string printed = stdoutof([&] { o = loadobject(path.c_str(), sx, sy, sz); });
    if (out) *out = printed;
    return o;
  }
  // An object that must load: a refusal ends the test, showing the log.
  SceneObject *loaded(const std::string &path, std::string *out = nullptr, double sx = 1) {
    SceneObject *o = load(path, out, sx);
    if (o == nullptr) throw std::runtime_error(path + " refused: " + log());
    return o;
  }
};

// One triangle on a surface with the given image map.
inline LwoWriter mappedtriangle(const char *kind, int axis, Vec3 a, Vec3 b, Vec3 c, Vec3 size,
                                const char *image = "map.tga") {
  LwoWriter w;
  int s = lwoaddsurface(&w, "Map", 255, 255, 255);
  lwosetimagemap(&w.surfaces[s], kind, image, axis, {0, 0, 0}, size);
  lwoaddpoint(&w, a.x, a.y, a.z);
  lwoaddpoint(&w, b.x, b.y, b.z);
  lwoaddpoint(&w, c.x, c.y, c.z);
  lwoaddtriangle(&w, 0, 1, 2, s);
  return w;
}

// Every top-level chunk of a file with this ID, whole, in file order.
inline std::vector<uint8_t> chunksnamed(const std::vector<uint8_t> &file, const char *id) {
  std::vector<uint8_t> out;
  for (size_t at = 12; at + 8 <= file.size();) {
    uint32_t length = uint32_t(file[at + 4]) << 24 | file[at + 5] << 16 | file[at + 6] << 8 | file[at + 7];
    size_t end = at + 8 + length + (length & 1);
    if (std::memcmp(&file[at], id, 4) == 0) out.insert(out.end(), file.begin() + long(at), file.begin() + long(end));
    at = end;
  }
  return out;
}

// The reader's result straight from bytes, for tests of the reader alone.
inline LwoObject *parse(const std::vector<uint8_t> &bytes, int *status = nullptr) {
  LwoObject *object = nullptr;
  LwoFailure failure;
  int s = parselwo(bytes.data(), bytes.size(), 1.0f, &object, &failure);
  if (status) *status = s;
  return object;
}
// Bytes that must be read: a refusal ends the test.
inline LwoObject *parsed(const std::vector<uint8_t> &bytes) {
  int status = lwook;
  LwoObject *object = parse(bytes, &status);
  if (object == nullptr) throw std::runtime_error("refused with status " + std::to_string(status));
  return object;
}
