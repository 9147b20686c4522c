#include "math/vecmath.h"

#include <cmath>

namespace {

// Degrees to radians, as a double constant with the system's own rounding.
constexpr double degtorad = 0.017453293;

}  // namespace

void matidentity(Mat3 *m) {
  for (int i = 0; i < 9; i++) m->m[i] = (i % 4 == 0) ? 1.0f : 0.0f;
}

// Each elementary rotation mixes two rows of M from their old values: new row a =
// c*a + sa*b, new row b = sb*a + c*b, computed in double.
static void mixrows(Mat3 *m, int a, int b, double c, double sa, double sb) {
  float *ra = &m->m[a * 3];
  float *rb = &m->m[b * 3];
  for (int j = 0; j < 3; j++) {
    double x = ra[j], y = rb[j];
    ra[j] = (float)(c * x + sa * y);
    rb[j] = (float)(sb * x + c * y);
  }
}

void matrotatex(Mat3 *m, float angle) {
  double r = angle * degtorad, c = cos(r), s = sin(r);
  // Rx rows (1,0,0), (0,c,-s), (0,s,c).
  mixrows(m, 1, 2, c, -s, s);
}

void matrotatey(Mat3 *m, float angle) {
  double r = angle * degtorad, c = cos(r), s = sin(r);
  // Ry rows (c,0,s), (0,1,0), (-s,0,c).
  mixrows(m, 0, 2, c, s, -s);
}

void matrotatez(Mat3 *m, float angle) {
  double r = angle * degtorad, c = cos(r), s = sin(r);
  // Rz rows (c,-s,0), (s,c,0), (0,0,1).
  mixrows(m, 0, 1, c, -s, s);
}

void makerotation(Mat3 *m, float pitch, float heading, float bank) {
  matidentity(m);
  matrotatex(m, pitch);
  matrotatey(m, heading);
  matrotatez(m, bank);
}

void mattranspose(const Mat3 *m, Mat3 *out) {
  for (int r = 0; r < 3; r++)
    for (int c = 0; c < 3; c++) out->m[c * 3 + r] = m->m[r * 3 + c];
}

void mattransform(const Mat3 *m, const Vec3 *in, Vec3 *out, int n) {
  const float *a = m->m;
  for (int i = 0; i < n; i++) {
    // Read the whole input before writing: in and out may be the same array.
    double x = in[i].x, y = in[i].y, z = in[i].z;
    out[i].x = (float)(a[0] * x + a[1] * y + a[2] * z);
    out[i].y = (float)(a[3] * x + a[4] * y + a[5] * z);
    out[i].z = (float)(a[6] * x + a[7] * y + a[8] * z);
  }
}

void vtranslate(float dx, float dy, float dz, const Vec3 *in, Vec3 *out, int n) {
  for (int i = 0; i < n; i++) {
    out[i].x = (float)((double)in[i].x + dx);
    out[i].y = (float)((double)in[i].y + dy);
    out[i].z = (float)((double)in[i].z + dz);
  }
}

void vcross(float ax, float ay, float az, float bx, float by, float bz, Vec3 *out) {
  double x = (double)ay * bz - (double)az * by;
  double y = (double)az * bx - (double)ax * bz;
  double z = (double)ax * by - (double)ay * bx;
  out->x = (float)x;
  out->y = (float)y;
  out->z = (float)z;
}

void vnegate(float x, float y, float z, Vec3 *out) {
  out->x = -x;
  out->y = -y;
  out->z = -z;
}

void vscale(float x, float y, float z, float s, Vec3 *out) {
  out->x = (float)((double)x * s);
  out->y = (float)((double)y * s);
  out->z = (float)((double)z * s);
}

void vsub(float ax, float ay, float az, float bx, float by, float bz, Vec3 *out) {
  out->x = (float)((double)ax - bx);
  out->y = (float)((double)ay - by);
  out->z = (float)((double)az - bz);
}

double vlength(float x, float y, float z) {
  return sqrt((double)x * x + (double)y * y + (double)z * z);
}

void vnormalize(Vec3 *v) {
  double length = vlength(v->x, v->y, v->z);
  // A zero vector would divide by zero; 1e-05 keeps it at (0, 0, 0).
  if (length == 0.0) length = 1e-05;
  double f = 1.0 / length;
  v->x = (float)(v->x * f);
  v->y = (float)(v->y * f);
  v->z = (float)(v->z * f);
}
