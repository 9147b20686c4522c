// Polygons of many corners cut into triangles by ear clipping in the polygon's own plane.
//
// The plane's normal is Newell's (the sum of the edges' cross terms), which stays right
// for concave polygons and for polygons with collinear or repeated corners, where the
// cross product of any three corners may vanish. The corners are projected onto the two
// axes the normal is least along, and the winding taken from the projected area, so
// ears are convex corners of the polygon's own turning sense whatever way it faces.
//
// Ear clipping (Meisters' two-ears theorem: every simple polygon of four or more corners
// has two non-overlapping ears) costs up to n^3 tests on a bad polygon; above
// maxearcorners the polygon is cut as a fan instead, which is exact for convex ones.
#include <cmath>

#include "lwo/lworeader.h"

namespace {

struct Flat {
  double x, y;
};

double cross(Flat a, Flat b, Flat c) { return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x); }

// p strictly inside triangle abc of positive winding, or on its edges away from its corners.
int inside(Flat a, Flat b, Flat c, Flat p) {
  return cross(a, b, p) >= 0 && cross(b, c, p) >= 0 && cross(c, a, p) >= 0;
}

int same(Flat a, Flat b) { return a.x == b.x && a.y == b.y; }

}  // namespace

int triangulatepolygon(const Vec3 *points, int32_t numpoints, const uint32_t *corners, int n,
                       int32_t *scratch, uint32_t *out) {
  int count = 0;
  if (n < 3) return 0;
  int known = 1;
  for (int i = 0; i < n; i++) known &= corners[i] < uint32_t(numpoints);
  if (!known || n > maxearcorners) {
    // Corners not yet read (or not there: the reader refuses the object afterwards), or
    // too many for ear clipping: a fan from the first corner.
    for (int i = 1; i + 1 < n; i++) {
      out[3 * count] = corners[0];
      out[3 * count + 1] = corners[i];
      out[3 * count + 2] = corners[i + 1];
      count++;
    }
    return count;
  }

  double nx = 0, ny = 0, nz = 0;
  for (int i = 0; i < n; i++) {
    const Vec3 &a = points[corners[i]];
    const Vec3 &b = points[corners[(i + 1) % n]];
    nx += (double(a.y) - b.y) * (double(a.z) + b.z);
    ny += (double(a.z) - b.z) * (double(a.x) + b.x);
    nz += (double(a.x) - b.x) * (double(a.y) + b.y);
  }
  // Project along the normal's largest component; keep the polygon's turning positive.
  int axis = std::fabs(nx) >= std::fabs(ny) ? (std::fabs(nx) >= std::fabs(nz) ? 0 : 2)
                                            : (std::fabs(ny) >= std::fabs(nz) ? 1 : 2);
  double along = axis == 0 ? nx : axis == 1 ? ny : nz;
  auto flat = [&](uint32_t k) {
    const Vec3 &p = points[k];
    Flat f = axis == 0 ? Flat{p.y, p.z} : axis == 1 ? Flat{p.z, p.x} : Flat{p.x, p.y};
    if (along < 0) f.x = -f.x;
    return f;
  };

  // The corners still to cut, as a ring of positions in corners[]. Repeated corners
  // (the same point, or points at the same place, one after the other) go first.
  int m = 0;
  for (int i = 0; i < n; i++) {
    if (m > 0 && (corners[scratch[m - 1]] == corners[i] || same(flat(corners[scratch[m - 1]]), flat(corners[i]))))
      continue;
    scratch[m++] = i;
  }
  while (m > 1 && same(flat(corners[scratch[m - 1]]), flat(corners[scratch[0]]))) m--;

  int misses = 0;
  int at = 0;
  while (m > 3) {
    if (at >= m) at = 0;
    int ip = (at + m - 1) % m, in = (at + 1) % m;
    Flat a = flat(corners[scratch[ip]]), b = flat(corners[scratch[at]]), c = flat(corners[scratch[in]]);
    double turn = cross(a, b, c);
    int ear = 0, drop = 0;
    if (turn == 0) {
      // A collinear corner (or a spike folding back on its edge) adds no area: it goes
      // without a triangle.
      drop = 1;
    } else if (turn > 0) {
      ear = 1;
      for (int j = 0; j < m && ear; j++) {
        if (j == ip || j == at || j == in) continue;
        Flat p = flat(corners[scratch[j]]);
        // A corner at the same place as one of the ear's is its repeat further round;
        // it lies on the ear's outline, not in it.
        if (same(p, a) || same(p, b) || same(p, c)) continue;
        if (inside(a, b, c, p)) ear = 0;
      }
    }
    // A self-crossing polygon may have no ear at all: after a full round without one the
    // next convex-or-not corner is cut anyway, so the loop always ends.
    if (!ear && !drop && ++misses > m) ear = 1;
    if (ear || drop) {
      if (ear) {
        out[3 * count] = corners[scratch[ip]];
        out[3 * count + 1] = corners[scratch[at]];
        out[3 * count + 2] = corners[scratch[in]];
        count++;
      }
      for (int j = at; j + 1 < m; j++) scratch[j] = scratch[j + 1];
      m--;
      misses = 0;
      // Step back: the corner before the cut one may have become an ear.
      at = ip < at ? ip : at;
      if (at >= m) at = 0;
    } else {
      at++;
    }
  }
  if (m == 3 && cross(flat(corners[scratch[0]]), flat(corners[scratch[1]]), flat(corners[scratch[2]])) != 0) {
    out[3 * count] = corners[scratch[0]];
    out[3 * count + 1] = corners[scratch[1]];
    out[3 * count + 2] = corners[scratch[2]];
    count++;
  }
  return count;
}
