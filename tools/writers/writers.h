// Writers of the files the system reads: LightWave objects and scenes, 3DF textures (PNG
// images: writepng in platform/platform.h). Used by the tools, the tests and the fuzz seeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Writes size bytes to path, whole or not at all (openatomic); 1 written, 0 when it cannot
// be created or written, with errno saying why and no part of it left behind.
int writebytes(const char *path, const void *data, size_t size);
// Big-endian output, as object and 3DF files store their numbers (writelwo.cpp).
// Append the low 16 bits of v, or all 32.
void putu16(std::vector<uint8_t> &out, uint32_t v);
void putu32(std::vector<uint8_t> &out, uint32_t v);

// ---- LightWave 5 object files (writelwo.cpp) ----
//
// Fill an LwoWriter (points, polygons, surfaces), then writelwo or lwobytes. The files
// look like those LightWave 5 wrote: FORM/LWOB, PNTS, SRFS, POLS, then one SURF per
// surface; every odd-length chunk is followed by a pad byte and every text is NUL-ended
// and padded to even length. Nothing is checked: counts, indices and surface numbers
// are written as given, so tests can also make bad files.

#include <string>

#include "math/vecmath.h"

// Sub-chunks written for a surface when their bit is in LwoWriterSurface::chunks.
// Texture sub-chunks follow the texture fields instead (see below).
enum : uint32_t {
  lwocolr = 1u << 0,
  lwoflag = 1u << 1,
  lwovlum = 1u << 2,
  lwovdif = 1u << 3,
  lwovspc = 1u << 4,
  lwovrfl = 1u << 5,
  lwovtrn = 1u << 6,
  lwoglos = 1u << 7,
  lwosman = 1u << 8,
  lwobasicchunks = lwocolr | lwoflag | lwovlum | lwovdif | lwovspc | lwovrfl | lwovtrn |
                   lwoglos | lwosman,
};

// Texture axes as TFLG writes them: bit 0x1 X, 0x2 Y, 0x4 Z.
enum { lwoaxisx = 0, lwoaxisy = 1, lwoaxisz = 2 };

struct LwoWriterSurface {
  std::string name;
  uint32_t chunks = lwobasicchunks;
  uint8_t red = 200, green = 200, blue = 200;  // COLR
  uint16_t flags = 0;                          // FLAG: 0x2 outline, 0x100 double, 0x200 additive
  float luminosity = 0;                        // VLUM
  float diffuse = 1.0f;                        // VDIF
  float specular = 0;                          // VSPC
  float reflectivity = 0;                      // VRFL
  float transparency = 0;                      // VTRN
  uint16_t glossiness = 64;                    // GLOS
  float smoothingangle = 1.5626f;              // SMAN, radians
  // Colour texture: when texturekind is not empty, CTEX texturekind, then TIMG image
  // (when not empty), TFLG, TSIZ, TCTR, and TFP0/TFP1 when writerepeats.
  std::string texturekind;  // "Planar Image Map", "Cylindrical Image Map", ...
  std::string image;
  int texaxis = lwoaxisz;
  Vec3 texsize{1, 1, 1};
  Vec3 texcenter{0, 0, 0};
  int writerepeats = 1;
  float widthrepeat = 1.0f;   // TFP0
  float heightrepeat = 1.0f;  // TFP1
  std::string reflimage;      // RIMG when not empty
  std::vector<uint8_t> extra;  // raw bytes appended to the SURF body (other sub-chunks)
};

struct LwoWriterPolygon {
  std::vector<uint16_t> corners;  // point indices; LightWave 5 objects use 3 or 4
  int surface = 0;                // 0-based; written as surface + 1 (so -1 writes 0)
};

struct LwoWriter {
  std::vector<Vec3> points;
  std::vector<LwoWriterPolygon> polygons;
  std::vector<LwoWriterSurface> surfaces;
  int surfacesfirst = 0;  // 1: SRFS before PNTS, as later LightWave versions write
  std::vector<uint8_t> extra;  // raw bytes appended after the last chunk (other chunks)
};

// The whole file in memory.
std::vector<uint8_t> lwobytes(const LwoWriter *object);
// Writes the file; 1 written, 0 when it cannot be created or written.
int writelwo(const char *path, const LwoWriter *object);

// Conveniences; each returns the index of what it added.
int lwoaddpoint(LwoWriter *object, float x, float y, float z);
int lwoaddsurface(LwoWriter *object, const char *name, uint8_t red, uint8_t green, uint8_t blue);
int lwoaddtriangle(LwoWriter *object, int a, int b, int c, int surface);
int lwoaddquad(LwoWriter *object, int a, int b, int c, int d, int surface);
// Sets a colour image map on the surface: kind "Planar Image Map", "Cylindrical Image
// Map" or "Spherical Image Map", the axis, centre and size; repeats 1.
void lwosetimagemap(LwoWriterSurface *surface, const char *kind, const char *image, int axis,
                    Vec3 center, Vec3 size);
// Polygons face the side from which their corners run clockwise, as in LightWave; then
// (p0 - p1) x (p2 - p1) points to the back. The shapes below return their first polygon.
// A box of 8 shared points and 6 quads on one surface, laid out as LightWave writes a
// box: faces -y, -z, +x, +z, -x, +y.
int lwoaddbox(LwoWriter *object, Vec3 center, Vec3 size, int surface);
// The same box with face k on facesurfaces[k], in that face order.
int lwoaddboxfaces(LwoWriter *object, Vec3 center, Vec3 size, const int facesurfaces[6]);
// A grid in the plane y = 0 from (x0, z0) to (x1, z1) with nx by nz quads facing +y
// ((nx + 1) * (nz + 1) points).
int lwoaddgrid(LwoWriter *object, float x0, float z0, float x1, float z1, int nx, int nz,
               int surface);
// A sphere: segments around y, rings from pole to pole (triangles at the poles, quads
// between), facing outwards; segments * (rings - 1) + 2 points.
int lwoaddsphere(LwoWriter *object, Vec3 center, float radius, int segments, int rings,
                 int surface);

// ---- LightWave scene files (.lws) ----
//
// Writes the subset of version 1 scene files that the scene reader reads, laid out as
// LightWave 5 writes them: header, objects (each with its motion, optional parent and
// ShadowOptions), effect objects, ambient light, lights, camera, then a few render
// options. Counts and indices are written as given, so tests can write broken files too.
#include <string>
#include <vector>

struct LwsFileKey {
  float values[9] = {0, 0, 0, 0, 0, 0, 1, 1, 1};  // x y z heading pitch bank sx sy sz
  int frame = 0;
  int linear = 0;
  float tension = 0, continuity = 0, bias = 0;
};

struct LwsFileMotion {
  std::vector<LwsFileKey> keys;  // one key at the origin when empty
  int endbehavior = 1;
};

struct LwsFileObject {
  std::string filename;  // the word after LoadObject or AddNullObject
  bool isnull = false;   // AddNullObject instead of LoadObject
  LwsFileMotion motion;
  int parent = 0;  // "ParentObject" value, 1-based; 0 writes none
  bool shadowoptions = true;
};

struct LwsFileSfx {
  std::string filename;
  LwsFileMotion motion;
  int sfxtype = 1;
  int rangestart = 0, rangeend = 100;
  float quadwidth = 1, quadheight = 1;
  int numparticles = 10;
  float lifetime = 10;
  int birthcolor[3] = {255, 255, 255};
  int deathcolor[3] = {0, 0, 0};
  float starttrans = 0, endtrans = 1;
  float randfactor = 0;
};

struct LwsFileLight {
  std::string name = "Light";
  LwsFileMotion motion;
  int color[3] = {255, 255, 255};
  float intensity = 1;
  int type = 0;  // 0 distant, 1 point, 2 spot
  int falloff = 0;  // with falloffrange, written as "LightFalloff" + "LightRange" when non-zero
  float falloffrange = 0;
  int lensflare = 0;  // "LensFlare" line when non-zero
  // Non-empty: "LgtIntensity (envelope)" with these keys (intensity in values[0]) in place
  // of the single value.
  std::vector<LwsFileKey> envelope;
};

struct LwsFileCamera {
  LwsFileMotion motion;
  float zoom = 3.2f;
  int target = 0;  // "TargetObject" value, 1-based; 0 writes none
};

struct LwsFileScene {
  int firstframe = 0, lastframe = 60, framestep = 1;
  float framespersecond = 30;
  std::vector<LwsFileObject> objects;
  std::vector<LwsFileSfx> sfxobjects;
  int ambient[3] = {255, 255, 255};
  float ambientintensity = 0.25f;
  std::vector<LwsFileLight> lights;
  LwsFileCamera camera;
  bool crlf = false;  // Windows line ends
  bool noframerate = false;  // LightWave 3.x header: no "FramesPerSecond" line
  std::string extra;         // lines written as given after the objects
};

// A key at frame, spline (not linear) with tension, continuity and bias 0, scale 1.
LwsFileKey lwskey(int frame, float x, float y, float z, float heading = 0, float pitch = 0,
                  float bank = 0);
// A motion of one key at frame 0.
LwsFileMotion lwsstill(float x, float y, float z, float heading = 0, float pitch = 0,
                       float bank = 0);
// The scene file's text.
std::string lwstext(const LwsFileScene &scene);
// Writes the scene file; 1 written, 0 when it cannot be.
int writelws(const char *path, const LwsFileScene &scene);

// ---- 3DF textures (write3df.cpp) ----
//
// Texels are ARGB8888 0xAARRGGBB, row-major, row 0 first. A 3DF texture's largest level
// has power-of-two sides, the long side at most 256, width:height from 8:1 to 1:8; each
// further level halves both sides, a side stopping at 1.

#include <cstdio>

#include "platform/glide/cardtexture.h"
#include "platform/glide/glide.h"

// TexLevels, check3dfsize and makemiplevels: platform/glide/cardtexture.h.
// The NCC table for yiq and ayiq8422 fitted to the levels' colours: Y is luminance
// quantised to 16 steps spanning the texels' range; I and Q are the two principal axes of
// the colours' spread around their luminance, each with 4 steps at the 1/8, 3/8, 5/8 and
// 7/8 quantiles of the texels' positions along it.
void fitncctable(const TexLevels *levels, GuNccTable *ncc);
// A palette for p8 and ap88 by median cut of the largest level's RGB: boxes of colours
// split at the weighted median of their longest side until there are 256; each entry is
// its box's mean, 0x00RRGGBB; unused entries 0. Images of at most 256 colours map exactly.
void fitpalette(const TexLevels *levels, FxU32 palette[256]);
// The texel value of one colour in format (8 or 16 bits, in the low bits); ncc and palette
// as fitted for the NCC and palette formats.
unsigned encodetexel(int format, uint32_t argb, const GuNccTable *ncc, const FxU32 *palette);
// The complete 3DF file ("3df v1.1" header, table, big-endian texels) of levels in format
// (GR_TEXFMT_*, any of the card's 13). 0 when the format is unknown or the levels are no
// 3DF level chain.
int encode3df(const TexLevels *levels, int format, std::vector<uint8_t> *file);
// encode3df written to path (through openfile). 0 on a bad argument or a write error.
int write3df(const char *path, const TexLevels *levels, int format);
// One image with all its generated mip levels, written as a 3DF file in format.
int write3dfimage(const char *path, const uint32_t *argb, int width, int height, int format);

// ---- IFF ILBM images (writeilbm.cpp) ----
//
// The image as per-pixel plane values: bit p of values[k] goes to plane p of pixel k
// (a palette index, a hold-and-modify code, or R | G << 8 | B << 16 | A << 24 for 24 and
// 32 planes). Fields are written as given, so tests can make bad files too.
struct IlbmWriter {
  int width = 0, height = 0, planes = 8;
  int compression = 1;  // 0 none, 1 ByteRun1 (each plane line packed on its own)
  int masking = 0;      // 1: a mask plane from mask; 2: transparent is the clear index
  int transparent = 0;
  int writecamg = 0;    // a CAMG chunk holding camg (0x800 hold-and-modify, 0x80 half-brite)
  uint32_t camg = 0;
  std::vector<uint32_t> cmap;   // 0x00RRGGBB; no CMAP chunk when empty
  std::vector<uint32_t> values;
  std::vector<uint8_t> mask;    // per pixel, non-zero opaque; missing entries opaque
};
// FORM ILBM with BMHD, CMAP, CAMG and BODY, in that order.
std::vector<uint8_t> ilbmbytes(const IlbmWriter &image);
// Writes the file; 1 written, 0 when it cannot be.
int writeilbm(const char *path, const IlbmWriter &image);

// ---- The tex3df converter (tex3dfconvert.cpp) ----

// The whole tex3df command: argv as main receives it; the help text goes to out, messages
// to err. Returns the exit code: 0 done, 1 bad command line, 2 input unreadable or
// damaged, 3 input not convertible (image size, level), 4 output not writable.
int tex3dfmain(int argc, char **argv, FILE *out, FILE *err);
