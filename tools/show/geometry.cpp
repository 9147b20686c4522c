#include <cmath>
#include <cstring>

#include "tools/show/show.h"

namespace {

ShowPoint sub(ShowPoint a, ShowPoint b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

ShowPoint cross(ShowPoint a, ShowPoint b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float dot(ShowPoint a, ShowPoint b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

int addpoint(ShowMesh *mesh, ShowPoint p) {
  mesh->points.push_back(p);
  return (int)mesh->points.size() - 1;
}

// Appends the polygon with its corners ordered so that it faces `outward`. The object
// reader's rule: N = (P0 - P1) x (P2 - P1) points away from the side the polygon is seen
// from, so a face seen from outside has N . outward <= 0.
void addface(ShowMesh *mesh, const ShowPoint *p, int n, ShowPoint outward, int surface) {
  ShowPoint normal = cross(sub(p[0], p[1]), sub(p[2], p[1]));
  bool reverse = dot(normal, outward) > 0;
  ShowPoly poly;
  poly.numcorners = n;
  poly.surface = surface;
  for (int i = 0; i < n; i++) poly.corners[i] = addpoint(mesh, p[reverse ? n - 1 - i : i]);
  mesh->polys.push_back(poly);
}

ShowPoint facenormal(const ShowPoint *p) { return cross(sub(p[1], p[0]), sub(p[2], p[0])); }

// A quad facing away from `inside`.
void addquadaway(ShowMesh *mesh, ShowPoint a, ShowPoint b, ShowPoint c, ShowPoint d,
                 ShowPoint inside, int surface) {
  ShowPoint p[4] = {a, b, c, d};
  ShowPoint n = facenormal(p);
  ShowPoint centre = {(a.x + b.x + c.x + d.x) / 4, (a.y + b.y + c.y + d.y) / 4,
                      (a.z + b.z + c.z + d.z) / 4};
  if (dot(n, sub(centre, inside)) < 0) n = {-n.x, -n.y, -n.z};
  addface(mesh, p, 4, n, surface);
}

// A prism over the convex quad q (in the z = z0 plane, any order) from z0 to z1.
void addprism(ShowMesh *mesh, const ShowPoint *q, float z0, float z1, int surface) {
  ShowPoint inside = {0, 0, (z0 + z1) / 2};
  for (int i = 0; i < 4; i++) {
    inside.x += q[i].x / 4;
    inside.y += q[i].y / 4;
  }
  ShowPoint front[4], back[4];
  for (int i = 0; i < 4; i++) {
    front[i] = {q[i].x, q[i].y, z0};
    back[i] = {q[i].x, q[i].y, z1};
  }
  addface(mesh, front, 4, {0, 0, -1}, surface);
  addface(mesh, back, 4, {0, 0, 1}, surface);
  for (int i = 0; i < 4; i++) {
    int j = (i + 1) % 4;
    addquadaway(mesh, front[i], front[j], back[j], back[i], inside, surface);
  }
}

}  // namespace

void showbox(ShowMesh *mesh, ShowPoint lo, ShowPoint hi, int surface) {
  ShowPoint q[4] = {{lo.x, lo.y, 0}, {hi.x, lo.y, 0}, {hi.x, hi.y, 0}, {lo.x, hi.y, 0}};
  addprism(mesh, q, lo.z, hi.z, surface);
}

void showsphere(ShowMesh *mesh, ShowPoint c, float r, int slices, int stacks, int surface) {
  const double pi = 3.14159265358979323846;
  auto at = [&](int i, int j) {
    double theta = 2 * pi * i / slices, phi = pi * j / stacks;
    return ShowPoint{(float)(c.x + r * sin(phi) * sin(theta)), (float)(c.y + r * cos(phi)),
                     (float)(c.z + r * sin(phi) * cos(theta))};
  };
  for (int j = 0; j < stacks; j++)
    for (int i = 0; i < slices; i++) {
      ShowPoint a = at(i, j), b = at(i + 1, j), d = at(i + 1, j + 1), e = at(i, j + 1);
      // The pole rows are triangles: the quad's two pole corners coincide there.
      if (j == 0 || j == stacks - 1) {
        ShowPoint p[3] = {a, j == 0 ? d : b, j == 0 ? e : d};
        ShowPoint mid = {(p[0].x + p[1].x + p[2].x) / 3 - c.x, (p[0].y + p[1].y + p[2].y) / 3 - c.y,
                         (p[0].z + p[1].z + p[2].z) / 3 - c.z};
        addface(mesh, p, 3, mid, surface);
      } else {
        addquadaway(mesh, a, b, d, e, c, surface);
      }
    }
}

void showtunnel(ShowMesh *mesh, float radius, float z0, float z1, int slices, int rings,
                int surface) {
  const double pi = 3.14159265358979323846;
  for (int k = 0; k < rings; k++) {
    float za = z0 + (z1 - z0) * k / rings, zb = z0 + (z1 - z0) * (k + 1) / rings;
    for (int i = 0; i < slices; i++) {
      double t0 = 2 * pi * i / slices, t1 = 2 * pi * (i + 1) / slices;
      ShowPoint a = {(float)(radius * cos(t0)), (float)(radius * sin(t0)), za};
      ShowPoint b = {(float)(radius * cos(t1)), (float)(radius * sin(t1)), za};
      ShowPoint d = {b.x, b.y, zb}, e = {a.x, a.y, zb};
      ShowPoint p[4] = {a, b, d, e};
      // Seen from inside: the face looks towards the axis.
      ShowPoint mid = {(a.x + b.x) / 2, (a.y + b.y) / 2, 0};
      addface(mesh, p, 4, {-mid.x, -mid.y, 0}, surface);
    }
  }
}

void showfloor(ShowMesh *mesh, float halfsize, float height, int n, int surface) {
  float step = 2 * halfsize / n;
  for (int j = 0; j < n; j++)
    for (int i = 0; i < n; i++) {
      float x0 = -halfsize + i * step, z0 = -halfsize + j * step;
      ShowPoint p[4] = {{x0, height, z0},
                        {x0 + step, height, z0},
                        {x0 + step, height, z0 + step},
                        {x0, height, z0 + step}};
      addface(mesh, p, 4, {0, 1, 0}, surface);
    }
}

void showcard(ShowMesh *mesh, ShowPoint c, float halfwidth, float halfheight, int surface) {
  ShowPoint p[4] = {{c.x - halfwidth, c.y + halfheight, c.z},
                    {c.x + halfwidth, c.y + halfheight, c.z},
                    {c.x + halfwidth, c.y - halfheight, c.z},
                    {c.x - halfwidth, c.y - halfheight, c.z}};
  addface(mesh, p, 4, {0, 0, -1}, surface);
}

void showtorus(ShowMesh *mesh, float major, float minor, int segments, int sides, int surface) {
  const double pi = 3.14159265358979323846;
  auto at = [&](int i, int j) {
    double u = 2 * pi * i / segments, v = 2 * pi * j / sides;
    double r = major + minor * cos(v);
    return ShowPoint{(float)(r * cos(u)), (float)(minor * sin(v)), (float)(r * sin(u))};
  };
  for (int i = 0; i < segments; i++)
    for (int j = 0; j < sides; j++) {
      double u = 2 * pi * (i + 0.5) / segments;
      ShowPoint ring = {(float)(major * cos(u)), 0, (float)(major * sin(u))};
      addquadaway(mesh, at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1), ring, surface);
    }
}

namespace {

struct Glyph {
  char c;
  const char *strokes;  // "x0y0x1y1 ..." on a 4 x 6 grid, baseline at y 0
};

// Our own stroke font: each pair of grid points is one bar.
const Glyph glyphs[] = {
    {'A', "0004 0426 2644 4440 0343"},
    {'B', "0006 0636 3645 4544 4433 0333 3342 4241 4130 3000"},
    {'C', "4616 1605 0501 0110 1040"},
    {'D', "0006 0636 3645 4541 4130 3000"},
    {'E', "4606 0600 0040 0333"},
    {'F', "4606 0600 0333"},
    {'G', "4616 1605 0501 0110 1040 4043 4323"},
    {'H', "0006 4046 0343"},
    {'I', "2026 1636 1030"},
    {'J', "4641 4130 3010 1001"},
    {'K', "0006 0346 0340"},
    {'L', "0600 0040"},
    {'M', "0006 0623 2346 4640"},
    {'N', "0006 0640 4046"},
    {'O', "1001 0105 0516 1636 3645 4541 4130 3010"},
    {'P', "0006 0636 3645 4544 4433 3303"},
    {'Q', "1001 0105 0516 1636 3645 4541 4130 3010 2240"},
    {'R', "0006 0636 3645 4544 4433 3303 2340"},
    {'S', "4616 1605 0504 0413 1333 3342 4241 4130 3000"},
    {'T', "0646 2620"},
    {'U', "0601 0110 1030 3041 4146"},
    {'V', "0620 2046"},
    {'W', "0610 1023 2330 3046"},
    {'X', "0046 0640"},
    {'Y', "0623 4623 2320"},
    {'Z', "0646 4600 0040"},
    {'0', "1001 0105 0516 1636 3645 4541 4130 3010 0145"},
    {'1', "1526 2620 1030"},
    {'2', "0516 1636 3645 4544 4400 0040"},
    {'3', "0636 3645 4544 4433 3313 3342 4241 4130 3000"},
    {'4', "3036 3602 0242"},
    {'5', "4606 0603 0333 3342 4241 4130 3000"},
    {'6', "3616 1605 0501 0110 1030 3041 4142 4233 3303"},
    {'7', "0646 4610"},
    {'8', "1304 0405 0516 1636 3645 4544 4433 3313 1302 0201 0110 1030 3041 4142 4233"},
    {'9', "4313 1304 0405 0516 1636 3645 4541 4130 3010"},
    {'-', "1333"},
    {'.', "2021"},
    {'!', "2326 2021"},
    {':', "2122 2425"},
    {'/', "0046"},
    {'+', "2125 0343"},
    {'\'', "2625"},
};

const Glyph *findglyph(char c) {
  if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
  for (const Glyph &g : glyphs)
    if (g.c == c) return &g;
  return nullptr;
}

constexpr float gridunit = 1.0f / 6.0f;
constexpr float advance = 5.0f * gridunit;

}  // namespace

float showtextwidth(const std::string &text) {
  if (text.empty()) return 0;
  return advance * (float)(text.size() - 1) + 4.0f * gridunit;
}

void showtext(ShowMesh *mesh, const std::string &text, float size, float thickness,
              float depth, int surface) {
  float x = -showtextwidth(text) / 2;
  for (char c : text) {
    const Glyph *g = findglyph(c);
    if (g != nullptr) {
      const char *s = g->strokes;
      while (strlen(s) >= 4) {
        float x0 = x + (s[0] - '0') * gridunit, y0 = (s[1] - '0') * gridunit;
        float x1 = x + (s[2] - '0') * gridunit, y1 = (s[3] - '0') * gridunit;
        float dx = x1 - x0, dy = y1 - y0, len = std::sqrt(dx * dx + dy * dy);
        // A stroke of no length (a dot) is a square bar, not a division by zero.
        if (len == 0) dx = len = 1;
        float ux = dx / len, uy = dy / len, h = thickness / size / 2;
        // Each bar runs half a thickness past both ends so that joints close.
        ShowPoint q[4] = {{(x0 - ux * h - uy * h) * size, (y0 - uy * h + ux * h) * size, 0},
                          {(x1 + ux * h - uy * h) * size, (y1 + uy * h + ux * h) * size, 0},
                          {(x1 + ux * h + uy * h) * size, (y1 + uy * h - ux * h) * size, 0},
                          {(x0 - ux * h + uy * h) * size, (y0 - uy * h - ux * h) * size, 0}};
        addprism(mesh, q, 0, depth, surface);
        s += 4;
        while (*s == ' ') s++;
      }
    }
    x += advance;
  }
}
