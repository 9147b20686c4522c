// The object folder's own records and steps: the LightWave object reader's result
// (LwoObject), the byte-scanning reader over a whole-file buffer, the texture-coordinate
// pass, and the steps of building a SceneObject. Nothing outside lwo/ (and its tests and
// fuzz target) sees these.
//
// Layering: the cores (parselwo, buildobject, registernames) never print a message or end
// the process; they return an LwoStatus with the details in an LwoFailure. readlwo,
// loadlwo, registertextures and loadobject (loadobject.cpp) hold every fixed message and
// exit code and turn a status into them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "lwo/lwo.h"

constexpr int lwotextsize = 1024;        // CTEX, TIMG, RIMG texts, NUL included
constexpr int lwosurfacenamesize = 255;  // SRFS and SURF names, NUL included
constexpr int lwofilenamesize = 256;

// Own vertices and polygons an object may have: MeshCorner::vertex is 16-bit, and the
// pipeline's index lists hold signed 16-bit polygon numbers.
constexpr int32_t maxobjectverts = 65535;
constexpr int32_t maxobjectpolys = 32767;
// Surface names a file may list: polygons name surfaces with 16-bit numbers from 1.
constexpr int32_t maxobjectsurfaces = 65535;

struct LwoPolygon {
  int32_t numcorners = 0;    // 3 or 4
  uint32_t pointindex[4] = {0, 0, 0, 0};
  float uv[4][2] = {{0, 0}, {0, 0}, {0, 0}, {0, 0}};  // texture units: 0..1 is one repeat
  int32_t surface = 0;       // file surface number - 1
};

struct LwoSurface {
  char imagename[lwotextsize] = {};    // TIMG
  char texturekind[lwotextsize] = {};  // CTEX
  uint8_t color[3] = {0, 0, 0};        // COLR
  Vec3 texcenter;                      // TCTR x scale
  Vec3 texsize;                        // TSIZ x scale
  float widthrepeat = 1.0f;            // TFP0
  float heightrepeat = 1.0f;           // TFP1
  float texparam2 = 0;                 // TFP2
  float luminosity = 0;                // VLUM
  float diffuse = 1.0f;                // VDIF
  float specular = 0;                  // VSPC
  float reflectivity = 0;              // VRFL
  float transparency = 0;              // VTRN
  int32_t glossiness = 1;              // GLOS
  char reflimagename[lwotextsize] = {};  // RIMG
  int32_t texaxis = 0;                 // TFLG: 0 X, 1 Y, 2 Z; -1 without CTEX
  uint16_t flags = 0;                  // FLAG
  float smoothingangle = 0;            // SMAN
};

struct LwoObject {
  LwoPolygon *polygons = nullptr;  // room for the POLS length / 10, rounded up
  LwoSurface *surfaces = nullptr;  // one per SRFS name
  Vec3 *points = nullptr;
  int32_t numsurfaces = 0;
  int32_t numpolygons = 0;
  int32_t numpoints = 0;
};

// The SRFS names, kept while a file is read.
struct LwoSurfaceNames {
  int32_t count = 0;
  char (*names)[lwosurfacenamesize] = nullptr;
};

// A read position in a whole-file buffer. Reads past the end return 0 and set failed.
struct LwoCursor {
  const uint8_t *data = nullptr;
  size_t size = 0;
  size_t at = 0;
  int failed = 0;
};

enum LwoStatus {
  lwook = 0,
  lwonomemory,          // the LwoObject or a working array
  lwonosurfacememory,   // the reader's surfaces array
  lwonoarraymemory,     // the reader's points or polygons array
  lwotoomanycorners,    // a polygon of more than 4 corners
  lwotoofewcorners,     // a polygon of fewer than 3 corners
  lwotruncated,         // a chunk, or a read inside one, runs past the end of the file
  lwonopoints,          // no PNTS chunk
  lwotoomanysurfaces,   // more SRFS names than surface numbers
  lwobadpoint,          // a corner names a point beyond the PNTS count
  lwobadsurface,        // polygons naming no surface: value = polygons built
  lwotoomanyverts,      // value = vertices the object would need (at least)
  lwotoomanypolys,      // value = the file's polygon count
  lwotablefull,         // more than maxtextures distinct image names in the scene
  lwonoobjectmemory,    // builder: the SceneObject
  lwonotmpverts,
  lwonopntremap,
  lwonopolys,
  lwonofrontpolys,
  lwonocrosspolys,
  lwonodrawpolys,
  lwonosurfaces,
  lwonoverts,
  lwonovertoutcodes,
  lwonoscratchnormals,  // computenormals' scratch face normals
  lwononormals,         // normals or xformnormals
};

struct LwoFailure {
  int32_t polygon = 0;  // lwobadpoint: the polygon, its corner's point index;
                        // lwobadsurface: the first polygon naming no surface
  int32_t surface = 0;  // lwobadsurface: the surface number it names, as in the file (from 1)
  int64_t value = 0;
  int64_t limit = 0;
};

// The file name of the last read, for messages; written by readlwo.
extern char objectfilename[lwofilenamesize];

// Cursor reads, big-endian, each from the whole-file buffer.
uint32_t readu16(LwoCursor *c);
uint32_t readu32(LwoCursor *c);
float readf32(LwoCursor *c);

// The reader's core: scans the file's bytes for the four chunk IDs, runs their handlers,
// checks every corner against the points and runs maptextures. lwook with *result set, or
// a status (details in *failure) with *result null and nothing left allocated.
int parselwo(const uint8_t *data, size_t size, float scale, LwoObject **result,
             LwoFailure *failure);
// Chunk handlers, called with the cursor just after the chunk ID; lwook or a status.
int readpoints(LwoObject *object, float scale, LwoCursor *c);
int readpolygons(LwoObject *object, LwoCursor *c, LwoFailure *failure);
// Replaces *names with the chunk's names (each cut to 254 characters).
int readsurfacenames(LwoSurfaceNames *names, LwoCursor *c);
// Fills the surface the chunk names; a SURF naming no SRFS name is passed over whole.
int readsurface(LwoSurface *surfaces, const LwoSurfaceNames *names, float scale, LwoCursor *c);
// Texture coordinates of every corner whose surface has a planar, cylindrical or
// spherical colour image map.
void maptextures(LwoObject *object);
// Makes the u of the n corners of a cylindrical or spherical polygon continuous across
// the map's seam, width being the repeats around.
void repairseam(float *u, int n, float width);
float xyztoh(float a, float b, float c);
void xyztohp(float a, float b, float c, float *h, float *p);
float fract(float x);
// Releases the arrays and the record; null arrays and a null object are skipped.
void freelwo(LwoObject *object);

// Polygons of more corners than ear clipping is tried on are cut as fans.
constexpr int maxearcorners = 256;
// Cuts the polygon of n corners (point indices) into triangles in the polygon's plane,
// each wound as the polygon is; repeated and collinear corners give no triangle. out has
// room for 3 * (n - 2) indices, scratch for n. Returns the triangles written (0 for a
// polygon without area). Corners not below numpoints, or more than maxearcorners of
// them, give a fan from the first corner.
int triangulatepolygon(const Vec3 *points, int32_t numpoints, const uint32_t *corners, int n,
                       int32_t *scratch, uint32_t *out);

// Opens the file through openfile and reads it; the object, or null after the message
// (to the log, or the exits for corner counts and the reader's allocations).
LwoObject *readlwo(const char *filename, float scale);

// The builder's core: the SceneObject of an LwoObject with the axis scale factors, its
// surfaces, per-surface vertices, polygons grouped by surface, normals, box and per-frame
// room. The "numtmpverts" and "normals" lines go to progress when it is not null.
int buildobject(const LwoObject *object, double scalex, double scaley, double scalez,
                FILE *progress, SceneObject **result, LwoFailure *failure);
// Unit vertex normals: per vertex the normalised sum of the face normals of the polygons
// using it. 1, or 0 when the scratch or the normals cannot be allocated (status in *why).
int computenormals(SceneObject *sceneobject, const LwoObject *object, int *why);
// bbox from the own vertices; all zeros without vertices.
void computebbox(SceneObject *sceneobject);
// Enters the surfaces' image names into table and sets the surfaces' indices; each
// reflection image name goes as a line to progress when it is not null. 1, or 0 when the
// table would overflow, with the table's count left as it was.
int registernames(const LwoObject *object, SceneObject *sceneobject, TextureNameTable *table,
                  FILE *progress);

// buildobject with its messages and exits; the object or null.
SceneObject *loadlwo(const LwoObject *object, double scalex, double scaley, double scalez);
// registernames on the global table with its messages; 1 or 0.
int registertextures(const LwoObject *object, SceneObject *sceneobject);
