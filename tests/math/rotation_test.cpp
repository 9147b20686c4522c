#include "math/vecmath.h"
#include "testutil.h"

namespace {

Vec3 apply(const Mat3 &m, Vec3 v) {
  mattransform(&m, &v, &v, 1);
  return v;
}

TEST(Rotation, SignsAndOrderOfPitchHeadingBank) {
  struct Case {
    float pitch, heading, bank;
    Vec3 in, out;
  } cases[] = {
      {0, 90, 0, {0, 0, 1}, {1, 0, 0}},
      {90, 0, 0, {0, 0, 1}, {0, -1, 0}},
      {0, 0, 90, {1, 0, 0}, {0, 1, 0}},
      // Pitch acts before heading: heading first would have sent (0, 0, 1) to (1, 0, 0)
      // and x to -z before the pitch; the order shows on x.
      {90, 90, 0, {0, 0, 1}, {0, -1, 0}},
      {90, 90, 0, {1, 0, 0}, {0, 0, -1}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.pitch << " " << c.heading << " " << c.bank);
    Mat3 m;
    makerotation(&m, c.pitch, c.heading, c.bank);
    expectnear(apply(m, c.in), c.out.x, c.out.y, c.out.z);
  }
}

TEST(Vectors, TransformInPlaceTranslateAndNormalize) {
  Mat3 m;
  makerotation(&m, 0, 90, 0);
  Vec3 a[3] = {{0, 0, 1}, {1, 0, 0}, {0, 2, 0}};
  mattransform(&m, a, a, 3);
  expectnear(a[0], 1, 0, 0);
  expectnear(a[1], 0, 0, -1);
  expectnear(a[2], 0, 2, 0);
  vtranslate(1, 2, 3, a, a, 3);
  expectnear(a[2], 1, 4, 3);
  // A zero-length vector stays zero instead of becoming NaN.
  Vec3 z{0, 0, 0};
  vnormalize(&z);
  expectnear(z, 0, 0, 0, 0);
  Vec3 v{3, 0, 4};
  vnormalize(&v);
  expectnear(v, 0.6f, 0, 0.8f);
}

}  // namespace
