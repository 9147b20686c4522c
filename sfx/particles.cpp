#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "display/display.h"
#include "sfx/sfx.h"

namespace {

// Storage per particle slot: its square is 4 vertices and 1 polygon; the rest is the
// room the clipper is promised (it never tests that room), 160 vertices and 3 polygons
// in all.
constexpr int cornersperparticle = 4;
constexpr int vertsperparticle = 160;
constexpr int polysperparticle = 3;
// Corner vertex indices are 16-bit, and the polygon lists are read back as signed
// 16-bit values: 160 * n <= 65535 and 3 * n <= 32767. The vertex bound is the tighter.
constexpr int maxparticles = 65535 / vertsperparticle;
static_assert(maxparticles * polysperparticle <= 32767, "polygon lists overflow first");

// Whole frames sampled for the box at most: 18 minutes at 60 frames a second, about a
// millisecond of loading per effect.
constexpr int maxboxsamples = 1 << 16;

void refuse(const char *why) {
  if (errorlog) fprintf(errorlog, "Particle set-up refused: %s\n", why);
}

bool finite(float x) { return std::isfinite(x); }

// Checks what the per-frame functions rely on, so that they need no checks of their own.
int checksetup(const SfxObject *sfx) {
  if (sfx->mesh == nullptr) {
    refuse("no mesh");
    return 0;
  }
  // Every square takes the mesh's first surface, and the reset marks it additive.
  if (sfx->mesh->surfaces == nullptr || sfx->mesh->numsurfaces < 1) {
    refuse("the mesh has no surface");
    return 0;
  }
  if (sfx->numparticles < 1 || sfx->numparticles > maxparticles) {
    if (errorlog)
      fprintf(errorlog, "Particle set-up refused: %d particles, room for 1 to %d\n",
              (int)sfx->numparticles, maxparticles);
    return 0;
  }
  // Any other type keeps its storage empty: it is never updated, so its lifetime,
  // sizes and colours are never used and need not be refused.
  if (sfx->sfxtype != 1) return 1;
  // Ageing divides by the lifetime.
  if (!(sfx->lifetime > 0) || !finite(sfx->lifetime)) {
    refuse("the lifetime is not a number of frames above 0");
    return 0;
  }
  bool allfinite = finite(sfx->quadwidth) && finite(sfx->quadheight) && finite(sfx->randfactor);
  for (int c = 0; c < 3; c++)
    allfinite = allfinite && finite(sfx->birthcolor[c]) && finite(sfx->deathcolor[c]);
  if (!allfinite) {
    refuse("a size, colour or spread is not a finite number");
    return 0;
  }
  return 1;
}

// malloc with every element initialised, or null after the message on standard error
// (no line break, like the object loader's messages).
template <typename T>
T *allocarray(int count, const char *message) {
  T *a = (T *)malloc(sizeof(T) * (size_t)count);
  if (a == nullptr) {
    fputs(message, stderr);
    return nullptr;
  }
  for (int i = 0; i < count; i++) a[i] = T{};
  return a;
}

void grow(Vec3 *lo, Vec3 *hi, double x, double y, double z, double dx, double dy, double dz) {
  lo->x = (float)fmin(lo->x, x - dx);
  hi->x = (float)fmax(hi->x, x + dx);
  lo->y = (float)fmin(lo->y, y - dy);
  hi->y = (float)fmax(hi->y, y + dy);
  lo->z = (float)fmin(lo->z, z - dz);
  hi->z = (float)fmax(hi->z, z + dz);
}

}  // namespace

int setupparticles(SfxObject *sfx) {
  if (sfx == nullptr || !checksetup(sfx)) return 0;
  SceneObject *mesh = sfx->mesh;
  int n = sfx->numparticles;

  Particle *particles = (Particle *)malloc(sizeof(Particle) * (size_t)n);
  if (particles == nullptr) {
    if (errorlog) fputs(" Couldn't alloc memory for particles\n", errorlog);
    return 0;
  }

  // Everything new is allocated before anything old is freed, so that a failure leaves
  // the mesh as the object file gave it.
  MeshVertex *verts = allocarray<MeshVertex>(vertsperparticle * n, "Memory allocation failed: loadlwo9");
  uint8_t *outcodes = verts ? allocarray<uint8_t>(cornersperparticle * n, "Memory allocation failed: loadlwo1") : nullptr;
  MeshPolygon *polys = outcodes ? allocarray<MeshPolygon>(polysperparticle * n, "Memory allocation failed: loadlwo3") : nullptr;
  int32_t *front = polys ? allocarray<int32_t>(polysperparticle * n, "Memory allocation failed: loadlwo4") : nullptr;
  int32_t *cross = front ? allocarray<int32_t>(polysperparticle * n, "Memory allocation failed: loadlwo5") : nullptr;
  int32_t *draw = cross ? allocarray<int32_t>(polysperparticle * n, "Memory allocation failed: loadlwo6") : nullptr;
  Vec3 *normals = draw ? allocarray<Vec3>(cornersperparticle * n, "Memory allocation failed: loadlwo") : nullptr;
  Vec3 *xformnormals = normals ? allocarray<Vec3>(cornersperparticle * n, "Memory allocation failed: loadlwo") : nullptr;
  if (xformnormals == nullptr) {
    free(particles);
    free(verts);
    free(outcodes);
    free(polys);
    free(front);
    free(cross);
    free(draw);
    free(normals);
    return 0;
  }

  free(mesh->verts);
  free(mesh->vertoutcodes);
  free(mesh->polys);
  free(mesh->frontpolys);
  free(mesh->crosspolys);
  free(mesh->drawpolys);
  free(mesh->normals);
  free(mesh->xformnormals);
  mesh->verts = verts;
  mesh->vertoutcodes = outcodes;
  mesh->polys = polys;
  mesh->frontpolys = front;
  mesh->crosspolys = cross;
  mesh->drawpolys = draw;
  mesh->numfrontpolys = mesh->numcrosspolys = mesh->numdrawpolys = 0;
  mesh->numverts = 0;
  mesh->numpolys = 0;
  mesh->numclipverts = mesh->numclippolys = 0;
  // Every corner takes normal 0: the square's own normal, towards the viewer of an
  // unturned camera. It is the one normal the camera-facing transform has to turn.
  for (int i = 0; i < cornersperparticle * n; i++) normals[i] = xformnormals[i] = Vec3{0, 0, -1};
  mesh->normals = normals;
  mesh->xformnormals = xformnormals;
  mesh->numnormals = 1;
  free(sfx->particles);
  sfx->particles = particles;

  particlebbox(sfx);
  resetparticles(sfx);
  return 1;
}

void particlebbox(SfxObject *sfx) {
  SceneObject *mesh = sfx->mesh;
  Vec3 lo = mesh->bbox[0];  // corner 0 holds the minima, corner 7 the maxima
  Vec3 hi = mesh->bbox[7];
  const Motion *motion = &mesh->motion;
  double w = sfx->quadwidth, h = sfx->quadheight;
  for (int i = 0; i < motion->numkeys; i++) {
    const float *v = motion->keys[i].values;
    grow(&lo, &hi, v[0], v[1], v[2], w, h, 0);
  }
  // The keys alone miss what would let the box test cull visible particles: a spline
  // swings past its keys, a frame before the first key extrapolates, and every birth is
  // offset by up to randfactor on each axis. Births happen only at the whole frames of
  // the active range, at the motion's value there, so sampling those frames finds every
  // birth position. A range too long to sample falls back to the frames of the keyed
  // span (later frames hold the last key or repeat the span), then to the keys alone.
  double spread = fabs((double)sfx->randfactor);
  int64_t activefrom = (int64_t)sfx->rangestart + 1;
  int64_t activeframes = (int64_t)sfx->rangeend - activefrom;
  int64_t from = 0, count = 0;
  if (activeframes <= maxboxsamples) {
    from = activefrom;
    count = activeframes;
  } else if (motion->numkeys >= 1 && motion->framespan <= maxboxsamples) {
    from = motion->keys[0].frame;
    count = (int64_t)motion->framespan + 1;
  } else {
    for (int i = 0; i < motion->numkeys; i++) {
      const float *v = motion->keys[i].values;
      grow(&lo, &hi, v[0], v[1], v[2], w + spread, h + spread, spread);
    }
  }
  Pose pose;
  for (int64_t f = from; f < from + count && motion->numkeys >= 1; f++) {
    evalmotion(motion, &pose, (double)f);
    grow(&lo, &hi, pose.values[0], pose.values[1], pose.values[2], w + spread, h + spread,
         spread);
  }
  for (int i = 0; i < 8; i++) {
    mesh->bbox[i].x = (i & 2) ? hi.x : lo.x;
    mesh->bbox[i].y = (i & 4) ? hi.y : lo.y;
    mesh->bbox[i].z = (i & 1) ? hi.z : lo.z;
  }
}

void resetparticles(SfxObject *sfx) {
  sfx->restartpending = 0;
  MeshSurface *surface = &sfx->mesh->surfaces[0];
  float w = sfx->quadwidth, h = sfx->quadheight;
  const float corners[4][2] = {{-w / 2, h / 2}, {w / 2, h / 2}, {w / 2, -h / 2}, {-w / 2, -h / 2}};
  const float texels[4][2] = {{0, 0}, {255, 0}, {255, 255}, {0, 255}};
  sfx->quadtemplate = MeshPolygon{};
  sfx->quadtemplate.numcorners = 4;
  sfx->quadtemplate.surface = surface;
  for (int k = 0; k < 4; k++) {
    MeshVertex &c = sfx->quadcorners[k];
    c = MeshVertex{};
    c.objpos = Vec3{corners[k][0], corners[k][1], 0};
    c.surface = surface;
    c.normalindex = 0;
    MeshCorner &corner = sfx->quadtemplate.corners[k];
    corner.vertex = (uint16_t)k;
    corner.u = texels[k][0];
    corner.v = texels[k][1];
  }
  surface->additive = 1;
  for (int i = 0; i < sfx->numparticles; i++) {
    sfx->particles[i].life = 0;
    sfx->particles[i].birthframe = -1000000.0f;
  }
  sfxsrand((uint32_t)sfx->numparticles);
}

void updateparticles(SfxObject *sfx, float frame, float x, float y, float z) {
  if (sfx->particles == nullptr) return;  // set-up refused: nothing to animate
  if (sfx->restartpending == 1) resetparticles(sfx);
  if (sfx->sfxtype != 1) return;
  bool born = false;
  for (int i = 0; i < sfx->numparticles; i++) {
    Particle &p = sfx->particles[i];
    if (p.life > 0) {
      // The colour uses the life from before this update's ageing: it lags by one update.
      for (int c = 0; c < 3; c++)
        p.color[c] = (float)(((double)sfx->birthcolor[c] - sfx->deathcolor[c]) * p.life +
                             sfx->deathcolor[c]);
      p.life = (float)(1.0 - ((double)frame - p.birthframe) / sfx->lifetime);
    } else if (!born) {
      p.life = 1.0f;
      p.birthframe = frame;
      int r = sfxrand();
      // (r mod 256 - 128) / 128: -1 to 0.9921875 in steps of 1/128, the same on all axes.
      double u = ((r % 256) - 128) * 0.0078125;
      double offset = sfx->randfactor * u;
      p.position[0] = (float)(x + offset);
      p.position[1] = (float)(y + offset);
      p.position[2] = (float)(z + offset);
      for (int c = 0; c < 3; c++) p.color[c] = sfx->birthcolor[c];
      born = true;
    }
  }
}

void buildparticlemesh(SfxObject *sfx) {
  SceneObject *mesh = sfx->mesh;
  mesh->numverts = 0;
  mesh->numpolys = 0;
  if (sfx->particles == nullptr) return;  // set-up refused: an empty mesh
  MeshSurface *surface = &mesh->surfaces[0];
  for (int i = 0; i < sfx->numparticles; i++) {
    const Particle &p = sfx->particles[i];
    if (!(p.life > 0)) continue;
    int q = mesh->numpolys;
    MeshPolygon &poly = mesh->polys[q];
    poly.numcorners = 4;
    poly.surface = surface;
    for (int k = 0; k < 4; k++) {
      int index = cornersperparticle * q + k;
      MeshVertex &v = mesh->verts[index];
      const Vec3 &offset = sfx->quadcorners[k].objpos;
      v.objpos = Vec3{p.position[0] + offset.x, p.position[1] + offset.y, p.position[2] + offset.z};
      for (int c = 0; c < 3; c++) v.basecolor[c] = p.color[c];
      v.surface = surface;
      v.normalindex = 0;
      poly.corners[k] = sfx->quadtemplate.corners[k];
      poly.corners[k].vertex = (uint16_t)index;
    }
    mesh->numpolys += 1;
    mesh->numverts += 4;
  }
}
