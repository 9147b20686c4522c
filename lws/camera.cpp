#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "display/display.h"
#include "lws/lws.h"

namespace {

constexpr double degtorad = 0.017453293;
// Degrees to radians and halved in one factor: the field of view is the full opening.
constexpr double halfdegtorad = 0.0087266465;

// The screen the scenes are made for, used only when no Screen exists yet.
constexpr int defaultwidth = 640;
constexpr int defaultheight = 480;

// The projection divides by projdistance: at exactly 0 degrees the tangent is 0 (an
// infinite distance) and at 180 degrees the rounded half angle lies just past 90, whose
// tangent is a huge negative number that would mirror the image. The distance is
// therefore computed from an angle kept a hair inside the open interval; the stored
// fieldofview keeps the clamped value.
constexpr double minprojangle = 0.001;
constexpr double maxprojangle = 179.999;

void setrows(SceneCamera *camera, const Vec3 &r0, const Vec3 &r1, const Vec3 &r2) {
  const Vec3 *rows[3] = {&r0, &r1, &r2};
  for (int r = 0; r < 3; r++) {
    camera->worldtocamera.m[r * 3 + 0] = rows[r]->x;
    camera->worldtocamera.m[r * 3 + 1] = rows[r]->y;
    camera->worldtocamera.m[r * 3 + 2] = rows[r]->z;
  }
  mattranspose(&camera->worldtocamera, &camera->cameratoworld);
}

void setplane(Plane *plane, double nx, double ny, double nz, double d) {
  plane->normal.x = (float)nx;
  plane->normal.y = (float)ny;
  plane->normal.z = (float)nz;
  plane->distance = (float)d;
}

}  // namespace

SceneCamera *createcamera(float x, float y, float z, float fieldofview) {
  SceneCamera *camera = (SceneCamera *)malloc(sizeof(SceneCamera));
  if (camera == nullptr) {
    // 0x94 is the o with diaeresis of code page 437, the console the message was made for.
    puts("Kunde inte allokera minne f\x94r kameran");
    return nullptr;
  }
  *camera = SceneCamera{};
  camera->position = Vec3{x, y, z};
  camera->forward = Vec3{0, 0, 1};
  setfieldofview(camera, fieldofview);
  camera->up = Vec3{0, 1, 0};
  // Identity until the first orientation call, so that a first aim that cannot be
  // resolved still leaves a camera looking along +z, matching forward.
  matidentity(&camera->worldtocamera);
  matidentity(&camera->cameratoworld);
  return camera;
}

void setfieldofview(SceneCamera *camera, float fieldofview) {
  // NaN compares false everywhere; it becomes 0 like any other angle below the range.
  if (!(fieldofview >= 0)) fieldofview = 0;
  if (fieldofview > 180) fieldofview = 180;
  camera->fieldofview = fieldofview;
  double angle = fieldofview;
  if (angle < minprojangle) angle = minprojangle;
  if (angle > maxprojangle) angle = maxprojangle;
  int width = screen ? screen->width : defaultwidth;
  camera->projdistance = (float)(width * 0.5 / tan(angle * halfdegtorad));
}

void setupviewplanes(SceneCamera *camera) {
  int height = screen ? screen->height : defaultheight;
  double a = atan(height * 0.5 / camera->projdistance);  // vertical half angle
  double b = camera->fieldofview * 0.5 * degtorad;        // horizontal half angle
  double ca = cos(a), sa = sin(a), cb = cos(b), sb = sin(b);
  setplane(&camera->viewplanes[0], 0, -ca, sa, 0);  // top: y <= z tan a
  setplane(&camera->viewplanes[1], 0, ca, sa, 0);   // bottom: y >= -z tan a
  setplane(&camera->viewplanes[2], cb, 0, sb, 0);   // left: x >= -z tan b
  setplane(&camera->viewplanes[3], -cb, 0, sb, 0);  // right: x <= z tan b
  setplane(&camera->viewplanes[4], 0, 0, 1, 0.2);   // near
  setplane(&camera->viewplanes[5], 0, 0, -1, -100.0);  // far
}

void camerafromangles(SceneCamera *camera, float pitch, float heading, float bank) {
  Mat3 r;
  makerotation(&r, pitch, heading, bank);
  // The columns of R are the camera's axes in world coordinates.
  Vec3 right{r.m[0], r.m[3], r.m[6]};
  Vec3 up{r.m[1], r.m[4], r.m[7]};
  Vec3 forward{r.m[2], r.m[5], r.m[8]};
  vnormalize(&right);
  vnormalize(&up);
  vnormalize(&forward);
  setrows(camera, right, up, forward);
}

void cameratarget(SceneCamera *camera, float x, float y, float z) {
  camera->target = Vec3{x, y, z};
  // cameralookat sets forward to the unit viewing direction, or leaves it with the rest
  // of the previous orientation when the aim cannot be resolved.
  cameralookat(camera);
}

void cameralookat(SceneCamera *camera) {
  const Vec3 &p = camera->position;
  const Vec3 &t = camera->target;
  const Vec3 &up = camera->up;
  Vec3 d;
  vsub(t.x, t.y, t.z, p.x, p.y, p.z, &d);
  // A target at the camera has no direction, and one straight above or below it gives
  // no right axis; normalising would turn either into an all-zero matrix that flattens
  // the whole frame. The previous orientation is kept instead. The test is written so
  // that NaN and infinite lengths fail it too.
  double dlength = vlength(d.x, d.y, d.z);
  if (!(dlength > 0) || !std::isfinite(dlength)) return;
  vnormalize(&d);
  Vec3 u;
  vcross(up.x, up.y, up.z, d.x, d.y, d.z, &u);
  if (!(vlength(u.x, u.y, u.z) > 0)) return;
  vnormalize(&u);
  Vec3 v;
  vcross(d.x, d.y, d.z, u.x, u.y, u.z, &v);
  vnormalize(&v);
  setrows(camera, u, v, d);
  camera->forward = d;
}
