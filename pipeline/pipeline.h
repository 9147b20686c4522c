// The per-frame geometry: world planes, hierarchy transform, box culling, back faces,
// lighting, view transform, clipping and projection.
//
// Every stage works in the object's own arrays, sized by the object loader and the
// particle set-up; nothing is allocated per frame. Arithmetic is double, results are
// stored as floats. Plane i carries the mask bit 1 << i (top 1, bottom 2, left 4,
// right 8, near 16, far 32).
#pragma once

#include <cstdint>

#include "lws/lws.h"

struct SceneCamera;
struct SceneLight;

// Process-wide values the pipeline reads. Defined and written by the playback loop.
// The frame being played.
extern int32_t currentframe;
// Retraces per shown frame for the scene being played (1 or 2).
extern int32_t swapinterval;
// Number of view planes the clipper uses.
extern int32_t clipplanecount;

// The first time the clipper drops one of an object's polygons for want of room, this
// line goes to the log; the object's cliproomlogged keeps it to once per run, and
// numclipdropped counts the drops of the frame.
inline constexpr const char *cliproommessage = "Clipper out of room: polygon dropped\n";

// The whole frame: geometry, beginframe, drawing, endframe.
void renderframe(Scene *scene);
// The geometry part of renderframe alone (everything before beginframe): world planes,
// transforms, culling, and the polygon pipeline of every object and active effect.
void preparegeometry(Scene *scene);
// viewplanes -> worldplanes for the camera's current orientation and position.
void updateworldplanes(SceneCamera *camera);
// Sets the object's visibility (0 inside, 1 culled, 2 crossing) and clipmask from tbbox.
void cullbox(SceneCamera *camera, SceneObject *object);
// Polygon pipeline of one scene object; a scene without lights gets the ambient term alone.
void processobject(Scene *scene, SceneObject *object);
// Polygon pipeline of one effect mesh.
void processsfx(Scene *scene, SceneObject *mesh);
// World-space boxes of a root and its descendants.
void transformboxes(SceneObject *object);
// World-space vertices and rotated normals of a root and its descendants.
void transformvertices(SceneObject *object);
// Per-vertex lighting; accumulate 0 replaces with ambient + this light, else adds.
// A null light with accumulate 0 gives the ambient term alone.
void lightvertices(SceneObject *object, SceneLight *light, SceneCamera *camera, int accumulate);
// litcolor = basecolor for every own vertex.
void copybasecolor(SceneObject *object);
void backfacecull(SceneObject *object, SceneCamera *camera);
void computeoutcodes(SceneCamera *camera, SceneObject *object);
void classifypolygons(SceneObject *object);
void viewtransform(SceneObject *object, SceneCamera *camera);
void clippolygons(SceneCamera *camera, SceneObject *object);
void project(SceneObject *object, SceneCamera *camera);

// clipplanecount limited to the six planes a camera has (0..6).
int activeplanecount(void);
// One past the highest vertex index the clipper may create for the object: its room of
// clipvertsper x numverts, never above 65536 (corner vertex indices are 16-bit).
int32_t clipvertexlimit(const SceneObject *object);
// One past the highest polygon index the clipper may create: its room of clippolysper x
// numpolys, never above 32768 (draw-list entries are read back as signed 16-bit).
int32_t clippolygonlimit(const SceneObject *object);
