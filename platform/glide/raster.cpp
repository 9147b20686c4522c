// The card's rasterizer: triangle set-up, span walking and the pixel pipeline.
//
// Pixel order, as on the chip: depth test -> texel fetch -> colour and alpha combine ->
// blend (reading the 565 destination) -> dither -> colour write and depth write.
//
// Two ways through a triangle give the same bits: the reference path calls shadepixel for
// every covered pixel, which evaluates each plane at (x, y) directly and decodes the whole
// state with ordinary branches; the fast path picks one span routine per triangle,
// specialised at compile time for the handful of states the system draws with, four
// pixels at a time, with the set-up done once per triangle and span. States without a
// specialised routine take the reference path.
#include <immintrin.h>

#include <array>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

#include "platform/glide/cardinternal.h"

namespace {

constexpr int dithermatrix[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// Per dither value d (0..15) and 8-bit channel v: the 565 field written, using the
// hardware-verified rounding r5 = ((v << 1) - (v >> 4) + (v >> 7) + d) >> 4 and
// g6 = ((v << 2) - (v >> 4) + (v >> 6) + d) >> 4. And the destination read back for
// blending: the field shifted to 8 bits with the pixel's dither value subtracted again
// (the chip's "dither subtract"), so a dithered flat area blends as its undithered colour.
struct DitherTables {
  uint16_t r[16][256], g[16][256], b[16][256];
  uint8_t readrb[16][32], readg[16][64];
};

constexpr DitherTables makedithertables() {
  DitherTables t{};
  for (int d = 0; d < 16; d++) {
    for (int v = 0; v < 256; v++) {
      int rb = ((v << 1) - (v >> 4) + (v >> 7) + d) >> 4;
      int g = ((v << 2) - (v >> 4) + (v >> 6) + d) >> 4;
      t.r[d][v] = (uint16_t)(rb << 11);
      t.g[d][v] = (uint16_t)(g << 5);
      t.b[d][v] = (uint16_t)rb;
    }
    for (int f = 0; f < 32; f++) t.readrb[d][f] = (uint8_t)((((f << 3) << 1) + 15 - d) >> 1);
    for (int f = 0; f < 64; f++) t.readg[d][f] = (uint8_t)((((f << 2) << 2) + 15 - d) >> 2);
  }
  return t;
}

constexpr DitherTables dithertables = makedithertables();

// The dither values of a group's four pixels, each in both 16-bit halves of its lane, by
// row and by the column of the group's first pixel (both mod 4).
struct DitherLanes {
  uint32_t v[4][4][4];
};

constexpr DitherLanes makeditherlanes() {
  DitherLanes t{};
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++)
      for (int i = 0; i < 4; i++) t.v[y][x][i] = (uint32_t)dithermatrix[y][(x + i) & 3] * 0x10001u;
  return t;
}

alignas(16) constexpr DitherLanes ditherlanes = makeditherlanes();

// The chip has no colour clamp: it keeps the low 12 integer bits of the iterated value
// and only fixes the two values a slight overshoot produces (-1 and 256).
constexpr int pseudoclamp(uint32_t v12) {
  return v12 == 0xFFF ? 0 : v12 == 0x100 ? 255 : (int)(v12 & 0xFF);
}

// 256 * log2(1 + i/256), rounded, by repeated squaring (each squaring yields one bit of
// the logarithm), so the table is exact and the same on every compiler.
// below[f] counts the entries <= f (the table rises): a triangle's set-up reads it where a
// binary search's unpredictable branches cost a tenth of a small triangle's set-up.
struct Log2Table {
  int16_t v[256];
  int16_t below[256];
};

constexpr Log2Table makelog2table() {
  Log2Table t{};
  for (int i = 0; i < 256; i++) {
    double y = (256.0 + i) / 256.0, bit = 0.5, r = 0;
    for (int k = 0; k < 20; k++) {
      y *= y;
      if (y >= 2.0) {
        y /= 2.0;
        r += bit;
      }
      bit /= 2;
    }
    t.v[i] = (int16_t)(int)(r * 256.0 + 0.5);
  }
  for (int f = 0, n = 0; f < 256; f++) {
    while (n < 256 && t.v[n] <= f) n++;
    t.below[f] = (int16_t)n;
  }
  return t;
}

constexpr Log2Table log2table = makelog2table();

constexpr double colorscale = 4096.0;       // 12.12
constexpr double wscale = 4294967296.0;     // 32 fraction bits for 1/w, s/w, t/w
constexpr float texclamp = 1073741824.0f;   // 2^30: texel coordinates * 256 stay in int32

// One texture level's addressing for the span routines, the same value in every lane.
struct LevelVectors {
  __m128i masks = {};    // (w - 1) | (h - 1) << 16, the wrap masks of s and t
  __m128i rowmul = {};   // 1 | w << 16: multiplied and added with s | t << 16 gives s + t * w
  __m128i rowstep = {};  // w, the next row's texel
  __m128i wrap = {};     // w * h - 1, wrapping the last row's next to the first
  __m128i shift = {};    // the level, as a shift count of s and t in 256-space
  const uint32_t *texels = nullptr;
};

// The vectors the span routines make from a triangle's set-up once per triangle, in the
// drawing thread's own record (a small triangle's spans are 2 to 6 pixels long). Per colour
// plane (r, g, b, a), shifted left by 8: the steps to the four lanes of a group (0, 1, 2
// and 3 x steps) and from one group to the next (4 x steps). The level of a pixel
// counted from the largest is lodk - ((bits(w) - lodm) >> 23), clamped to 0..lodrange:
// with q = bits >> 15 = (e + 127) * 256 + m8, the shifted difference is
// floor((q - lodcount) / 256) = e + 126 + (m8 >= lodcount), so lodk = lodlevel + 126 -
// largest level and lodm = lodcount << 15.
// The eight-lane routines use the 256-bit members (0..7 and 8 x steps) and lodrange only.
struct SpanVectors {
  __m128i colorlanes[4], colorstep[4];
  __m128i lodk, lodm, lodrange;
  __m256i colorlanes8[4], colorstep8[4], lodk8, lodm8;
  __m256 wdx8, sdx8, tdx8;
};

void spanvectors(const CardSetup *ts, SpanVectors *v) {
  const uint32_t colordx[4] = {ts->rdx, ts->gdx, ts->bdx, ts->adx};
  for (int i = 0; i < 4; i++) {
    uint32_t d = colordx[i] << 8;
    v->colorlanes[i] = _mm_setr_epi32(0, (int)d, (int)(2 * d), (int)(3 * d));
    v->colorstep[i] = _mm_set1_epi32((int)(4 * d));
  }
  v->lodk = _mm_set1_epi32(ts->lodlevel + 126 - (ts->lodmin >> 8));
  v->lodm = _mm_set1_epi32(ts->lodcount << 15);
  v->lodrange = _mm_set1_epi16((short)((ts->lodmax - ts->lodmin) >> 8));
}

// A triangle's LevelVectors of the level its spans last used, made when a group on another
// level needs them (a triangle rarely crosses more than a level or two).
struct LevelCache {
  int level = -1;
  LevelVectors v;
};

const LevelVectors &levelvectors(const CardSetup *ts, int level, LevelCache *cache) {
  if (level != cache->level) {
    cache->level = level;
    int w = ts->texw[level], h = ts->texh[level];
    cache->v.masks = _mm_set1_epi32((w - 1) | (h - 1) << 16);
    cache->v.rowmul = _mm_set1_epi32(1 | w << 16);
    cache->v.rowstep = _mm_set1_epi32(w);
    cache->v.wrap = _mm_set1_epi32(w * h - 1);
    cache->v.shift = _mm_cvtsi32_si128(level);
    cache->v.texels = ts->texels[level];
  }
  return cache->v;
}

int64_t ceildiv(int64_t n, int64_t d) {  // d > 0
  int64_t q = n / d;
  if (n % d != 0 && n > 0) q++;
  return q;
}

// An edge PQ (yp < yq, 1/16 pixel) walked down the rows. For the row with centre cy the
// edge crosses at xp + ceil((cy - yp) * (xq - xp) / (yq - yp)); q and r hold that
// quotient floored and its remainder (0 <= r < den), stepped by one row (16 units) with
// adds only.
struct EdgeWalk {
  int64_t q = 0, r = 0, qstep = 0, rstep = 0, den = 1;
  int xp = 0;
};

void floordivmod(int64_t n, int64_t d, int64_t *q, int64_t *r) {
  *q = n / d;
  *r = n % d;
  if (*r < 0) {
    *r += d;
    *q -= 1;
  }
}

void edgestart(EdgeWalk *e, int xp, int yp, int xq, int yq, int cy) {
  e->den = yq - yp;
  e->xp = xp;
  floordivmod((int64_t)(cy - yp) * (xq - xp), e->den, &e->q, &e->r);
  floordivmod((int64_t)16 * (xq - xp), e->den, &e->qstep, &e->rstep);
}

void edgestep(EdgeWalk *e) {
  e->q += e->qstep;
  e->r += e->rstep;
  if (e->r >= e->den) {
    e->r -= e->den;
    e->q += 1;
  }
}

// First pixel column whose centre lies at or right of the edge on this row: for a left
// edge the first pixel drawn, for a right edge the first one not drawn (left edges
// inclusive, right edges exclusive).
int edgecolumn(const EdgeWalk *e, int width) {
  int64_t xcross = e->xp + e->q + (e->r > 0);
  int64_t col = (xcross - 8 + 15) >> 4;  // ceil((xcross - 8) / 16)
  if (col < 0) return 0;
  if (col > width) return width;
  return (int)col;
}

// Round to nearest without a library call (no SSE4.1 rounding in the x86-64 baseline).
double roundnear(double v) {
  double f = (double)(int64_t)v;
  if (f > v) f -= 1;
  double h = v - f;
  return h >= 0.5 ? f + 1 : f;
}

int64_t tofixed64(double v) {
  if (v != v) return 0;
  if (v <= -0x1p62) return -(int64_t(1) << 62);
  if (v >= 0x1p62) return int64_t(1) << 62;
  return (int64_t)roundnear(v);
}

uint32_t tofixed32(double v) {
  if (v != v) return 0;
  if (v <= -0x1p30) return (uint32_t)(-(int32_t(1) << 30));
  if (v >= 0x1p30) return uint32_t(1) << 30;
  return (uint32_t)(int32_t)roundnear(v);
}

int snap(float v, int scale, int *out) {
  // 12.4 by truncation toward zero, keeping 16 bits: the hardware conversion, under which
  // the 3 << 18 rounding bias callers add vanishes. At scale N the fraction is 1/16 of the
  // scaled pixel and N times 16 bits are kept, so the wrap and the vanishing bias fall
  // where they fall at scale 1, while the largest scaled frame (8 x 640) stays well
  // inside. In double the product of a float and 16 N is exact.
  double f = (double)v * 16.0;
  if (!(f > -2147483648.0 && f < 2147483648.0)) return 0;
  int64_t q = (int64_t)(f * scale), half = (int64_t)32768 * scale, period = 2 * half;
  q = ((q + half) % period + period) % period - half;
  *out = (int)q;
  return 1;
}

int finitevertex(const GrVertex *v) {
  const float f[9] = {v->x, v->y, v->r, v->g, v->b, v->a, v->oow, v->tmuvtx[0].sow,
                      v->tmuvtx[0].tow};
  for (float x : f)
    if (!std::isfinite(x)) return 0;
  return 1;
}

int needstexture(const CardState *st) {
  auto uses = [](const CardCombine &c) {
    return c.other == GR_COMBINE_OTHER_TEXTURE || (c.factor & 7) == GR_COMBINE_FACTOR_TEXTURE_ALPHA;
  };
  return uses(st->color) || uses(st->alpha);
}

int validtexture(const CardTexture *tex) {
  if (tex == nullptr) return 0;
  if (tex->largelod < 0 || tex->smalllod > 8 || tex->largelod > tex->smalllod) return 0;
  for (int l = tex->largelod; l <= tex->smalllod; l++) {
    int w = tex->width[l], h = tex->height[l];
    if (tex->texels[l] == nullptr || w < 1 || h < 1 || w > 256 || h > 256 || (w & (w - 1)) ||
        (h & (h - 1)))
      return 0;
  }
  return 1;
}

uint32_t floatbits(float f) {
  uint32_t u;
  memcpy(&u, &f, 4);
  return u;
}

// 256 * log2(w) for w > 0, from the exponent and the top 8 bits of the mantissa.
int log2w(float w) {
  uint32_t u = floatbits(w);
  return ((int)(u >> 23) - 127) * 256 + log2table.v[(u >> 15) & 0xFF];
}

// A plane value with 32 fraction bits as a float; the rounding is the same on every path.
float planefloat(uint64_t v) { return (float)((double)(int64_t)v * 0x1p-32); }

// Per pixel, 1/w, s/w and t/w are the span's first value plus k steps (k pixels into the
// span) in single precision: one multiply and one add, so four pixels at a time give the
// same bits as one at a time.
float spanvalue(float first, int k, float step) { return first + (float)k * step; }

int floorclamp(float v) {
  // NaN and out-of-range values pin to the low end; the comparisons are written so that
  // they behave exactly like SSE max/min on NaN.
  v = v > -texclamp ? v : -texclamp;
  v = v < texclamp ? v : texclamp;
  int i = (int)v;
  return i - ((float)i > v);
}

uint32_t texelat(const uint32_t *tx, int w, int h, int s, int t, int sclamp, int tclamp) {
  if (sclamp)
    s = s < 0 ? 0 : s > w - 1 ? w - 1 : s;
  else
    s &= w - 1;
  if (tclamp)
    t = t < 0 ? 0 : t > h - 1 ? h - 1 : t;
  else
    t &= h - 1;
  return tx[t * w + s];
}

// Two ARGB8888 texels mixed with a 4-bit fraction k (of 16), channel by channel:
// a + (((b - a) * 16k) >> 8), computed as (a * (16 - k) + b * k) >> 4, two channels
// per 32-bit multiply (no channel exceeds 255 * 16, so the halves never carry).
inline uint32_t lerp4(uint32_t a, uint32_t b, uint32_t k) {
  uint32_t rb = (((a & 0xFF00FF) * (16 - k) + (b & 0xFF00FF) * k) >> 4) & 0xFF00FF;
  uint32_t ag = ((((a >> 8) & 0xFF00FF) * (16 - k) + ((b >> 8) & 0xFF00FF) * k) >> 4) & 0xFF00FF;
  return rb | (ag << 8);
}

// Bilinear with the card's 4-bit fractions: half a texel back, then the four texels
// around the point, wrapped or clamped per axis.
uint32_t bilinear(const uint32_t *tx, int w, int h, int s, int t, int sclamp, int tclamp) {
  s -= 0x80;
  t -= 0x80;
  uint32_t fs = (uint32_t)(s >> 4) & 15, ft = (uint32_t)(t >> 4) & 15;
  int si = s >> 8, ti = t >> 8;
  int s0, s1, t0, t1;
  if (sclamp) {
    s0 = si < 0 ? 0 : si >= w - 1 ? w - 1 : si;
    s1 = si < 0 ? 0 : si >= w - 1 ? w - 1 : si + 1;
  } else {
    s0 = si & (w - 1);
    s1 = (si + 1) & (w - 1);
  }
  if (tclamp) {
    t0 = ti < 0 ? 0 : ti >= h - 1 ? h - 1 : ti;
    t1 = ti < 0 ? 0 : ti >= h - 1 ? h - 1 : ti + 1;
  } else {
    t0 = ti & (h - 1);
    t1 = (ti + 1) & (h - 1);
  }
  uint32_t top = lerp4(tx[t0 * w + s0], tx[t0 * w + s1], fs);
  uint32_t bottom = lerp4(tx[t1 * w + s0], tx[t1 * w + s1], fs);
  return lerp4(top, bottom, ft);
}

// The texel the texture unit returns for s/w, t/w, 1/w.
uint32_t sampletexture(const CardSetup *ts, float s, float t, float w) {
  int s8 = 0, t8 = 0, lod = ts->lodmin;
  if (w > 0) {
    // A negative or zero 1/w samples at s = t = 0, as the chip does.
    float inv = 256.0f / w;
    s8 = floorclamp(s * inv);
    t8 = floorclamp(t * inv);
    lod = ts->lodbase - log2w(w);
    lod = lod < ts->lodmin ? ts->lodmin : lod > ts->lodmax ? ts->lodmax : lod;
  }
  int level = lod >> 8;
  int bil = lod == ts->lodmin ? ts->magbilinear : ts->minbilinear;
  s8 >>= level;
  t8 >>= level;
  const uint32_t *tx = ts->texels[level];
  int tw = ts->texw[level], th = ts->texh[level];
  if (bil) return bilinear(tx, tw, th, s8, t8, ts->sclamp, ts->tclamp);
  return texelat(tx, tw, th, s8 >> 8, t8 >> 8, ts->sclamp, ts->tclamp);
}

// ---- The reference path: every state decoded on every pixel ----

struct FunctionBits {
  int zeroother, sublocal, add;  // add: 0 nothing, 1 the local value, 2 the local alpha
};

FunctionBits functionbits(int fn) {
  switch (fn) {
    case GR_COMBINE_FUNCTION_ZERO: return {1, 0, 0};
    case GR_COMBINE_FUNCTION_LOCAL: return {1, 0, 1};
    case GR_COMBINE_FUNCTION_LOCAL_ALPHA: return {1, 0, 2};
    case GR_COMBINE_FUNCTION_SCALE_OTHER: return {0, 0, 0};
    case GR_COMBINE_FUNCTION_SCALE_OTHER_ADD_LOCAL: return {0, 0, 1};
    case GR_COMBINE_FUNCTION_SCALE_OTHER_ADD_LOCAL_ALPHA: return {0, 0, 2};
    case GR_COMBINE_FUNCTION_SCALE_OTHER_MINUS_LOCAL: return {0, 1, 0};
    case GR_COMBINE_FUNCTION_SCALE_OTHER_MINUS_LOCAL_ADD_LOCAL: return {0, 1, 1};
    case GR_COMBINE_FUNCTION_SCALE_OTHER_MINUS_LOCAL_ADD_LOCAL_ALPHA: return {0, 1, 2};
    case GR_COMBINE_FUNCTION_SCALE_MINUS_LOCAL_ADD_LOCAL: return {1, 1, 1};
    case GR_COMBINE_FUNCTION_SCALE_MINUS_LOCAL_ADD_LOCAL_ALPHA: return {1, 1, 2};
    default: return {1, 0, 0};
  }
}

// Factors 0..7 are used as they are, 8 and above as 255 - f (the chip's "reverse blend"
// bit cleared); the low three bits pick f.
int factorvalue(int factor, int local, int alocal, int aother, int texa) {
  int f = 0;
  switch (factor & 7) {
    case 1: f = local; break;
    case 2: f = aother; break;
    case 3: f = alocal; break;
    case 4: f = texa; break;
    default: f = 0; break;
  }
  return factor >= 8 ? 255 - f : f;
}

// ((other or 0) - (local or 0)) * (f + 1) >> 8, plus the added term, clamped: the +1
// makes f = 255 an exact multiply by one.
int combine(const CardCombine *c, int other, int local, int alocal, int f) {
  FunctionBits fb = functionbits(c->function);
  int v = ((fb.zeroother ? 0 : other) - (fb.sublocal ? local : 0)) * (f + 1);
  v >>= 8;
  v += fb.add == 1 ? local : fb.add == 2 ? alocal : 0;
  v = v < 0 ? 0 : v > 255 ? 255 : v;
  return c->invert ? v ^ 0xFF : v;
}

int blendfactor(int factor, int isdest, int sa, int s, int d) {
  switch (factor) {
    case GR_BLEND_ZERO: return 0;
    case GR_BLEND_SRC_ALPHA: return sa + 1;
    case GR_BLEND_SRC_COLOR: return isdest ? s + 1 : d + 1;  // DST_COLOR as a source factor
    case GR_BLEND_DST_ALPHA: return 256;                      // no alpha planes: 255 + 1
    case GR_BLEND_ONE: return 256;
    case GR_BLEND_ONE_MINUS_SRC_ALPHA: return 256 - sa;
    case GR_BLEND_ONE_MINUS_SRC_COLOR: return isdest ? 256 - s : 256 - d;
    case GR_BLEND_ONE_MINUS_DST_ALPHA: return 1;
    default: return 0;
  }
}

int depthpasses(int func, int wd, int stored) {
  switch (func) {
    case GR_CMP_NEVER: return 0;
    case GR_CMP_LESS: return wd < stored;
    case GR_CMP_EQUAL: return wd == stored;
    case GR_CMP_LEQUAL: return wd <= stored;
    case GR_CMP_GREATER: return wd > stored;
    case GR_CMP_NOTEQUAL: return wd != stored;
    case GR_CMP_GEQUAL: return wd >= stored;
    default: return 1;
  }
}

void shadepixel(const CardState *st, const CardSetup *ts, const CardTarget *tg, int x, int y,
                int xs) {
  uint32_t dx32 = (uint32_t)(x - ts->px0), dy32 = (uint32_t)(y - ts->py0);
  uint64_t dx64 = (uint64_t)(int64_t)(xs - ts->px0), dy64 = (uint64_t)(int64_t)(y - ts->py0);
  uint32_t rp = ts->r0 + dx32 * ts->rdx + dy32 * ts->rdy;
  uint32_t gp = ts->g0 + dx32 * ts->gdx + dy32 * ts->gdy;
  uint32_t bp = ts->b0 + dx32 * ts->bdx + dy32 * ts->bdy;
  uint32_t ap = ts->a0 + dx32 * ts->adx + dy32 * ts->ady;
  float w = spanvalue(planefloat(ts->w0 + dx64 * ts->wdx + dy64 * ts->wdy), x - xs, ts->wdxf);
  float s = spanvalue(planefloat(ts->s0 + dx64 * ts->sdx + dy64 * ts->sdy), x - xs, ts->sdxf);
  float t = spanvalue(planefloat(ts->t0 + dx64 * ts->tdx + dy64 * ts->tdy), x - xs, ts->tdxf);
  size_t at = (size_t)y * tg->stride + x;

  int wd = 0;
  if (st->depthmode == GR_DEPTHBUFFER_WBUFFER) {
    wd = cardwdepth(w);
    if (!depthpasses(st->depthfunc, wd, tg->depth[at])) return;
  }

  int it[4] = {pseudoclamp((rp >> 12) & 0xFFF), pseudoclamp((gp >> 12) & 0xFFF),
               pseudoclamp((bp >> 12) & 0xFFF), pseudoclamp((ap >> 12) & 0xFFF)};
  uint32_t texel = 0;
  if (ts->texmode == 1) texel = sampletexture(ts, s, t, w);
  if (ts->texmode == 2) texel = 0xFFFFFFFF;
  if (st->texcombine != GR_TEXTURECOMBINE_DECAL) texel = 0;
  int tex[4] = {(int)(texel >> 16) & 0xFF, (int)(texel >> 8) & 0xFF, (int)texel & 0xFF,
                (int)(texel >> 24)};
  uint32_t cc = st->constantcolor;
  int con[4] = {(int)(cc >> 16) & 0xFF, (int)(cc >> 8) & 0xFF, (int)cc & 0xFF, (int)(cc >> 24)};
  auto pick = [&](int sel, int ch) {
    return sel == GR_COMBINE_OTHER_ITERATED ? it[ch] : sel == GR_COMBINE_OTHER_TEXTURE ? tex[ch] : con[ch];
  };
  int aother = pick(st->alpha.other, 3);
  int alocal = st->alpha.local == GR_COMBINE_LOCAL_CONSTANT ? con[3] : it[3];
  int src[3];
  for (int ch = 0; ch < 3; ch++) {
    int local = st->color.local == GR_COMBINE_LOCAL_CONSTANT ? con[ch] : it[ch];
    int f = factorvalue(st->color.factor, local, alocal, aother, tex[3]);
    src[ch] = combine(&st->color, pick(st->color.other, ch), local, alocal, f);
  }
  int sa = combine(&st->alpha, aother, alocal, alocal,
                   factorvalue(st->alpha.factor, alocal, alocal, aother, tex[3]));

  int dith = dithermatrix[y & 3][x & 3];
  int out[3] = {src[0], src[1], src[2]};
  if (!(st->rgbsrc == GR_BLEND_ONE && st->rgbdst == GR_BLEND_ZERO)) {
    int dst[3];
    if (tg->format == 32) {
      uint32_t d = tg->color32[at];
      dst[0] = (int)(d >> 16) & 0xFF, dst[1] = (int)(d >> 8) & 0xFF, dst[2] = (int)d & 0xFF;
    } else {
      uint16_t d565 = tg->color[at];
      dst[0] = dithertables.readrb[dith][d565 >> 11];
      dst[1] = dithertables.readg[dith][(d565 >> 5) & 63];
      dst[2] = dithertables.readrb[dith][d565 & 31];
    }
    for (int ch = 0; ch < 3; ch++) {
      int sf = blendfactor(st->rgbsrc, 0, sa, src[ch], dst[ch]);
      int df = blendfactor(st->rgbdst, 1, sa, src[ch], dst[ch]);
      int v = (src[ch] * sf + dst[ch] * df) >> 8;
      out[ch] = v > 255 ? 255 : v;
    }
  }
  if (tg->format == 32)
    tg->color32[at] = (uint32_t)(out[0] << 16 | out[1] << 8 | out[2]);
  else
    tg->color[at] = (uint16_t)(dithertables.r[dith][out[0]] | dithertables.g[dith][out[1]] |
                               dithertables.b[dith][out[2]]);
  if (st->depthmode == GR_DEPTHBUFFER_WBUFFER && st->depthmask) tg->depth[at] = (uint16_t)wd;
}

// ---- The fast path: one routine per common state, chosen once per triangle ----

constexpr int depthoff = 0, depthless = 1, depthlesswrite = 2, depthequal = 3,
              depthequalwrite = 4, depthkinds = 5;
constexpr int blendoff = 0, blendadd = 1, blendalphait = 2, blendalphatex = 3,
              blendalphaconst = 4, blendkinds = 5;

// Four pixels at a time in SSE2 (every x86-64 has it): one pixel per 32-bit lane for the
// planes, two colour channels per 32-bit lane (16 bits each: blue | red << 16 and green |
// alpha << 16, the halves an ARGB8888 texel splits into under one mask) for the bilinear
// filter, combine, blend and dither, and one pixel per 16-bit lane for depth and the
// buffers. Every 16-bit product and sum is bounded below 2^16 (8-bit values times factors
// of at most 256 whose pairs add up to 257), so no lane ever wraps.
inline __m128i select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// pseudoclamp on two 16-bit values per lane (each at most 0xFFF).
inline __m128i pseudoclamp16(__m128i v) {
  __m128i lo = _mm_and_si128(v, _mm_set1_epi16(0xFF));
  lo = _mm_andnot_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16(0xFFF)), lo);
  return _mm_or_si128(lo, _mm_and_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16(0x100)), _mm_set1_epi16(255)));
}

// cardwdepth of four 1/w, as 16-bit lanes less 0x8000 (so that signed compares order them
// as the unsigned buffer values). For 1/w > 0 the float's bits shifted right by 11 are
// exponent << 12 | m, so (e << 12) + 0x1000 - m is 0x7F000 - (bits >> 11); the saturating
// pack clamps that to 0..0xFFFF, and 1/w >= 1, negative values and NaN all fall below
// zero. Adding +0 first turns -0 into +0, which cardwdepth also reads as far.
inline __m128i wdepth4(__m128 w) {
  __m128i bits = _mm_castps_si128(_mm_add_ps(w, _mm_setzero_ps()));
  __m128i v = _mm_sub_epi32(_mm_set1_epi32(0x7F000 - 0x8000), _mm_srli_epi32(bits, 11));
  return _mm_packs_epi32(v, v);
}

inline __m128i floorclamp4(__m128 v) {
  v = _mm_max_ps(v, _mm_set1_ps(-texclamp));
  v = _mm_min_ps(v, _mm_set1_ps(texclamp));
  __m128i i = _mm_cvttps_epi32(v);
  return _mm_add_epi32(i, _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(i), v)));
}

// The bilinear filter of four pixels from their four texels each (c00, c01 the upper row,
// c10, c11 the lower) and f = fs | ft << 16, their 4-bit fractions, as rb and ga halves.
// Each lerp4 (a * (16 - k) + b * k) >> 4 is taken as a + (((b - a) * k) >> 4) with an
// arithmetic shift: the same value, since a * 16 is a multiple of 16.
__attribute__((always_inline)) inline void bilinear4(__m128i c00, __m128i c01, __m128i c10, __m128i c11,
                                                     __m128i f, __m128i *rb, __m128i *ga) {
  __m128i fs = _mm_shufflehi_epi16(_mm_shufflelo_epi16(f, 0xA0), 0xA0);
  __m128i ft = _mm_shufflehi_epi16(_mm_shufflelo_epi16(f, 0xF5), 0xF5);
  const __m128i low = _mm_set1_epi32(0x00FF00FF);
  auto lerp = [](__m128i a, __m128i b, __m128i k) {
    return _mm_add_epi16(a, _mm_srai_epi16(_mm_mullo_epi16(_mm_sub_epi16(b, a), k), 4));
  };
  __m128i rbtop = lerp(_mm_and_si128(c00, low), _mm_and_si128(c01, low), fs);
  __m128i gatop = lerp(_mm_srli_epi16(c00, 8), _mm_srli_epi16(c01, 8), fs);
  __m128i rbbottom = lerp(_mm_and_si128(c10, low), _mm_and_si128(c11, low), fs);
  __m128i gabottom = lerp(_mm_srli_epi16(c10, 8), _mm_srli_epi16(c11, 8), fs);
  *rb = lerp(rbtop, rbbottom, ft);
  *ga = lerp(gatop, gabottom, ft);
}

// sample4 for groups whose pixels lie on different levels or wrap in s: lane by lane.
__attribute__((noinline)) void samplelanes(const CardSetup *ts, __m128i s8, __m128i t8, __m128i levels,
                                           __m128i *rb, __m128i *ga) {
  alignas(16) int32_t sa[4], ta[4], fa[4];
  alignas(16) int16_t la[8];
  alignas(16) uint32_t c[4][4];
  _mm_store_si128((__m128i *)sa, s8);
  _mm_store_si128((__m128i *)ta, t8);
  _mm_store_si128((__m128i *)la, levels);
  for (int i = 0; i < 4; i++) {
    int l = (ts->lodmin >> 8) + la[i], w = ts->texw[l], h = ts->texh[l];
    int sl = (sa[i] >> l) - 0x80, tl = (ta[i] >> l) - 0x80;
    fa[i] = ((sl >> 4) & 15) | ((tl >> 4) & 15) << 16;
    int s0 = (sl >> 8) & (w - 1), s1 = ((sl >> 8) + 1) & (w - 1);
    int t0 = (tl >> 8) & (h - 1), t1 = ((tl >> 8) + 1) & (h - 1);
    const uint32_t *tx = ts->texels[l];
    c[0][i] = tx[t0 * w + s0];
    c[1][i] = tx[t0 * w + s1];
    c[2][i] = tx[t1 * w + s0];
    c[3][i] = tx[t1 * w + s1];
  }
  bilinear4(_mm_load_si128((const __m128i *)c[0]), _mm_load_si128((const __m128i *)c[1]),
            _mm_load_si128((const __m128i *)c[2]), _mm_load_si128((const __m128i *)c[3]),
            _mm_load_si128((const __m128i *)fa), rb, ga);
}

// The filtered texels of four pixels at s8, t8 (256-space, 8 fraction bits) on the levels
// in levels (16-bit lanes, counted from the largest level), as rb and ga halves. When all
// four share a level and no right neighbour wraps to the start of its row, the addresses
// come from one vector computation and each pixel's two texels of a row from one 8-byte
// load.
__attribute__((always_inline)) inline void sample4(const CardSetup *ts, __m128i s8, __m128i t8, __m128i levels,
                                                   LevelCache *cache, __m128i *rb, __m128i *ga) {
  if ((_mm_movemask_epi8(_mm_cmpeq_epi16(levels, _mm_shufflelo_epi16(levels, 0))) & 0xFF) == 0xFF) {
    const LevelVectors &lv = levelvectors(ts, (ts->lodmin >> 8) + (_mm_cvtsi128_si32(levels) & 0xFFFF), cache);
    __m128i sl = _mm_sra_epi32(s8, lv.shift), tl = _mm_sra_epi32(t8, lv.shift);
    // From here on only the low 16 bits of each coordinate count (4 fraction bits and at
    // most 8 bits of texel index), so s and t share a lane: s | t << 16, half a texel back.
    __m128i st = _mm_sub_epi16(_mm_or_si128(_mm_slli_epi32(tl, 16), _mm_and_si128(sl, _mm_set1_epi32(0xFFFF))),
                               _mm_set1_epi16(0x80));
    __m128i at = _mm_and_si128(_mm_srli_epi16(st, 8), lv.masks);
    if ((_mm_movemask_epi8(_mm_cmpeq_epi16(at, lv.masks)) & 0x3333) == 0) {
      __m128i f = _mm_and_si128(_mm_srli_epi16(st, 4), _mm_set1_epi16(15));
      __m128i upper = _mm_madd_epi16(at, lv.rowmul);  // s + t * w
      __m128i lower = _mm_and_si128(_mm_add_epi32(upper, lv.rowstep), lv.wrap);
      alignas(16) int32_t i[8];
      _mm_store_si128((__m128i *)i, upper);
      _mm_store_si128((__m128i *)(i + 4), lower);
      // The empty asm keeps the indices in memory: read back as integers they take fewer
      // steps than the lane-by-lane extraction the compiler would otherwise make of them.
      asm("" : "+m"(i));
      const uint32_t *t = lv.texels;
      auto pairs = [t](const int32_t *at, __m128i *left, __m128i *right) {
        __m128i p01 = _mm_unpacklo_epi64(_mm_loadl_epi64((const __m128i *)(t + at[0])),
                                         _mm_loadl_epi64((const __m128i *)(t + at[1])));
        __m128i p23 = _mm_unpacklo_epi64(_mm_loadl_epi64((const __m128i *)(t + at[2])),
                                         _mm_loadl_epi64((const __m128i *)(t + at[3])));
        *left = _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(p01), _mm_castsi128_ps(p23), 0x88));
        *right = _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(p01), _mm_castsi128_ps(p23), 0xDD));
      };
      __m128i c00, c01, c10, c11;
      pairs(i, &c00, &c01);
      pairs(i + 4, &c10, &c11);
      bilinear4(c00, c01, c10, c11, f, rb, ga);
      return;
    }
  }
  samplelanes(ts, s8, t8, levels, rb, ga);
}

// The first n (1..3) pixels at p, the other lanes clear, and their store back.
inline __m128i loadpixels(const uint16_t *p, int n) {
  uint32_t pair = p[0];
  if (n >= 2) memcpy(&pair, p, 4);
  return _mm_cvtsi64_si128((int64_t)(pair | (uint64_t)(n == 3 ? p[2] : 0) << 32));
}

inline void storepixels(uint16_t *p, int n, __m128i v) {
  uint64_t q = (uint64_t)_mm_cvtsi128_si64(v);
  if (n >= 2) {
    uint32_t pair = (uint32_t)q;
    memcpy(p, &pair, 4);
  } else {
    p[0] = (uint16_t)q;
  }
  if (n == 3) p[2] = (uint16_t)(q >> 32);
}

// 1 when the 12.12 plane value first + k * step stays in 0..255.99 for k = 0..count - 1: then
// it never wraps in between and pseudoclamp leaves it as it is.
inline int inrange(uint32_t first, uint32_t step, int count) {
  int64_t a = (int32_t)first, b = a + (int64_t)(int32_t)step * (count - 1);
  return a >= 0 && a < (256 << 12) && b >= 0 && b < (256 << 12);
}

// The blend of source rb, ga with destination drb, dg (8-bit values in 16-bit halves).
template <int blend>
__attribute__((always_inline)) inline void blendlanes(__m128i *rb, __m128i *ga, __m128i sa, __m128i drb, __m128i dg) {
  const __m128i c255x = _mm_set1_epi16(255);
  if constexpr (blend == blendadd) {
    *rb = _mm_min_epi16(_mm_add_epi16(*rb, drb), c255x);
    *ga = _mm_min_epi16(_mm_add_epi16(*ga, dg), c255x);
  } else {
    // (s * (a + 1) + d * (256 - a)) >> 8: each product and their sum stay below 2^16.
    __m128i sab = _mm_or_si128(sa, _mm_slli_epi32(sa, 16));
    __m128i sf = _mm_add_epi16(sab, _mm_set1_epi16(1)), df = _mm_sub_epi16(_mm_set1_epi16(256), sab);
    *rb = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(*rb, sf), _mm_mullo_epi16(drb, df)), 8);
    *ga = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(*ga, sf), _mm_mullo_epi16(dg, df)), 8);
  }
}

// Blend with the 565 destination (read back with the pixel's dither value subtracted
// again), dither and write the n (1..4) pixels at cb whose 16-bit lanes in mask are set;
// rb, ga hold blue | red << 16 and green | alpha << 16, sa the source alpha per lane.
template <int blend>
__attribute__((always_inline)) inline void blendwrite16(uint16_t *cb, int n, int full, __m128i mask, __m128i rb,
                                                        __m128i ga, __m128i sa, __m128i dith16) {
  const __m128i zero = _mm_setzero_si128();
  __m128i old = full ? _mm_loadl_epi64((const __m128i *)cb) : loadpixels(cb, n);
  if constexpr (blend != blendoff) {
    __m128i d565 = _mm_unpacklo_epi16(old, zero);
    __m128i f5 = _mm_or_si128(_mm_slli_epi32(_mm_srli_epi32(d565, 11), 16), _mm_and_si128(d565, _mm_set1_epi32(31)));
    __m128i f6 = _mm_and_si128(_mm_srli_epi32(d565, 5), _mm_set1_epi32(63));
    const __m128i fifteen = _mm_sub_epi16(_mm_set1_epi16(15), dith16);
    __m128i drb = _mm_srli_epi16(_mm_add_epi16(_mm_slli_epi16(f5, 4), fifteen), 1);
    __m128i dg = _mm_srli_epi16(_mm_add_epi16(_mm_slli_epi16(f6, 4), fifteen), 2);
    blendlanes<blend>(&rb, &ga, sa, drb, dg);
  }
  // The 4x4 ordered dither into 5-6-5: red and blue of a lane are 5 bits each at 0 and
  // 16, so rb5 + (rb5 >> 5) holds blue | red << 11 in its low half, and green << 5 adds
  // in between; the upper halves are left over and dropped by the pack.
  __m128i rb5 = _mm_srli_epi16(
      _mm_add_epi16(_mm_add_epi16(_mm_sub_epi16(_mm_slli_epi16(rb, 1), _mm_srli_epi16(rb, 4)), _mm_srli_epi16(rb, 7)), dith16), 4);
  __m128i g6 = _mm_srli_epi16(
      _mm_add_epi16(_mm_add_epi16(_mm_sub_epi16(_mm_slli_epi16(ga, 2), _mm_srli_epi16(ga, 4)), _mm_srli_epi16(ga, 6)), dith16), 4);
  __m128i out = _mm_add_epi32(_mm_add_epi32(rb5, _mm_srli_epi32(rb5, 5)), _mm_slli_epi32(g6, 5));
  out = _mm_srai_epi32(_mm_slli_epi32(out, 16), 16);
  out = select(mask, _mm_packs_epi32(out, out), old);
  if (full)
    _mm_storel_epi64((__m128i *)cb, out);
  else
    storepixels(cb, n, out);
}

// The same for 8 bits a channel: the destination read as it is, no dither.
template <int blend>
__attribute__((always_inline)) inline void blendwrite32(uint32_t *cb, int n, int full, __m128i mask, __m128i rb,
                                                        __m128i ga, __m128i sa) {
  alignas(16) uint32_t part[4] = {0, 0, 0, 0};
  if (!full) memcpy(part, cb, (size_t)n * 4);
  __m128i old = full ? _mm_loadu_si128((const __m128i *)cb) : _mm_load_si128((const __m128i *)part);
  if constexpr (blend != blendoff) {
    __m128i drb = _mm_and_si128(old, _mm_set1_epi32(0x00FF00FF));
    __m128i dg = _mm_and_si128(_mm_srli_epi32(old, 8), _mm_set1_epi32(0xFF));
    blendlanes<blend>(&rb, &ga, sa, drb, dg);
  }
  __m128i out = _mm_or_si128(_mm_and_si128(rb, _mm_set1_epi32(0x00FF00FF)),
                             _mm_slli_epi32(_mm_and_si128(ga, _mm_set1_epi32(0xFF)), 8));
  out = select(_mm_unpacklo_epi16(mask, mask), out, old);
  if (full) {
    _mm_storeu_si128((__m128i *)cb, out);
  } else {
    _mm_store_si128((__m128i *)part, out);
    memcpy(cb, part, (size_t)n * 4);
  }
}

template <int format, int textured, int depth, int blend>
void spanfast(const CardSetup *ts, const SpanVectors *sv, const CardTarget *tg, int y, int xs, int xe,
              LevelCache *levelcache) {
  const __m128i zero = _mm_setzero_si128();
  uint32_t dx32 = (uint32_t)(xs - ts->px0), dy32 = (uint32_t)(y - ts->py0);
  uint64_t dx64 = (uint64_t)(int64_t)(xs - ts->px0), dy64 = (uint64_t)(int64_t)(y - ts->py0);
  uint32_t r = ts->r0 + dx32 * ts->rdx + dy32 * ts->rdy, g = ts->g0 + dx32 * ts->gdx + dy32 * ts->gdy;
  uint32_t b = ts->b0 + dx32 * ts->bdx + dy32 * ts->bdy, a = ts->a0 + dx32 * ts->adx + dy32 * ts->ady;
  // pseudoclamp only where some colour of the span leaves 0..255.
  const int count = xe - xs;
  int clamp = !inrange(r, ts->rdx, count) || !inrange(g, ts->gdx, count) || !inrange(b, ts->bdx, count);
  if constexpr (blend == blendalphait) clamp = clamp || !inrange(a, ts->adx, count);
  // Colour planes shifted left by 8 (the shift commutes with the wrapping adds and
  // multiplies), so the 12 integer bits the chip keeps are the top 12 bits of each lane.
  auto lanes = [](uint32_t p, __m128i steps) { return _mm_add_epi32(_mm_set1_epi32((int)(p << 8)), steps); };
  __m128i rp = lanes(r, sv->colorlanes[0]), gp = lanes(g, sv->colorlanes[1]), bp = lanes(b, sv->colorlanes[2]);
  __m128i ap = zero;
  if constexpr (blend == blendalphait) ap = lanes(a, sv->colorlanes[3]);
  const __m128 w0 = _mm_set1_ps(planefloat(ts->w0 + dx64 * ts->wdx + dy64 * ts->wdy));
  __m128 s0 = w0, t0 = w0;
  if constexpr (textured) {
    s0 = _mm_set1_ps(planefloat(ts->s0 + dx64 * ts->sdx + dy64 * ts->sdy));
    t0 = _mm_set1_ps(planefloat(ts->t0 + dx64 * ts->tdx + dy64 * ts->tdy));
  }
  const __m128 wdx = _mm_set1_ps(ts->wdxf), sdx = _mm_set1_ps(ts->sdxf), tdx = _mm_set1_ps(ts->tdxf);
  __m128 k = _mm_setr_ps(0, 1, 2, 3);
  const __m128i dith16 = format == 16 ? _mm_load_si128((const __m128i *)ditherlanes.v[y & 3][xs & 3]) : zero;
  const __m128i bias16 = _mm_set1_epi16((short)0x8000);
  uint16_t *cb = tg->color + (size_t)y * tg->stride;
  uint32_t *cb32 = tg->color32 + (size_t)y * tg->stride;
  uint16_t *zb = tg->depth + (size_t)y * tg->stride;

  // One group of n pixels at x (n = 4 for all but the last, partial group of a span, which
  // reads and writes only its own pixels so that nothing past the span is touched).
  auto group = [&](int x, int n, auto whole) {
    constexpr int full = decltype(whole)::value;
    // One 16-bit lane per pixel, the upper four lanes clear.
    __m128i mask = full ? _mm_setr_epi32(-1, -1, 0, 0)
                        : _mm_cmplt_epi16(_mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7), _mm_set1_epi16((short)n));
    __m128 w = _mm_add_ps(w0, _mm_mul_ps(k, wdx));
    __m128i wd = zero, zold = zero;
    if constexpr (depth != depthoff) {
      zold = full ? _mm_loadl_epi64((const __m128i *)(zb + x)) : loadpixels(zb + x, n);
      wd = wdepth4(w);
      __m128i z = _mm_xor_si128(zold, bias16);
      if constexpr (depth == depthless || depth == depthlesswrite)
        mask = _mm_and_si128(mask, _mm_cmplt_epi16(wd, z));
      else
        mask = _mm_and_si128(mask, _mm_cmpeq_epi16(wd, z));
      if (_mm_movemask_epi8(mask) == 0) return;
    }
    const __m128i top12 = _mm_set1_epi32((int)0xFFF00000);
    __m128i rb = _mm_or_si128(_mm_srli_epi32(_mm_and_si128(rp, top12), 4), _mm_srli_epi32(bp, 20));
    __m128i ga = _mm_srli_epi32(gp, 20);
    if constexpr (blend == blendalphait) ga = _mm_or_si128(ga, _mm_srli_epi32(_mm_and_si128(ap, top12), 4));
    if (clamp) {
      rb = pseudoclamp16(rb);
      ga = pseudoclamp16(ga);
    }
    __m128i sa = _mm_set1_epi32(255);
    if constexpr (blend == blendalphait) sa = _mm_srli_epi32(ga, 16);
    if constexpr (textured) {
      __m128 wpos = _mm_cmpgt_ps(w, _mm_setzero_ps());
      __m128 inv = _mm_div_ps(_mm_set1_ps(256.0f), w);
      __m128i s8 = _mm_and_si128(floorclamp4(_mm_mul_ps(_mm_add_ps(s0, _mm_mul_ps(k, sdx)), inv)), _mm_castps_si128(wpos));
      __m128i t8 = _mm_and_si128(floorclamp4(_mm_mul_ps(_mm_add_ps(t0, _mm_mul_ps(k, tdx)), inv)), _mm_castps_si128(wpos));
      // The level, counted from the largest: lodk - ((bits(1/w) - lodm) >> 23), clamped,
      // and the largest where 1/w <= 0.
      __m128i lod = _mm_sub_epi32(sv->lodk, _mm_srai_epi32(_mm_sub_epi32(_mm_castps_si128(w), sv->lodm), 23));
      lod = _mm_and_si128(lod, _mm_castps_si128(wpos));
      __m128i levels = _mm_packs_epi32(lod, lod);
      levels = _mm_min_epi16(_mm_max_epi16(levels, zero), sv->lodrange);
      __m128i trb, tga;
      sample4(ts, s8, t8, levels, levelcache, &trb, &tga);
      const __m128i one16 = _mm_set1_epi16(1);
      // texture * (iterated + 1) >> 8; an outline's alpha is texture alpha * (itself + 1).
      rb = _mm_srli_epi16(_mm_mullo_epi16(trb, _mm_add_epi16(rb, one16)), 8);
      __m128i gmul = _mm_add_epi16(ga, one16);
      if constexpr (blend == blendalphatex)
        gmul = _mm_or_si128(_mm_and_si128(gmul, _mm_set1_epi32(0xFFFF)),
                            _mm_andnot_si128(_mm_set1_epi32(0xFFFF), _mm_add_epi16(tga, one16)));
      ga = _mm_srli_epi16(_mm_mullo_epi16(tga, gmul), 8);
      if constexpr (blend == blendalphatex) sa = _mm_srli_epi32(ga, 16);
    }
    if constexpr (format == 32)
      blendwrite32<blend>(cb32 + x, n, full, mask, rb, ga, sa);
    else
      blendwrite16<blend>(cb + x, n, full, mask, rb, ga, sa, dith16);
    if constexpr (depth == depthlesswrite || depth == depthequalwrite) {
      __m128i z = select(mask, _mm_xor_si128(wd, bias16), zold);
      if constexpr (full)
        _mm_storel_epi64((__m128i *)(zb + x), z);
      else
        storepixels(zb + x, n, z);
    }
  };
  auto next = [&]() {
    rp = _mm_add_epi32(rp, sv->colorstep[0]);
    gp = _mm_add_epi32(gp, sv->colorstep[1]);
    bp = _mm_add_epi32(bp, sv->colorstep[2]);
    if constexpr (blend == blendalphait) ap = _mm_add_epi32(ap, sv->colorstep[3]);
    k = _mm_add_ps(k, _mm_set1_ps(4));
  };
  int x = xs;
  for (; x + 4 <= xe; x += 4) {
    group(x, 4, std::integral_constant<int, 1>());
    next();
  }
  if (x < xe) group(x, xe - x, std::integral_constant<int, 0>());
}

// ---- Eight pixels at a time, for processors with AVX2 ----
//
// The same arithmetic as spanfast lane for lane (each pixel's planes, depth, texel
// address, combine, blend and dither computed by the same operations in the same order),
// over 256-bit registers: one pixel per 32-bit lane, and per 16-bit lane of a 128-bit
// register for depth and the 565 buffer. The bilinear fetch goes four pixels at a time
// through sample4. GCC compiles a lambda without its enclosing function's target, so the
// group is a function of its own working on a record.
#define AVX2 __attribute__((target("avx2")))

struct Span8 {
  __m256i rp, gp, bp, ap, lodk, lodm;
  __m256 w0, s0, t0, wdx, sdx, tdx, k;
  __m256i dith;
  __m128i lodrange;
  int clamp;
  const CardSetup *ts;
  LevelCache *cache;
  uint16_t *cb, *zb;
  uint32_t *cb32;
};

AVX2 inline __m256i pseudoclamp16x8(__m256i v) {
  __m256i lo = _mm256_and_si256(v, _mm256_set1_epi16(0xFF));
  lo = _mm256_andnot_si256(_mm256_cmpeq_epi16(v, _mm256_set1_epi16(0xFFF)), lo);
  return _mm256_or_si256(lo, _mm256_and_si256(_mm256_cmpeq_epi16(v, _mm256_set1_epi16(0x100)), _mm256_set1_epi16(255)));
}

AVX2 inline __m256i floorclamp8(__m256 v) {
  v = _mm256_max_ps(v, _mm256_set1_ps(-texclamp));
  v = _mm256_min_ps(v, _mm256_set1_ps(texclamp));
  __m256i i = _mm256_cvttps_epi32(v);
  return _mm256_add_epi32(i, _mm256_castps_si256(_mm256_cmp_ps(_mm256_cvtepi32_ps(i), v, _CMP_GT_OQ)));
}

// Eight 32-bit lanes saturated into eight 16-bit lanes, in order.
AVX2 inline __m128i pack8(__m256i v) {
  return _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

template <int blend>
AVX2 inline void blendlanes8(__m256i *rb, __m256i *ga, __m256i sa, __m256i drb, __m256i dg) {
  const __m256i c255x = _mm256_set1_epi16(255);
  if constexpr (blend == blendadd) {
    *rb = _mm256_min_epi16(_mm256_add_epi16(*rb, drb), c255x);
    *ga = _mm256_min_epi16(_mm256_add_epi16(*ga, dg), c255x);
  } else {
    __m256i sab = _mm256_or_si256(sa, _mm256_slli_epi32(sa, 16));
    __m256i sf = _mm256_add_epi16(sab, _mm256_set1_epi16(1)), df = _mm256_sub_epi16(_mm256_set1_epi16(256), sab);
    *rb = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(*rb, sf), _mm256_mullo_epi16(drb, df)), 8);
    *ga = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(*ga, sf), _mm256_mullo_epi16(dg, df)), 8);
  }
}

// The first n (1..7) pixels at p, the other lanes clear, and their store back: whole
// 8-, 4- and 2-byte moves, where a copy through memory of n pixels cost a library call
// and a stalled reload on every short span.
AVX2 inline __m128i loadpart16(const uint16_t *p, int n) {
  int i = n & 4;
  __m128i r = _mm_setzero_si128();
  if (n & 2) {
    uint32_t pair;
    memcpy(&pair, p + i, 4);
    r = _mm_cvtsi32_si128((int)pair);
  }
  if (n & 1) r = (n & 2) ? _mm_insert_epi16(r, p[i + 2], 2) : _mm_insert_epi16(r, p[i], 0);
  return (n & 4) ? _mm_unpacklo_epi64(_mm_loadl_epi64((const __m128i *)p), r) : r;
}

AVX2 inline void storepart16(uint16_t *p, int n, __m128i v) {
  int i = 0;
  if (n & 4) {
    _mm_storel_epi64((__m128i *)p, v);
    v = _mm_srli_si128(v, 8);
    i = 4;
  }
  if (n & 2) {
    uint32_t pair = (uint32_t)_mm_cvtsi128_si32(v);
    memcpy(p + i, &pair, 4);
    v = _mm_srli_si128(v, 4);
    i += 2;
  }
  if (n & 1) p[i] = (uint16_t)_mm_cvtsi128_si32(v);
}

AVX2 inline __m256i loadpart32(const uint32_t *p, int n) {
  int i = n & 4;
  __m128i r = _mm_setzero_si128();
  if (n & 2) r = _mm_loadl_epi64((const __m128i *)(p + i));
  if (n & 1) r = (n & 2) ? _mm_insert_epi32(r, (int)p[i + 2], 2) : _mm_insert_epi32(r, (int)p[i], 0);
  return (n & 4) ? _mm256_set_m128i(r, _mm_loadu_si128((const __m128i *)p)) : _mm256_set_m128i(_mm_setzero_si128(), r);
}

AVX2 inline void storepart32(uint32_t *p, int n, __m256i v) {
  __m128i r = _mm256_castsi256_si128(v);
  int i = 0;
  if (n & 4) {
    _mm_storeu_si128((__m128i *)p, r);
    r = _mm256_extracti128_si256(v, 1);
    i = 4;
  }
  if (n & 2) {
    _mm_storel_epi64((__m128i *)(p + i), r);
    r = _mm_srli_si128(r, 8);
    i += 2;
  }
  if (n & 1) p[i] = (uint32_t)_mm_cvtsi128_si32(r);
}

template <int format, int textured, int depth, int blend, int full>
AVX2 inline __attribute__((always_inline)) void group8(Span8 *sp, int x, int n) {
  const __m128i bias16 = _mm_set1_epi16((short)0x8000);
  __m128i mask = full ? _mm_set1_epi32(-1)
                      : _mm_cmplt_epi16(_mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7), _mm_set1_epi16((short)n));
  __m256 w = _mm256_add_ps(sp->w0, _mm256_mul_ps(sp->k, sp->wdx));
  __m128i wd = _mm_setzero_si128(), zold = _mm_setzero_si128();
  if constexpr (depth != depthoff) {
    zold = full ? _mm_loadu_si128((const __m128i *)(sp->zb + x)) : loadpart16(sp->zb + x, n);
    __m256i bits = _mm256_castps_si256(_mm256_add_ps(w, _mm256_setzero_ps()));
    wd = pack8(_mm256_sub_epi32(_mm256_set1_epi32(0x7F000 - 0x8000), _mm256_srli_epi32(bits, 11)));
    __m128i z = _mm_xor_si128(zold, bias16);
    if constexpr (depth == depthless || depth == depthlesswrite)
      mask = _mm_and_si128(mask, _mm_cmplt_epi16(wd, z));
    else
      mask = _mm_and_si128(mask, _mm_cmpeq_epi16(wd, z));
    if (_mm_movemask_epi8(mask) == 0) return;
  }
  const __m256i top12 = _mm256_set1_epi32((int)0xFFF00000);
  __m256i rb = _mm256_or_si256(_mm256_srli_epi32(_mm256_and_si256(sp->rp, top12), 4), _mm256_srli_epi32(sp->bp, 20));
  __m256i ga = _mm256_srli_epi32(sp->gp, 20);
  if constexpr (blend == blendalphait) ga = _mm256_or_si256(ga, _mm256_srli_epi32(_mm256_and_si256(sp->ap, top12), 4));
  if (sp->clamp) {
    rb = pseudoclamp16x8(rb);
    ga = pseudoclamp16x8(ga);
  }
  __m256i sa = _mm256_set1_epi32(255);
  if constexpr (blend == blendalphait) sa = _mm256_srli_epi32(ga, 16);
  if constexpr (textured) {
    __m256 wpos = _mm256_cmp_ps(w, _mm256_setzero_ps(), _CMP_GT_OQ);
    __m256 inv = _mm256_div_ps(_mm256_set1_ps(256.0f), w);
    __m256i s8 = _mm256_and_si256(floorclamp8(_mm256_mul_ps(_mm256_add_ps(sp->s0, _mm256_mul_ps(sp->k, sp->sdx)), inv)),
                                  _mm256_castps_si256(wpos));
    __m256i t8 = _mm256_and_si256(floorclamp8(_mm256_mul_ps(_mm256_add_ps(sp->t0, _mm256_mul_ps(sp->k, sp->tdx)), inv)),
                                  _mm256_castps_si256(wpos));
    __m256i lod = _mm256_sub_epi32(sp->lodk, _mm256_srai_epi32(_mm256_sub_epi32(_mm256_castps_si256(w), sp->lodm), 23));
    lod = _mm256_and_si256(lod, _mm256_castps_si256(wpos));
    if constexpr (!full) {
      // The lanes past the span are never written: they sample where the first pixel does,
      // so that a short span's group stays on one level and row for sample4's vector
      // addressing, and a span of at most four skips the upper four lanes' fetch.
      __m256i inside = _mm256_cmpgt_epi32(_mm256_set1_epi32(n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
      s8 = _mm256_blendv_epi8(_mm256_broadcastd_epi32(_mm256_castsi256_si128(s8)), s8, inside);
      t8 = _mm256_blendv_epi8(_mm256_broadcastd_epi32(_mm256_castsi256_si128(t8)), t8, inside);
      lod = _mm256_blendv_epi8(_mm256_broadcastd_epi32(_mm256_castsi256_si128(lod)), lod, inside);
    }
    __m128i levels = _mm_min_epi16(_mm_max_epi16(pack8(lod), _mm_setzero_si128()), sp->lodrange);
    __m128i rb0, ga0, rb1, ga1;
    sample4(sp->ts, _mm256_castsi256_si128(s8), _mm256_castsi256_si128(t8), levels, sp->cache, &rb0, &ga0);
    if (full || n > 4) {
      sample4(sp->ts, _mm256_extracti128_si256(s8, 1), _mm256_extracti128_si256(t8, 1), _mm_srli_si128(levels, 8),
              sp->cache, &rb1, &ga1);
    } else {
      rb1 = rb0;
      ga1 = ga0;
    }
    __m256i trb = _mm256_set_m128i(rb1, rb0), tga = _mm256_set_m128i(ga1, ga0);
    const __m256i one16 = _mm256_set1_epi16(1);
    rb = _mm256_srli_epi16(_mm256_mullo_epi16(trb, _mm256_add_epi16(rb, one16)), 8);
    __m256i gmul = _mm256_add_epi16(ga, one16);
    if constexpr (blend == blendalphatex)
      gmul = _mm256_or_si256(_mm256_and_si256(gmul, _mm256_set1_epi32(0xFFFF)),
                             _mm256_andnot_si256(_mm256_set1_epi32(0xFFFF), _mm256_add_epi16(tga, one16)));
    ga = _mm256_srli_epi16(_mm256_mullo_epi16(tga, gmul), 8);
    if constexpr (blend == blendalphatex) sa = _mm256_srli_epi32(ga, 16);
  }
  if constexpr (format == 32) {
    uint32_t *cb = sp->cb32 + x;
    __m256i old = full ? _mm256_loadu_si256((const __m256i *)cb) : loadpart32(cb, n);
    if constexpr (blend != blendoff) {
      __m256i drb = _mm256_and_si256(old, _mm256_set1_epi32(0x00FF00FF));
      __m256i dg = _mm256_and_si256(_mm256_srli_epi32(old, 8), _mm256_set1_epi32(0xFF));
      blendlanes8<blend>(&rb, &ga, sa, drb, dg);
    }
    __m256i out = _mm256_or_si256(_mm256_and_si256(rb, _mm256_set1_epi32(0x00FF00FF)),
                                  _mm256_slli_epi32(_mm256_and_si256(ga, _mm256_set1_epi32(0xFF)), 8));
    out = _mm256_blendv_epi8(old, out, _mm256_cvtepi16_epi32(mask));
    if (full) {
      _mm256_storeu_si256((__m256i *)cb, out);
    } else {
      storepart32(cb, n, out);
    }
  } else {
    uint16_t *cb = sp->cb + x;
    __m128i old = full ? _mm_loadu_si128((const __m128i *)cb) : loadpart16(cb, n);
    if constexpr (blend != blendoff) {
      __m256i d565 = _mm256_cvtepu16_epi32(old);
      __m256i f5 = _mm256_or_si256(_mm256_slli_epi32(_mm256_srli_epi32(d565, 11), 16),
                                   _mm256_and_si256(d565, _mm256_set1_epi32(31)));
      __m256i f6 = _mm256_and_si256(_mm256_srli_epi32(d565, 5), _mm256_set1_epi32(63));
      const __m256i fifteen = _mm256_sub_epi16(_mm256_set1_epi16(15), sp->dith);
      __m256i drb = _mm256_srli_epi16(_mm256_add_epi16(_mm256_slli_epi16(f5, 4), fifteen), 1);
      __m256i dg = _mm256_srli_epi16(_mm256_add_epi16(_mm256_slli_epi16(f6, 4), fifteen), 2);
      blendlanes8<blend>(&rb, &ga, sa, drb, dg);
    }
    __m256i rb5 = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(_mm256_sub_epi16(_mm256_slli_epi16(rb, 1), _mm256_srli_epi16(rb, 4)),
                                          _mm256_srli_epi16(rb, 7)), sp->dith), 4);
    __m256i g6 = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(_mm256_sub_epi16(_mm256_slli_epi16(ga, 2), _mm256_srli_epi16(ga, 4)),
                                          _mm256_srli_epi16(ga, 6)), sp->dith), 4);
    __m256i out = _mm256_add_epi32(_mm256_add_epi32(rb5, _mm256_srli_epi32(rb5, 5)), _mm256_slli_epi32(g6, 5));
    out = _mm256_srai_epi32(_mm256_slli_epi32(out, 16), 16);
    __m128i out16 = select(mask, pack8(out), old);
    if (full) {
      _mm_storeu_si128((__m128i *)cb, out16);
    } else {
      storepart16(cb, n, out16);
    }
  }
  if constexpr (depth == depthlesswrite || depth == depthequalwrite) {
    __m128i z = select(mask, _mm_xor_si128(wd, bias16), zold);
    if (full) {
      _mm_storeu_si128((__m128i *)(sp->zb + x), z);
    } else {
      storepart16(sp->zb + x, n, z);
    }
  }
}

// The eight-lane members of sv. A colour plane's first eight pixels, shifted left by 8 as
// in spanfast, are (p << 8) + colorlanes8 = (p + k dx) << 8, wrapping as the scalar planes
// wrap.
AVX2 void spanvectors8(const CardSetup *ts, SpanVectors *v) {
  const uint32_t colordx[4] = {ts->rdx, ts->gdx, ts->bdx, ts->adx};
  for (int i = 0; i < 4; i++) {
    v->colorlanes8[i] = _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32((int)(colordx[i] << 8)));
    v->colorstep8[i] = _mm256_set1_epi32((int)(8 * (colordx[i] << 8)));
  }
  v->lodk8 = _mm256_set1_epi32(ts->lodlevel + 126 - (ts->lodmin >> 8));
  v->lodm8 = _mm256_set1_epi32(ts->lodcount << 15);
  v->lodrange = _mm_set1_epi16((short)((ts->lodmax - ts->lodmin) >> 8));
  v->wdx8 = _mm256_set1_ps(ts->wdxf);
  v->sdx8 = _mm256_set1_ps(ts->sdxf);
  v->tdx8 = _mm256_set1_ps(ts->tdxf);
}

template <int format, int textured, int depth, int blend>
AVX2 void spanfast8(const CardSetup *ts, const SpanVectors *sv, const CardTarget *tg, int y, int xs, int xe,
                    LevelCache *levelcache) {
  Span8 sp;
  uint32_t dx32 = (uint32_t)(xs - ts->px0), dy32 = (uint32_t)(y - ts->py0);
  uint64_t dx64 = (uint64_t)(int64_t)(xs - ts->px0), dy64 = (uint64_t)(int64_t)(y - ts->py0);
  uint32_t r = ts->r0 + dx32 * ts->rdx + dy32 * ts->rdy, g = ts->g0 + dx32 * ts->gdx + dy32 * ts->gdy;
  uint32_t b = ts->b0 + dx32 * ts->bdx + dy32 * ts->bdy, a = ts->a0 + dx32 * ts->adx + dy32 * ts->ady;
  const int count = xe - xs;
  sp.clamp = !inrange(r, ts->rdx, count) || !inrange(g, ts->gdx, count) || !inrange(b, ts->bdx, count);
  if constexpr (blend == blendalphait) sp.clamp = sp.clamp || !inrange(a, ts->adx, count);
  sp.rp = _mm256_add_epi32(_mm256_set1_epi32((int)(r << 8)), sv->colorlanes8[0]);
  sp.gp = _mm256_add_epi32(_mm256_set1_epi32((int)(g << 8)), sv->colorlanes8[1]);
  sp.bp = _mm256_add_epi32(_mm256_set1_epi32((int)(b << 8)), sv->colorlanes8[2]);
  sp.ap = _mm256_add_epi32(_mm256_set1_epi32((int)(a << 8)), sv->colorlanes8[3]);
  sp.w0 = _mm256_set1_ps(planefloat(ts->w0 + dx64 * ts->wdx + dy64 * ts->wdy));
  sp.s0 = sp.t0 = sp.w0;
  if constexpr (textured) {
    sp.s0 = _mm256_set1_ps(planefloat(ts->s0 + dx64 * ts->sdx + dy64 * ts->sdy));
    sp.t0 = _mm256_set1_ps(planefloat(ts->t0 + dx64 * ts->tdx + dy64 * ts->tdy));
  }
  sp.wdx = sv->wdx8;
  sp.sdx = sv->sdx8;
  sp.tdx = sv->tdx8;
  sp.k = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7);
  sp.lodk = sv->lodk8;
  sp.lodm = sv->lodm8;
  sp.lodrange = sv->lodrange;
  // Groups start 8 apart, so every group's dither phase is the span's.
  sp.dith = _mm256_broadcastsi128_si256(_mm_load_si128((const __m128i *)ditherlanes.v[y & 3][xs & 3]));
  sp.ts = ts;
  sp.cache = levelcache;
  sp.cb = tg->color + (size_t)y * tg->stride;
  sp.cb32 = tg->color32 + (size_t)y * tg->stride;
  sp.zb = tg->depth + (size_t)y * tg->stride;
  const __m256i *step = sv->colorstep8;
  int x = xs;
  for (; x + 8 <= xe; x += 8) {
    group8<format, textured, depth, blend, 1>(&sp, x, 8);
    sp.rp = _mm256_add_epi32(sp.rp, step[0]);
    sp.gp = _mm256_add_epi32(sp.gp, step[1]);
    sp.bp = _mm256_add_epi32(sp.bp, step[2]);
    sp.ap = _mm256_add_epi32(sp.ap, step[3]);
    sp.k = _mm256_add_ps(sp.k, _mm256_set1_ps(8));
  }
  if (x < xe) group8<format, textured, depth, blend, 0>(&sp, x, xe - x);
}

typedef void (*SpanFunction)(const CardSetup *, const SpanVectors *, const CardTarget *, int, int, int,
                             LevelCache *);

// The routines of one pixel format: (textured * depthkinds + depth) * blendkinds + blend.
constexpr int spankinds = 2 * depthkinds * blendkinds;

template <int index>
constexpr SpanFunction spanat() {
  constexpr int i = index % spankinds, format = index / spankinds % 2 ? 32 : 16;
  constexpr int textured = i / (depthkinds * blendkinds), depth = (i / blendkinds) % depthkinds, blend = i % blendkinds;
  if constexpr (index < 2 * spankinds)
    return &spanfast<format, textured, depth, blend>;
  else
    return &spanfast8<format, textured, depth, blend>;
}

template <int... i>
constexpr auto makespantable(std::integer_sequence<int, i...>) {
  return std::array<SpanFunction, sizeof...(i)>{spanat<i>()...};
}

constexpr auto spantable = makespantable(std::make_integer_sequence<int, 4 * spankinds>{});

int matches(const CardCombine &c, int function, int factor, int local, int other) {
  return c.function == function && (factor < 0 || c.factor == factor) &&
         (local < 0 || c.local == local) && (other < 0 || c.other == other) && !c.invert;
}

// The index into spantable for this state, or -1 when only the reference path covers it.
int fastindex(const CardState *st, int texmode, const CardSetup *ts) {
  int textured;
  if (matches(st->color, GR_COMBINE_FUNCTION_LOCAL, -1, GR_COMBINE_LOCAL_ITERATED, -1))
    textured = 0;
  else if (matches(st->color, GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_LOCAL,
                   GR_COMBINE_LOCAL_ITERATED, GR_COMBINE_OTHER_TEXTURE) &&
           texmode == 1 && st->texcombine == GR_TEXTURECOMBINE_DECAL && ts->minbilinear &&
           ts->magbilinear && !ts->sclamp && !ts->tclamp)
    textured = 1;
  else
    return -1;
  if (!textured && texmode == 1) return -1;

  int depth;
  if (st->depthmode == GR_DEPTHBUFFER_DISABLE)
    depth = depthoff;
  else if (st->depthfunc == GR_CMP_LESS)
    depth = st->depthmask ? depthlesswrite : depthless;
  else if (st->depthfunc == GR_CMP_EQUAL)
    depth = st->depthmask ? depthequalwrite : depthequal;
  else
    return -1;

  int blend;
  if (st->rgbsrc == GR_BLEND_ONE && st->rgbdst == GR_BLEND_ZERO) {
    blend = blendoff;
  } else if (st->rgbsrc == GR_BLEND_ONE && st->rgbdst == GR_BLEND_ONE) {
    blend = blendadd;
  } else if (st->rgbsrc == GR_BLEND_SRC_ALPHA && st->rgbdst == GR_BLEND_ONE_MINUS_SRC_ALPHA) {
    const CardCombine &a = st->alpha;
    if (matches(a, GR_COMBINE_FUNCTION_LOCAL, -1, GR_COMBINE_LOCAL_ITERATED, -1))
      blend = blendalphait;
    else if (matches(a, GR_COMBINE_FUNCTION_LOCAL, -1, GR_COMBINE_LOCAL_CONSTANT, -1) &&
             st->constantcolor >> 24 == 255)
      blend = blendalphaconst;
    else if (matches(a, GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_ONE, -1,
                     GR_COMBINE_OTHER_CONSTANT) &&
             st->constantcolor >> 24 == 255)
      blend = blendalphaconst;
    else if (textured && matches(a, GR_COMBINE_FUNCTION_SCALE_OTHER,
                                 GR_COMBINE_FACTOR_TEXTURE_ALPHA, -1, GR_COMBINE_OTHER_TEXTURE))
      blend = blendalphatex;
    else
      return -1;
  } else {
    return -1;
  }
  return (textured * depthkinds + depth) * blendkinds + blend;
}

// Fills ts for the triangle; 0 when it draws nothing (non-finite, off the 16-bit
// coordinate range, zero area, or no row inside the screen).
int setuptriangle(CardSetup *ts, const CardState *st, const CardTexture *tex, int height, int scale,
                  const GrVertex *a, const GrVertex *b, const GrVertex *c) {
  if (!finitevertex(a) || !finitevertex(b) || !finitevertex(c)) return 0;
  const GrVertex *v[3] = {a, b, c};
  int x[3], y[3];
  for (int i = 0; i < 3; i++)
    if (!snap(v[i]->x, scale, &x[i]) || !snap(v[i]->y, scale, &y[i])) return 0;
  // Sort top to bottom.
  int order[3] = {0, 1, 2};
  if (y[order[1]] < y[order[0]]) std::swap(order[0], order[1]);
  if (y[order[2]] < y[order[1]]) std::swap(order[1], order[2]);
  if (y[order[1]] < y[order[0]]) std::swap(order[0], order[1]);
  const GrVertex *va = v[order[0]], *vb = v[order[1]], *vc = v[order[2]];
  ts->xa = x[order[0]], ts->ya = y[order[0]];
  ts->xb = x[order[1]], ts->yb = y[order[1]];
  ts->xc = x[order[2]], ts->yc = y[order[2]];
  int64_t area = (int64_t)(ts->xb - ts->xa) * (ts->yc - ts->ya) -
                 (int64_t)(ts->xc - ts->xa) * (ts->yb - ts->ya);
  if (area == 0) return 0;
  ts->bright = area > 0;
  int64_t ystart = ceildiv(ts->ya - 8, 16), yend = ceildiv(ts->yc - 8, 16);
  ts->ystart = ystart < 0 ? 0 : (int)ystart;
  ts->yend = yend > height ? height : (int)yend;
  if (ts->ystart >= ts->yend) return 0;

  // Plane gradients from the snapped corners, in pixels.
  double dxab = (ts->xb - ts->xa) / 16.0, dyab = (ts->yb - ts->ya) / 16.0;
  double dxbc = (ts->xc - ts->xb) / 16.0, dybc = (ts->yc - ts->yb) / 16.0;
  double invarea = 256.0 / (double)area;  // one division for all fourteen gradients
  ts->px0 = ts->xa >> 4;
  ts->py0 = ts->ya >> 4;
  double ox = (ts->px0 * 16 + 8 - ts->xa) / 16.0, oy = (ts->py0 * 16 + 8 - ts->ya) / 16.0;
  double gx[7], gy[7];
  auto plane = [&](int i, double pa, double pb, double pc, double *start) {
    double dab = pb - pa, dbc = pc - pb;
    gx[i] = (dab * dybc - dbc * dyab) * invarea;
    gy[i] = (dbc * dxab - dab * dxbc) * invarea;
    *start = pa + ox * gx[i] + oy * gy[i];
  };
  double p;
  plane(0, va->r, vb->r, vc->r, &p);
  ts->r0 = tofixed32(p * colorscale), ts->rdx = tofixed32(gx[0] * colorscale), ts->rdy = tofixed32(gy[0] * colorscale);
  plane(1, va->g, vb->g, vc->g, &p);
  ts->g0 = tofixed32(p * colorscale), ts->gdx = tofixed32(gx[1] * colorscale), ts->gdy = tofixed32(gy[1] * colorscale);
  plane(2, va->b, vb->b, vc->b, &p);
  ts->b0 = tofixed32(p * colorscale), ts->bdx = tofixed32(gx[2] * colorscale), ts->bdy = tofixed32(gy[2] * colorscale);
  plane(3, va->a, vb->a, vc->a, &p);
  ts->a0 = tofixed32(p * colorscale), ts->adx = tofixed32(gx[3] * colorscale), ts->ady = tofixed32(gy[3] * colorscale);
  plane(4, va->oow, vb->oow, vc->oow, &p);
  ts->w0 = (uint64_t)tofixed64(p * wscale), ts->wdx = (uint64_t)tofixed64(gx[4] * wscale), ts->wdy = (uint64_t)tofixed64(gy[4] * wscale);
  plane(5, va->tmuvtx[0].sow, vb->tmuvtx[0].sow, vc->tmuvtx[0].sow, &p);
  ts->s0 = (uint64_t)tofixed64(p * wscale), ts->sdx = (uint64_t)tofixed64(gx[5] * wscale), ts->sdy = (uint64_t)tofixed64(gy[5] * wscale);
  plane(6, va->tmuvtx[0].tow, vb->tmuvtx[0].tow, vc->tmuvtx[0].tow, &p);
  ts->t0 = (uint64_t)tofixed64(p * wscale), ts->tdx = (uint64_t)tofixed64(gx[6] * wscale), ts->tdy = (uint64_t)tofixed64(gy[6] * wscale);
  ts->wdxf = planefloat(ts->wdx);
  ts->sdxf = planefloat(ts->sdx);
  ts->tdxf = planefloat(ts->tdx);

  ts->texmode = 0;
  if (needstexture(st)) {
    if (!validtexture(tex)) {
      ts->unusabletexture = tex != nullptr;
      ts->texmode = 2;
    } else {
      ts->texmode = 1;
      for (int l = 0; l < 9; l++) {
        ts->texels[l] = tex->texels[l];
        ts->texw[l] = tex->width[l];
        ts->texh[l] = tex->height[l];
      }
      ts->lodmin = tex->largelod * 256;
      ts->lodmax = tex->smalllod * 256;
      ts->minbilinear = tex->minfilter == GR_TEXTUREFILTER_BILINEAR;
      ts->magbilinear = tex->magfilter == GR_TEXTUREFILTER_BILINEAR;
      ts->sclamp = tex->sclamp == GR_TEXTURECLAMP_CLAMP;
      ts->tclamp = tex->tclamp == GR_TEXTURECLAMP_CLAMP;
      // One LOD base per triangle from the s/w, t/w gradients (the chip ignores the
      // gradient of w here); per pixel only log2(1/w) is subtracted.
      double mx = gx[5] * gx[5] + gx[6] * gx[6], my = gy[5] * gy[5] + gy[6] * gy[6];
      double m = mx > my ? mx : my;
      double base = m > 0 ? 128.0 * std::log2(m) : -1e9;
      float bias = tex->lodbias;
      if (!(bias >= -8.0f)) bias = -8.0f;
      if (!(bias <= 7.75f)) bias = 7.75f;
      base += 64.0 * roundnear(bias * 4.0);  // quarter levels, as the chip holds it
      if (tex->mipmapmode == GR_MIPMAP_DISABLE) base = -1e9;
      base = base < -(1 << 24) ? -(1 << 24) : base > (1 << 24) ? (1 << 24) : base;
      ts->lodbase = (int)roundnear(base);
      ts->lodlevel = ts->lodbase >> 8;
      ts->lodcount = log2table.below[ts->lodbase & 255];
    }
  }
  return 1;
}

}  // namespace

uint16_t cardwdepth(float oow) {
  if (!(oow < 1.0f) || oow < 0) return 0;
  if (!(oow >= 0x1p-16f)) return 0xFFFF;
  // oow in [2^-(e+1), 2^-e): the float's exponent gives e, its top 12 mantissa bits m.
  uint32_t u = floatbits(oow);
  uint32_t e = 126 - (u >> 23);
  uint32_t m = (u >> 11) & 0xFFF;
  uint32_t v = (e << 12) + (0xFFF - m) + 1;
  return (uint16_t)(v > 0xFFFF ? 0xFFFF : v);
}

uint16_t carddither(int r, int g, int b, int x, int y) {
  int d = dithermatrix[y & 3][x & 3];
  return (uint16_t)(dithertables.r[d][r & 255] | dithertables.g[d][g & 255] |
                    dithertables.b[d][b & 255]);
}

// The span routines in use: 8 pixels a step where the processor has AVX2, else 4. Read
// when a triangle is set up, on the thread that submits it.
static int spanlanes = __builtin_cpu_supports("avx2") ? 8 : 4;

// 1 when row y belongs to the target's share.
inline int ownsrow(const CardTarget *target, int y) {
  return target->bands <= 1 || (y / target->bandrows) % target->bands == target->band;
}

int cardspanlanes(int lanes) {
  if (lanes == 4 || (lanes == 8 && __builtin_cpu_supports("avx2"))) spanlanes = lanes;
  return spanlanes;
}

uint32_t cardpixelrgb(const CardTarget *target, int x, int y) {
  size_t at = (size_t)y * target->stride + x;
  if (target->format == 32) return target->color32[at] & 0xFFFFFF;
  uint32_t p = target->color[at], r = p >> 11, g = (p >> 5) & 63, b = p & 31;
  return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
}

void cardfillcolor(const CardTarget *target, uint32_t color) {
  int r = (color >> 16) & 0xFF, g = (color >> 8) & 0xFF, b = color & 0xFF;
  for (int y = 0; y < target->height; y++) {
    if (!ownsrow(target, y)) continue;
    if (target->format == 32) {
      uint32_t *row = target->color32 + (size_t)y * target->stride;
      for (int x = 0; x < target->width; x++) row[x] = color & 0xFFFFFF;
      continue;
    }
    uint16_t pattern[4];
    for (int i = 0; i < 4; i++) pattern[i] = carddither(r, g, b, i, y);
    uint16_t *row = target->color + (size_t)y * target->stride;
    for (int x = 0; x < target->width; x++) row[x] = pattern[x & 3];
  }
}

void cardfilldepth(const CardTarget *target, uint16_t z) {
  for (int y = 0; y < target->height; y++) {
    if (!ownsrow(target, y)) continue;
    uint16_t *row = target->depth + (size_t)y * target->stride;
    for (int x = 0; x < target->width; x++) row[x] = z;
  }
}

int cardhasfastpath(const CardState *st, const CardTexture *tex) {
  CardSetup ts;
  int texmode = needstexture(st) ? (validtexture(tex) ? 1 : 2) : 0;
  if (texmode == 1) {
    ts.minbilinear = tex->minfilter == GR_TEXTUREFILTER_BILINEAR;
    ts.magbilinear = tex->magfilter == GR_TEXTUREFILTER_BILINEAR;
    ts.sclamp = tex->sclamp == GR_TEXTURECLAMP_CLAMP;
    ts.tclamp = tex->tclamp == GR_TEXTURECLAMP_CLAMP;
  }
  return fastindex(st, texmode, &ts) >= 0;
}

int cardsetuptriangle(CardSetup *s, const CardState *st, const CardTexture *tex,
                      const CardTarget *target, const GrVertex *a, const GrVertex *b,
                      const GrVertex *c, int reference) {
  *s = CardSetup{};
  if (!setuptriangle(s, st, tex, target->height, target->scale, a, b, c)) return 0;
  s->state = *st;
  s->span = reference ? -1 : fastindex(st, s->texmode, s);
  if (s->span >= 0 && spanlanes == 8) s->span += 2 * spankinds;
  return 1;
}

void carddrawsetup(const CardSetup *ts, const CardTarget *target) {
  if (target->bands > 1) {
    // Most triangles are a few rows high and fall in one share: the others skip them
    // before the edges' divisions.
    int band = ts->ystart / target->bandrows, skip = (target->band - band % target->bands + target->bands) % target->bands;
    int first = skip == 0 ? ts->ystart : (band + skip) * target->bandrows;
    if (first >= ts->yend) return;
  }
  SpanFunction span = nullptr;
  SpanVectors sv;
  if (ts->span >= 0) {
    span = spantable[(target->format == 32 ? spankinds : 0) + ts->span];
    if (ts->span >= 2 * spankinds)
      spanvectors8(ts, &sv);
    else
      spanvectors(ts, &sv);
  }
  LevelCache levelcache;
  EdgeWalk longedge, shortedge;
  int cy = ts->ystart * 16 + 8, lower = cy >= ts->yb;
  edgestart(&longedge, ts->xa, ts->ya, ts->xc, ts->yc, cy);
  if (lower)
    edgestart(&shortedge, ts->xb, ts->yb, ts->xc, ts->yc, cy);
  else
    edgestart(&shortedge, ts->xa, ts->ya, ts->xb, ts->yb, cy);
  for (int y = ts->ystart; y < ts->yend; y++, cy += 16) {
    if (y > ts->ystart) {
      edgestep(&longedge);
      if (!lower && cy >= ts->yb) {
        lower = 1;
        edgestart(&shortedge, ts->xb, ts->yb, ts->xc, ts->yc, cy);
      } else {
        edgestep(&shortedge);
      }
    }
    if (!ownsrow(target, y)) continue;
    int xlong = edgecolumn(&longedge, target->width), xshort = edgecolumn(&shortedge, target->width);
    int xs = ts->bright ? xlong : xshort, xe = ts->bright ? xshort : xlong;
    if (xs >= xe) continue;
    if (span != nullptr) {
      span(ts, &sv, target, y, xs, xe, &levelcache);
    } else {
      for (int x = xs; x < xe; x++) shadepixel(&ts->state, ts, target, x, y, xs);
    }
  }
}

void carddrawtriangle(const CardState *st, const CardTexture *tex, const CardTarget *target,
                      const GrVertex *a, const GrVertex *b, const GrVertex *c, int reference) {
  CardSetup ts;
  if (!cardsetuptriangle(&ts, st, tex, target, a, b, c, reference)) return;
  if (ts.unusabletexture) cardlogonce("card: texture levels unusable, drawing untextured");
  carddrawsetup(&ts, target);
}
