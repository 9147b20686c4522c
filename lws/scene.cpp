// The scene loader: an LwsScene becomes a Scene with its objects, effects, lights,
// camera, ambient colour and parent links.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "display/display.h"
#include "lws/lws.h"
#include "lws/lwsreader.h"
#include "math/vecmath.h"
#include "platform/platform.h"
#include "sfx/sfx.h"

// 1/255 as the colour conversions write it.
constexpr double colorscale = 0.00392156862745098;

static FILE *lwslog() { return errorlog != nullptr ? errorlog : stderr; }

SceneLight *createlight(float x, float y, float z, float red, float green, float blue,
                        float intensity, int isdistant) {
  SceneLight *light = (SceneLight *)malloc(sizeof(SceneLight));
  if (light == nullptr) return nullptr;
  new (light) SceneLight;
  light->position = Vec3{x, y, z};
  light->color[0] = (float)(red * intensity * colorscale);
  light->color[1] = (float)(green * intensity * colorscale);
  light->color[2] = (float)(blue * intensity * colorscale);
  light->direction = Vec3{0, 0, 1};
  light->isdistant = isdistant;
  return light;
}

void lightdirection(SceneLight *light, float pitch, float heading, float bank) {
  // Whole degrees, truncated toward zero: a distant light at pitch 45.7 shines along 45.
  // trunc rather than a cast to int, which is undefined for angles beyond its range.
  Mat3 rotation;
  makerotation(&rotation, std::trunc(pitch), std::trunc(heading), std::trunc(bank));
  Vec3 forward{0, 0, 1};
  mattransform(&rotation, &forward, &light->direction, 1);
  fprintf(lwslog(), "ld: %f %f %f\n", light->direction.x, light->direction.y,
          light->direction.z);
}

void setambient(float red, float green, float blue, float intensity) {
  ambientcolor[0] = (float)(intensity * red * colorscale);
  ambientcolor[1] = (float)(intensity * green * colorscale);
  ambientcolor[2] = (float)(intensity * blue * colorscale);
}

int linkchildren(const LwsScene *lws, Scene *scene) {
  int n = scene->numobjects;
  if (lws->numobjects != n) return 0;
  // Every limit is checked before any link is made, so a refused scene keeps no half
  // of its links; the reader has refused such files already.
  const ParentProblem problem = checkparentlinks(lws->objects, n);
  switch (problem.rule) {
    case parentsok:
      break;
    case parentnomemory:
      return 0;
    case parentoutside:
      fprintf(lwslog(), "Object %d: parent %d is outside the %d objects\n", problem.object + 1,
              problem.parent + 1, n);
      return 0;
    case parentchildren:
      fprintf(lwslog(), "Object %d: more than %d children\n", problem.parent + 1, maxchildren);
      return 0;
    case parentcycle:
      fprintf(lwslog(), "Object %d is its own ancestor\n", problem.object + 1);
      return 0;
  }

  for (int i = 0; i < n; i++) {
    int p = lws->objects[i].parentindex;
    SceneObject *object = scene->objects[i];
    if (p == -1) {
      object->hasparent = 0;
      continue;
    }
    fprintf(lwslog(), "child: %d, parent!!! %d\n", i, p);
    SceneObject *parent = scene->objects[p];
    parent->children[parent->numchildren] = object;
    parent->numchildren++;
    object->hasparent = 1;
  }
  return 1;
}

static void setpose(SceneObject *object) {
  const MotionKey *key = &object->motion.keys[0];
  object->posx = key->values[0];
  object->posy = key->values[1];
  object->posz = key->values[2];
  object->rotpitch = key->values[4];
  object->rotheading = key->values[3];
  object->rotbank = key->values[5];
}

void releasescene(Scene *scene) {
  if (scene == nullptr) return;
  for (int i = 0; scene->objects != nullptr && i < scene->numobjects; i++)
    freesceneobject(scene->objects[i]);
  for (int i = 0; scene->sfxobjects != nullptr && i < scene->numsfxobjects; i++) {
    SfxObject *sfx = scene->sfxobjects[i];
    if (sfx == nullptr) continue;
    freesceneobject(sfx->mesh);
    free(sfx->particles);
    free(sfx);
  }
  for (int i = 0; scene->lights != nullptr && i < scene->numlights; i++) {
    if (scene->lights[i] == nullptr) continue;
    free(scene->lights[i]->motion.keys);
    free(scene->lights[i]->intensity.keys);
    free(scene->lights[i]);
  }
  if (scene->camera != nullptr) {
    free(scene->camera->motion.keys);
    free(scene->camera->zoom.keys);
    free(scene->camera);
  }
  free(scene->objects);
  free(scene->sfxobjects);
  free(scene->lights);
  free(scene);
}

// The field of view of a zoom factor: 2 atan(1 / zoom) in degrees; a zoom of exactly 1
// gives exactly 90.
static double zoomtofieldofview(float zoom) {
  if (zoom == 1.0f) return 90.0;
  return atan2(1 / zoom, 1) * 114.59155902616;
}

void moveenvelopes(Scene *scene, double frame) {
  Pose pose;
  for (int i = 0; i < scene->numlights; i++) {
    SceneLight *light = scene->lights[i];
    if (light->intensity.numkeys == 0) continue;
    evalmotion(&light->intensity, &pose, frame);
    // As createlight computes it.
    for (int c = 0; c < 3; c++) light->color[c] = (float)(light->rgb[c] * pose.values[0] * colorscale);
  }
  SceneCamera *camera = scene->camera;
  if (camera != nullptr && camera->zoom.numkeys > 0) {
    evalmotion(&camera->zoom, &pose, frame);
    // A spline may swing below zero between keys; no field of view is made of that.
    if (pose.values[0] > 0) {
      setfieldofview(camera, (float)zoomtofieldofview(pose.values[0]));
      setupviewplanes(camera);
    }
  }
}

// Classic content: an object file found where the scene's name for it points, or an
// invisible null object in its place (also for AddNullObject), with a warning for each
// change. index counts from 0, kind names the item in warnings.
static SceneObject *loadclassicobject(const char *name, int isnull, int index, const char *kind,
                                      double sx, double sy, double sz) {
  if (isnull) return makenullobject();
  char path[4096];
  if (!findobjectfile(name, path, sizeof path)) {
    adaptwarning("%s %d: %s not found; an invisible null object keeps its motion and children",
                 kind, index + 1, name);
    return makenullobject();
  }
  // Backslashes are the system's own way of naming files (openfile maps them); any other
  // difference is an adaptation.
  char mapped[4096];
  size_t n = 0;
  for (; name[n] != 0 && n + 1 < sizeof mapped; n++) mapped[n] = name[n] == '\\' ? '/' : name[n];
  mapped[n] = 0;
  if (strcmp(path, mapped) != 0) adaptwarning("%s %d: %s found as %s", kind, index + 1, name, path);
  SceneObject *object = loadobject(path, sx, sy, sz);
  if (object == nullptr) {
    adaptwarning("%s %d: %s cannot be read (the log says why); an invisible null object keeps its "
                 "motion and children", kind, index + 1, path);
    return makenullobject();
  }
  return object;
}

static LwsStatus buildscene(const char *filename, const LwsScene *lws, double scale, Scene *scene) {
  float s = (float)scale;
  FILE *log = lwslog();
  scene->firstframe = lws->firstframe;
  scene->lastframe = lws->lastframe;
  scene->framespersecond = lws->framespersecond;
  fputs("laddet lws!", log);

  for (int i = 0; i < lws->numobjects; i++) {
    const LwsObject *entry = &lws->objects[i];
    const MotionKey *first = &entry->motion.keys[0];
    SceneObject *object =
        tolerantloading
            ? loadclassicobject(entry->filename, entry->isnull, i, "object", first->values[6] * scale,
                                first->values[7] * scale, first->values[8] * scale)
            : loadobject(entry->filename, first->values[6] * scale, first->values[7] * scale,
                         first->values[8] * scale);
    if (object == nullptr) {
      puts("Error: Couldnt Open Object!");
      return lwsnoobject;
    }
    scene->objects[i] = object;
    scene->numobjects = (uint16_t)(i + 1);
    if (!getlwsmotion(&entry->motion, &object->motion, s)) return lwsnoobject;
    setpose(object);
  }
  scene->numobjects = (uint16_t)lws->numobjects;

  if (lws->numsfxobjects > 0) {
    scene->sfxobjects = (SfxObject **)calloc((size_t)lws->numsfxobjects, sizeof(SfxObject *));
    if (scene->sfxobjects == nullptr) return lwsscenenomemory;
    for (int i = 0; i < lws->numsfxobjects; i++) {
      const LwsSfxObject *entry = &lws->sfxobjects[i];
      SfxObject *sfx = (SfxObject *)malloc(sizeof(SfxObject));
      if (sfx == nullptr) {
        fputs("Error, sfxobj: Could not allocate memory\n", stderr);
        return lwsnoobject;
      }
      new (sfx) SfxObject;
      scene->sfxobjects[i] = sfx;
      scene->numsfxobjects = (uint16_t)(i + 1);
      SceneObject *mesh = tolerantloading ? loadclassicobject(entry->filename, 0, i, "effect", scale,
                                                              scale, scale)
                                          : loadobject(entry->filename, scale, scale, scale);
      if (mesh == nullptr) {
        fprintf(log, "Error: Couldnt Open Object! %s\n", entry->filename);
        return lwsnoobject;
      }
      sfx->mesh = mesh;
      if (!getlwsmotion(&entry->motion, &mesh->motion, s)) return lwsnoobject;
      setpose(mesh);
      sfx->sfxtype = entry->sfxtype;
      sfx->numparticles = entry->numparticles;
      sfx->quadwidth = entry->quadwidth;
      sfx->quadheight = entry->quadheight;
      sfx->lifetime = entry->lifetime;
      sfx->rangestart = entry->rangestart;
      sfx->rangeend = entry->rangeend;
      for (int c = 0; c < 3; c++) {
        sfx->birthcolor[c] = (float)entry->birthcolor[c];
        sfx->deathcolor[c] = (float)entry->deathcolor[c];
      }
      sfx->starttrans = entry->starttrans;
      sfx->endtrans = entry->endtrans;
      sfx->randfactor = entry->randfactor;
      fprintf(log, "rand_fact %f\n", sfx->randfactor);
      // An effect whose particle storage could not be made cannot be played.
      if (sfx->sfxtype != 0 && !setupparticles(sfx)) {
        fprintf(log, "Scene %s refused, line %d: the particle set-up of effect %d (%s) failed\n",
                filename, (int)entry->line, i + 1, entry->filename);
        return lwsrefused;
      }
      mesh->issfxmesh = 1;
    }
    scene->numsfxobjects = (uint16_t)lws->numsfxobjects;
    fprintf(log, "numsfx objects %d, flarez %d\n", (int)scene->numsfxobjects, 0);
  }

  for (int i = 0; i < lws->numlights; i++) {
    const LwsLight *entry = &lws->lights[i];
    const MotionKey *first = &entry->motion.keys[0];
    // Types other than 0 (distant) and 1 (point), such as spot lights, are lit as points.
    int isdistant = entry->lighttype == 0;
    if (entry->lighttype != 0 && entry->lighttype != 1)
      fprintf(log, "Light %d: type %d is lit as a point light\n", i + 1, (int)entry->lighttype);
    SceneLight *light =
        createlight(first->values[0] * s, first->values[1] * s, first->values[2] * s,
                    (float)entry->red, (float)entry->green, (float)entry->blue, entry->intensity,
                    isdistant);
    if (light == nullptr) return lwsscenenomemory;
    scene->lights[i] = light;
    scene->numlights = (uint16_t)(i + 1);
    light->rgb[0] = (float)entry->red;
    light->rgb[1] = (float)entry->green;
    light->rgb[2] = (float)entry->blue;
    if (entry->intensityenvelope.numkeys > 0 &&
        !getlwsmotion(&entry->intensityenvelope, &light->intensity, 1.0f))
      return lwsnoobject;
    light->falloffon = entry->falloffon;
    light->falloffrange = entry->falloffrange;
    if (isdistant) lightdirection(light, first->values[4], first->values[3], first->values[5]);
    if (!getlwsmotion(&entry->motion, &light->motion, s)) return lwsnoobject;
  }
  scene->numlights = (uint16_t)lws->numlights;
  scene->ambientred = (float)lws->ambientred;
  scene->ambientgreen = (float)lws->ambientgreen;
  scene->ambientblue = (float)lws->ambientblue;
  scene->ambientintensity = lws->ambientintensity;

  const LwsCamera *entry = lws->camera;
  const MotionKey *first = &entry->motion.keys[0];
  double fieldofview = zoomtofieldofview(entry->zoomfactor);
  printf("zoom: %f\n", fieldofview);
  SceneCamera *camera = createcamera(first->values[0] * s, first->values[1] * s,
                                     first->values[2] * s, (float)fieldofview);
  if (camera == nullptr) return lwsnoobject;
  scene->camera = camera;
  setupviewplanes(camera);
  if (!getlwsmotion(&entry->motion, &camera->motion, s)) return lwsnoobject;
  camera->targetindex = entry->targetindex;
  if (entry->zoomenvelope.numkeys > 0 && !getlwsmotion(&entry->zoomenvelope, &camera->zoom, 1.0f))
    return lwsnoobject;
  scene->backdrop = lws->backdrop;

  setambient(scene->ambientred, scene->ambientgreen, scene->ambientblue,
             scene->ambientintensity);
  puts("scene read ok");
  if (!linkchildren(lws, scene)) return lwsrefused;
  return lwsok;
}

LwsStatus loadscenecore(const char *filename, double scale, Scene **out) {
  *out = nullptr;
  texturenametable.texturecount = 0;
  LwsScene *lws = nullptr;
  LwsStatus status = tolerantloading ? readclassicfile(filename, &lws) : readlwsfile(filename, &lws);
  if (status != lwsok) return status;

  Scene *scene = (Scene *)malloc(sizeof(Scene));
  SceneObject **objects = (SceneObject **)calloc((size_t)(lws->numobjects > 0 ? lws->numobjects : 1),
                                                 sizeof(SceneObject *));
  SceneLight **lights = (SceneLight **)calloc((size_t)(lws->numlights > 0 ? lws->numlights : 1),
                                              sizeof(SceneLight *));
  if (scene == nullptr || objects == nullptr || lights == nullptr) {
    free(scene);
    free(objects);
    free(lights);
    freelws(lws);
    return lwsscenenomemory;
  }
  // Value-initialised: the texture-name copy starts empty as well.
  new (scene) Scene();
  scene->objects = objects;
  scene->lights = lights;

  status = buildscene(filename, lws, scale, scene);
  freelws(lws);
  if (status != lwsok) {
    // The run ends after a failed load; releasing here keeps repeated loads (tests, the
    // fuzzer) from growing.
    releasescene(scene);
    return status;
  }
  *out = scene;
  return lwsok;
}

Scene *loadscene(const char *filename, double scale) {
  Scene *scene = nullptr;
  LwsStatus status = loadscenecore(filename, scale, &scene);
  if (status == lwsnotopen) {
    lwsreport(status, filename);
    puts("Error: Could not load lws!!");
    exit(12);
  }
  lwsreport(status, filename);
  return scene;
}
