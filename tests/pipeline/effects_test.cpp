#include "testscene.h"

namespace {

class Effects : public PipelineTest {};

// A square of side 2 in the mesh's x-y plane, facing -z, as a particle square is modelled.
std::unique_ptr<TestMesh> square() {
  MeshSurface s;
  s.red = 10;
  s.green = 20;
  s.blue = 30;
  auto m = makemesh({{-1, 1, 0}, {1, 1, 0}, {1, -1, 0}, {-1, -1, 0}}, {{0, 1, 2, 3}}, s);
  m->object.issfxmesh = 1;
  return m;
}

TEST_F(Effects, UnrotatedCameraPlacesTheMeshAsModelled) {
  SceneCamera camera;
  setcamera(camera, {0, 0, 0});
  auto m = square();
  m->object.posx = 0.3f;
  m->object.posy = -2;
  m->object.posz = 7.1f;
  m->object.rotheading = 45;  // the mesh's own angles play no part
  billboardbox(&camera, &m->object);
  billboardvertices(&camera, &m->object);
  for (int i = 0; i < 4; i++) {
    const MeshVertex &v = m->verts[i];
    EXPECT_EQ(v.xfpos.x, v.objpos.x + 0.3f);
    EXPECT_EQ(v.xfpos.y, v.objpos.y - 2.0f);
    EXPECT_EQ(v.xfpos.z, v.objpos.z + 7.1f);
    EXPECT_EQ(v.untouched, 1);
    EXPECT_EQ(m->xformnormals[i].z, -1.0f);
  }
  for (int k = 0; k < 8; k++) EXPECT_EQ(m->object.tbbox[k].z, 7.1f);
}

// However the camera is turned, a mesh standing ten units ahead of it shows the same
// square on the screen: it turns with the camera.
TEST_F(Effects, TurningTheCameraTurnsTheMesh) {
  TestScene straight, turned;
  setcamera(straight.camera, {0, 0, 0});
  setcamera(turned.camera, {4, -3, 2}, 30, 120, -20);
  straight.finish();
  turned.finish();
  auto a = square(), b = square();
  a->object.posz = 10;
  Vec3 ahead{0, 0, 10}, world;
  mattransform(&turned.camera.cameratoworld, &ahead, &world, 1);
  b->object.posx = world.x + 4;
  b->object.posy = world.y - 3;
  b->object.posz = world.z + 2;
  updateworldplanes(&straight.camera);
  updateworldplanes(&turned.camera);
  processsfx(&straight.scene, &a->object);
  processsfx(&turned.scene, &b->object);
  ASSERT_EQ(a->object.visibility, 0);
  ASSERT_EQ(b->object.visibility, 0);
  ASSERT_EQ(a->object.numdrawpolys, 1);
  ASSERT_EQ(b->object.numdrawpolys, 1);
  for (int i = 0; i < 4; i++) {
    EXPECT_NEAR(a->verts[i].xfpos.x, b->verts[i].xfpos.x, 1e-3f);
    EXPECT_NEAR(a->verts[i].xfpos.y, b->verts[i].xfpos.y, 1e-3f);
    EXPECT_NEAR(a->verts[i].xfpos.z, b->verts[i].xfpos.z, 1e-4f);
  }
  EXPECT_FLOAT_EQ(a->verts[1].xfpos.x, 320 + 32);
  EXPECT_FLOAT_EQ(a->verts[1].xfpos.y, 240 - 32);
}

// The box used for culling turns with the vertices: a mesh whose modelled position lies
// behind the camera's turned view is culled, one ahead of it is not.
TEST_F(Effects, BoxTurnsWithTheCamera) {
  TestScene ts;
  setcamera(ts.camera, {0, 0, 0}, 0, 180, 0);
  ts.finish();
  updateworldplanes(&ts.camera);
  auto m = square();
  m->object.bbox[0] = m->object.bbox[1] = {0, 0, 0};
  for (Vec3 &c : m->object.bbox) c = {c.x, c.y, 10};
  processsfx(&ts.scene, &m->object);
  EXPECT_NE(m->object.visibility, 1) << "the box at +10 is turned to -10, in front of the camera";
  m->object.posz = 20;  // world +20 lies behind a camera looking along -z
  processsfx(&ts.scene, &m->object);
  EXPECT_EQ(m->object.visibility, 1);
}

}  // namespace
