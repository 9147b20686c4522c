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

TEST_F(Culling, InsideOutsideAndCrossing) {
  setcamera(camera, {0, 0, 0});
  updateworldplanes(&camera);
  const struct {
    Vec3 lo, hi;
    int visibility, clipmask;
  } cases[] = {
      // Inside: the near bit is always set.
      {{-1, -1, 10}, {1, 1, 12}, 0, 16},
      // All eight corners beyond the far plane: culled, and clipmask keeps its old value.
      {{-1, -1, 150}, {1, 1, 160}, 1, 0xAA},
      // Every corner lies outside the left or the right plane, but no plane has all eight.
      {{-100, -1, 10}, {100, 1, 11}, 2, 4 | 8 | 16},
      // A box around the camera crosses all six planes.
      {{-1000, -1000, -1}, {1000, 1000, 200}, 2, 63},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.lo.x << " " << c.lo.z << " .. " << c.hi.x << " " << c.hi.z);
    auto box = makebox(c.lo, c.hi);
    box->object.clipmask = 0xAA;
    cull(box->object);
    EXPECT_EQ(box->object.visibility, c.visibility);
    EXPECT_EQ(box->object.clipmask, c.clipmask);
  }
}

TEST_F(Culling, WorldPlanesFollowTheCamera) {
  // Turned to look along +x from (5, 0, 0).
  setcamera(camera, {5, 0, 0}, 0, 90, 0);
  updateworldplanes(&camera);
  auto ahead = makebox({14, -1, -1}, {16, 1, 1});
  auto old = makebox({-1, -1, 10}, {1, 1, 12});
  auto tooclose = makebox({5.05f, -0.01f, -0.01f}, {5.1f, 0.01f, 0.01f});
  cull(ahead->object);
  cull(old->object);
  cull(tooclose->object);
  EXPECT_EQ(ahead->object.visibility, 0);
  EXPECT_EQ(old->object.visibility, 1);
  EXPECT_EQ(tooclose->object.visibility, 1) << "nearer than 0.2 to the camera";
}

}  // namespace
