#include <chrono>
#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "display/display.h"
#include "lws/lws.h"
#include "pipeline/pipeline.h"
#include "sfx/sfx.h"

int32_t currentframe = 0;
int32_t swapinterval = 1;
int32_t clipplanecount = 6;

// Wall-clock milliseconds. The statistics mean time on the clock: the C library's
// clock() counts processor time here, which leaves out every wait for a retrace.
static int64_t millisecondsnow(void) {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Moves every item of the scene to its motion at currentframe: objects, lights,
// effects, then the camera, which may aim at an object or an effect moved just before.
void movescene(Scene *scene, Vec3 *lastsfxposition) {
  Pose pose;
  const double frame = (double)currentframe;

  for (int i = 0; i < scene->numobjects; i++) {
    SceneObject *object = scene->objects[i];
    evalmotion(&object->motion, &pose, frame);
    object->posx = pose.values[0];
    object->posy = pose.values[1];
    object->posz = pose.values[2];
    object->rotheading = pose.values[3];
    object->rotpitch = pose.values[4];
    object->rotbank = pose.values[5];
  }

  for (int i = 0; i < scene->numlights; i++) {
    SceneLight *light = scene->lights[i];
    evalmotion(&light->motion, &pose, frame);
    light->position = {pose.values[0], pose.values[1], pose.values[2]};
  }

  for (int i = 0; i < scene->numsfxobjects; i++) {
    SfxObject *sfx = scene->sfxobjects[i];
    if (!(sfx->rangestart < currentframe && currentframe < sfx->rangeend)) {
      // Entering the range again starts the particle system afresh.
      sfx->restartpending = 1;
      continue;
    }
    SceneObject *mesh = sfx->mesh;
    evalmotion(&mesh->motion, &pose, frame);
    *lastsfxposition = {pose.values[0], pose.values[1], pose.values[2]};
    if (sfx->sfxtype == 0) {
      mesh->posx = pose.values[0];
      mesh->posy = pose.values[1];
      mesh->posz = pose.values[2];
    } else {
      // Particles are born at world positions; the mesh itself stays at the origin.
      mesh->posx = mesh->posy = mesh->posz = 0;
      updateparticles(sfx, (float)currentframe, pose.values[0], pose.values[1], pose.values[2]);
      buildparticlemesh(sfx);
    }
    mesh->rotheading = pose.values[3];
    mesh->rotpitch = pose.values[4];
    mesh->rotbank = pose.values[5];
  }

  SceneCamera *camera = scene->camera;
  evalmotion(&camera->motion, &pose, frame);
  camera->position = {pose.values[0], pose.values[1], pose.values[2]};
  const int32_t target = camera->targetindex;
  if (target >= 0 && target < scene->numobjects) {
    // The target's own motion position, without its parents.
    const SceneObject *object = scene->objects[target];
    cameratarget(camera, object->posx, object->posy, object->posz);
  } else if (target >= scene->numobjects) {
    cameratarget(camera, lastsfxposition->x, lastsfxposition->y, lastsfxposition->z);
  } else {
    // -1, and any other negative index, which names no object.
    camerafromangles(camera, pose.values[4], pose.values[3], pose.values[5]);
  }
}

void playscene(Scene *scene) {
  clipplanecount = 6;
  memcpy(&texturenametable, &scene->texturenames, sizeof(TextureNameTable));
  if (!loadtextures()) fatalerror("Could not load Textures!", 3);

  // Bit for bit: 59.94 and every other rate play at one frame per two retraces.
  const float sixty = 60.0f;
  swapinterval = memcmp(&scene->framespersecond, &sixty, sizeof(float)) == 0 ? 1 : 2;

  const int64_t start = millisecondsnow();
  int32_t framesdrawn = 0;
  currentframe = scene->firstframe;
  // A camera aimed past the object list before any effect has been active looks at the
  // origin.
  Vec3 lastsfxposition{0, 0, 0};

  if (!keypending()) {
    // The end test in double precision, as currentframe - 1.0 >= lastframe: frames
    // firstframe + 1 to lastframe + 1 are drawn. The INT32_MAX guard only keeps the
    // counter from overflowing on a scene that ends at the largest frame number.
    while (!((double)currentframe - 1.0 >= (double)scene->lastframe) &&
           currentframe != INT32_MAX) {
      currentframe++;
      movescene(scene, &lastsfxposition);
      renderframe(scene);
      framesdrawn++;
      if (keypending()) break;
    }
  }

  const int64_t end = millisecondsnow();
  fputs("Ok", errorlog);

  int64_t numverts = 0;
  int64_t numpolys = 0;
  for (int i = 0; i < scene->numobjects; i++) {
    numverts += scene->objects[i]->numverts;
    numpolys += scene->objects[i]->numpolys;
  }

  // Single precision as the statistics were always computed: milliseconds times the
  // float 0.001, and frames over that float. No frames in no time prints as NaN.
  const float seconds = (float)(end - start) * 0.001f;
  const double framespersecond = (float)framesdrawn / seconds;

  fprintf(errorlog, "frames / sec %f\nnumobjects %d, numverts %lld , numpolys %lld, numtextures %d\n",
          framespersecond, (int)scene->numobjects - 1, (long long)numverts, (long long)numpolys,
          (int)texturenametable.texturecount);
  fprintf(errorlog, "frames / sec %f\n", framespersecond);
  fprintf(errorlog, "Time Elapsed %f\n", (double)seconds);
  fprintf(errorlog, "Total Number of frames: %d\n", (int)framesdrawn);

  resettexturememory();
}
