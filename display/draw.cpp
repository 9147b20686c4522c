#include "display/display.h"
#include "lwo/lwo.h"
#include "platform/glide/glide.h"

// One vertex array per drawing operation, reused for every polygon; the fields the
// drawing never writes (z, ooz, unit 0's oow, all of unit 1) stay 0 from program start.
// The card takes 1/w for unit 0 from the vertex's own oow.
static GrVertex objectvertices[maxcorners];
static GrVertex sfxvertices[maxcorners];

constexpr uint16_t notexture = 0xFFFF;

// 3 * 2^18: any |x| < 2^18 added to it lands in [2^19, 2^20), where a float's last bit
// is worth 1/16, so the single-precision sum is x rounded to the nearest 1/16 pixel
// (ties to even) and subtracting the constant again is exact.
constexpr float snapbias = 786432.0f;

float snapsixteenth(float coordinate) {
  // Each step is a float operation; C++ rounds a cast to float even where the hardware
  // would keep more precision, so the sum is rounded to single precision as required.
  float sum = static_cast<float>(coordinate + snapbias);
  return static_cast<float>(sum - snapbias);
}

// A handle for a name-table index; an index past the table selects nothing (the card
// then draws untextured) instead of reading past texturehandles.
static GrMipMapId_t handlefor(uint16_t index) {
  return index < maxtextures ? texturehandles[index] : GR_NULL_MIPMAP_HANDLE;
}

static const MeshPolygon *polygonat(const SceneObject *object, int listindex) {
  int32_t index = object->drawpolys[listindex];
  if (index < 0) return nullptr;
  const MeshPolygon *poly = &object->polys[index];
  return poly->surface != nullptr ? poly : nullptr;
}

// Builds one card vertex per corner and sends the polygon. The texel coordinates are the
// colour ones or, for the reflection pass, the reflection ones. Corner counts 0 to
// maxcorners go to the card as they are; a larger count cannot be real (a polygon holds
// maxcorners corners) and the polygon is dropped rather than read past its corners.
static void sendpolygon(const SceneObject *object, const MeshPolygon *poly,
                        GrVertex *vertices, int reflection, float alpha) {
  int n = poly->numcorners;
  if (n > maxcorners) return;
  // A card drawing a larger frame snaps to its own finer grid: rounding here to 1/16 of a
  // 640-wide pixel would throw that away.
  int fine = cardscale() > 1;
  for (int k = 0; k < n; k++) {
    const MeshCorner &corner = poly->corners[k];
    const MeshVertex &vertex = object->verts[corner.vertex];
    GrVertex &out = vertices[k];
    out.x = fine ? vertex.xfpos.x : snapsixteenth(vertex.xfpos.x);
    out.y = fine ? vertex.xfpos.y : snapsixteenth(vertex.xfpos.y);
    float oow = 1.0f / vertex.xfpos.z;
    out.oow = oow;
    float u = reflection ? corner.reflu : corner.u;
    float v = reflection ? corner.reflv : corner.v;
    out.tmuvtx[0].sow = u * oow;
    out.tmuvtx[0].tow = v * oow;
    out.r = vertex.litcolor[0];
    out.g = vertex.litcolor[1];
    out.b = vertex.litcolor[2];
    out.a = alpha;
  }
  grDrawPolygonVertexList(n, vertices);
}

static void setalphaiterated(void) {
  grAlphaCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_LOCAL_ITERATED,
                 GR_COMBINE_OTHER_CONSTANT, FXFALSE);
}

static void setsourcealphablend(void) {
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE_MINUS_SRC_ALPHA, GR_BLEND_ZERO,
                       GR_BLEND_ZERO);
}

static void settexturecolor(GrMipMapId_t handle) {
  grTexCombineFunction(GR_TMU0, GR_TEXTURECOMBINE_DECAL);
  grColorCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_LOCAL,
                 GR_COMBINE_LOCAL_ITERATED, GR_COMBINE_OTHER_TEXTURE, FXFALSE);
  guTexSource(handle);
}

// The blending kind of a surface, by the first rule that holds: transparent, additive,
// texture alpha, opaque. Only the transparent kind changes the vertex alpha; additive
// surfaces of ordinary objects also stop depth writes (switchdepth).
static void setblending(const MeshSurface *surface, float *alpha, int switchdepth) {
  if (surface->transparency > 0) {
    *alpha = 255.0f - 255.0f * surface->transparency;
    setalphaiterated();
    setsourcealphablend();
  } else if (surface->additive == 1) {
    if (switchdepth) grDepthMask(FXFALSE);
    grAlphaBlendFunction(GR_BLEND_ONE, GR_BLEND_ONE, GR_BLEND_ONE, GR_BLEND_ZERO);
  } else if (surface->outline == 1) {
    grAlphaCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_TEXTURE_ALPHA,
                   GR_COMBINE_LOCAL_CONSTANT, GR_COMBINE_OTHER_TEXTURE, FXFALSE);
    setsourcealphablend();
  } else {
    setalphaiterated();
    grAlphaBlendFunction(GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ONE, GR_BLEND_ZERO);
  }
}

static int drawingavailable(void) {
  if (screen != nullptr && screen->driver == 1) return 1;
  if (errorlog != nullptr) fputs("not implemented yet", errorlog);
  return 0;
}

// The colour pass of objects and effects (sfx 1): the card's state is set again only
// where the surface changes.
static void drawcolorpass(const SceneObject *object, GrVertex *vertices, int sfx) {
  // Alpha before any transparent surface of the call: opaque, though only transparent
  // surfaces' pixels depend on it.
  float alpha = 255.0f;
  const MeshSurface *previous = nullptr;
  for (int i = 0; i < object->numdrawpolys; i++) {
    const MeshPolygon *poly = polygonat(object, i);
    if (poly == nullptr) continue;
    const MeshSurface *surface = poly->surface;
    if (surface != previous) {
      setblending(surface, &alpha, !sfx);
      // Depth writes come back on for each later non-additive surface of an object; a
      // surface that is both transparent and additive keeps whatever the previous one left.
      if (!sfx && previous != nullptr && surface->additive == 0) grDepthMask(FXTRUE);
      if (surface->texture == notexture) {
        guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
      } else {
        settexturecolor(handlefor(surface->texture));
        if (sfx && errorlog != nullptr) fprintf(errorlog, "tmap %d\n", surface->texture);
      }
      previous = surface;
    }
    sendpolygon(object, poly, vertices, 0, alpha);
  }
}

void drawobject(SceneObject *object) {
  if (!drawingavailable()) return;
  drawcolorpass(object, objectvertices, 0);
  grDepthMask(FXTRUE);
  if (!object->hasreflmap) return;

  // The reflection layer lands only where the first pass left exactly this depth, that
  // is on the visible parts of the same polygons; the card iterates both passes alike.
  grDepthBufferFunction(GR_CMP_EQUAL);
  float alpha = 255.0f;
  const MeshSurface *previous = nullptr;
  for (int i = 0; i < object->numdrawpolys; i++) {
    const MeshPolygon *poly = polygonat(object, i);
    if (poly == nullptr) continue;
    const MeshSurface *surface = poly->surface;
    if (surface->refltexture == notexture) continue;
    if (surface != previous) {
      // Without reflectivity the layer is drawn at full alpha through whatever alpha
      // combine and blend function the first pass left.
      alpha = 255.0f;
      if (surface->reflectivity > 0) {
        alpha = surface->reflectivity * 255.0f;
        setalphaiterated();
        setsourcealphablend();
      }
      settexturecolor(handlefor(surface->refltexture));
      previous = surface;
    }
    sendpolygon(object, poly, objectvertices, 1, alpha);
  }
  grDepthBufferFunction(GR_CMP_LESS);
}

void drawsfxobject(SceneObject *object) {
  if (!drawingavailable()) return;
  // Effects are depth-tested against the scene but never hide one another.
  grDepthMask(FXFALSE);
  drawcolorpass(object, sfxvertices, 1);
  grDepthMask(FXTRUE);
}
