#include <algorithm>
#include <cstdio>
#include <utility>

#include "display/display.h"
#include "pipeline/pipeline.h"

// The room the clipper may fill, in one place. The object loader reserves clipvertsper
// vertices and clippolysper polygons per own vertex and polygon. A particle mesh holds
// 160 vertices and 3 polygons per particle slot, while its numverts is 4 and its
// numpolys 1 per living particle: the same per-count room (80 vertices, 3 polygons per
// particle) lies inside what it has. One polygon needs at most two new vertices per
// plane (12), so a particle square always fits.
int32_t clipvertexlimit(const SceneObject *object) {
  int64_t room = (int64_t)clipvertsper * std::max(object->numverts, 0);
  return (int32_t)std::min<int64_t>(room, 65536);
}

int32_t clippolygonlimit(const SceneObject *object) {
  int64_t room = (int64_t)clippolysper * std::max(object->numpolys, 0);
  return (int32_t)std::min<int64_t>(room, 32768);
}

// Polygon indices in the lists are read back as signed 16-bit values.
static int32_t listablepolys(const SceneObject *object) {
  return std::min<int32_t>(object->numpolys, 32768);
}

void backfacecull(SceneObject *object, SceneCamera *camera) {
  object->numfrontpolys = 0;
  const double cx = camera->position.x, cy = camera->position.y, cz = camera->position.z;
  const int32_t count = listablepolys(object);
  MeshVertex *verts = object->verts;
  for (int32_t i = 0; i < count; i++) {
    MeshPolygon &poly = object->polys[i];
    if (poly.surface->doublesided == 0) {
      const Vec3 &p0 = verts[poly.corners[0].vertex].xfpos;
      const Vec3 &p1 = verts[poly.corners[1].vertex].xfpos;
      const Vec3 &p2 = verts[poly.corners[2].vertex].xfpos;
      double ax = (double)p0.x - p1.x, ay = (double)p0.y - p1.y, az = (double)p0.z - p1.z;
      double bx = (double)p2.x - p1.x, by = (double)p2.y - p1.y, bz = (double)p2.z - p1.z;
      double nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
      double vx = p1.x - cx, vy = p1.y - cy, vz = p1.z - cz;
      if (vx * nx + vy * ny + vz * nz < 0) continue;
    }
    object->frontpolys[object->numfrontpolys++] = i;
    for (int k = 0; k < poly.numcorners; k++) verts[poly.corners[k].vertex].untouched = 0;
  }
}

// Only the corners of camera-facing polygons are ever classified, so vertices still
// marked untouched keep their old codes, and an object wholly inside needs none.
void computeoutcodes(SceneCamera *camera, SceneObject *object) {
  if (object->visibility == 0) return;
  const int n = activeplanecount();
  for (int32_t v = 0; v < object->numverts; v++) {
    if (object->verts[v].untouched != 0) continue;
    const Vec3 &p = object->verts[v].xfpos;
    uint8_t code = 0;
    for (int i = 0; i < n; i++) {
      const Plane &pl = camera->worldplanes[i];
      double dist = (double)pl.normal.x * p.x + (double)pl.normal.y * p.y + (double)pl.normal.z * p.z;
      if (dist < pl.distance) code |= (uint8_t)(1u << i);
    }
    object->vertoutcodes[v] = code;
  }
}

void classifypolygons(SceneObject *object) {
  object->numdrawpolys = 0;
  object->numcrosspolys = 0;
  object->numclipverts = 0;
  object->numclippolys = 0;
  object->numclipdropped = 0;
  if (object->visibility == 0) {
    for (int i = 0; i < object->numfrontpolys; i++) object->drawpolys[i] = object->frontpolys[i];
    object->numdrawpolys = object->numfrontpolys;
    return;
  }
  const uint8_t *codes = object->vertoutcodes;
  for (int i = 0; i < object->numfrontpolys; i++) {
    int32_t index = object->frontpolys[i];
    const MeshPolygon &poly = object->polys[index];
    const int corners = poly.numcorners == 3 ? 3 : 4;
    uint8_t any = 0, all = 0xFF;
    for (int k = 0; k < corners; k++) {
      uint8_t code = codes[poly.corners[k].vertex];
      any |= code;
      all &= code;
    }
    if (any == 0)
      object->drawpolys[object->numdrawpolys++] = index;
    else if (all == 0)
      object->crosspolys[object->numcrosspolys++] = index;
  }
}

void viewtransform(SceneObject *object, SceneCamera *camera) {
  const float *m = camera->worldtocamera.m;
  const double cx = camera->position.x, cy = camera->position.y, cz = camera->position.z;
  for (int32_t v = 0; v < object->numverts; v++) {
    Vec3 &p = object->verts[v].xfpos;
    double x = p.x - cx, y = p.y - cy, z = p.z - cz;
    p.x = (float)(m[0] * x + m[1] * y + m[2] * z);
    p.y = (float)(m[3] * x + m[4] * y + m[5] * z);
    p.z = (float)(m[6] * x + m[7] * y + m[8] * z);
  }
  if (object->hasreflmap == 0) return;
  mattransform(&camera->worldtocamera, object->xformnormals, object->xformnormals, object->numnormals);
  // Sphere-map lookup: the camera-space normal's x and y, -1..1, over the 0..255 texels.
  for (int32_t i = 0; i < object->numpolys; i++) {
    MeshPolygon &poly = object->polys[i];
    for (int k = 0; k < poly.numcorners; k++) {
      MeshCorner &c = poly.corners[k];
      const Vec3 &n = object->xformnormals[object->verts[c.vertex].normalindex];
      c.reflu = (float)(n.x * 127.5 + 127.5);
      c.reflv = (float)(n.y * 127.5 + 127.5);
    }
  }
}

namespace {

struct ClipRoom {
  int32_t vertexlimit;
  int reflections;
};

double planedistance(const Plane &plane, const Vec3 &p) {
  return (double)plane.normal.x * p.x + (double)plane.normal.y * p.y + (double)plane.normal.z * p.z;
}

// One Sutherland–Hodgman step: the part of polygon in on the inner side of the plane goes
// to out, with a new vertex wherever an edge crosses it. 0 when the result would need a
// vertex beyond the object's room or more corners than a polygon holds; a convex polygon
// gains at most one corner per plane, but a bent quadrilateral can gain more.
int clipagainstplane(SceneObject *object, const Plane &plane, const MeshPolygon &in, MeshPolygon &out,
                     const ClipRoom &room) {
  out.numcorners = 0;
  const int count = in.numcorners;
  if (count == 0) return 1;
  MeshVertex *verts = object->verts;
  const double d = plane.distance;
  const MeshCorner *prev = &in.corners[0];
  double dprev = planedistance(plane, verts[prev->vertex].xfpos);
  for (int j = 0; j < count; j++) {
    const MeshCorner *next = &in.corners[(j + 1) % count];
    const double dnext = planedistance(plane, verts[next->vertex].xfpos);
    const bool previn = dprev >= d, nextin = dnext >= d;
    if (previn) {
      if (out.numcorners == maxcorners) return 0;
      out.corners[out.numcorners++] = *prev;
    }
    if (previn != nextin) {
      const int32_t m = object->numverts + object->numclipverts;
      if (out.numcorners == maxcorners || m >= room.vertexlimit) return 0;
      // The two distances straddle d, so they differ and t lies in [0, 1].
      const double t = (d - dprev) / (dnext - dprev);
      const MeshVertex &a = verts[prev->vertex];
      const MeshVertex &b = verts[next->vertex];
      MeshVertex &nv = verts[m];
      nv.xfpos.x = (float)(a.xfpos.x + t * ((double)b.xfpos.x - a.xfpos.x));
      nv.xfpos.y = (float)(a.xfpos.y + t * ((double)b.xfpos.y - a.xfpos.y));
      nv.xfpos.z = (float)(a.xfpos.z + t * ((double)b.xfpos.z - a.xfpos.z));
      for (int ch = 0; ch < 3; ch++)
        nv.litcolor[ch] = (float)(a.litcolor[ch] + t * ((double)b.litcolor[ch] - a.litcolor[ch]));
      nv.surface = in.surface;
      nv.normalindex = a.normalindex;
      nv.untouched = 0;
      MeshCorner c;
      c.vertex = (uint16_t)m;
      c.u = (float)(prev->u + t * ((double)next->u - prev->u));
      c.v = (float)(prev->v + t * ((double)next->v - prev->v));
      if (room.reflections) {
        c.reflu = (float)(prev->reflu + t * ((double)next->reflu - prev->reflu));
        c.reflv = (float)(prev->reflv + t * ((double)next->reflv - prev->reflv));
      }
      out.corners[out.numcorners++] = c;
      object->numclipverts++;
    }
    prev = next;
    dprev = dnext;
  }
  return 1;
}

void droppolygon(SceneObject *object) {
  object->numclipdropped++;
  if (object->cliproomlogged) return;
  object->cliproomlogged = 1;
  if (errorlog != nullptr) fputs(cliproommessage, errorlog);
}

}  // namespace

// Clipping runs in camera space against the fixed viewplanes, only for the planes the
// object's box crosses (clipmask), in plane order. A polygon clipped away entirely is
// still listed, with fewer than three corners, and draws nothing.
void clippolygons(SceneCamera *camera, SceneObject *object) {
  const int n = activeplanecount();
  const ClipRoom room{clipvertexlimit(object), object->hasreflmap != 0};
  const int32_t polylimit = clippolygonlimit(object);
  MeshPolygon buffers[2];
  for (int e = 0; e < object->numcrosspolys; e++) {
    const int32_t slot = object->numpolys + object->numclippolys;
    if (slot >= polylimit) {
      droppolygon(object);
      continue;
    }
    MeshPolygon *a = &buffers[0], *b = &buffers[1];
    *a = object->polys[object->crosspolys[e]];
    b->surface = a->surface;
    const int32_t firstvertex = object->numclipverts;
    int fits = 1;
    for (int i = 0; i < n && fits; i++) {
      if ((object->clipmask & (1u << i)) == 0) continue;
      fits = clipagainstplane(object, camera->viewplanes[i], *a, *b, room);
      std::swap(a, b);
    }
    if (!fits) {
      // The vertices made for this polygon are used by nothing else: give them back.
      object->numclipverts = firstvertex;
      droppolygon(object);
      continue;
    }
    object->polys[slot] = *a;
    object->drawpolys[object->numdrawpolys++] = slot;
    object->numclippolys++;
  }
}

void project(SceneObject *object, SceneCamera *camera) {
  const double f = camera->projdistance;
  const double cx = screen != nullptr ? screen->centerx : 0;
  const double cy = screen != nullptr ? screen->centery : 0;
  const int32_t count = object->numverts + object->numclipverts;
  for (int32_t v = 0; v < count; v++) {
    Vec3 &p = object->verts[v].xfpos;
    // Vertices no drawn polygon uses may sit at z 0; their infinite results are never read.
    const double w = 1.0 / p.z;
    p.x = (float)(p.x * w * f + cx);
    p.y = (float)(p.y * w * -f + cy);
  }
}
