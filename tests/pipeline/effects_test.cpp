#include "testscene.h"

namespace {

class Effects : public PipelineTest {};

// A square of side 2 in the mesh's x-y plane, facing -z, as a particle square is modelled.
std::unique_ptr<TestMesh> square() {
  auto m = makemesh({{-1, 1, 0}, {1, 1, 0}, {1, -1, 0}, {-1, -1, 0}}, {{0, 1, 2, 3}}, {.red = 10, .green = 20, .blue = 30});
  m->object.issfxmesh = 1;
  return m;
}

// However the camera is turned, a mesh standing ten units ahead of it shows the same
// square on the screen: it turns with the camera, and its own angles play no part.
TEST_F(Effects, TurningTheCameraTurnsTheMesh) {
  TestScene straight, turned;
  setcamera(straight.camera, {0, 0, 0});
  setcamera(turned.camera, {4, -3, 2}, 30, 120, -20);
  straight.finish();
  turned.finish();
  auto a = square(), b = square();
  a->object.posz = 10;
  a->object.rotheading = 45;
  b->object.rotpitch = 30;
  Vec3 ahead{0, 0, 10}, world;
  mattransform(&turned.camera.cameratoworld, &ahead, &world, 1);
  b->object.posx = world.x + 4;
  b->object.posy = world.y - 3;
  b->object.posz = world.z + 2;
  updateworldplanes(&straight.camera);
  updateworldplanes(&turned.camera);
  processsfx(&straight.scene, &a->object);
  processsfx(&turned.scene, &b->object);
  ASSERT_EQ(std::vector<int>({a->object.visibility, b->object.visibility, a->object.numdrawpolys, b->object.numdrawpolys}),
            std::vector<int>({0, 0, 1, 1}));
  for (int i = 0; i < 4; i++) {
    EXPECT_NEAR(a->verts[i].xfpos.x, b->verts[i].xfpos.x, 1e-3f);
    EXPECT_NEAR(a->verts[i].xfpos.y, b->verts[i].xfpos.y, 1e-3f);
    EXPECT_NEAR(a->verts[i].xfpos.z, b->verts[i].xfpos.z, 1e-4f);
    EXPECT_EQ(a->xformnormals[i].z, -1.0f);
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
