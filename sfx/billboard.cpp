#include <algorithm>

#include "lws/lws.h"
#include "sfx/sfx.h"

// Effect meshes take the camera's own orientation instead of their angles: local x and
// y run along the camera's right and up axes, so a flat mesh in its x-y plane always
// faces the viewer. The whole of objpos turns, so a particle's world position is turned
// with its square.

void billboardbox(SceneCamera *camera, SceneObject *mesh) {
  const double tx = mesh->posx, ty = mesh->posy, tz = mesh->posz;
  for (int k = 0; k < 8; k++)
    mesh->tbbox[k] = matplace(&camera->cameratoworld, mesh->bbox[k], tx, ty, tz);
}

void billboardvertices(SceneCamera *camera, SceneObject *mesh) {
  const double tx = mesh->posx, ty = mesh->posy, tz = mesh->posz;
  for (int v = 0; v < mesh->numverts; v++) {
    MeshVertex &mv = mesh->verts[v];
    mv.xfpos = matplace(&camera->cameratoworld, mv.objpos, tx, ty, tz);
    mv.untouched = 1;
  }
  // A particle mesh's numverts follows the living particles while its normal arrays are
  // sized for its vertices: never turn more normals than there are vertices.
  mattransform(&camera->cameratoworld, mesh->normals, mesh->xformnormals,
               std::min(mesh->numnormals, mesh->numverts));
}
