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

// Rows of m from row first on, each value within 1e-6.
void expectrows(const Mat3 &m, std::vector<float> want, int first = 0) {
  for (size_t i = 0; i < want.size(); i++) EXPECT_NEAR(m.m[3 * first + i], want[i], 1e-6f) << "entry " << 3 * first + i;
}
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
  expectrows(c->worldtocamera, identity);
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

TEST_F(Camera, OrientationFromAnglesLeavesTheAimAlone) {
  SceneCamera *c = make();
  camerafromangles(c, 0, 90, 0);
  expectrows(c->worldtocamera, {0, 1, 0, 1, 0, 0}, 1);  // forward axis turned to +x
  expecttranspose(c);
  EXPECT_EQ(std::pair(c->forward.x, c->forward.z), std::pair(0.0f, 1.0f));
  camerafromangles(c, 90, 0, 0);  // positive pitch looks down
  expectrows(c->worldtocamera, {0, -1, 0}, 2);
}

TEST_F(Camera, AimedCameraNeverRollsAndLooksAtItsTarget) {
  SceneCamera *c = createcamera(3, -2, 5, 60);
  camera = c;
  unsigned seed = 11;
  for (int i = 0; i < 200; i++) {
    float p[3];
    for (float &x : p) {
      seed = seed * 1103515245u + 12345u;
      x = (float)((seed >> 8) % 2000) / 10.0f - 100.0f;
    }
    cameratarget(c, p[0], p[1], p[2]);
    const Mat3 &m = c->worldtocamera;
    EXPECT_NEAR(m.m[1], 0, 1e-6f);  // right axis horizontal
    EXPECT_GE(m.m[4], 0);           // up axis never upside down
    Vec3 d{p[0] - 3, p[1] + 2, p[2] - 5};
    Vec3 cam;
    mattransform(&m, &d, &cam, 1);  // the target lies straight ahead
    EXPECT_NEAR(cam.x, 0, 1e-3f);
    EXPECT_NEAR(cam.y, 0, 1e-3f);
    EXPECT_GT(cam.z, 0);
    float len = (float)vlength(d.x, d.y, d.z);
    EXPECT_NEAR(c->forward.x, d.x / len, 1e-5f);
    EXPECT_NEAR(c->forward.z, d.z / len, 1e-5f);
  }
  expecttranspose(c);
}

TEST_F(Camera, DegenerateAimsKeepThePreviousOrientation) {
  SceneCamera *c = make();
  // Before any resolvable aim: the orientation of a new camera.
  cameratarget(c, 0, 0, 0);
  expectrows(c->worldtocamera, identity);
  EXPECT_EQ(c->forward.z, 1);

  cameratarget(c, 10, 0, 0);
  Mat3 w = c->worldtocamera;
  Vec3 forward = c->forward;
  for (float y : {0.0f, 5.0f, -7.0f}) {
    cameratarget(c, 0, y, 0);
    EXPECT_EQ(std::vector<float>(c->worldtocamera.m, c->worldtocamera.m + 9), std::vector<float>(w.m, w.m + 9)) << y;
    EXPECT_EQ(std::pair(c->forward.x, c->forward.z), std::pair(forward.x, forward.z));
  }
  expecttranspose(c);
  // The point is still remembered as the last aim.
  EXPECT_EQ(c->target.y, -7);
}

// The view volume: each plane keeps exactly the points its edge says, and the four side
// planes together keep exactly the points that project inside the viewport.
TEST_F(Camera, ViewPlanesKeepThePointsOfTheViewport) {
  const float fovs[] = {90, 53.130102f, 34.708049f, 120};
  unsigned seed = 5;
  auto next = [&seed](float lo, float hi) {
    seed = seed * 1103515245u + 12345u;
    return lo + (hi - lo) * (float)((seed >> 8) & 0xFFFF) / 65535.0f;
  };
  for (float fov : fovs) {
    SceneCamera *c = createcamera(0, 0, 0, fov);
    setupviewplanes(c);
    double tana = 240.0 / c->projdistance;
    double tanb = tan(c->fieldofview * 0.5 * 0.017453293);
    for (int i = 0; i < 2000; i++) {
      Vec3 p{next(-300, 300), next(-300, 300), next(-20, 150)};
      bool expected[6] = {p.y <= p.z * tana, p.y >= -p.z * tana, p.x >= -p.z * tanb,
                          p.x <= p.z * tanb, p.z >= 0.2f, p.z <= 100};
      double margin[6] = {p.z * tana - p.y, p.y + p.z * tana, p.x + p.z * tanb, p.z * tanb - p.x, p.z - 0.2, 100 - p.z};
      bool sides = true;
      for (int k = 0; k < 6; k++) {
        const Plane &pl = c->viewplanes[k];
        double dot = (double)pl.normal.x * p.x + (double)pl.normal.y * p.y + (double)pl.normal.z * p.z;
        if (k < 4) sides = sides && dot >= pl.distance;
        if (fabs(margin[k]) < 1e-2) continue;  // rounding decides points on an edge
        EXPECT_EQ(dot >= pl.distance, expected[k]) << "plane " << k << " fov " << fov;
      }
      if (p.z > 1) {
        double sx = p.x * c->projdistance / p.z, sy = p.y * c->projdistance / p.z;
        if (fabs(fabs(sx) - 320) > 1 && fabs(fabs(sy) - 240) > 1) {
          EXPECT_EQ(sides, fabs(sx) < 320 && fabs(sy) < 240) << p.x << " " << p.y << " " << p.z;
        }
      }
    }
    for (int k = 0; k < 6; k++)
      EXPECT_NEAR(vlength(c->viewplanes[k].normal.x, c->viewplanes[k].normal.y, c->viewplanes[k].normal.z), 1.0, 1e-6);
    free(c);
  }
}

}  // namespace
