// Vectors, 3x3 matrices and rotations.
//
// Conventions, used everywhere in the system:
// - Vec3 is three packed floats; Mat3 is nine floats stored row by row
//   (row 0 = m[0..2]) and applied to column vectors: M*v.
// - Angles are degrees; radians = degrees * 0.017453293.
// - One rotation: makerotation(pitch, heading, bank) = Rz(bank) * Ry(heading) * Rx(pitch),
//   about fixed axes. x right, y up, z forward. Heading +90 turns (0,0,1) to (1,0,0);
//   pitch +90 turns (0,0,1) to (0,-1,0); bank +90 turns (1,0,0) to (0,1,0).
// - Intermediate arithmetic is double; results are stored as floats.
// - A plane is a unit normal and a distance; p is inside when normal . p >= distance.
#pragma once

struct Vec3 {
  float x = 0, y = 0, z = 0;
};

struct Mat3 {
  float m[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
};

struct Plane {
  Vec3 normal;
  float distance = 0;
};

// M = identity.
void matidentity(Mat3 *m);
// M = Rx(angle) * M; only rows 1 and 2 change.
void matrotatex(Mat3 *m, float angle);
// M = Ry(angle) * M; only rows 0 and 2 change.
void matrotatey(Mat3 *m, float angle);
// M = Rz(angle) * M; only rows 0 and 1 change.
void matrotatez(Mat3 *m, float angle);
// M = Rz(bank) * Ry(heading) * Rx(pitch).
void makerotation(Mat3 *m, float pitch, float heading, float bank);
// out = transpose of M; out may not alias M.
void mattranspose(const Mat3 *m, Mat3 *out);
// out[i] = M * in[i] for i < n; in and out may be the same array; n <= 0 does nothing.
void mattransform(const Mat3 *m, const Vec3 *in, Vec3 *out, int n);
// out[i] = in[i] + (dx, dy, dz) for i < n; may work in place.
void vtranslate(float dx, float dy, float dz, const Vec3 *in, Vec3 *out, int n);
// out = a x b.
void vcross(float ax, float ay, float az, float bx, float by, float bz, Vec3 *out);
// out = -v.
void vnegate(float x, float y, float z, Vec3 *out);
// out = s * v.
void vscale(float x, float y, float z, float s, Vec3 *out);
// out = a - b.
void vsub(float ax, float ay, float az, float bx, float by, float bz, Vec3 *out);
// |v| in double precision.
double vlength(float x, float y, float z);
// v = v / |v| in place; a zero vector stays zero (its length is taken as 1e-05).
void vnormalize(Vec3 *v);

// M * p + (tx, ty, tz), worked in double and rounded once to float; a null M adds the
// translation alone, so each coordinate is one exact sum rounded once. Inline: the
// pipeline calls it for every vertex of every frame.
inline Vec3 matplace(const Mat3 *m, const Vec3 &p, double tx, double ty, double tz) {
  const double x = p.x, y = p.y, z = p.z;
  if (m == nullptr) return {(float)(x + tx), (float)(y + ty), (float)(z + tz)};
  const float *a = m->m;
  return {(float)(a[0] * x + a[1] * y + a[2] * z + tx), (float)(a[3] * x + a[4] * y + a[5] * z + ty),
          (float)(a[6] * x + a[7] * y + a[8] * z + tz)};
}
