// Building a SceneObject from an LwoObject: per-surface vertices with the object's scale
// baked in, polygons grouped by surface, texels, normals, box and the per-frame room.
#include <cstdlib>
#include <cstring>
#include <new>

#include "lwo/lworeader.h"

namespace {

// Zeroed room for count entries; at least one, so that an empty object still gets arrays
// and a null result always means no memory.
template <typename T>
T *allocate(size_t count) {
  return static_cast<T *>(std::calloc(count > 0 ? count : 1, sizeof(T)));
}

// A surface has a colour texture when it has a CTEX and an image to put on the card; a
// CTEX without a TIMG has nothing to show.
int hascolortexture(const LwoSurface &s) { return s.texaxis != -1 && s.imagename[0] != 0; }

// Slot of name in the table's used slots, appending it when new; -1 when the table is
// full. Names are cut to the slot size first, so a cut name matches its own cut.
int findorappend(TextureNameTable *table, const char *name) {
  char cut[texturenamesize];
  std::strncpy(cut, name, texturenamesize - 1);
  cut[texturenamesize - 1] = 0;
  for (int32_t i = 0; i < table->texturecount; i++)
    if (std::strcmp(table->texturenames[i], cut) == 0) return i;
  if (table->texturecount >= maxtextures) return -1;
  std::memcpy(table->texturenames[table->texturecount], cut, texturenamesize);
  return table->texturecount++;
}

}  // namespace

void freesceneobject(SceneObject *o) {
  if (!o) return;
  std::free(o->normals);
  std::free(o->xformnormals);
  std::free(o->verts);
  std::free(o->surfaces);
  std::free(o->vertoutcodes);
  std::free(o->frontpolys);
  std::free(o->crosspolys);
  std::free(o->drawpolys);
  std::free(o->polys);
  std::free(o->motion.keys);
  o->~SceneObject();
  std::free(o);
}

int computenormals(SceneObject *o, const LwoObject *, int *why) {
  Vec3 *facenormals = allocate<Vec3>(size_t(o->numpolys));
  if (!facenormals) {
    *why = lwonoscratchnormals;
    return 0;
  }
  o->numnormals = o->numverts;
  o->normals = allocate<Vec3>(size_t(o->numnormals));
  o->xformnormals = allocate<Vec3>(size_t(o->numnormals));
  if (!o->normals || !o->xformnormals) {
    std::free(facenormals);
    *why = lwononormals;
    return 0;
  }
  for (int32_t k = 0; k < o->numpolys; k++) {
    const MeshPolygon &p = o->polys[k];
    const Vec3 &p0 = o->verts[p.corners[0].vertex].objpos;
    const Vec3 &p1 = o->verts[p.corners[1].vertex].objpos;
    const Vec3 &p2 = o->verts[p.corners[2].vertex].objpos;
    Vec3 a, b;
    vsub(p0.x, p0.y, p0.z, p1.x, p1.y, p1.z, &a);
    vsub(p2.x, p2.y, p2.z, p1.x, p1.y, p1.z, &b);
    vcross(a.x, a.y, a.z, b.x, b.y, b.z, &facenormals[k]);
    vnormalize(&facenormals[k]);
  }
  // Each polygon adds its face normal once to every distinct vertex it uses.
  for (int32_t k = 0; k < o->numpolys; k++) {
    const MeshPolygon &p = o->polys[k];
    for (int i = 0; i < p.numcorners; i++) {
      int repeated = 0;
      for (int j = 0; j < i; j++) repeated |= p.corners[j].vertex == p.corners[i].vertex;
      if (repeated) continue;
      Vec3 &n = o->normals[p.corners[i].vertex];
      n.x += facenormals[k].x;
      n.y += facenormals[k].y;
      n.z += facenormals[k].z;
    }
  }
  for (int32_t i = 0; i < o->numverts; i++) {
    vnormalize(&o->normals[i]);
    o->verts[i].normalindex = i;
  }
  std::free(facenormals);
  return 1;
}

void computebbox(SceneObject *o) {
  Vec3 lo, hi;
  if (o->numverts > 0) lo = hi = o->verts[0].objpos;
  for (int32_t i = 1; i < o->numverts; i++) {
    const Vec3 &p = o->verts[i].objpos;
    if (p.x < lo.x) lo.x = p.x;
    if (p.y < lo.y) lo.y = p.y;
    if (p.z < lo.z) lo.z = p.z;
    if (p.x > hi.x) hi.x = p.x;
    if (p.y > hi.y) hi.y = p.y;
    if (p.z > hi.z) hi.z = p.z;
  }
  for (int i = 0; i < 8; i++) {
    o->bbox[i].z = (i & 1) ? hi.z : lo.z;
    o->bbox[i].x = (i & 2) ? hi.x : lo.x;
    o->bbox[i].y = (i & 4) ? hi.y : lo.y;
  }
}

int buildobject(const LwoObject *object, double scalex, double scaley, double scalez,
                FILE *progress, SceneObject **result, LwoFailure *failure) {
  *result = nullptr;
  const int32_t numpolys = object->numpolygons;
  const int32_t numsurfaces = object->numsurfaces;
  if (numpolys > maxobjectpolys) {
    failure->value = numpolys;
    failure->limit = maxobjectpolys;
    return lwotoomanypolys;
  }
  // Polygons naming no surface stop the build before anything is made.
  int32_t placed = 0;
  size_t corners = 0;
  for (int32_t k = 0; k < numpolys; k++) {
    const LwoPolygon &p = object->polygons[k];
    if (p.surface >= 0 && p.surface < numsurfaces) {
      placed++;
    } else if (placed == k) {
      failure->polygon = k;
      failure->surface = p.surface + 1;
    }
    corners += size_t(p.numcorners);
  }
  if (placed != numpolys) {
    failure->value = placed;
    failure->limit = numpolys;
    return lwobadsurface;
  }
  void *room = std::calloc(1, sizeof(SceneObject));
  if (!room) return lwonoobjectmemory;
  SceneObject *o = new (room) SceneObject();
  int status = lwook;
  // Working storage. A vertex is made at most once per corner, so the corners bound the
  // vertices; no product of counts from the file enters a size.
  MeshVertex *tmpverts = allocate<MeshVertex>(corners);
  int32_t *pntremap = allocate<int32_t>(size_t(object->numpoints));
  int32_t *pntsurface = allocate<int32_t>(size_t(object->numpoints));
  int32_t *order = allocate<int32_t>(size_t(numpolys));
  int32_t *surfacestart = allocate<int32_t>(size_t(numsurfaces) + 1);
  const size_t polyroom = size_t(clippolysper) * size_t(numpolys);
  if (!tmpverts) status = lwonotmpverts;
  else if (!pntremap || !pntsurface || !order || !surfacestart) status = lwonopntremap;
  else if (!(o->polys = allocate<MeshPolygon>(polyroom))) status = lwonopolys;
  else if (!(o->frontpolys = allocate<int32_t>(polyroom))) status = lwonofrontpolys;
  else if (!(o->crosspolys = allocate<int32_t>(polyroom))) status = lwonocrosspolys;
  else if (!(o->drawpolys = allocate<int32_t>(polyroom))) status = lwonodrawpolys;
  else if (!(o->surfaces = allocate<MeshSurface>(size_t(numsurfaces)))) status = lwonosurfaces;

  if (status == lwook) {
    o->numsurfaces = numsurfaces;
    for (int32_t s = 0; s < numsurfaces; s++) {
      const LwoSurface &ls = object->surfaces[s];
      MeshSurface &ms = o->surfaces[s];
      ms = MeshSurface();
      ms.red = ls.color[0];
      ms.green = ls.color[1];
      ms.blue = ls.color[2];
      // Placeholders until registertextures puts the table's slots here.
      ms.texture = hascolortexture(ls) ? uint16_t(s) : uint16_t(0xFFFF);
      ms.refltexture = ls.reflimagename[0] ? uint16_t(s) : uint16_t(0xFFFF);
      if (ls.reflimagename[0]) o->hasreflmap = 1;
      ms.doublesided = (ls.flags & 0x0100) ? 1 : 0;
      ms.outline = (ls.flags & 0x0002) ? 1 : 0;
      ms.additive = (ls.flags & 0x0200) ? 1 : 0;
      ms.specular = ls.specular;
      ms.diffuse = ls.diffuse;
      ms.transparency = ls.transparency;
      ms.reflectivity = ls.reflectivity;
      ms.gloss = float(ls.glossiness * 0.015625);
    }
    // Polygons by surface, file order within each: a stable counting sort, so the build
    // takes time in proportion to the file, not to surfaces times polygons.
    for (int32_t k = 0; k < numpolys; k++) surfacestart[object->polygons[k].surface + 1]++;
    for (int32_t s = 0; s < numsurfaces; s++) surfacestart[s + 1] += surfacestart[s];
    for (int32_t k = 0; k < numpolys; k++) order[surfacestart[object->polygons[k].surface]++] = k;
    // pntsurface marks for which surface pntremap's entry was made (surface + 1; 0 none),
    // which stands for clearing pntremap before every surface.
    int32_t n = 0;
    for (int32_t m = 0; m < numpolys && status == lwook; m++) {
      const LwoPolygon &lp = object->polygons[order[m]];
      const int32_t s = lp.surface;
      const LwoSurface &ls = object->surfaces[s];
      const int textured = hascolortexture(ls);
      MeshPolygon &mp = o->polys[m];
      mp.numcorners = uint16_t(lp.numcorners);
      mp.surface = &o->surfaces[s];
      for (int i = 0; i < lp.numcorners; i++) {
        const uint32_t pi = lp.pointindex[i];
        if (pntsurface[pi] != s + 1) {
          if (n >= maxobjectverts) {
            status = lwotoomanyverts;
            break;
          }
          const Vec3 &pt = object->points[pi];
          MeshVertex &v = tmpverts[n];
          v.objpos.x = float(pt.x * scalex);
          v.objpos.y = float(pt.y * scaley);
          v.objpos.z = float(pt.z * scalez);
          v.surface = &o->surfaces[s];
          v.basecolor[0] = ls.color[0];
          v.basecolor[1] = ls.color[1];
          v.basecolor[2] = ls.color[2];
          pntsurface[pi] = s + 1;
          pntremap[pi] = n++;
        }
        mp.corners[i].vertex = uint16_t(pntremap[pi]);
        if (textured) {
          mp.corners[i].u = float(lp.uv[i][0] * 255.0);
          mp.corners[i].v = float(lp.uv[i][1] * 255.0);
        }
      }
    }
    if (status == lwotoomanyverts) {
      failure->value = int64_t(n) + 1;
      failure->limit = maxobjectverts;
    } else {
      o->numverts = n;
      o->numpolys = numpolys;
      if (progress) std::fprintf(progress, "numtmpverts: %d, numlwoverts %d\n", n, object->numpoints);
      if (!(o->verts = allocate<MeshVertex>(size_t(clipvertsper) * size_t(n))))
        status = lwonoverts;
      else if (!(o->vertoutcodes = allocate<uint8_t>(size_t(n))))
        status = lwonovertoutcodes;
      else
        std::memcpy(static_cast<void *>(o->verts), tmpverts, size_t(n) * sizeof(MeshVertex));
    }
  }
  std::free(tmpverts);
  std::free(pntremap);
  std::free(pntsurface);
  std::free(order);
  std::free(surfacestart);
  if (status == lwook) {
    if (progress) std::fputs("normals\n", progress);
    int why = lwook;
    if (!computenormals(o, object, &why)) status = why;
  }
  if (status != lwook) {
    freesceneobject(o);
    return status;
  }
  computebbox(o);
  *result = o;
  return lwook;
}

int registernames(const LwoObject *object, SceneObject *o, TextureNameTable *table,
                  FILE *progress) {
  const int32_t before = table->texturecount;
  for (int32_t s = 0; s < o->numsurfaces && s < object->numsurfaces; s++) {
    MeshSurface &ms = o->surfaces[s];
    const LwoSurface &ls = object->surfaces[s];
    if (ms.texture != 0xFFFF) {
      int slot = findorappend(table, ls.imagename);
      if (slot < 0) {
        table->texturecount = before;
        return 0;
      }
      ms.texture = uint16_t(slot);
    }
    if (ms.refltexture != 0xFFFF) {
      if (progress) std::fprintf(progress, "%s\n", ls.reflimagename);
      int slot = findorappend(table, ls.reflimagename);
      if (slot < 0) {
        table->texturecount = before;
        return 0;
      }
      ms.refltexture = uint16_t(slot);
    }
  }
  return 1;
}
