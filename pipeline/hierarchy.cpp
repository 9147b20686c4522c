#include <cstring>

#include "pipeline/pipeline.h"

namespace {

// The object's rotation in *r, or null when its three angles are all zero: that object
// takes the translation-only path, which is exact (each coordinate is one sum rounded
// once to float).
const Mat3 *rotationof(const SceneObject *object, Mat3 *r) {
  if (object->rotpitch == 0.0f && object->rotheading == 0.0f && object->rotbank == 0.0f)
    return nullptr;
  makerotation(r, object->rotpitch, object->rotheading, object->rotbank);
  return r;
}

}  // namespace

// Children are finished before their parent, whose rotation and position then go on top
// of each direct child's own transform. A grandchild therefore gets its own transform and
// its parent's but not its grandparent's: scenes are authored against that placement.
void transformboxes(SceneObject *object) {
  for (int i = 0; i < object->numchildren; i++) transformboxes(object->children[i]);
  const double tx = object->posx, ty = object->posy, tz = object->posz;
  Mat3 rotation;
  const Mat3 *r = rotationof(object, &rotation);
  for (int k = 0; k < 8; k++) object->tbbox[k] = matplace(r, object->bbox[k], tx, ty, tz);
  for (int i = 0; i < object->numchildren; i++)
    for (Vec3 &c : object->children[i]->tbbox) c = matplace(r, c, tx, ty, tz);
}

void transformvertices(SceneObject *object) {
  for (int i = 0; i < object->numchildren; i++) transformvertices(object->children[i]);
  const double tx = object->posx, ty = object->posy, tz = object->posz;
  Mat3 rotation;
  const Mat3 *r = rotationof(object, &rotation);
  for (int v = 0; v < object->numverts; v++) {
    MeshVertex &mv = object->verts[v];
    mv.xfpos = matplace(r, mv.objpos, tx, ty, tz);
    mv.untouched = 1;
  }
  if (r != nullptr)
    mattransform(r, object->normals, object->xformnormals, object->numnormals);
  else if (object->numnormals > 0)
    memcpy(object->xformnormals, object->normals, sizeof(Vec3) * (size_t)object->numnormals);
  for (int i = 0; i < object->numchildren; i++) {
    SceneObject *child = object->children[i];
    for (int v = 0; v < child->numverts; v++) {
      MeshVertex &mv = child->verts[v];
      mv.xfpos = matplace(r, mv.xfpos, tx, ty, tz);
      mv.untouched = 1;
    }
    if (r != nullptr) mattransform(r, child->xformnormals, child->xformnormals, child->numnormals);
  }
}
