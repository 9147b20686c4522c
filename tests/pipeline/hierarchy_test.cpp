#include "testscene.h"

namespace {

const float tol = 1e-5f;

void adopt(SceneObject &parent, SceneObject &child) {
  parent.children[parent.numchildren++] = &child;
  child.hasparent = 1;
}

TEST(Hierarchy, AnglesSummingToZeroStillRotate) {
  auto o = makemesh({{0, 0, 1}}, {});
  o->object.rotheading = 90;
  o->object.rotpitch = -90;
  transformvertices(&o->object);
  // Rz(0) Ry(90) Rx(-90): pitch -90 sends +z to +y, heading leaves y alone.
  expectnear(o->verts[0].xfpos, 0, 1, 0, tol);
}

TEST(Hierarchy, ThreeLevelsUseOwnAndParentTransformOnly) {
  auto top = makemesh({{0, 0, 0}}, {});
  auto child = makemesh({{0, 0, 0}}, {});
  auto grand = makemesh({{0, 0, 1}}, {}, MeshSurface{}, {0, 0, 1});
  adopt(top->object, child->object);
  adopt(child->object, grand->object);
  top->object.posx = 100;
  top->object.rotbank = 30;
  child->object.posy = 10;
  child->object.rotheading = 90;
  grand->object.posx = 1;

  transformboxes(&top->object);
  transformvertices(&top->object);
  // Ry(90) ((0, 0, 1) + (1, 0, 0)) + (0, 10, 0); the top object's turn and shift do not
  // reach the grandchild.
  expectnear(grand->verts[0].xfpos, 1, 10, -1, tol);
  expectnear(grand->xformnormals[0], 1, 0, 0, tol);
  expectnear(grand->object.tbbox[0], 1, 10, -1, tol);
  // The child is placed by its own transform and the top object's.
  Mat3 bank;
  makerotation(&bank, 0, 0, 30);
  Vec3 expect{0, 10, 0};
  mattransform(&bank, &expect, &expect, 1);
  expectnear(child->verts[0].xfpos, expect.x + 100, expect.y, expect.z, tol);
  expectnear(child->object.tbbox[7], expect.x + 100, expect.y, expect.z, tol);
}

TEST(Hierarchy, BothChildrenMoveWhenTheFirstHasChildren) {
  auto parent = makemesh({{0, 0, 0}}, {});
  auto first = makemesh({{1, 0, 0}}, {});
  auto firstchild = makemesh({{0, 1, 0}}, {});
  auto second = makemesh({{0, 0, 1}}, {});
  adopt(parent->object, first->object);
  adopt(first->object, firstchild->object);
  adopt(parent->object, second->object);
  parent->object.posz = 5;
  first->object.posx = 2;
  transformboxes(&parent->object);
  transformvertices(&parent->object);
  expectnear(first->verts[0].xfpos, 3, 0, 5, tol);
  expectnear(firstchild->verts[0].xfpos, 2, 1, 0, tol);
  expectnear(second->verts[0].xfpos, 0, 0, 6, tol);
  expectnear(second->object.tbbox[0], 0, 0, 6, tol);
}

}  // namespace
