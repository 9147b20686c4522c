#include "testscene.h"

namespace {

class Culling : public PipelineTest {
 protected:
  SceneCamera camera;
  // World-space box straight from its object-space corners.
  void cull(SceneObject &o) {
    transformboxes(&o);
    cullbox(&camera, &o);
  }
};

// The camera at the origin looking along +z, and at (5, 0, 0) turned to look along +x.
TEST_F(Culling, InsideOutsideAndCrossing) {
  const struct {
    bool turned;
    Vec3 lo, hi;
    int visibility, clipmask;
  } cases[] = {
      // Inside: the near bit is always set.
      {false, {-1, -1, 10}, {1, 1, 12}, 0, 16},
      // All eight corners beyond the far plane: culled, and clipmask keeps its old value.
      {false, {-1, -1, 150}, {1, 1, 160}, 1, 0xAA},
      // Every corner lies outside the left or the right plane, but no plane has all eight.
      {false, {-100, -1, 10}, {100, 1, 11}, 2, 4 | 8 | 16},
      // A box around the camera crosses all six planes.
      {false, {-1000, -1000, -1}, {1000, 1000, 200}, 2, 63},
      // The world planes follow the camera: ahead of it, behind its old view, and nearer
      // than 0.2.
      {true, {14, -1, -1}, {16, 1, 1}, 0, 16},
      {true, {-1, -1, 10}, {1, 1, 12}, 1, 0xAA},
      {true, {5.05f, -0.01f, -0.01f}, {5.1f, 0.01f, 0.01f}, 1, 0xAA},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.turned << ": " << c.lo.x << " " << c.lo.z << " .. " << c.hi.x << " " << c.hi.z);
    setcamera(camera, c.turned ? Vec3{5, 0, 0} : Vec3{0, 0, 0}, 0, c.turned ? 90.0f : 0.0f, 0);
    updateworldplanes(&camera);
    auto box = makemesh({c.lo, c.hi}, {});  // the box of the two corners, no polygons
    box->object.clipmask = 0xAA;
    cull(box->object);
    EXPECT_EQ(std::pair(box->object.visibility, +box->object.clipmask), std::pair(c.visibility, c.clipmask));
  }
}

}  // namespace
