// The object reader and builder on arbitrary bytes: every input is read, built and
// registered, or refused with a status, without reading or writing outside its arrays.
// The cores print nothing and never exit, so the fuzzer sees every path but the exits.
#include <cstddef>
#include <cstdint>

#include "lwo/lworeader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  LwoObject *object = nullptr;
  LwoFailure failure;
  if (parselwo(data, size, 1.0f, &object, &failure) != lwook) return 0;
  SceneObject *sceneobject = nullptr;
  if (buildobject(object, 2.0, 1.0, 0.5, nullptr, &sceneobject, &failure) == lwook) {
    texturenametable.texturecount = 0;
    registernames(object, sceneobject, &texturenametable, nullptr);
    freesceneobject(sceneobject);
  }
  freelwo(object);
  return 0;
}
