#include "display/display.h"
#include "lws/lws.h"
#include "pipeline/pipeline.h"
#include "sfx/sfx.h"

int activeplanecount(void) {
  if (clipplanecount < 0) return 0;
  if (clipplanecount > 6) return 6;
  return clipplanecount;
}

void updateworldplanes(SceneCamera *camera) {
  const int n = activeplanecount();
  const float *m = camera->cameratoworld.m;
  const Vec3 &c = camera->position;
  for (int i = 0; i < n; i++) {
    const Plane &cp = camera->viewplanes[i];
    Plane &wp = camera->worldplanes[i];
    double x = cp.normal.x, y = cp.normal.y, z = cp.normal.z;
    wp.normal.x = (float)(m[0] * x + m[1] * y + m[2] * z);
    wp.normal.y = (float)(m[3] * x + m[4] * y + m[5] * z);
    wp.normal.z = (float)(m[6] * x + m[7] * y + m[8] * z);
    wp.distance = (float)((double)wp.normal.x * c.x + (double)wp.normal.y * c.y +
                          (double)wp.normal.z * c.z + cp.distance);
  }
}

void cullbox(SceneCamera *camera, SceneObject *object) {
  const int n = activeplanecount();
  object->visibility = 2;
  uint8_t mask = 0;
  for (int i = 0; i < n; i++) {
    const Plane &p = camera->worldplanes[i];
    int outside = 0;
    for (const Vec3 &c : object->tbbox) {
      double dist = (double)p.normal.x * c.x + (double)p.normal.y * c.y + (double)p.normal.z * c.z;
      if (dist < p.distance) outside++;
    }
    if (outside == 8) {
      object->visibility = 1;
      return;
    }
    if (outside > 0) mask |= (uint8_t)(1u << i);
  }
  if (mask == 0) object->visibility = 0;
  // Every drawn object is clipped against the near plane, whether or not its box crosses
  // it: the projection's 1/z must never see a corner closer than 0.2.
  object->clipmask = (uint8_t)(mask | 16);
}

// The lighting and polygon stages shared by scene objects and effect meshes.
static void polygonstages(Scene *scene, SceneObject *object) {
  SceneCamera *camera = scene->camera;
  backfacecull(object, camera);
  computeoutcodes(camera, object);
  classifypolygons(object);
  if (object->issfxmesh != 0) {
    copybasecolor(object);
  } else if (scene->numlights == 0 || scene->lights == nullptr) {
    lightvertices(object, nullptr, camera, 0);
  } else {
    lightvertices(object, scene->lights[0], camera, 0);
    for (int i = 1; i < scene->numlights; i++) lightvertices(object, scene->lights[i], camera, 1);
  }
  viewtransform(object, camera);
  clippolygons(camera, object);
  project(object, camera);
}

void processobject(Scene *scene, SceneObject *object) {
  if (object->visibility == 1) return;
  polygonstages(scene, object);
}

void processsfx(Scene *scene, SceneObject *mesh) {
  SceneCamera *camera = scene->camera;
  billboardbox(camera, mesh);
  cullbox(camera, mesh);
  if (mesh->visibility == 1) return;
  billboardvertices(camera, mesh);
  polygonstages(scene, mesh);
}

// A family is transformed when any member is in view: the vertex traversal only starts
// at roots, and a child in view under a culled root would otherwise be drawn from the
// screen positions of an earlier frame.
static int familyinview(const SceneObject *object) {
  if (object->visibility != 1) return 1;
  for (int i = 0; i < object->numchildren; i++)
    if (familyinview(object->children[i])) return 1;
  return 0;
}

static int sfxactive(const SfxObject *sfx) {
  return sfx != nullptr && sfx->mesh != nullptr && sfx->rangestart < currentframe &&
         currentframe < sfx->rangeend;
}

void preparegeometry(Scene *scene) {
  SceneCamera *camera = scene->camera;
  updateworldplanes(camera);
  for (int i = 0; i < scene->numobjects; i++)
    if (scene->objects[i]->hasparent == 0) transformboxes(scene->objects[i]);
  // All boxes are tested before any vertex moves, so that a root can see whether any of
  // its descendants, wherever they stand in the list, is in view.
  for (int i = 0; i < scene->numobjects; i++) cullbox(camera, scene->objects[i]);
  for (int i = 0; i < scene->numobjects; i++) {
    SceneObject *object = scene->objects[i];
    if (object->hasparent == 0 && familyinview(object)) transformvertices(object);
  }
  for (int i = 0; i < scene->numobjects; i++) processobject(scene, scene->objects[i]);
  for (int i = 0; i < scene->numsfxobjects; i++) {
    SfxObject *sfx = scene->sfxobjects[i];
    if (sfxactive(sfx)) processsfx(scene, sfx->mesh);
  }
}

void renderframe(Scene *scene) {
  preparegeometry(scene);
  beginframe(swapinterval, 1);
  for (int i = 0; i < scene->numobjects; i++)
    if (scene->objects[i]->visibility != 1) drawobject(scene->objects[i]);
  for (int i = 0; i < scene->numsfxobjects; i++) {
    SfxObject *sfx = scene->sfxobjects[i];
    if (sfxactive(sfx) && sfx->mesh->visibility != 1) drawsfxobject(sfx->mesh);
  }
  endframe();
}
