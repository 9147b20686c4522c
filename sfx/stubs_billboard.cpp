// Placeholders until the camera-facing meshes land; that work deletes this file.
#include "sfx/sfx.h"
void billboardbox(SceneCamera *, SceneObject *) {}
void billboardvertices(SceneCamera *, SceneObject *) {}
