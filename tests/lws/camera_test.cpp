#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "display/display.h"
#include "lws/lws.h"
#include "math/vecmath.h"

namespace {

// The camera reads the global screen; each test gets a 640 x 480 one and leaves the
// global as it found it.
class Camera : public ::testing::Test {
 protected:
  ~Camera() override {
    screen = saved;
    free(camera);
  }
  SceneCamera *make(float fov = 90) { return camera = createcamera(0, 0, 0, fov); }
  Screen testscreen{480, 640, 16, 320, 240, 1};
  Screen *saved = std::exchange(screen, &testscreen);
  SceneCamera *camera = nullptr;
};

std::vector<float> rows(const Mat3 &m) { return std::vector<float>(m.m, m.m + 9); }
const std::vector<float> identity = {1, 0, 0, 0, 1, 0, 0, 0, 1};

void expecttranspose(const SceneCamera *c) {
  for (int i = 0; i < 9; i++) EXPECT_EQ(c->cameratoworld.m[i % 3 * 3 + i / 3], c->worldtocamera.m[i]);
}

// Zoom factors 1, 2 and 3.2 as fields of view; the distance follows the screen width,
// not the height. Angles are clamped to 0..180: the half angle of 180 rounds to just
// past 90 degrees, where a negative distance would mirror the picture.
TEST_F(Camera, FieldOfViewGivesAUsableProjectionDistance) {
  SceneCamera *c = make(90);
  EXPECT_EQ(c->targetindex, -1);
  EXPECT_EQ(rows(c->worldtocamera), identity);
  const float cases[][3] = {{90, 320, 1e-3f}, {53.130102f, 640, 1e-3f}, {34.708049f, 1024, 1e-2f}};
  for (const auto &k : cases) {
    setfieldofview(c, k[0]);
    EXPECT_NEAR(c->projdistance, k[1], k[2]) << k[0];
  }
  setfieldofview(c, 200);
  EXPECT_EQ(c->fieldofview, 180.0f);
  EXPECT_TRUE(c->projdistance > 0 && c->projdistance < 1) << c->projdistance;
  for (float bad : {-10.0f, NAN}) {
    setfieldofview(c, bad);
    EXPECT_TRUE(c->fieldofview == 0 && std::isfinite(c->projdistance)) << bad;
  }
  testscreen.width = 320;
  setfieldofview(c, 90);
  EXPECT_NEAR(c->projdistance, 160.0f, 1e-3f);
}

TEST_F(Camera, DegenerateAimsKeepThePreviousOrientation) {
  SceneCamera *c = make();
  // Before any resolvable aim: the orientation of a new camera.
  cameratarget(c, 0, 0, 0);
  EXPECT_EQ(rows(c->worldtocamera), identity);
  EXPECT_EQ(c->forward.z, 1);

  cameratarget(c, 10, 0, 0);
  Mat3 w = c->worldtocamera;
  Vec3 forward = c->forward;
  for (float y : {0.0f, 5.0f, -7.0f}) {
    cameratarget(c, 0, y, 0);
    EXPECT_EQ(rows(c->worldtocamera), rows(w)) << y;
    EXPECT_EQ(std::pair(c->forward.x, c->forward.z), std::pair(forward.x, forward.z));
  }
  expecttranspose(c);
  // The point is still remembered as the last aim.
  EXPECT_EQ(c->target.y, -7);
}

}  // namespace
