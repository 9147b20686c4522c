#include <cstring>

#include "pipeline/pipeline.h"

namespace {

// An object whose three angles are all zero takes the translation-only path, which is
// exact: each coordinate is one sum rounded once to float.
int hasrotation(const SceneObject *object) {
  return object->rotpitch != 0.0f || object->rotheading != 0.0f || object->rotbank != 0.0f;
}

// r * p + t in double, rounded once.
Vec3 place(const Mat3 &r, const Vec3 &p, double tx, double ty, double tz) {
  const float *a = r.m;
  double x = p.x, y = p.y, z = p.z;
  return {(float)(a[0] * x + a[1] * y + a[2] * z + tx), (float)(a[3] * x + a[4] * y + a[5] * z + ty),
          (float)(a[6] * x + a[7] * y + a[8] * z + tz)};
}

Vec3 shift(const Vec3 &p, double tx, double ty, double tz) {
  return {(float)(p.x + tx), (float)(p.y + ty), (float)(p.z + tz)};
}

}  // namespace

// Children are finished before their parent, whose rotation and position then go on top
// of each direct child's own transform. A grandchild therefore gets its own transform and
// its parent's but not its grandparent's: scenes are authored against that placement.
void transformboxes(SceneObject *object) {
  for (int i = 0; i < object->numchildren; i++) transformboxes(object->children[i]);
  const double tx = object->posx, ty = object->posy, tz = object->posz;
  if (hasrotation(object)) {
    Mat3 r;
    makerotation(&r, object->rotpitch, object->rotheading, object->rotbank);
    for (int k = 0; k < 8; k++) object->tbbox[k] = place(r, object->bbox[k], tx, ty, tz);
    for (int i = 0; i < object->numchildren; i++)
      for (Vec3 &c : object->children[i]->tbbox) c = place(r, c, tx, ty, tz);
  } else {
    for (int k = 0; k < 8; k++) object->tbbox[k] = shift(object->bbox[k], tx, ty, tz);
    for (int i = 0; i < object->numchildren; i++)
      for (Vec3 &c : object->children[i]->tbbox) c = shift(c, tx, ty, tz);
  }
}

void transformvertices(SceneObject *object) {
  for (int i = 0; i < object->numchildren; i++) transformvertices(object->children[i]);
  const double tx = object->posx, ty = object->posy, tz = object->posz;
  if (hasrotation(object)) {
    Mat3 r;
    makerotation(&r, object->rotpitch, object->rotheading, object->rotbank);
    for (int v = 0; v < object->numverts; v++) {
      MeshVertex &mv = object->verts[v];
      mv.xfpos = place(r, mv.objpos, tx, ty, tz);
      mv.untouched = 1;
    }
    mattransform(&r, object->normals, object->xformnormals, object->numnormals);
    for (int i = 0; i < object->numchildren; i++) {
      SceneObject *child = object->children[i];
      for (int v = 0; v < child->numverts; v++) {
        MeshVertex &mv = child->verts[v];
        mv.xfpos = place(r, mv.xfpos, tx, ty, tz);
        mv.untouched = 1;
      }
      mattransform(&r, child->xformnormals, child->xformnormals, child->numnormals);
    }
  } else {
    for (int v = 0; v < object->numverts; v++) {
      MeshVertex &mv = object->verts[v];
      mv.xfpos = shift(mv.objpos, tx, ty, tz);
      mv.untouched = 1;
    }
    if (object->numnormals > 0)
      memcpy(object->xformnormals, object->normals, sizeof(Vec3) * (size_t)object->numnormals);
    for (int i = 0; i < object->numchildren; i++) {
      SceneObject *child = object->children[i];
      for (int v = 0; v < child->numverts; v++) {
        MeshVertex &mv = child->verts[v];
        mv.xfpos = shift(mv.xfpos, tx, ty, tz);
        mv.untouched = 1;
      }
    }
  }
}
