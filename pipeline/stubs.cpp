// Placeholders until the geometry pipeline lands; that work deletes this file.
#include "pipeline/pipeline.h"
void renderframe(Scene *) {}
void updateworldplanes(SceneCamera *) {}
void cullbox(SceneCamera *, SceneObject *) {}
void processobject(Scene *, SceneObject *) {}
void processsfx(Scene *, SceneObject *) {}
void transformboxes(SceneObject *) {}
void transformvertices(SceneObject *) {}
void lightvertices(SceneObject *, SceneLight *, SceneCamera *, int) {}
void copybasecolor(SceneObject *) {}
void backfacecull(SceneObject *, SceneCamera *) {}
void computeoutcodes(SceneCamera *, SceneObject *) {}
void classifypolygons(SceneObject *) {}
void viewtransform(SceneObject *, SceneCamera *) {}
void clippolygons(SceneCamera *, SceneObject *) {}
void project(SceneObject *, SceneCamera *) {}
