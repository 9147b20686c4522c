// The runtime object record, the texture-name table, and the LightWave object loader.
//
// Texel coordinates: 0..255 spans one repeat of an image. Vertices are stored per
// surface: a file point used by two surfaces becomes two vertices.
#pragma once

#include <cstdint>

#include "lws/motion.h"
#include "math/vecmath.h"

struct MeshSurface {
  float red = 0, green = 0, blue = 0;  // COLR, 0..255
  uint16_t texture = 0xFFFF;           // texture-name index of the colour image, 0xFFFF none
  uint16_t refltexture = 0xFFFF;       // texture-name index of the reflection image
  uint8_t doublesided = 0;             // FLAG 0x0100
  uint8_t outline = 0;                 // FLAG 0x0002: blend by the texture's alpha
  uint8_t additive = 0;                // FLAG 0x0200: additive, no depth writes
  float specular = 0;                  // VSPC
  float diffuse = 1.0f;                // VDIF
  float gloss = 0.015625f;             // GLOS / 64
  float transparency = 0;              // VTRN
  float reflectivity = 0;              // VRFL
};

struct MeshVertex {
  Vec3 objpos;   // file point times the object's axis scale factors
  Vec3 xfpos;    // per frame: world, then camera space, then screen x, y with camera z
  MeshSurface *surface = nullptr;
  float basecolor[3] = {0, 0, 0};
  float litcolor[3] = {0, 0, 0};
  int32_t normalindex = 0;
  int32_t untouched = 0;
};

struct MeshCorner {
  uint16_t vertex = 0;
  float u = 0, v = 0;          // colour texels
  float reflu = 0, reflv = 0;  // reflection texels of the frame
};

// Own polygons have 3 or 4 corners; clipped ones up to 12.
constexpr int maxcorners = 12;

struct MeshPolygon {
  uint16_t numcorners = 0;
  MeshCorner corners[maxcorners];
  MeshSurface *surface = nullptr;
};

constexpr int maxchildren = 16;

// Room reserved per own vertex and polygon for the clipper's output.
constexpr int clipvertsper = 20;
constexpr int clippolysper = 3;

struct SceneObject {
  float posx = 0, posy = 0, posz = 0;  // in the parent's space; world for roots
  float rotpitch = 0, rotheading = 0, rotbank = 0;
  int32_t numverts = 0;
  int32_t numpolys = 0;
  int32_t numnormals = 0;
  int32_t numclipverts = 0;
  int32_t numclippolys = 0;
  int32_t numclipdropped = 0;  // polygons the clipper dropped for want of room this frame
  uint8_t cliproomlogged = 0;  // 1 once a dropped polygon of this object has been logged
  Vec3 *normals = nullptr;       // numverts, object space
  Vec3 *xformnormals = nullptr;  // numverts, rotated for the frame
  MeshVertex *verts = nullptr;   // room for clipvertsper * numverts
  Vec3 bbox[8];                  // corner i: bit 0 max z, bit 1 max x, bit 2 max y
  Vec3 tbbox[8];                 // the same corners in world space
  MeshSurface *surfaces = nullptr;
  int32_t numsurfaces = 0;
  int32_t issfxmesh = 0;
  int32_t hasreflmap = 0;
  int32_t visibility = 0;  // 0 inside, 1 culled, 2 crossing
  uint8_t clipmask = 0;
  uint8_t *vertoutcodes = nullptr;  // numverts
  int32_t *frontpolys = nullptr;    // room for clippolysper * numpolys
  uint16_t numfrontpolys = 0;
  int32_t *crosspolys = nullptr;
  uint16_t numcrosspolys = 0;
  int32_t *drawpolys = nullptr;
  uint16_t numdrawpolys = 0;
  MeshPolygon *polys = nullptr;  // room for clippolysper * numpolys; own ones grouped by surface
  Motion motion;
  SceneObject *children[maxchildren] = {};
  int32_t numchildren = 0;
  int32_t hasparent = 0;
};

constexpr int maxtextures = 1024;
constexpr int texturenamesize = 255;  // NUL included: at most 254 characters

struct TextureNameTable {
  char texturenames[maxtextures][texturenamesize];
  int32_t texturecount;
};

// The scene being loaded appends its image names here; the playback loop copies a
// scene's saved table back before loading its textures. Written by the object loader,
// the scene loader (count reset) and the playback loop.
extern TextureNameTable texturenametable;

// New SceneObject from an object file with the three axis scale factors, or null after
// a message naming the file in the log. Registers the object's image names.
SceneObject *loadobject(const char *filename, double scalex, double scaley, double scalez);
// An object with no points or polygons: the stand-in for a null object, or for an object
// file that cannot be found or read, that still carries motion and children. Null only
// without memory.
SceneObject *makenullobject(void);
// Releases a SceneObject and every array it owns, its motion keys included; its children
// are objects of their own. Null does nothing.
void freesceneobject(SceneObject *sceneobject);
