#include <gtest/gtest.h>

#include "math/vecmath.h"

namespace {

Vec3 apply(const Mat3 &m, Vec3 v) {
  mattransform(&m, &v, &v, 1);
  return v;
}

void expectnear(Vec3 v, float x, float y, float z, float tol = 1e-6f) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

TEST(Rotation, SignsOfHeadingPitchBank) {
  Mat3 m;
  makerotation(&m, 0, 90, 0);
  expectnear(apply(m, {0, 0, 1}), 1, 0, 0);
  makerotation(&m, 90, 0, 0);
  expectnear(apply(m, {0, 0, 1}), 0, -1, 0);
  makerotation(&m, 0, 0, 90);
  expectnear(apply(m, {1, 0, 0}), 0, 1, 0);
  makerotation(&m, 45, 0, 0);
  Vec3 v = apply(m, {0, 0, 1});
  EXPECT_FLOAT_EQ(v.y, -0.70710677f);
  EXPECT_FLOAT_EQ(v.z, 0.70710677f);
}

TEST(Rotation, PitchActsBeforeHeading) {
  Mat3 m;
  makerotation(&m, 90, 90, 0);
  expectnear(apply(m, {0, 0, 1}), 0, -1, 0);
  // Heading first would have given (1, 0, 0) before the pitch; the order is visible on x.
  makerotation(&m, 90, 90, 0);
  expectnear(apply(m, {1, 0, 0}), 0, 0, -1);
}

TEST(Rotation, ZeroAnglesGiveIdentityAndTransposeInverts) {
  Mat3 m, id, t;
  makerotation(&m, 0, 0, 0);
  matidentity(&id);
  for (int i = 0; i < 9; i++) EXPECT_EQ(m.m[i], id.m[i]);
  makerotation(&m, 30, -70, 15);
  mattranspose(&m, &t);
  Vec3 v = apply(t, apply(m, {0.3f, -2, 5}));
  expectnear(v, 0.3f, -2, 5, 1e-5f);
}

TEST(Rotation, RandomRotationsStayOrthonormal) {
  unsigned seed = 7;
  for (int k = 0; k < 200; k++) {
    float a[3];
    for (float &x : a) {
      seed = seed * 1103515245u + 12345u;
      x = (float)((seed >> 8) % 72000) / 100.0f - 360.0f;
    }
    Mat3 m;
    makerotation(&m, a[0], a[1], a[2]);
    for (int r = 0; r < 3; r++)
      for (int s = 0; s < 3; s++) {
        double dot = 0;
        for (int c = 0; c < 3; c++) dot += (double)m.m[r * 3 + c] * m.m[s * 3 + c];
        EXPECT_NEAR(dot, r == s ? 1.0 : 0.0, 1e-6);
      }
  }
}

TEST(Vectors, TransformInPlaceAndTranslate) {
  Mat3 m;
  makerotation(&m, 0, 90, 0);
  Vec3 a[3] = {{0, 0, 1}, {1, 0, 0}, {0, 2, 0}};
  mattransform(&m, a, a, 3);
  expectnear(a[0], 1, 0, 0);
  expectnear(a[1], 0, 0, -1);
  expectnear(a[2], 0, 2, 0);
  vtranslate(1, 2, 3, a, a, 3);
  expectnear(a[2], 1, 4, 3);
  mattransform(&m, a, a, 0);
  expectnear(a[2], 1, 4, 3);
}

TEST(Vectors, CrossNormalizeAndZeroGuard) {
  Vec3 c;
  vcross(1, 0, 0, 0, 1, 0, &c);
  expectnear(c, 0, 0, 1);
  vcross(0, 1, 0, 0, 0, 1, &c);
  expectnear(c, 1, 0, 0);
  Vec3 z{0, 0, 0};
  vnormalize(&z);
  EXPECT_EQ(z.x, 0.0f);
  EXPECT_EQ(z.y, 0.0f);
  EXPECT_EQ(z.z, 0.0f);
  Vec3 v{3, 0, 4};
  vnormalize(&v);
  EXPECT_FLOAT_EQ(v.x, 0.6f);
  EXPECT_FLOAT_EQ(v.z, 0.8f);
  EXPECT_DOUBLE_EQ(vlength(3, 0, 4), 5.0);
}

}  // namespace
