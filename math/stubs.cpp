// Placeholders until the camera lands; that work deletes this file.
#include "math/vecmath.h"
SceneCamera *createcamera(float, float, float, float) { return nullptr; }
void setfieldofview(SceneCamera *, float) {}
void setupviewplanes(SceneCamera *) {}
void camerafromangles(SceneCamera *, float, float, float) {}
void cameratarget(SceneCamera *, float, float, float) {}
void cameralookat(SceneCamera *) {}
