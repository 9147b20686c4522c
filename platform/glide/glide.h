// Our software stand-in for the 3D card and its 2.x programming interface.
//
// The calls, types and constants keep the card library's names so that the display code
// reads as it would against the real card; their inner working is ours. Conventions:
// - GrVertex: x, y in screen pixels (upper-left origin, y down), r, g, b, a in 0..255,
//   oow = 1/w; tmuvtx[0].sow, .tow = texel coordinates * oow, in the 256-texel space of
//   the texture's long side whatever its largest level.
// - x and y are snapped to 12.4 fixed point by truncation; parameters are sampled at
//   pixel centres; top and left edges are inclusive, bottom and right exclusive.
// - The colour buffer is RGB565 (red in bits 15..11), the depth buffer 16-bit W values
//   (0 nearest, 0xFFFF farthest), both 640x480, row-major, double-buffered.
// - GrColor_t is 0xAARRGGBB.
// Calls the stand-in does not support log once to standard error and do nothing.
#pragma once

#include <cstdint>

typedef uint8_t FxU8;
typedef int16_t FxI16;
typedef uint16_t FxU16;
typedef uint32_t FxU32;
typedef int32_t FxI32;
typedef int32_t FxBool;
typedef float FxFloat;

#define FXTRUE 1
#define FXFALSE 0

typedef FxU32 GrColor_t;
typedef FxU8 GrAlpha_t;
typedef FxU32 GrMipMapId_t;
typedef FxI32 GrChipID_t;
typedef FxI32 GrLOD_t;
typedef FxI32 GrAspectRatio_t;
typedef FxI32 GrTextureFormat_t;
typedef FxI32 GrMipMapMode_t;
typedef FxI32 GrTextureClampMode_t;
typedef FxI32 GrTextureFilterMode_t;
typedef FxI32 GrCmpFnc_t;
typedef FxI32 GrDepthBufferMode_t;
typedef FxI32 GrCombineFunction_t;
typedef FxI32 GrCombineFactor_t;
typedef FxI32 GrCombineLocal_t;
typedef FxI32 GrCombineOther_t;
typedef FxI32 GrAlphaBlendFnc_t;
typedef FxI32 GrTexTable_t;
typedef FxI32 GrColorCombineFnc_t;
typedef FxI32 GrTextureCombineFnc_t;
typedef FxI32 GrScreenResolution_t;
typedef FxI32 GrScreenRefresh_t;
typedef FxI32 GrColorFormat_t;
typedef FxI32 GrOriginLocation_t;

#define GR_TMU0 0
#define GR_TMU1 1

#define GR_RESOLUTION_640x480 7
#define GR_REFRESH_60Hz 0
#define GR_COLORFORMAT_ARGB 0
#define GR_ORIGIN_UPPER_LEFT 0

#define GR_DEPTHBUFFER_DISABLE 0
#define GR_DEPTHBUFFER_ZBUFFER 1
#define GR_DEPTHBUFFER_WBUFFER 2

#define GR_CMP_NEVER 0
#define GR_CMP_LESS 1
#define GR_CMP_EQUAL 2
#define GR_CMP_LEQUAL 3
#define GR_CMP_GREATER 4
#define GR_CMP_NOTEQUAL 5
#define GR_CMP_GEQUAL 6
#define GR_CMP_ALWAYS 7

#define GR_WDEPTHVALUE_NEAREST 0x0000
#define GR_WDEPTHVALUE_FARTHEST 0xFFFF

#define GR_COMBINE_FUNCTION_ZERO 0x0
#define GR_COMBINE_FUNCTION_NONE GR_COMBINE_FUNCTION_ZERO
#define GR_COMBINE_FUNCTION_LOCAL 0x1
#define GR_COMBINE_FUNCTION_LOCAL_ALPHA 0x2
#define GR_COMBINE_FUNCTION_SCALE_OTHER 0x3
#define GR_COMBINE_FUNCTION_BLEND_OTHER GR_COMBINE_FUNCTION_SCALE_OTHER
#define GR_COMBINE_FUNCTION_SCALE_OTHER_ADD_LOCAL 0x4
#define GR_COMBINE_FUNCTION_SCALE_OTHER_ADD_LOCAL_ALPHA 0x5
#define GR_COMBINE_FUNCTION_SCALE_OTHER_MINUS_LOCAL 0x6
#define GR_COMBINE_FUNCTION_SCALE_OTHER_MINUS_LOCAL_ADD_LOCAL 0x7
#define GR_COMBINE_FUNCTION_BLEND GR_COMBINE_FUNCTION_SCALE_OTHER_MINUS_LOCAL_ADD_LOCAL
#define GR_COMBINE_FUNCTION_SCALE_OTHER_MINUS_LOCAL_ADD_LOCAL_ALPHA 0x8
#define GR_COMBINE_FUNCTION_SCALE_MINUS_LOCAL_ADD_LOCAL 0x9
#define GR_COMBINE_FUNCTION_BLEND_LOCAL GR_COMBINE_FUNCTION_SCALE_MINUS_LOCAL_ADD_LOCAL
#define GR_COMBINE_FUNCTION_SCALE_MINUS_LOCAL_ADD_LOCAL_ALPHA 0x10

#define GR_COMBINE_FACTOR_ZERO 0x0
#define GR_COMBINE_FACTOR_NONE GR_COMBINE_FACTOR_ZERO
#define GR_COMBINE_FACTOR_LOCAL 0x1
#define GR_COMBINE_FACTOR_OTHER_ALPHA 0x2
#define GR_COMBINE_FACTOR_LOCAL_ALPHA 0x3
#define GR_COMBINE_FACTOR_TEXTURE_ALPHA 0x4
#define GR_COMBINE_FACTOR_ONE 0x8
#define GR_COMBINE_FACTOR_ONE_MINUS_LOCAL 0x9
#define GR_COMBINE_FACTOR_ONE_MINUS_OTHER_ALPHA 0xa
#define GR_COMBINE_FACTOR_ONE_MINUS_LOCAL_ALPHA 0xb
#define GR_COMBINE_FACTOR_ONE_MINUS_TEXTURE_ALPHA 0xc

#define GR_COMBINE_LOCAL_ITERATED 0x0
#define GR_COMBINE_LOCAL_CONSTANT 0x1
#define GR_COMBINE_LOCAL_NONE GR_COMBINE_LOCAL_CONSTANT
#define GR_COMBINE_LOCAL_DEPTH 0x2

#define GR_COMBINE_OTHER_ITERATED 0x0
#define GR_COMBINE_OTHER_TEXTURE 0x1
#define GR_COMBINE_OTHER_CONSTANT 0x2
#define GR_COMBINE_OTHER_NONE GR_COMBINE_OTHER_CONSTANT

#define GR_BLEND_ZERO 0x0
#define GR_BLEND_SRC_ALPHA 0x1
#define GR_BLEND_SRC_COLOR 0x2
#define GR_BLEND_DST_COLOR GR_BLEND_SRC_COLOR
#define GR_BLEND_DST_ALPHA 0x3
#define GR_BLEND_ONE 0x4
#define GR_BLEND_ONE_MINUS_SRC_ALPHA 0x5
#define GR_BLEND_ONE_MINUS_SRC_COLOR 0x6
#define GR_BLEND_ONE_MINUS_DST_COLOR GR_BLEND_ONE_MINUS_SRC_COLOR
#define GR_BLEND_ONE_MINUS_DST_ALPHA 0x7

#define GR_COLORCOMBINE_ZERO 0x0
#define GR_COLORCOMBINE_CCRGB 0x1
#define GR_COLORCOMBINE_ITRGB 0x2
#define GR_COLORCOMBINE_DECAL_TEXTURE 0x4
#define GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB 0x6

#define GR_TEXTURECOMBINE_ZERO 0x0
#define GR_TEXTURECOMBINE_DECAL 0x1

#define GR_LOD_256 0
#define GR_LOD_128 1
#define GR_LOD_64 2
#define GR_LOD_32 3
#define GR_LOD_16 4
#define GR_LOD_8 5
#define GR_LOD_4 6
#define GR_LOD_2 7
#define GR_LOD_1 8

#define GR_ASPECT_8x1 0
#define GR_ASPECT_4x1 1
#define GR_ASPECT_2x1 2
#define GR_ASPECT_1x1 3
#define GR_ASPECT_1x2 4
#define GR_ASPECT_1x4 5
#define GR_ASPECT_1x8 6

#define GR_TEXFMT_RGB_332 0x0
#define GR_TEXFMT_YIQ_422 0x1
#define GR_TEXFMT_ALPHA_8 0x2
#define GR_TEXFMT_INTENSITY_8 0x3
#define GR_TEXFMT_ALPHA_INTENSITY_44 0x4
#define GR_TEXFMT_P_8 0x5
#define GR_TEXFMT_ARGB_8332 0x8
#define GR_TEXFMT_AYIQ_8422 0x9
#define GR_TEXFMT_RGB_565 0xa
#define GR_TEXFMT_ARGB_1555 0xb
#define GR_TEXFMT_ARGB_4444 0xc
#define GR_TEXFMT_ALPHA_INTENSITY_88 0xd
#define GR_TEXFMT_AP_88 0xe
#define GR_TEXFMT_16BIT 0x8

#define GR_MIPMAP_DISABLE 0
#define GR_MIPMAP_NEAREST 1
#define GR_MIPMAPLEVELMASK_EVEN 1
#define GR_MIPMAPLEVELMASK_ODD 2
#define GR_MIPMAPLEVELMASK_BOTH 3
#define GR_TEXTURECLAMP_WRAP 0
#define GR_TEXTURECLAMP_CLAMP 1
#define GR_TEXTUREFILTER_POINT_SAMPLED 0
#define GR_TEXTUREFILTER_BILINEAR 1

#define GR_NULL_MIPMAP_HANDLE ((GrMipMapId_t)-1)

#define GR_TEXTABLE_NCC0 0
#define GR_TEXTABLE_NCC1 1
#define GR_TEXTABLE_PALETTE 2

#define GR_SSTTYPE_VOODOO 0

struct GrTmuVertex {
  float sow, tow, oow;
};

// 15 floats, 60 bytes, in the card library's order.
struct GrVertex {
  float x, y, z;
  float r, g, b;
  float ooz;
  float a;
  float oow;
  GrTmuVertex tmuvtx[2];
};

struct GrTMUConfig_t {
  int tmuRev;
  int tmuRam;  // megabytes
};

struct GrVoodooConfig_t {
  int fbRam;  // megabytes
  int fbiRev;
  int nTexelfx;
  FxBool sliDetect;
  GrTMUConfig_t tmuConfig[2];
};

struct GrHwConfiguration {
  int num_sst;
  struct {
    int type;
    GrVoodooConfig_t VoodooConfig;
  } SSTs[4];
};

struct Gu3dfHeader {
  FxU32 width, height;
  int small_lod, large_lod;  // GR_LOD_256 (0) .. GR_LOD_1 (8)
  GrAspectRatio_t aspect_ratio;
  GrTextureFormat_t format;
};

struct GuNccTable {
  FxU8 yRGB[16];
  FxI16 iRGB[4][3];
  FxI16 qRGB[4][3];
  FxU32 packed_data[12];
};

struct GuTexPalette {
  FxU32 data[256];  // 0x00RRGGBB
};

struct Gu3dfInfo {
  Gu3dfHeader header;
  union {
    GuNccTable nccTable;
    GuTexPalette palette;
  } table;
  void *data;          // caller-allocated, mem_required bytes; 16-bit texels in host order
  FxU32 mem_required;  // bytes of texel data, all levels
};

void grGlideGetVersion(char version[80]);
void grGlideInit(void);
// FXFALSE when there is no card (LWDEMO_NOCARD set).
FxBool grSstQueryHardware(GrHwConfiguration *hwconfig);
void grSstSelect(int which_sst);
// Opens the 640x480 card: a window of its own, or headless.
FxBool grSstWinOpen(FxU32 hwnd, GrScreenResolution_t resolution, GrScreenRefresh_t refresh,
                    GrColorFormat_t format, GrOriginLocation_t origin, int numbuffers,
                    int numauxbuffers);
void grGlideShutdown(void);

void grDepthBufferMode(GrDepthBufferMode_t mode);
void grDepthBufferFunction(GrCmpFnc_t function);
void grDepthMask(FxBool enable);
// Colour (dithered) and, when depth buffering and the depth mask are on, depth.
void grBufferClear(GrColor_t color, GrAlpha_t alpha, FxU16 depth);
// Shows the drawn buffer at the n-th retrace of the 59.94 Hz clock after the last swap.
void grBufferSwap(int swapinterval);

void guColorCombineFunction(GrColorCombineFnc_t function);
void grColorCombine(GrCombineFunction_t function, GrCombineFactor_t factor,
                    GrCombineLocal_t local, GrCombineOther_t other, FxBool invert);
void grAlphaCombine(GrCombineFunction_t function, GrCombineFactor_t factor,
                    GrCombineLocal_t local, GrCombineOther_t other, FxBool invert);
void grTexCombineFunction(GrChipID_t tmu, GrTextureCombineFnc_t function);
void grAlphaBlendFunction(GrAlphaBlendFnc_t rgbsf, GrAlphaBlendFnc_t rgbdf,
                          GrAlphaBlendFnc_t alphasf, GrAlphaBlendFnc_t alphadf);

// Reads a 3DF header (file opened through openinput: a regular file of at most 4 MB);
// FXFALSE when it cannot be read, with the reason for inputfailure.
FxBool gu3dfGetInfo(const char *filename, Gu3dfInfo *info);
// Reads the table and texels into info->data (mem_required bytes); FXFALSE on a short read
// (the data zeroed), with the reason for inputfailure.
FxBool gu3dfLoad(const char *filename, Gu3dfInfo *info);
// Room in the 2 MB texture unit; GR_NULL_MIPMAP_HANDLE when it does not fit.
GrMipMapId_t guTexAllocateMemory(GrChipID_t tmu, FxU8 evenoddmask, int width, int height,
                                 GrTextureFormat_t format, GrMipMapMode_t mipmapmode,
                                 GrLOD_t smalllod, GrLOD_t largelod, GrAspectRatio_t aspect,
                                 GrTextureClampMode_t sclamp, GrTextureClampMode_t tclamp,
                                 GrTextureFilterMode_t minfilter,
                                 GrTextureFilterMode_t magfilter, float lodbias,
                                 FxBool trilinear);
FxBool guTexDownloadMipMap(GrMipMapId_t mmid, const void *src, const GuNccTable *ncctable);
// Loads the palette p8 and ap88 textures decode through (data: a GuTexPalette). The card
// looks texels up as it draws, so there one palette serves every texture at a time; this
// stand-in decodes each texture once, at its download, so a texture keeps the palette
// that was loaded when it was downloaded. NCC tables travel with each texture here, so the
// two NCC kinds are logged once and ignored.
void grTexDownloadTable(GrChipID_t tmu, GrTexTable_t type, void *data);
// Selects the texture for drawing; the null handle draws untextured.
void guTexSource(GrMipMapId_t mmid);
// Frees all texture memory and forgets every handle and the palette.
void guTexMemReset(void);

// A convex polygon drawn as a fan of triangles with the current state.
void grDrawPolygonVertexList(int nverts, const GrVertex vlist[]);

// ---- The stand-in's own extras, for the shell, the tools and the tests ----

constexpr int cardwidth = 640;
constexpr int cardheight = 480;

struct CardStats {
  uint64_t framesshown;  // buffer swaps since the card was opened
  uint64_t retraces;     // retraces of the 59.94 Hz clock passed since it was opened
};

// Configuration, read from the environment when the card opens (LWDEMO_VIDEO once per
// process): LWDEMO_VIDEO (window | headless), LWDEMO_PACING (on | off: swaps wait for the
// real retrace or not at all), LWDEMO_CAPTURE (folder for "frame000001.png" ... of every
// shown frame) and LWDEMO_CAPTURE_EVERY (N: frames 1, 1 + N, 1 + 2N, ...), LWDEMO_GAMMA
// (scan-out gamma, default 1.7), LWDEMO_NOCARD (set and not "0": no hardware reported),
// LWDEMO_SCALE (1 .. 8 or max: the frame drawn that many times 640 x 480, default 1),
// LWDEMO_COLOR (16: RGB565 dithered, the default; 32: 8 bits a channel) and
// LWDEMO_THREADS (1 .. 64 drawing threads or max; default the processors available).

// 1 when the card shows its frames in a window, 0 headless (LWDEMO_VIDEO, else whether a
// display can be reached). Decided once per process.
int cardwindowed(void);
// SDL window id of the card's window; 0 when headless or closed.
uint32_t cardwindowid(void);
// The shell forwards every SDL event of the card's window (and may forward any other:
// those are ignored) here. Returns 1 when the card consumed it (Alt+Enter toggling full
// screen, resize and expose repainting); 0 otherwise, and the shell then treats the
// window's key and close events as its keys, as for its own window.
int cardhandleevent(const void *sdlevent);
void cardgetstats(CardStats *stats);
// The buffer being drawn into and the one last shown, RGB565, and the depth buffer, each
// of the frame's size (cardwidth x cardheight at scale 1); null while the card is closed,
// and the colour buffers null in 32-bit colour. Each first waits for queued drawing.
const FxU16 *cardbackbuffer(void);
const FxU16 *cardfrontbuffer(void);
const FxU16 *carddepthbuffer(void);
// The frame as the card holds it: width x height = cardwidth x cardheight times scale,
// rows packed; colorbits 16 (RGB565) or 32 (0x00RRGGBB) for the two colour buffers;
// threads drawing it. 0 while the card is closed. Waits for queued drawing.
struct CardFrame {
  int width, height, scale, colorbits, threads;
  const void *back, *front;
  const FxU16 *depth;
};
int cardframe(CardFrame *frame);
// The open card's scale (1 while closed), without waiting.
int cardscale(void);
// Scan-out of a colour buffer of the open card's frame (a closed card's: 640 x 480 565)
// through the card's gamma into 24-bit RGB (3 bytes a pixel). These are exactly the
// pixels the window shows and capture writes.
void cardscanout(const void *buffer, FxU8 *rgb);
// Call trace for tests of the code that drives the card: while on, every call above
// (not these extras) appends one line "name(arg, arg, ...)\n" with integer arguments in
// decimal and floats with %g; file names are written as given and other pointers left
// out, except grDrawPolygonVertexList, which writes its count and then per vertex
// "{x y r g b a oow sow tow}" (tmuvtx[0]'s sow and tow). cardtraceclear empties it.
void cardtrace(int on);
const char *cardtracetext(void);
void cardtraceclear(void);

// Frame output. F12 in the card's window writes the shown frame as
// "lwdemo-<scene>-<frame>.png" into the working folder (a suffix "-2", ... where that name
// exists) and prints its name on standard output; <frame> counts shown frames as
// LWDEMO_CAPTURE's names do. The playback loop names the scene (its file name; folders and
// extension are dropped).
void cardsetname(const char *name);
// 1 once a captured frame or a screenshot could not be written (its message is already on
// standard error): the programme then ends with exit code 4 where it would end with 0.
int cardoutputlost(void);
// Removes any half-written output file; async-signal-safe, for a signal handler that ends
// the process at once.
void cardremovetemporaries(void);
