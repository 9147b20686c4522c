// Scene records, the scene loader, the object hierarchy, and the camera's set-up and
// orientation.
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
  Motion zoom;  // classic scenes: the zoom factor over time (channel 0; no keys: none)
};

struct SceneLight {
  int32_t isdistant = 0;
  int32_t falloffon = 0;
  float falloffrange = 0;
  float color[3] = {0, 0, 0};  // 0..1 at intensity 1
  Vec3 position;
  Vec3 direction{0, 0, 1};  // distant lights: unit direction from the first key
  Motion motion;
  // Classic scenes: the intensity over time (channel 0; no keys: none) and the colour it
  // scales, 0..255.
  Motion intensity;
  float rgb[3] = {0, 0, 0};
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
  int32_t backdrop = -1;  // classic scenes: the backdrop colour 0x00RRGGBB, -1 none given
};

// Ambient light of the last scene loaded, 0..1 per channel. Written by the scene loader;
// read by lighting.
extern float ambientcolor[3];

struct LwsScene;

// The largest scene file read. The format sets no bound on a scene's text: a motion may
// hold any number of keys. A key takes at least 28 bytes of text and about twice that in
// memory, so 64 MB (2.3 million keys: a thousand items keyed on every frame of 40 s at
// 60 frames a second) is far above any real scene and keeps the loader well under 200 MB.
constexpr int64_t maxscenebytes = int64_t(64) << 20;

// The scene file as read, or none when it cannot be opened or breaks a rule of the
// loader (logged with what and where); exits 12 for a file that is not a scene and 2
// when memory runs out.
LwsScene *readlws(const char *filename);
// Releases an LwsScene and everything it owns.
void freelws(LwsScene *lws);
// Links children to parents from the entries' parent indices; 0 (logged) for a parent
// outside the list, a 17th child or a cycle.
int linkchildren(const LwsScene *lws, Scene *scene);
// The complete scene with every object, light, effect and the camera, or none (logged)
// for a refused file or an object that cannot be loaded; exits 12 when the file cannot
// be opened or is not a scene.
Scene *loadscene(const char *filename, double scale);
// Classic scenes: each light's colour and the camera's field of view at frame from their
// envelopes; items without one are left alone.
void moveenvelopes(Scene *scene, double frame);
// New light at the position with colour 0..255 times intensity / 255.
SceneLight *createlight(float x, float y, float z, float red, float green, float blue,
                        float intensity, int isdistant);
// A distant light's direction: (0, 0, 1) turned by the angles truncated to whole degrees;
// logs "ld:" with the direction.
void lightdirection(SceneLight *light, float pitch, float heading, float bank);
// ambientcolor = colour * intensity / 255.
void setambient(float red, float green, float blue, float intensity);

// Camera set-up and orientation.

// New camera at (x, y, z) with the given horizontal field of view in degrees, looking
// along +z; none after printing the allocation message.
SceneCamera *createcamera(float x, float y, float z, float fieldofview);
// Clamps the angle to 0..180 and sets fieldofview and projdistance from the screen width.
void setfieldofview(SceneCamera *camera, float fieldofview);
// Fills the six camera-space view planes: top, bottom, left, right, near 0.2, far 100.
void setupviewplanes(SceneCamera *camera);
// Orients the camera from its own angles; forward, up and target are left alone.
void camerafromangles(SceneCamera *camera, float pitch, float heading, float bank);
// Stores the point as target and aims the camera at it without roll.
void cameratarget(SceneCamera *camera, float x, float y, float z);
// Builds the orientation from position, target and up. A degenerate aim (target at
// the camera, or straight above or below it) keeps the previous orientation.
void cameralookat(SceneCamera *camera);
