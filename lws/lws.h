// Scene records, the scene loader, and the object hierarchy.
#pragma once

#include <cstdint>

#include "lwo/lwo.h"
#include "lws/motion.h"
#include "math/vecmath.h"

struct SfxObject;

struct SceneCamera {
  Mat3 worldtocamera;  // rows: right, up, forward in world coordinates
  Mat3 cameratoworld;  // transpose of worldtocamera
  int32_t targetindex = -1;  // index into Scene::objects, -1 none
  Vec3 position;
  Vec3 forward{0, 0, 1};
  Vec3 up{0, 1, 0};
  Vec3 target;
  float projdistance = 0;  // pixels
  float fieldofview = 0;   // degrees, 0..180
  Motion motion;
  Plane viewplanes[6];   // camera space: top, bottom, left, right, near, far
  Plane worldplanes[6];  // the same in world space, each frame
};

struct SceneLight {
  int32_t isdistant = 0;
  int32_t falloffon = 0;
  float falloffrange = 0;
  float color[3] = {0, 0, 0};  // 0..1 at intensity 1
  Vec3 position;
  Vec3 direction{0, 0, 1};  // distant lights: unit direction from the first key
  Motion motion;
};

struct Scene {
  int32_t firstframe = 0;
  int32_t lastframe = 0;
  float framespersecond = 0;
  SceneCamera *camera = nullptr;
  SceneLight **lights = nullptr;
  uint16_t numlights = 0;
  SceneObject **objects = nullptr;
  uint16_t numobjects = 0;
  SfxObject **sfxobjects = nullptr;
  uint16_t numsfxobjects = 0;
  float ambientred = 0, ambientgreen = 0, ambientblue = 0;  // 0..255
  float ambientintensity = 0;
  TextureNameTable texturenames;  // the scene's copy of the global table
};

// Ambient light of the last scene loaded, 0..1 per channel. Written by the scene loader;
// read by lighting.
extern float ambientcolor[3];
