#include <cmath>

#include "pipeline/pipeline.h"

// Per vertex: ambient (first call only), then per light a Lambert diffuse term and a
// specular term pow(s, gloss) taken against the camera's single viewing direction, not
// a per-vertex eye vector. Point lights fall off linearly to zero at falloffrange.
// Only vertices of camera-facing polygons (untouched 0) are lit; the others keep the
// colour of an earlier frame, which no drawn polygon shows.
void lightvertices(SceneObject *object, SceneLight *light, SceneCamera *camera, int accumulate) {
  const double ar = ambientcolor[0], ag = ambientcolor[1], ab = ambientcolor[2];
  const double fx = camera->forward.x, fy = camera->forward.y, fz = camera->forward.z;
  for (int v = 0; v < object->numverts; v++) {
    MeshVertex &mv = object->verts[v];
    if (mv.untouched != 0) continue;
    const MeshSurface &s = *mv.surface;
    double r = 0, g = 0, b = 0;
    if (accumulate == 0) {
      r = s.red * ar;
      g = s.green * ag;
      b = s.blue * ab;
    }
    if (light != nullptr) {
      const double e = s.specular > 0 ? (double)s.gloss : 1.0;
      double lx, ly, lz, f = 1.0;
      if (light->isdistant == 0) {
        double dx = (double)mv.xfpos.x - light->position.x;
        double dy = (double)mv.xfpos.y - light->position.y;
        double dz = (double)mv.xfpos.z - light->position.z;
        double length = sqrt(dx * dx + dy * dy + dz * dz);
        // A vertex at the light's position has no direction; dividing by 1e-05 keeps it
        // at (0, 0, 0) so only the specular pow(0, e) term can remain.
        double divisor = length == 0.0 ? 1e-05 : length;
        lx = dx / divisor;
        ly = dy / divisor;
        lz = dz / divisor;
        if (light->falloffon != 0) {
          double q = length / light->falloffrange;
          f = q <= 1.0 ? 1.0 - q : 0.0;
        }
      } else {
        lx = light->direction.x;
        ly = light->direction.y;
        lz = light->direction.z;
      }
      const Vec3 &n = object->xformnormals[mv.normalindex];
      double c = n.x * lx + n.y * ly + n.z * lz;
      double rx = 2.0 * c * n.x - lx, ry = 2.0 * c * n.y - ly, rz = 2.0 * c * n.z - lz;
      double sp = fx * rx + fy * ry + fz * rz;
      if (c < 0) c = 0;
      if (sp < 0) sp = 0;
      // pow dominates the cost of lighting. With specular 0 the term is exactly 0 (e is
      // then 1 and sp finite), and pow(+0, e) is +0 for every e > 0: skip it in both.
      double p = 0.0;
      if (s.specular != 0.0f && (sp != 0.0 || !(e > 0.0))) p = pow(sp, e) * s.specular * 255.0;
      double diffuse = s.diffuse;
      r += (diffuse * s.red * c + p) * light->color[0] * f;
      g += (diffuse * s.green * c + p) * light->color[1] * f;
      b += (diffuse * s.blue * c + p) * light->color[2] * f;
    }
    if (accumulate == 0) {
      mv.litcolor[0] = (float)r;
      mv.litcolor[1] = (float)g;
      mv.litcolor[2] = (float)b;
    } else {
      mv.litcolor[0] = (float)(mv.litcolor[0] + r);
      mv.litcolor[1] = (float)(mv.litcolor[1] + g);
      mv.litcolor[2] = (float)(mv.litcolor[2] + b);
    }
    // Upper clamp only: every term is non-negative for colours and lights in range.
    for (float &ch : mv.litcolor)
      if (ch > 255.0f) ch = 255.0f;
  }
}

void copybasecolor(SceneObject *object) {
  for (int v = 0; v < object->numverts; v++) {
    MeshVertex &mv = object->verts[v];
    mv.litcolor[0] = mv.basecolor[0];
    mv.litcolor[1] = mv.basecolor[1];
    mv.litcolor[2] = mv.basecolor[2];
  }
}
