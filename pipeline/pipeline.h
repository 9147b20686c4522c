// The per-frame geometry: world planes, hierarchy transform, box culling, back faces,
// lighting, view transform, clipping and projection.
#pragma once

#include <cstdint>

#include "lws/lws.h"

struct SceneCamera;
struct SceneLight;

// Polygons the clipper dropped for want of room, and the log of the first one per
// object, live in the object's own counts; nothing here is allocated per frame.

// The whole frame: geometry, beginframe, drawing, endframe.
void renderframe(Scene *scene);
// viewplanes -> worldplanes for the camera's current orientation and position.
void updateworldplanes(SceneCamera *camera);
// Sets the object's visibility (0 inside, 1 culled, 2 crossing) and clipmask from tbbox.
void cullbox(SceneCamera *camera, SceneObject *object);
// Polygon pipeline of one scene object.
void processobject(Scene *scene, SceneObject *object);
// Polygon pipeline of one effect mesh.
void processsfx(Scene *scene, SceneObject *mesh);
// World-space boxes of a root and its descendants.
void transformboxes(SceneObject *object);
// World-space vertices and rotated normals of a root and its descendants.
void transformvertices(SceneObject *object);
// Per-vertex lighting; accumulate 0 replaces with ambient + this light, else adds.
void lightvertices(SceneObject *object, SceneLight *light, SceneCamera *camera, int accumulate);
// litcolor = basecolor for every own vertex.
void copybasecolor(SceneObject *object);
void backfacecull(SceneObject *object, SceneCamera *camera);
void computeoutcodes(SceneCamera *camera, SceneObject *object);
void classifypolygons(SceneObject *object);
void viewtransform(SceneObject *object, SceneCamera *camera);
void clippolygons(SceneCamera *camera, SceneObject *object);
void project(SceneObject *object, SceneCamera *camera);
